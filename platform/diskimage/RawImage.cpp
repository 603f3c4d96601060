//===- RawImage.cpp - Raw images through POSIX calls ----------------------===//
//
// The reader keeps one cached data run (from SEEK_DATA/SEEK_HOLE), so a
// dense image costs two lseek calls in all and a sparse one two per data
// run.  Writes past the end of the file leave holes behind them by
// themselves, so the file's size is set only for a block that ends in
// unallocated extents.
//
//===----------------------------------------------------------------------===//
#include "RawImage.h"

#include "ImageSniffer.h"

#include "platform/support/StopRequest.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <vector>

namespace zydisk {
namespace {

constexpr uint64_t kMaxOffset =
    static_cast<uint64_t>(std::numeric_limits<off_t>::max());
// One copy_file_range call moves at most this much, so progress is seen.
constexpr uint64_t kKernelChunk = 64ull << 20;
// Where the kernel cannot copy, runs go through a buffer of this size.
constexpr uint64_t kHandChunk = 1ull << 20;

class RawImage final : public ImageBackend {
 public:
  RawImage(int fd, std::string path, uint64_t size)
      : fd_(fd), path_(std::move(path)), size_(size) {}
  ~RawImage() override {
    if (fd_ >= 0) close(fd_);
  }

  uint64_t Size() const override { return size_; }
  const std::string& Path() const override { return path_; }
  int RawFd() const override { return fd_; }

  // Without SEEK_DATA everything is data, which is always safe: zeros read
  // from a hole are found by the caller's scan.
  CQiError NextData(uint64_t from, Span& run) override {
    run = {from, size_};
    if (!seekHoles_ || from >= size_) return CQiError::Success();
    off_t data = lseek(fd_, static_cast<off_t>(from), SEEK_DATA);
    if (data < 0) {
      if (errno != ENXIO) {
        seekHoles_ = false;
        return CQiError::Success();
      }
      // No data after from, or the image is shorter than when it was
      // opened: then its tail is read as data, so the read comes up short.
      if (!Shrunk()) run = {size_, size_};
      return CQiError::Success();
    }
    off_t hole = lseek(fd_, data, SEEK_HOLE);
    uint64_t end = hole < 0 ? size_ : std::min<uint64_t>(hole, size_);
    run = {static_cast<uint64_t>(data), end};
    if (run.start >= run.end) run = {size_, size_};
    return CQiError::Success();
  }

  CQiError Read(char* into, uint64_t length, uint64_t offset) override {
    while (length > 0) {
      ssize_t n = pread(fd_, into, length, static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return ZY_DISK_ERROR(errno, "read of " + At(path_, offset));
      // The image is shorter than it was when opened.
      if (n == 0)
        return ZY_DISK_ERROR(EIO, "short read of " + At(path_, offset));
      into += n;
      offset += static_cast<uint64_t>(n);
      length -= static_cast<uint64_t>(n);
    }
    return CQiError::Success();
  }

  CQiError Write(const char* from, uint64_t length, uint64_t offset) override {
    if (offset > kMaxOffset || length > kMaxOffset - offset)
      return ZY_DISK_ERROR(EFBIG, "write of " + At(path_, offset));
    while (length > 0) {
      ssize_t n = pwrite(fd_, from, length, static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return ZY_DISK_ERROR(errno, "write of " + At(path_, offset));
      if (n == 0)
        return ZY_DISK_ERROR(EIO, "short write of " + At(path_, offset));
      from += n;
      offset += static_cast<uint64_t>(n);
      length -= static_cast<uint64_t>(n);
      size_ = std::max(size_, offset);
    }
    return CQiError::Success();
  }

  CQiError Grow(uint64_t end) override {
    if (end <= size_) return CQiError::Success();
    if (end > kMaxOffset)
      return ZY_DISK_ERROR(EFBIG, "resize of " + path_ + " to " +
                                      std::to_string(end));
    if (ftruncate(fd_, static_cast<off_t>(end)) != 0)
      return ZY_DISK_ERROR(errno, "resize of " + path_ + " to " +
                                      std::to_string(end));
    size_ = end;
    return CQiError::Success();
  }

  CQiError Finish() override {
    if (fd_ < 0) return CQiError::Success();
    // close is not retried: on Linux the descriptor is gone even on EINTR.
    int result = close(fd_);
    int errnum = errno;
    fd_ = -1;
    if (result != 0) return ZY_DISK_ERROR(errnum, "close of " + path_);
    return CQiError::Success();
  }

 private:
  bool Shrunk() const {
    struct stat facts;
    return fstat(fd_, &facts) == 0 && S_ISREG(facts.st_mode) &&
           static_cast<uint64_t>(facts.st_size) < size_;
  }

  int fd_;
  std::string path_;
  uint64_t size_;
  bool seekHoles_ = true;  // the file system answers SEEK_DATA/SEEK_HOLE
};

bool KernelCannot(int errnum) {
  return errnum == ENOSYS || errnum == EXDEV || errnum == EINVAL ||
         errnum == EOPNOTSUPP || errnum == ENOTTY;
}

// The bytes of from's data runs, which a clone shares rather than copies.
CQiError CountData(ImageBackend& from, uint64_t& dataBytes) {
  for (uint64_t at = 0; at < from.Size();) {
    Span run;
    CQiError error = from.NextData(at, run);
    if (error.IsError()) return error;
    dataBytes += run.end - run.start;
    at = run.end;
  }
  return CQiError::Success();
}

// A signal, or the failure of a copy beside it, stops a copy between
// chunks; the caller removes the partial file.
CQiError Stopped(const ImageBackend& to) {
  int signal = StopSignal();
  return ZY_DISK_FAULT(ECANCELED,
                       "copy to " + to.Path() + " stopped" +
                           (signal ? " by " + SignalName(signal) : ""));
}

// One data run through user space, where the kernel cannot copy between
// the two files; its zeros are written as they are.
CQiError CopyByHand(ImageBackend& from, ImageBackend& to, uint64_t start,
                    uint64_t end, uint64_t& dataBytes,
                    const std::function<void(uint64_t)>& progress) {
  std::vector<char> buffer(std::min<uint64_t>(kHandChunk, end - start));
  for (uint64_t at = start; at < end;) {
    if (StopAsked()) return Stopped(to);
    uint64_t length = std::min<uint64_t>(buffer.size(), end - at);
    CQiError error = from.Read(buffer.data(), length, at);
    if (!error.IsError()) error = to.Write(buffer.data(), length, at);
    if (error.IsError()) return error;
    at += length;
    dataBytes += length;
    if (progress) progress(at);
  }
  return CQiError::Success();
}

// One data run in the kernel; false in byHand when the kernel cannot copy
// between the two files, and the rest of the run is left to the caller.
CQiError CopyInKernel(ImageBackend& from, ImageBackend& to, uint64_t& start,
                      uint64_t end, uint64_t& dataBytes, bool& byHand,
                      const std::function<void(uint64_t)>& progress) {
  loff_t in = static_cast<loff_t>(start);
  loff_t out = in;
  while (static_cast<uint64_t>(in) < end) {
    if (StopAsked()) return Stopped(to);
    size_t chunk = std::min<uint64_t>(kKernelChunk, end - in);
    ssize_t n = copy_file_range(from.RawFd(), &in, to.RawFd(), &out, chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && KernelCannot(errno)) {
      byHand = true;
      break;
    }
    if (n < 0) return ZY_DISK_ERROR(errno, "copy to " + At(to.Path(), out));
    if (n == 0)
      return ZY_DISK_ERROR(EIO, "short read of " + At(from.Path(), in));
    dataBytes += static_cast<uint64_t>(n);
    if (progress) progress(static_cast<uint64_t>(in));
  }
  start = static_cast<uint64_t>(in);
  return CQiError::Success();
}

}  // namespace

CQiError OpenRawImage(const std::string& path,
                      std::unique_ptr<ImageBackend>& image) {
  // A FIFO, socket or character device is refused before it is opened:
  // opening one may wait for ever.  O_NONBLOCK covers a swap after the
  // check, and changes nothing for files and block devices.
  CQiError refused = CheckRegularFile(path, "an image", true);
  if (refused.IsError()) return refused;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return ZY_DISK_ERROR(errno, "open of " + path);
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
    return ZY_DISK_ERROR(problem, "open of " + path);
  }
  // No POSIX_FADV_SEQUENTIAL: the kernel's own readahead already follows a
  // front-to-back read, and measured copies of cached images ran slower and
  // far less evenly with the hint.
  image.reset(new RawImage(fd, path, size));
  return CQiError::Success();
}

CQiError AdoptRawImage(int fd, const std::string& path, uint64_t size,
                       std::unique_ptr<ImageBackend>& image) {
  image.reset(new RawImage(fd, path, 0));
  return image->Grow(size);
}

CQiError KernelCopy(ImageBackend& from, ImageBackend& to, uint64_t& dataBytes,
                    const std::function<void(uint64_t)>& progress) {
  uint64_t size = from.Size();
  CQiError error = to.Grow(size);
  if (error.IsError()) return error;
  // A clone shares the source's extents, holes included, at once.  A file
  // system without clones, or two files on different ones, answers before
  // anything is changed; any other failure is the copy's.
  if (ioctl(to.RawFd(), FICLONE, from.RawFd()) == 0) {
    error = CountData(from, dataBytes);
    if (!error.IsError() && progress) progress(size);
    return error;
  }
  if (!KernelCannot(errno))
    return ZY_DISK_ERROR(errno, "clone of " + from.Path() + " as " + to.Path());
  bool byHand = false;
  for (uint64_t at = 0; at < size;) {
    Span run;
    error = from.NextData(at, run);
    if (error.IsError()) return error;
    if (run.start >= size) break;
    if (!byHand)
      error = CopyInKernel(from, to, run.start, run.end, dataBytes, byHand,
                           progress);
    if (!error.IsError() && byHand && run.start < run.end)
      error = CopyByHand(from, to, run.start, run.end, dataBytes, progress);
    if (error.IsError()) return error;
    at = run.end;
  }
  return CQiError::Success();
}

}  // namespace zydisk
