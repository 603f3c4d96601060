//===- CArchiveVirtualDiskFile.h - Disk image component -------------------===//
//
// Reads and writes disk images block by block; the one place where this
// library moves bulk data.
//
// Images are byte streams: every DiskType_t is read and written as a raw
// image.  Translating image formats (VHD, VHDX, VMDK, ...) is the platform's
// business and outside this component, so the types given to Open and
// Create are recorded and nothing else.
//
// Reading (Open, GetFirstBlock, GetNextBlock):
//   - A relative path opened after SetVMInfo is resolved against the mount
//     context's mount path: mounted files are named relative to the mount.
//   - GetFirstBlock reads the image's header (the first blockSize bytes) and
//     starts the stream; GetNextBlock then delivers the image from its first
//     byte on, in blocks of the component's block size (kBlockSize, or a
//     multiple of the extent size when extents are larger).  The last block
//     may be short, so an image whose size is not a whole number of extents
//     is delivered exactly.
//   - Each block comes with its byte offset and an allocation map of one
//     flag per extent (the last extent may be partial).  An extent that
//     holds only zeros is unallocated.  Holes are found with SEEK_DATA and
//     SEEK_HOLE where the file system has them; data is scanned for zero
//     extents in any case.  Blocks that lie wholly in a hole are passed
//     over, except the last block of the image, which is always delivered so
//     that a writer learns the image's full size.
//   - After the last block, GetNextBlock returns the end-of-data error
//     (virtual-server error 10002, IsErrorEOF).  A failed block is skipped:
//     the next call goes on with the following block.
//
// Writing (Create, WriteBlock):
//   - Create never replaces an existing file (O_EXCL) and creates the image
//     at the disk size given (0: empty, grown by the blocks written).
//   - WriteBlock writes the allocated extents of a block only, so
//     unallocated extents stay holes, and the image then reaches at least
//     to the block's end.  An image is written once: an unallocated extent
//     keeps what is there.
//
// Errors: every failure is an error value (CQiError) carrying the system's
// error text; a read that ends early is the system error EIO.  Memory stays
// bounded by the caller's one block buffer and one allocation map, whatever
// the image size.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/Contexts.h"
#include "model/VirtualServerTypes.h"
#include "model/ZyExport.h"
#include "platform/support/CAutoMemory.h"
#include "platform/support/CMediaSpeedCounter.h"
#include "platform/support/CQiError.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class IVMInfo;

typedef int32_t ProductType_t;

class ZY_PLATFORM_API CArchiveVirtualDiskFile {
 public:
  // Stream state owned by the caller and filled by the component.  The
  // second field is the extent size in bytes, valid after the first block
  // (for a writer, after Create).
  struct Context_t {
    uint64_t u64Position = 0;    // end of the last block read or written
    uint64_t u64ExtentSize = 0;  // bytes per allocation-map flag
    uint64_t u64DiskSize = 0;    // size of the image in bytes
    uint64_t u64BlockSize = 0;   // bytes per full block
  };

  // Block size of the stream: large, so that a copy costs few system calls,
  // and small enough to stay in the processor's cache between the read and
  // the write.
  static constexpr uint64_t kBlockSize = 1024 * 1024;
  // Extent size when none is set: the file systems' block size.
  static constexpr uint64_t kDefaultExtentSize = 4096;
  // Extents are at most this large, so a block stays a few MiB at most.
  static constexpr uint64_t kMaxExtentSize = 16 * 1024 * 1024;
  // The header GetFirstBlock reads is at most this large.
  static constexpr uint32_t kMaxFirstBlockSize = 64 * 1024 * 1024;

  // productType is recorded only: raw images read and write alike.
  explicit CArchiveVirtualDiskFile(ProductType_t productType);
  // Closes what is still open.
  ~CArchiveVirtualDiskFile();
  CArchiveVirtualDiskFile(const CArchiveVirtualDiskFile&) = delete;
  CArchiveVirtualDiskFile& operator=(const CArchiveVirtualDiskFile&) = delete;

  // Names the mounted machine whose files Open reads; the mount path of
  // mountCtx (may be null) is copied.
  void SetVMInfo(IVMInfo* vmInfo, const std::string& vmName,
                 const std::string& vmGuid, MountCtx* mountCtx,
                 RestoreCtx* restoreCtx);
  // 0 selects kDefaultExtentSize; a size above kMaxExtentSize makes the
  // stream operations fail with EINVAL.
  void SetExtentSize(uint64_t extentSize);
  // Opens an image (regular file or block device) for reading.
  CQiError Open(const std::string& path, DiskType_t type);
  // Raw images carry their own size; the sizes are kept for the record.
  // Negative sizes are EINVAL.
  CQiError SetDiskSize(int64_t maxSize, int64_t currentSize);
  CQiError GetFirstBlock(CAutoMemory<char>& buffer, uint32_t blockSize,
                         Context_t& context);
  CQiError GetNextBlock(CAutoMemory<char>& buffer, uint64_t& offset,
                        std::vector<bool>& allocationMap, Context_t& context);
  // Creates a new image for writing.  firstBlock and flags are not used by
  // raw images (the stream of GetNextBlock starts at the first byte anyway).
  CQiError Create(const std::string& path, DiskType_t sourceType,
                  DiskType_t destinationType, CAutoMemory<char>& firstBlock,
                  uint64_t diskSize, uint32_t flags, Context_t& context);
  // allocationMap must hold one flag per extent of the buffer.
  CQiError WriteBlock(CAutoMemory<char>& buffer, uint64_t offset,
                      const std::vector<bool>& allocationMap,
                      Context_t& context);
  // Closes the image; closing twice, or with nothing open, is success.
  CQiError Close();

  // True when error is the end of the data stream (virtual-server 10002).
  static bool IsErrorEOF(const CQiError& error);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
