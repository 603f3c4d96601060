//===- ImageBackend.h - One open disk image, whatever its format ----------===//
//
// The block stream of CArchiveVirtualDiskFile reads and writes every image
// through this small interface: the guest-visible size, where the next data
// run starts (everything else reads as zeros), and positioned reads and
// writes of guest bytes.  Raw images answer it with POSIX calls on the file
// (RawImage), the other formats through a qemu-nbd server (NbdImage).
// Copies also start requests that end later (Start), so that several are
// in flight per server; a backend without queues runs them at once.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/support/CQiError.h"

#include <cstdint>
#include <memory>
#include <string>

namespace zydisk {

// A run of guest bytes [start, end).
struct Span {
  uint64_t start = 0;
  uint64_t end = 0;
};

// One read or write started with ImageBackend::Start; the caller keeps it
// (and its buffer) alive until done.
class ImageBackend;

struct Request {
  const ImageBackend* image = nullptr;  // set by Start
  char* buffer = nullptr;
  uint64_t length = 0;
  uint64_t offset = 0;
  bool write = false;
  bool done = false;  // set when it ended, with error on failure
  CQiError error;
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
  // Starts request; it ends at once or in a later Notify.
  virtual void Start(Request& request) {
    request.image = this;
    request.error = request.write
                        ? Write(request.buffer, request.length, request.offset)
                        : Read(request.buffer, request.length, request.offset);
    request.done = true;
  }
  // The socket to watch while requests are in flight (-1: none) and the
  // poll events it waits for.
  virtual int PollFd(short& events) const {
    events = 0;
    return -1;
  }
  // Lets the backend act on the events poll saw on PollFd.
  virtual CQiError Notify(short revents) {
    (void)revents;
    return CQiError::Success();
  }
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

}  // namespace zydisk
