//===- CArchiveVirtualDiskFile.cpp - Disk image component -----------------===//
//
// The component's operations over one open image (ImageBackend): raw files
// (RawImage) or a qemu-nbd server (NbdImage), chosen by the format the
// image is read in (ImageFormats).  The block stream itself is BlockStream;
// whole-image copies other than raw to raw run `qemu-img convert`.
// CopyImage writes under a temporary name ("." NAME "." random
// ".zy-partial" beside the destination), locked with flock while it lives,
// so a later copy to the same name can tell an abandoned one and remove it.
//
//===----------------------------------------------------------------------===//
#include "platform/diskimage/CArchiveVirtualDiskFile.h"

#include "BlockStream.h"
#include "ImageBackend.h"
#include "ImageFormats.h"
#include "NbdImage.h"
#include "RawImage.h"

#include "platform/support/FXPath.h"
#include "platform/support/FXString.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace zydisk {

CQiError SystemError(const char* function, int line, int errnum,
                     const std::string& what) {
  return FXErrorUtil::ErrorSystem(
      FXCodeLocation("CArchiveVirtualDiskFile", function, line), errnum, what);
}

CQiError Fault(const char* function, int line, int errnum,
               const std::string& message) {
  return CQiError(FXErrorUtil::MakeCode(FXErrorUtil::kFamilySystem, errnum),
                  message,
                  FXCodeLocation("CArchiveVirtualDiskFile", function, line));
}

std::string At(const std::string& path, uint64_t offset) {
  return path + " at offset " + std::to_string(offset);
}

CQiError ReadAt(int fd, const std::string& path, char* into,
                std::size_t length, uint64_t offset, std::size_t& got) {
  got = 0;
  while (got < length) {
    ssize_t n = pread(fd, into + got, length - got,
                      static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return ZY_DISK_ERROR(errno, "read of " + At(path, offset));
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return CQiError::Success();
}

}  // namespace zydisk

using namespace zydisk;

namespace {

constexpr char kPartialSuffix[] = ".zy-partial";
constexpr char kStagingSuffix[] = ".zy-raw";

// The tables of a fully allocated image of any format written here take
// at most one byte in kTablesPer of its size, plus kTablesAtMost of
// headers (qcow2: 8-byte L2 and 2-byte refcount entries per 64 KiB
// cluster; VMDK: two 4-byte grain table entries per 64 KiB grain; VHD:
// a 512-byte bitmap per 2 MiB block; VHDX: MiB-aligned header, log,
// metadata and block table regions).
constexpr uint64_t kTablesPer = 256;
constexpr uint64_t kTablesAtMost = 8 << 20;

uint64_t RoundUp(uint64_t value, uint64_t unit) {
  return (value + unit - 1) / unit * unit;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The guest-visible size of a raw image.
CQiError RawSize(const std::string& path, uint64_t& size) {
  std::unique_ptr<ImageBackend> image;
  CQiError error = OpenRawImage(path, image);
  if (!error.IsError()) size = image->Size();
  return error;
}

// The format an image is read in and its guest-visible size, checked as
// for a copy whose table check runs beside it (CheckImage); without
// beside, the tables are not read.
CQiError ProbeImage(const std::string& path, DiskType_t type,
                    ImageFormat_t& format, uint64_t& size, TableCheck* beside) {
  CQiError error = FormatToRead(path, type, format);
  if (error.IsError()) return error;
  if (format != ImageFormat_t::kRaw)
    return CheckImage(path, format, size, beside != nullptr, beside);
  return RawSize(path, size);
}

// Opens an image for reading in the format its type or content gives.
CQiError OpenImage(const std::string& path, DiskType_t type,
                   std::unique_ptr<ImageBackend>& image,
                   ImageFormat_t& format) {
  CQiError error = FormatToRead(path, type, format);
  if (error.IsError()) return error;
  if (format == ImageFormat_t::kRaw) return OpenRawImage(path, image);
  uint64_t virtualSize = 0;
  error = CheckImage(path, format, virtualSize);
  if (error.IsError()) return error;
  return OpenNbdImage(path, format, false, image);
}

// A copy's source as ProbeImage sees it, or in the format its description
// states when it states one; the content must then be of that format,
// except for raw.
CQiError ProbeSource(const CArchiveVirtualDiskFile::CopyRequest_t& request,
                     ImageFormat_t& format, uint64_t& size,
                     TableCheck* beside) {
  const std::string& path = request.source;
  const std::string& stated = request.statedFormat;
  if (stated.empty())
    return ProbeImage(path, request.sourceType, format, size, beside);
  ImageFormat_t wanted = ImageFormat_t::kRaw;
  if (!CArchiveVirtualDiskFile::FormatByShortName(stated, wanted))
    return ZY_DISK_FAULT(EINVAL, path + " is stated to be a " + stated +
                                     " image, a format not read here");
  format = wanted;
  if (wanted == ImageFormat_t::kRaw) return RawSize(path, size);
  CQiError error = FormatToRead(path, DT_NONE, format);
  if (error.IsError()) return error;
  if (std::strcmp(RowOf(format).driver(), RowOf(wanted).driver()) != 0)
    return ZY_DISK_FAULT(EINVAL, path + " is stated to be a " + stated +
                                     " image but its content is " +
                                     RowOf(format).name());
  return CheckImage(path, format, size, beside != nullptr, beside);
}

// A copy's source (as ProbeSource) and the destination's virtual size: the
// source's, at least the minimum asked, rounded up to the format's unit.
struct ProbedCopy {
  ImageFormat_t sourceFormat = ImageFormat_t::kRaw;
  uint64_t sourceSize = 0;
  uint64_t size = 0;
};

CQiError ProbeCopy(const CArchiveVirtualDiskFile::CopyRequest_t& request,
                   ProbedCopy& copy, TableCheck* beside) {
  CQiError error =
      ProbeSource(request, copy.sourceFormat, copy.sourceSize, beside);
  copy.size = RoundUp(std::max(copy.sourceSize, request.minimumSize),
                      RowOf(request.format).sizeUnit);
  return error;
}

// A new file beside path, named "." NAME "." random suffix, locked while it
// lives; removed on destruction unless kept.
class TemporaryFile {
 public:
  ~TemporaryFile() {
    if (fd_ >= 0) close(fd_);
    if (!keep_ && !path_.empty()) unlink(path_.c_str());
  }
  CQiError Make(const std::string& beside, const char* suffix) {
    std::string pattern =
        FolderOf(beside) + "/." + NameOf(beside) + ".XXXXXX" + suffix;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = mkostemps(name.data(), static_cast<int>(std::strlen(suffix)),
                    O_CLOEXEC);
    if (fd_ < 0) return ZY_DISK_ERROR(errno, "create of " + pattern);
    path_ = name.data();
    // Images are readable by all, as files made with the usual umask.
    if (fchmod(fd_, 0644) != 0) return ZY_DISK_ERROR(errno, "mode of " + path_);
    if (flock(fd_, LOCK_EX | LOCK_NB) != 0)
      return ZY_DISK_ERROR(errno, "lock of " + path_);
    return CQiError::Success();
  }
  const std::string& Path() const { return path_; }
  int Fd() const { return fd_; }
  void Keep() { keep_ = true; }

 private:
  int fd_ = -1;
  std::string path_;
  bool keep_ = false;
};

// Removes the temporary files of earlier copies to path whose owner is
// gone (no lock held on them).
void RemoveAbandoned(const std::string& path) {
  std::string folder = FolderOf(path);
  std::string prefix = "." + NameOf(path) + ".";
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.size() != prefix.size() + 6 + std::strlen(kPartialSuffix) ||
        name.compare(0, prefix.size(), prefix) != 0 ||
        !FXString::MatchRightNoCase(name, kPartialSuffix))
      continue;
    std::string old = folder + "/" + name;
    int fd = open(old.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat facts;
    if (fstat(fd, &facts) == 0 && S_ISREG(facts.st_mode) &&
        flock(fd, LOCK_EX | LOCK_NB) == 0)
      unlink(old.c_str());
    close(fd);
  }
  closedir(dir);
}

// Moves from to to unless to exists.
CQiError RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(),
                RENAME_NOREPLACE) == 0)
    return CQiError::Success();
  if (errno != EINVAL && errno != ENOSYS)
    return ZY_DISK_ERROR(errno, "rename of " + from + " to " + to);
  // File systems without RENAME_NOREPLACE: a hard link fails on an
  // existing name just the same.
  if (link(from.c_str(), to.c_str()) != 0)
    return ZY_DISK_ERROR(errno, "rename of " + from + " to " + to);
  unlink(from.c_str());
  return CQiError::Success();
}

// A failed write onto a file system left with almost no room failed for
// lack of room, whatever error number qemu or the kernel chose to say it
// with (a full tmpfs also answers "Operation not supported").
constexpr uint64_t kFullBelow = 1 << 20;

CQiError WhenFull(const std::string& partial, const CQiError& error) {
  struct statvfs room;
  if (FXErrorUtil::SystemErrorNumber(error) == ENOSPC ||
      statvfs(partial.c_str(), &room) != 0 ||
      static_cast<uint64_t>(room.f_bavail) * room.f_frsize >= kFullBelow)
    return error;
  return ZY_DISK_FAULT(ENOSPC, std::string(std::strerror(ENOSPC)) + " (" +
                                   error.GetMessage() + ")");
}

// Creates a formatted image of size bytes at path (replacing the empty
// file there) and opens it for writing.
CQiError CreateFormatted(const std::string& path, ImageFormat_t format,
                         uint64_t size, std::unique_ptr<ImageBackend>& image) {
  CQiError error = CreateImage(path, format, size);
  if (error.IsError()) return error;
  return OpenNbdImage(path, format, true, image);
}

// What a copy read and wrote.
struct CopyCounts {
  uint64_t bytesRead = 0;  // guest bytes read
  uint64_t dataBytes = 0;  // of those, bytes written as data
};

// The bytes of a finished image that hold data: its file's allocation, at
// most its virtual size.  A report only (clone-disk's "data copied"):
// exact for raw, and for the other formats over by their tables at most
// (well under 1 %), where `qemu-img map` counted whole VHD blocks and, for
// a fixed VHD or a VHDX, every byte of the disk as data.
uint64_t AllocatedData(const std::string& path, uint64_t size) {
  struct stat facts;
  if (stat(path.c_str(), &facts) != 0) return 0;
  return std::min(static_cast<uint64_t>(facts.st_blocks) * 512, size);
}

// source copied by `qemu-img convert` into destination, a new image of
// format and size bytes (at least the source's).  The convert makes it
// itself, the same image `qemu-img create` would make, where both sizes
// are whole sectors, as qemu sizes what it creates from its sources;
// else it is created first.
CQiError ConvertInto(const std::string& source, ImageFormat_t sourceFormat,
                     uint64_t sourceSize, const std::string& destination,
                     ImageFormat_t format, uint64_t size,
                     const std::function<void(double)>& percent) {
  bool create = size % 512 == 0 && sourceSize % 512 == 0;
  CQiError error =
      create ? CQiError::Success() : CreateImage(destination, format, size);
  if (error.IsError()) return error;
  return ConvertImage(source, sourceFormat, destination, format, create,
                      create ? size - sourceSize : 0, percent);
}

// Any other pair: qemu-img convert into a new image of the destination's
// format, reading and writing in one process.
CQiError CopyFormatted(const std::string& source, ImageFormat_t sourceFormat,
                       uint64_t sourceSize, TemporaryFile& partial,
                       ImageFormat_t format, uint64_t size, CopyCounts& counts,
                       const std::function<void(uint64_t)>& progress) {
  std::function<void(double)> percent;
  if (progress)
    percent = [&](double done) {
      progress(static_cast<uint64_t>(done / 100 * static_cast<double>(size)));
    };
  CQiError error = ConvertInto(source, sourceFormat, sourceSize, partial.Path(),
                               format, size, percent);
  if (error.IsError())
    return ZY_DISK_FAULT(FXErrorUtil::SystemErrorNumber(error),
                         "cannot copy " + source + " as " +
                             RowOf(sourceFormat).name() + ": " +
                             error.GetMessage());
  counts.bytesRead = sourceSize;
  counts.dataBytes = AllocatedData(partial.Path(), size);
  return CQiError::Success();
}

// Raw to raw: a clone where the file system shares extents, else the data
// runs copied in the kernel (copy_file_range), or by read and write where
// the kernel cannot copy between the two files.
CQiError CopyRaw(const std::string& source, uint64_t sourceSize,
                 TemporaryFile& partial, uint64_t size, CopyCounts& counts,
                 const std::function<void(uint64_t)>& progress) {
  std::unique_ptr<ImageBackend> from, to;
  CQiError error = OpenRawImage(source, from);
  if (!error.IsError())
    error = AdoptRawImage(fcntl(partial.Fd(), F_DUPFD_CLOEXEC, 0),
                          partial.Path(), size, to);
  if (!error.IsError())
    error = KernelCopy(*from, *to, counts.dataBytes, progress);
  if (error.IsError()) return error;
  counts.bytesRead = sourceSize;
  return to->Finish();
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
  std::unique_ptr<ImageBackend> image;
  std::string path;
  BlockReader reader;
  uint64_t writePosition = 0;
  // A formatted image created without a size: written raw to staging and
  // translated into format at path when closed.
  std::unique_ptr<TemporaryFile> staging;
  ImageFormat_t format = ImageFormat_t::kRaw;
  // A formatted image keeps the descriptor of its name from Create to
  // Close, where the finished image is flushed through it.
  int reservedFd = -1;

  uint64_t BlockSize() const { return RoundUp(kBlockSize, extentSize); }
  uint64_t Size() const { return image ? image->Size() : 0; }

  CQiError CheckExtentSize(const char* function, int line) const {
    if (extentSize <= kMaxExtentSize) return CQiError::Success();
    return SystemError(function, line, EINVAL,
                       "extent size " + std::to_string(extentSize) +
                           " is above " + std::to_string(kMaxExtentSize));
  }

  void Fill(Context_t& context) const {
    context.u64Position =
        mode == Mode::kWriting ? writePosition : reader.position;
    context.u64ExtentSize = extentSize;
    context.u64DiskSize = Size();
    context.u64BlockSize = BlockSize();
  }

  std::string Resolve(const std::string& name) const {
    if (name.empty() || name[0] == '/' || mountPath.empty()) return name;
    return CQiPath::Append(mountPath, name);
  }

  void StartReading(std::unique_ptr<ImageBackend> opened,
                    const std::string& opening) {
    Reset();
    mode = Mode::kReading;
    image = std::move(opened);
    path = opening;
    reader.image = image.get();
  }

  // The staged raw image becomes the formatted one at path.
  CQiError Translate() {
    std::unique_ptr<ImageBackend> from;
    CQiError error = OpenRawImage(staging->Path(), from);
    if (error.IsError()) return error;
    uint64_t size = RoundUp(std::max<uint64_t>(from->Size(), 1),
                            RowOf(format).sizeUnit);
    error = ConvertInto(staging->Path(), ImageFormat_t::kRaw, from->Size(),
                        path, format, size, nullptr);
    if (!error.IsError()) return error;
    return ZY_DISK_FAULT(FXErrorUtil::SystemErrorNumber(error),
                         "cannot write " + path + " as " +
                             RowOf(format).name() + ": " + error.GetMessage());
  }

  CQiError Finish() {
    CQiError error = image ? image->Finish() : CQiError::Success();
    if (!error.IsError() && staging) error = Translate();
    if (!error.IsError() && reservedFd >= 0 && fdatasync(reservedFd) != 0)
      error = ZY_DISK_ERROR(errno, "flush of " + path);
    if (reservedFd >= 0 && close(reservedFd) != 0 && !error.IsError())
      error = ZY_DISK_ERROR(errno, "close of " + path);
    reservedFd = -1;
    if (error.IsError() && mode == Mode::kWriting) unlink(path.c_str());
    return error;
  }

  void Reset() {
    mode = Mode::kClosed;
    image.reset();
    staging.reset();
    if (reservedFd >= 0) close(reservedFd);
    reservedFd = -1;
    path.clear();
    reader.image = nullptr;
    reader.Restart();
    writePosition = 0;
    format = ImageFormat_t::kRaw;
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

CQiError CArchiveVirtualDiskFile::Open(const std::string& path,
                                       DiskType_t type) {
  if (impl_->mode != Impl::Mode::kClosed)
    return ZY_DISK_ERROR(EBUSY,
                         "open of " + path + ": " + impl_->path + " is open");
  std::string resolved = impl_->Resolve(path);
  std::unique_ptr<ImageBackend> image;
  ImageFormat_t format = ImageFormat_t::kRaw;
  CQiError error = OpenImage(resolved, type, image, format);
  if (error.IsError()) return error;
  impl_->StartReading(std::move(image), resolved);
  impl_->format = format;
  return CQiError::Success();
}

CQiError CArchiveVirtualDiskFile::SetDiskSize(int64_t maxSize,
                                              int64_t currentSize) {
  if (maxSize < 0 || currentSize < 0)
    return ZY_DISK_ERROR(EINVAL, "disk sizes " + std::to_string(maxSize) +
                                     ", " + std::to_string(currentSize));
  impl_->maxSize = maxSize;
  impl_->currentSize = currentSize;
  return CQiError::Success();
}

CQiError CArchiveVirtualDiskFile::GetFirstBlock(CAutoMemory<char>& buffer,
                                                uint32_t blockSize,
                                                Context_t& context) {
  if (impl_->mode != Impl::Mode::kReading)
    return ZY_DISK_ERROR(EBADF, "no image is open for reading");
  CQiError error = impl_->CheckExtentSize(__func__, __LINE__);
  if (error.IsError()) return error;
  if (blockSize > kMaxFirstBlockSize)
    return ZY_DISK_ERROR(
        EINVAL, "first block of " + std::to_string(blockSize) +
                    " bytes is above " + std::to_string(kMaxFirstBlockSize));
  uint64_t length = std::min<uint64_t>(blockSize, impl_->Size());
  if (!buffer.Resize(length)) return ZY_DISK_ERROR(ENOMEM, "block buffer");
  error = impl_->image->Read(buffer.Ptr(), length, 0);
  if (error.IsError()) return error;
  // The stream starts again at the first byte; data runs are looked up anew.
  impl_->reader.extentSize = impl_->extentSize;
  impl_->reader.blockSize = impl_->BlockSize();
  impl_->reader.Restart();
  impl_->Fill(context);
  return CQiError::Success();
}

CQiError CArchiveVirtualDiskFile::GetNextBlock(CAutoMemory<char>& buffer,
                                               uint64_t& offset,
                                               std::vector<bool>& allocationMap,
                                               Context_t& context) {
  if (impl_->mode != Impl::Mode::kReading)
    return ZY_DISK_ERROR(EBADF, "no image is open for reading");
  CQiError error = impl_->CheckExtentSize(__func__, __LINE__);
  if (error.IsError()) return error;
  BlockReader& reader = impl_->reader;
  reader.extentSize = impl_->extentSize;
  reader.blockSize = impl_->BlockSize();
  uint64_t size = impl_->Size();
  if (reader.position >= size) {
    impl_->Fill(context);
    return FXErrorUtil::ErrorVS(
        FXCodeLocation("CArchiveVirtualDiskFile", __func__, __LINE__),
        FXErrorUtil::kVSEndOfData, "end of data of %s", impl_->path.c_str());
  }
  uint64_t start = 0;
  error = reader.NextBlockStart(start);
  if (error.IsError()) {
    reader.position = size;  // nothing more can be found
    return error;
  }
  uint64_t length = std::min(reader.blockSize, size - start);
  // A failed block is skipped: the stream goes on after it.
  reader.position = start + length;
  impl_->Fill(context);
  offset = start;
  if (!buffer.Resize(length)) return ZY_DISK_ERROR(ENOMEM, "block buffer");
  return reader.ReadBlock(buffer.Ptr(), start, length, allocationMap);
}

CQiError CArchiveVirtualDiskFile::Create(const std::string& path, DiskType_t,
                                         DiskType_t destinationType,
                                         CAutoMemory<char>&, uint64_t diskSize,
                                         uint32_t, Context_t& context) {
  if (impl_->mode != Impl::Mode::kClosed)
    return ZY_DISK_ERROR(
        EBUSY, "create of " + path + ": " + impl_->path + " is open");
  CQiError error = impl_->CheckExtentSize(__func__, __LINE__);
  if (error.IsError()) return error;
  ImageFormat_t format = FormatForDiskType(destinationType);
  uint64_t size = RoundUp(diskSize, RowOf(format).sizeUnit);
  if (size > kMaxVirtualSize)
    return ZY_DISK_ERROR(EFBIG, "create of " + path + " with " +
                                    std::to_string(diskSize) + " bytes");
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return ZY_DISK_ERROR(errno, "create of " + path);
  impl_->Reset();
  impl_->mode = Impl::Mode::kWriting;
  impl_->path = path;
  impl_->format = format;
  if (format == ImageFormat_t::kRaw) {
    error = AdoptRawImage(fd, path, size, impl_->image);
  } else {
    impl_->reservedFd = fd;
    if (size > 0) {
      error = CreateFormatted(path, format, size, impl_->image);
    } else {
      impl_->staging.reset(new TemporaryFile);
      error = impl_->staging->Make(path, kStagingSuffix);
      if (!error.IsError())
        error = AdoptRawImage(fcntl(impl_->staging->Fd(), F_DUPFD_CLOEXEC, 0),
                              impl_->staging->Path(), 0, impl_->image);
    }
  }
  if (error.IsError()) {
    // O_EXCL made the file ours, so nothing of the caller's is removed.
    impl_->Reset();
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
    return ZY_DISK_ERROR(EBADF, "no image is open for writing");
  CQiError error = impl_->CheckExtentSize(__func__, __LINE__);
  if (error.IsError()) return error;
  uint64_t length = buffer.Size();
  uint64_t extent = impl_->extentSize;
  uint64_t extents = (length + extent - 1) / extent;
  if (allocationMap.size() != extents)
    return ZY_DISK_ERROR(
        EINVAL, "allocation map of " + std::to_string(allocationMap.size()) +
                    " flags for " + std::to_string(extents) + " extents of " +
                    At(impl_->path, offset));
  if (offset > kMaxVirtualSize || length > kMaxVirtualSize - offset)
    return ZY_DISK_ERROR(EFBIG, "write of " + At(impl_->path, offset));
  error = WriteAllocated(*impl_->image, buffer.Ptr_const(), length, offset,
                         allocationMap, extent);
  if (error.IsError()) return error;
  impl_->writePosition = offset + length;
  impl_->Fill(context);
  return CQiError::Success();
}

CQiError CArchiveVirtualDiskFile::Close() {
  if (impl_->mode == Impl::Mode::kClosed) return CQiError::Success();
  CQiError error = impl_->Finish();
  impl_->Reset();
  return error;
}

bool CArchiveVirtualDiskFile::IsErrorEOF(const CQiError& error) {
  return FXErrorUtil::IsVS(error, FXErrorUtil::kVSEndOfData);
}

CQiError CArchiveVirtualDiskFile::CopyImage(const CopyRequest_t& request,
                                            CopyResult_t& result) {
  // The source's tables are checked while the copy reads it: the copy
  // waits for no check, and is renamed into place only once it passes.
  TableCheck tables;
  ProbedCopy probed;
  CQiError error = ProbeCopy(request, probed, &tables);
  if (error.IsError()) return error;
  if (probed.size > kMaxVirtualSize)
    return ZY_DISK_FAULT(EFBIG, request.destination + " would be " +
                                    std::to_string(probed.size) +
                                    " bytes, above 64 TiB");
  struct stat facts;
  if (lstat(request.destination.c_str(), &facts) == 0)
    return ZY_DISK_FAULT(EEXIST, request.destination +
                                     " exists; a copy never replaces a file");
  RemoveAbandoned(request.destination);
  TemporaryFile partial;
  error = partial.Make(request.destination, kPartialSuffix);
  if (error.IsError()) return error;

  CopyCounts counts;
  std::function<void(uint64_t)> progress;
  if (request.progress)
    progress = [&](uint64_t done) { request.progress(done, probed.size); };
  if (probed.sourceFormat == ImageFormat_t::kRaw &&
      request.format == ImageFormat_t::kRaw)
    error = CopyRaw(request.source, probed.sourceSize, partial, probed.size,
                    counts, progress);
  else
    error = CopyFormatted(request.source, probed.sourceFormat,
                          probed.sourceSize, partial, request.format,
                          probed.size, counts, progress);
  // A damaged source says why its copy failed better than the copy does.
  CQiError damaged = tables.Finish();
  if (damaged.IsError()) return damaged;
  if (error.IsError()) return WhenFull(partial.Path(), error);
  if (request.verify) {
    error = CompareImages(request.source, probed.sourceFormat, partial.Path(),
                          request.format);
    if (error.IsError()) return error;
  }
  error = RenameNoReplace(partial.Path(), request.destination);
  if (error.IsError()) return error;
  partial.Keep();
  result.sourceFormat = RowOf(probed.sourceFormat).name();
  result.virtualSize = probed.size;
  result.bytesRead = counts.bytesRead;
  result.dataBytes = counts.dataBytes;
  result.verified = request.verify;
  return CQiError::Success();
}

CQiError CArchiveVirtualDiskFile::Measure(const CopyRequest_t& request,
                                          uint64_t& bytes, bool bound) {
  // The room a copy needs comes from the headers; its copy checks the tables.
  ProbedCopy probed;
  CQiError error = ProbeCopy(request, probed, nullptr);
  if (error.IsError()) return error;
  if (request.format == ImageFormat_t::kVhdFixed) {
    bytes = probed.size + 512;  // the footer
    return CQiError::Success();
  }
  // Only the source's guest data is written, and at most all of it: its
  // virtual size, with the tables of a fully allocated image, whatever
  // the source's compression or the destination's block size.
  if (bound) {
    bytes = probed.sourceSize + probed.sourceSize / kTablesPer + kTablesAtMost;
    return CQiError::Success();
  }
  return MeasureImage(request.source, probed.sourceFormat, bytes);
}

CQiError CArchiveVirtualDiskFile::Inspect(const std::string& path,
                                          DiskType_t type,
                                          ImageFacts_t& facts) {
  ImageFormat_t format = ImageFormat_t::kRaw;
  CQiError error = FormatToRead(path, type, format);
  if (error.IsError()) return error;
  facts.format = RowOf(format).name();
  if (format != ImageFormat_t::kRaw)
    return CheckImage(path, format, facts.virtualSize, false);
  std::unique_ptr<ImageBackend> image;
  error = OpenRawImage(path, image);
  if (error.IsError()) return error;
  facts.virtualSize = image->Size();
  return CQiError::Success();
}

CArchiveVirtualDiskFile::CheckOncePerRun::CheckOncePerRun() {
  BeginCheckOnce();
}

CArchiveVirtualDiskFile::CheckOncePerRun::~CheckOncePerRun() { EndCheckOnce(); }

ImageFormat_t CArchiveVirtualDiskFile::FormatForDiskType(DiskType_t type) {
  return zykinds::WrittenFormatOf(type);
}

const char* CArchiveVirtualDiskFile::FormatName(ImageFormat_t format) {
  return RowOf(format).name();
}

bool CArchiveVirtualDiskFile::FormatByShortName(const std::string& name,
                                                ImageFormat_t& format) {
  for (const zykinds::ImageFormatFacts& row : zykinds::kImageFormats)
    if (FXString::CompareNoCase(name, row.shortName) == 0) {
      format = row.format;
      return true;
    }
  return false;
}
