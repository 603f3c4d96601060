//===- ImageBackend.h - One open disk image, whatever its format ----------===//
//
// The block stream of CArchiveVirtualDiskFile reads and writes every image
// through this small interface: the guest-visible size, where the next data
// run starts (everything else reads as zeros), and positioned reads and
// writes of guest bytes.  Raw images answer it with POSIX calls on the file
// (RawImage), the other formats through a qemu-nbd server (NbdImage).
//
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/support/CQiError.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zydisk {

// A run of guest bytes [start, end).
struct Span {
  uint64_t start = 0;
  uint64_t end = 0;
};

class ImageBackend {
 public:
  virtual ~ImageBackend() = default;
  // The guest-visible size in bytes.
  virtual uint64_t Size() const = 0;
  // The first run at or after from that may hold data; {Size(), Size()}
  // when only zeros follow.  Answering "data" is always safe.
  virtual CQiError NextData(uint64_t from, Span& run) = 0;
  virtual CQiError Read(char* into, uint64_t length, uint64_t offset) = 0;
  virtual CQiError Write(const char* from, uint64_t length,
                         uint64_t offset) = 0;
  // Makes the image at least end bytes long: raw files grow, images of a
  // fixed virtual size refuse writes past it.
  virtual CQiError Grow(uint64_t end) = 0;
  // Flushes and closes; the image is complete on disk when it returns.
  virtual CQiError Finish() = 0;
  // The file descriptor of a raw image, else -1.
  virtual int RawFd() const { return -1; }
  // The file the image lives in, for error texts.
  virtual const std::string& Path() const = 0;
};

// Error values of the component, located in its own source unit.
CQiError SystemError(const char* function, int line, int errnum,
                     const std::string& what);
#define ZY_DISK_ERROR(errnum, what) \
  ::zydisk::SystemError(__func__, __LINE__, (errnum), (what))

// An error whose message says it all (no system text appended).
CQiError Fault(const char* function, int line, int errnum,
               const std::string& message);
#define ZY_DISK_FAULT(errnum, message) \
  ::zydisk::Fault(__func__, __LINE__, (errnum), (message))

std::string At(const std::string& path, uint64_t offset);

// Reads up to length bytes of fd at offset into into, fewer (got) only at
// the end of the file; a read error names path and the offset.
CQiError ReadAt(int fd, const std::string& path, char* into,
                std::size_t length, uint64_t offset, std::size_t& got);

}  // namespace zydisk
