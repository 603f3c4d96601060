//===- CArchiveVirtualDiskFile.cpp - Disk image component -----------------===//
//
// Raw images through POSIX file descriptors.  The reader keeps one cached
// data run (from SEEK_DATA/SEEK_HOLE), so a dense image costs two lseek
// calls in all and a sparse one two per data run; the bytes of a block are
// read with one pread per data run inside it and written with one pwrite
// per run of allocated extents.  Writes past the end of the file leave
// holes behind them by themselves, so the writer sets the file's size only
// for a block that ends in unallocated extents.
//
//===----------------------------------------------------------------------===//
#include "platform/diskimage/CArchiveVirtualDiskFile.h"

#include "platform/support/FXPath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace {

constexpr char kFile[] = "CArchiveVirtualDiskFile";
constexpr uint64_t kMaxOffset =
    static_cast<uint64_t>(std::numeric_limits<off_t>::max());

FXCodeLocation Here(const char* function, int line) {
  return FXCodeLocation(kFile, function, line);
}

CQiError SystemError(const char* function, int line, int errnum,
                     const std::string& what) {
  return FXErrorUtil::ErrorSystem(Here(function, line), errnum, what);
}

#define ZY_SYSTEM_ERROR(errnum, what) \
  SystemError(__func__, __LINE__, (errnum), (what))

// A run of bytes [start, end) of the image.
struct Span {
  uint64_t start = 0;
  uint64_t end = 0;
};

// True when the n bytes at p are all zero.  Once the first 16 bytes are
// zero, comparing the buffer with itself shifted by 16 proves the rest zero
// with the C library's vectorised memcmp, and random data fails at once.
bool IsAllZero(const char* p, size_t n) {
  static const char kZeros[16] = {};
  if (n <= sizeof kZeros) return std::memcmp(p, kZeros, n) == 0;
  if (std::memcmp(p, kZeros, sizeof kZeros) != 0) return false;
  return std::memcmp(p, p + sizeof kZeros, n - sizeof kZeros) == 0;
}

uint64_t RoundUp(uint64_t value, uint64_t unit) {
  return (value + unit - 1) / unit * unit;
}

std::string At(const std::string& path, uint64_t offset) {
  return path + " at offset " + std::to_string(offset);
}

}  // namespace

struct CArchiveVirtualDiskFile::Impl {
  enum class Mode { kClosed, kReading, kWriting };

  ProductType_t productType = 0;
  std::string mountPath;
  uint64_t extentSize = kDefaultExtentSize;
  int64_t maxSize = 0;
  int64_t currentSize = 0;

  Mode mode = Mode::kClosed;
  int fd = -1;
  std::string path;
  uint64_t size = 0;      // reader: image size; writer: current file size
  uint64_t position = 0;  // reader: where the next block search starts
  bool seekHoles = true;  // the file system answers SEEK_DATA/SEEK_HOLE
  Span cachedData;        // the last data run found

  uint64_t BlockSize() const { return RoundUp(kBlockSize, extentSize); }

  CQiError CheckExtentSize(const char* function, int line) const {
    if (extentSize <= kMaxExtentSize) return CQiError::Success();
    return SystemError(function, line, EINVAL,
                       "extent size " + std::to_string(extentSize) +
                           " is above " + std::to_string(kMaxExtentSize));
  }

  void Fill(Context_t& context) const {
    context.u64Position = position;
    context.u64ExtentSize = extentSize;
    context.u64DiskSize = size;
    context.u64BlockSize = BlockSize();
  }

  std::string Resolve(const std::string& name) const {
    if (name.empty() || name[0] == '/' || mountPath.empty()) return name;
    return CQiPath::Append(mountPath, name);
  }

  // The first data run at or after from; {size, size} when only a hole
  // follows.  Without SEEK_DATA everything is data, which is always safe:
  // zeros read from a hole are found by the scan.
  Span NextData(uint64_t from) {
    if (from < cachedData.end)
      return {std::max(from, cachedData.start), cachedData.end};
    if (!seekHoles) return {from, size};
    off_t data = lseek(fd, static_cast<off_t>(from), SEEK_DATA);
    if (data < 0) {
      if (errno != ENXIO) {
        seekHoles = false;
        return {from, size};
      }
      // No data after from, or the image is shorter than when it was
      // opened: then its tail is read as data, so the read comes up short.
      if (Shrunk()) return {from, size};
      cachedData = {size, size};
      return cachedData;
    }
    off_t hole = lseek(fd, data, SEEK_HOLE);
    uint64_t end = hole < 0 ? size : std::min<uint64_t>(hole, size);
    cachedData = {static_cast<uint64_t>(data), end};
    if (cachedData.start >= cachedData.end) cachedData = {size, size};
    return cachedData;
  }

  bool Shrunk() const {
    struct stat facts;
    return fstat(fd, &facts) == 0 && S_ISREG(facts.st_mode) &&
           static_cast<uint64_t>(facts.st_size) < size;
  }

  CQiError ReadFully(char* into, uint64_t length, uint64_t offset) {
    while (length > 0) {
      ssize_t n = pread(fd, into, length, static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return ZY_SYSTEM_ERROR(errno, "read of " + At(path, offset));
      // The image is shorter than it was when opened.
      if (n == 0)
        return ZY_SYSTEM_ERROR(EIO, "short read of " + At(path, offset));
      into += n;
      offset += static_cast<uint64_t>(n);
      length -= static_cast<uint64_t>(n);
    }
    return CQiError::Success();
  }

  CQiError WriteFully(const char* from, uint64_t length, uint64_t offset) {
    while (length > 0) {
      ssize_t n = pwrite(fd, from, length, static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return ZY_SYSTEM_ERROR(errno, "write of " + At(path, offset));
      if (n == 0)
        return ZY_SYSTEM_ERROR(EIO, "short write of " + At(path, offset));
      from += n;
      offset += static_cast<uint64_t>(n);
      length -= static_cast<uint64_t>(n);
    }
    return CQiError::Success();
  }

  // Where the next block to deliver starts: the block holding the next data,
  // or the last block of the image when only a hole remains.
  uint64_t NextBlockStart() {
    uint64_t block = BlockSize();
    Span data = NextData(position);
    if (data.start >= size) return (size - 1) / block * block;
    return data.start / block * block;
  }

  // Reads [start, start + length) into buffer: data runs with pread, holes
  // as zeros; an extent is allocated when its data holds a non-zero byte.
  CQiError ReadBlock(char* buffer, uint64_t start, uint64_t length,
                     std::vector<bool>& map) {
    uint64_t end = start + length;
    uint64_t at = start;
    while (at < end) {
      Span data = NextData(at);
      uint64_t dataStart = std::min(data.start, end);
      if (dataStart > at) std::memset(buffer + (at - start), 0, dataStart - at);
      if (dataStart >= end) break;
      uint64_t dataEnd = std::min(data.end, end);
      CQiError error = ReadFully(buffer + (dataStart - start),
                                 dataEnd - dataStart, dataStart);
      if (error.IsError()) return error;
      MarkAllocated(buffer, start, dataStart, dataEnd, map);
      at = dataEnd;
    }
    return CQiError::Success();
  }

  // The hole parts of an extent are zero, so the data parts decide.
  void MarkAllocated(const char* buffer, uint64_t blockStart, uint64_t from,
                     uint64_t to, std::vector<bool>& map) const {
    for (uint64_t at = from; at < to;) {
      uint64_t index = (at - blockStart) / extentSize;
      uint64_t extentEnd = std::min(blockStart + (index + 1) * extentSize, to);
      if (!map[index] && !IsAllZero(buffer + (at - blockStart), extentEnd - at))
        map[index] = true;
      at = extentEnd;
    }
  }

  CQiError Extend(uint64_t end) {
    if (end <= size) return CQiError::Success();
    if (ftruncate(fd, static_cast<off_t>(end)) != 0)
      return ZY_SYSTEM_ERROR(
          errno, "resize of " + path + " to " + std::to_string(end));
    size = end;
    return CQiError::Success();
  }

  void Reset() {
    mode = Mode::kClosed;
    fd = -1;
    path.clear();
    size = position = 0;
    seekHoles = true;
    cachedData = {};
  }
};

CArchiveVirtualDiskFile::CArchiveVirtualDiskFile(ProductType_t productType)
    : impl_(new Impl) {
  impl_->productType = productType;
}

CArchiveVirtualDiskFile::~CArchiveVirtualDiskFile() { Close(); }

void CArchiveVirtualDiskFile::SetVMInfo(IVMInfo*, const std::string&,
                                        const std::string&, MountCtx* mountCtx,
                                        RestoreCtx*) {
  impl_->mountPath = mountCtx ? mountCtx->strMountPath : std::string();
}

void CArchiveVirtualDiskFile::SetExtentSize(uint64_t extentSize) {
  impl_->extentSize = extentSize == 0 ? kDefaultExtentSize : extentSize;
}

CQiError CArchiveVirtualDiskFile::Open(const std::string& path, DiskType_t) {
  if (impl_->mode != Impl::Mode::kClosed)
    return ZY_SYSTEM_ERROR(EBUSY,
                           "open of " + path + ": " + impl_->path + " is open");
  std::string resolved = impl_->Resolve(path);
  int fd = open(resolved.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ZY_SYSTEM_ERROR(errno, "open of " + resolved);
  struct stat facts;
  uint64_t size = 0;
  int problem = 0;
  if (fstat(fd, &facts) != 0) {
    problem = errno;
  } else if (S_ISREG(facts.st_mode)) {
    size = static_cast<uint64_t>(facts.st_size);
  } else if (S_ISBLK(facts.st_mode)) {
    off_t end = lseek(fd, 0, SEEK_END);
    if (end < 0)
      problem = errno;
    else
      size = static_cast<uint64_t>(end);
  } else {
    problem = S_ISDIR(facts.st_mode) ? EISDIR : EINVAL;
  }
  if (problem != 0) {
    close(fd);
    return ZY_SYSTEM_ERROR(problem, "open of " + resolved);
  }
  // No POSIX_FADV_SEQUENTIAL: the kernel's own readahead already follows a
  // front-to-back read, and measured copies of cached images ran slower and
  // far less evenly with the hint.
  impl_->Reset();
  impl_->mode = Impl::Mode::kReading;
  impl_->fd = fd;
  impl_->path = resolved;
  impl_->size = size;
  return CQiError::Success();
}

CQiError CArchiveVirtualDiskFile::SetDiskSize(int64_t maxSize,
                                              int64_t currentSize) {
  if (maxSize < 0 || currentSize < 0)
    return ZY_SYSTEM_ERROR(EINVAL, "disk sizes " + std::to_string(maxSize) +
                                       ", " + std::to_string(currentSize));
  impl_->maxSize = maxSize;
  impl_->currentSize = currentSize;
  return CQiError::Success();
}

CQiError CArchiveVirtualDiskFile::GetFirstBlock(CAutoMemory<char>& buffer,
                                                uint32_t blockSize,
                                                Context_t& context) {
  if (impl_->mode != Impl::Mode::kReading)
    return ZY_SYSTEM_ERROR(EBADF, "no image is open for reading");
  CQiError error = impl_->CheckExtentSize(__func__, __LINE__);
  if (error.IsError()) return error;
  if (blockSize > kMaxFirstBlockSize)
    return ZY_SYSTEM_ERROR(
        EINVAL, "first block of " + std::to_string(blockSize) +
                    " bytes is above " + std::to_string(kMaxFirstBlockSize));
  uint64_t length = std::min<uint64_t>(blockSize, impl_->size);
  if (!buffer.Resize(length)) return ZY_SYSTEM_ERROR(ENOMEM, "block buffer");
  error = impl_->ReadFully(buffer.Ptr(), length, 0);
  if (error.IsError()) return error;
  // The stream starts again at the first byte; data runs are looked up anew.
  impl_->position = 0;
  impl_->cachedData = {};
  impl_->Fill(context);
  return CQiError::Success();
}

CQiError CArchiveVirtualDiskFile::GetNextBlock(CAutoMemory<char>& buffer,
                                               uint64_t& offset,
                                               std::vector<bool>& allocationMap,
                                               Context_t& context) {
  if (impl_->mode != Impl::Mode::kReading)
    return ZY_SYSTEM_ERROR(EBADF, "no image is open for reading");
  CQiError error = impl_->CheckExtentSize(__func__, __LINE__);
  if (error.IsError()) return error;
  if (impl_->position >= impl_->size) {
    impl_->Fill(context);
    return FXErrorUtil::ErrorVS(Here(__func__, __LINE__),
                                FXErrorUtil::kVSEndOfData, "end of data of %s",
                                impl_->path.c_str());
  }
  uint64_t start = impl_->NextBlockStart();
  uint64_t length = std::min(impl_->BlockSize(), impl_->size - start);
  // A failed block is skipped: the stream goes on after it.
  impl_->position = start + length;
  impl_->Fill(context);
  offset = start;
  allocationMap.assign((length + impl_->extentSize - 1) / impl_->extentSize,
                       false);
  if (!buffer.Resize(length)) return ZY_SYSTEM_ERROR(ENOMEM, "block buffer");
  return impl_->ReadBlock(buffer.Ptr(), start, length, allocationMap);
}

CQiError CArchiveVirtualDiskFile::Create(const std::string& path, DiskType_t,
                                         DiskType_t, CAutoMemory<char>&,
                                         uint64_t diskSize, uint32_t,
                                         Context_t& context) {
  if (impl_->mode != Impl::Mode::kClosed)
    return ZY_SYSTEM_ERROR(
        EBUSY, "create of " + path + ": " + impl_->path + " is open");
  CQiError error = impl_->CheckExtentSize(__func__, __LINE__);
  if (error.IsError()) return error;
  if (diskSize > kMaxOffset)
    return ZY_SYSTEM_ERROR(EFBIG, "create of " + path + " with " +
                                      std::to_string(diskSize) + " bytes");
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return ZY_SYSTEM_ERROR(errno, "create of " + path);
  impl_->Reset();
  impl_->mode = Impl::Mode::kWriting;
  impl_->fd = fd;
  impl_->path = path;
  error = impl_->Extend(diskSize);
  if (error.IsError()) {
    // O_EXCL made the file ours, so nothing of the caller's is removed.
    Close();
    unlink(path.c_str());
    return error;
  }
  impl_->Fill(context);
  return CQiError::Success();
}

CQiError CArchiveVirtualDiskFile::WriteBlock(
    CAutoMemory<char>& buffer, uint64_t offset,
    const std::vector<bool>& allocationMap, Context_t& context) {
  if (impl_->mode != Impl::Mode::kWriting)
    return ZY_SYSTEM_ERROR(EBADF, "no image is open for writing");
  CQiError error = impl_->CheckExtentSize(__func__, __LINE__);
  if (error.IsError()) return error;
  uint64_t length = buffer.Size();
  uint64_t extent = impl_->extentSize;
  uint64_t extents = (length + extent - 1) / extent;
  if (allocationMap.size() != extents)
    return ZY_SYSTEM_ERROR(
        EINVAL, "allocation map of " + std::to_string(allocationMap.size()) +
                    " flags for " + std::to_string(extents) + " extents of " +
                    At(impl_->path, offset));
  if (offset > kMaxOffset || length > kMaxOffset - offset)
    return ZY_SYSTEM_ERROR(EFBIG, "write of " + At(impl_->path, offset));
  const char* data = buffer.Ptr_const();
  for (uint64_t index = 0; index < extents;) {
    if (!allocationMap[index]) {
      ++index;
      continue;
    }
    uint64_t first = index;
    while (index < extents && allocationMap[index]) ++index;
    uint64_t from = first * extent;
    uint64_t to = std::min(index * extent, length);
    error = impl_->WriteFully(data + from, to - from, offset + from);
    if (error.IsError()) return error;
    impl_->size = std::max(impl_->size, offset + to);
  }
  // A block that ends in unallocated extents still ends the image there:
  // the file grows over them as a hole.
  error = impl_->Extend(offset + length);
  if (error.IsError()) return error;
  impl_->position = offset + length;
  impl_->Fill(context);
  return CQiError::Success();
}

CQiError CArchiveVirtualDiskFile::Close() {
  if (impl_->mode == Impl::Mode::kClosed) return CQiError::Success();
  std::string path = impl_->path;
  // close is not retried: on Linux the descriptor is gone even on EINTR.
  int result = close(impl_->fd);
  int errnum = errno;
  impl_->Reset();
  if (result != 0) return ZY_SYSTEM_ERROR(errnum, "close of " + path);
  return CQiError::Success();
}

bool CArchiveVirtualDiskFile::IsErrorEOF(const CQiError& error) {
  return FXErrorUtil::IsVS(error, FXErrorUtil::kVSEndOfData);
}
