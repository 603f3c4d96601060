//===- OverlayImages.cpp - Thin images over read-only backed-up images ----===//
//
// Every qemu run names each image's format and opens the backed-up image
// read-only: `qemu-img create -b <absolute path> -F <format>` opens the
// backing file only to read its size (and a VMDK parent's content id), and
// the flattening copy names both images in one json: description with
// "read-only": true, so neither the overlay's recorded backing format nor a
// probe decides how the backing file is read.
//
//===----------------------------------------------------------------------===//
#include "platform/diskimage/OverlayImages.h"

#include "ImageBackend.h"
#include "ImageFormats.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

using namespace zydisk;

namespace {

// A new, empty file at path, so that qemu-img (which replaces what it
// creates) never replaces a file of someone else's.
CQiError Reserve(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return ZY_DISK_ERROR(errno, "create of " + path);
  ::close(fd);
  return CQiError::Success();
}

CQiError SyncFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ZY_DISK_ERROR(errno, "open of " + path);
  int result = ::fsync(fd);
  int err = errno;
  ::close(fd);
  if (result != 0) return ZY_DISK_ERROR(err, "fsync of " + path);
  return CQiError::Success();
}

// What qemu-img info says of an image opened without its backing file.
CQiError ImageInfo(const std::string& path, ImageFormat_t format,
                   nlohmann::json& info) {
  std::string qemuImg, out;
  CQiError error = FindQemuProgram("qemu-img", qemuImg);
  if (error.IsError()) return error;
  error = RunProgram({qemuImg, "info", "--output=json", "-f",
                      RowOf(format).driver(), AbsolutePath(path)},
                     out, kMetadataLimits, ImageFolders({path}));
  if (error.IsError())
    return ZY_DISK_FAULT(FXErrorUtil::SystemErrorNumber(error),
                         "cannot read " + path + " as " + RowOf(format).name() +
                             ": " + error.GetMessage());
  info = nlohmann::json::parse(out, nullptr, false);
  if (!info.is_object() || !info.contains("virtual-size"))
    return ZY_DISK_FAULT(EINVAL, path + ": qemu-img info gives no description");
  return CQiError::Success();
}

// One image as qemu's block layer opens it: format and file named, never
// written, and (for the backing image) without a backing file of its own.
nlohmann::json BlockNode(const std::string& path, ImageFormat_t format) {
  return {{"driver", RowOf(format).driver()},
          {"read-only", true},
          {"file", {{"driver", "file"}, {"filename", AbsolutePath(path)}}}};
}

}  // namespace

CQiError InspectBackingImage(const std::string& path,
                             const std::string& statedFormat,
                             SOverlayBacking& backing) {
  ImageFormat_t content = ImageFormat_t::kRaw;
  CQiError error = FormatToRead(path, DT_NONE, content);
  if (error.IsError()) return error;
  ImageFormat_t format = content;
  if (!statedFormat.empty() &&
      !CArchiveVirtualDiskFile::FormatByShortName(statedFormat, format))
    return ZY_DISK_FAULT(EINVAL, path + " is stated to be a " + statedFormat +
                                     " image, a format not read here");
  // An image stated raw is read raw whatever its first bytes look like.
  if (format != ImageFormat_t::kRaw &&
      std::string(RowOf(format).driver()) != RowOf(content).driver())
    return ZY_DISK_FAULT(EINVAL, path + " is stated to be a " + statedFormat +
                                     " image but its content is " +
                                     RowOf(content).name());
  uint64_t size = 0;
  if (format != ImageFormat_t::kRaw) {
    error = CheckImage(path, format, size);
    if (error.IsError()) return error;
  } else {
    struct stat facts {};
    if (::stat(path.c_str(), &facts) != 0)
      return ZY_DISK_ERROR(errno, "stat of " + path);
    if (!S_ISREG(facts.st_mode))
      return ZY_DISK_FAULT(EINVAL, path + " is not a regular file");
    size = static_cast<uint64_t>(facts.st_size);
  }
  backing.path = AbsolutePath(path);
  backing.format = format;
  backing.virtualSize = size;
  return CQiError::Success();
}

CQiError CreateOverlayImage(const std::string& path, ImageFormat_t format,
                            const SOverlayBacking& backing,
                            uint64_t virtualSize) {
  if (format != ImageFormat_t::kQcow2 && format != ImageFormat_t::kVmdk)
    return ZY_DISK_FAULT(EINVAL, std::string("qemu writes no thin ") +
                                     RowOf(format).name() + " image");
  if (format == ImageFormat_t::kVmdk && backing.format != ImageFormat_t::kVmdk)
    return ZY_DISK_FAULT(EINVAL, "a VMDK delta disk takes a VMDK parent; " +
                                     backing.path + " is a " +
                                     RowOf(backing.format).name() + " image");
  if (backing.path.empty() || backing.path[0] != '/')
    return ZY_DISK_FAULT(EINVAL, "backing image [" + backing.path +
                                     "] is not named by an absolute path");
  std::string qemuImg, out;
  CQiError error = FindQemuProgram("qemu-img", qemuImg);
  if (error.IsError()) return error;
  const FormatRow& row = RowOf(format);
  std::vector<std::string> argv = {qemuImg,
                                   "create",
                                   "-q",
                                   "-f",
                                   row.driver(),
                                   "-o",
                                   row.createOptions,
                                   "-b",
                                   backing.path,
                                   "-F",
                                   RowOf(backing.format).driver(),
                                   AbsolutePath(path)};
  // A qcow2 overlay may be larger than its backing image (the rest reads
  // as zeros); a VMDK delta has its parent's size.
  if (format == ImageFormat_t::kQcow2)
    argv.push_back(std::to_string(std::max(virtualSize, backing.virtualSize)));
  error = Reserve(path);
  if (error.IsError()) return error;
  error = RunProgram(argv, out, kMetadataLimits,
                     ImageFolders({backing.path}, path));
  if (!error.IsError()) return CQiError::Success();
  ::unlink(path.c_str());
  return ZY_DISK_FAULT(FXErrorUtil::SystemErrorNumber(error),
                       "cannot create " + path + " over " + backing.path +
                           ": " + error.GetMessage());
}

CQiError OverlayBackingFile(const std::string& path, ImageFormat_t format,
                            std::string& backingFile) {
  nlohmann::json info;
  CQiError error = ImageInfo(path, format, info);
  if (error.IsError()) return error;
  backingFile = info.value("full-backing-filename",
                           info.value("backing-filename", std::string()));
  return CQiError::Success();
}

CQiError FlattenOverlayImage(const std::string& overlay, ImageFormat_t format,
                             const SOverlayBacking& backing,
                             const std::string& destination,
                             ImageFormat_t destinationFormat) {
  nlohmann::json info;
  CQiError error = ImageInfo(overlay, format, info);
  if (error.IsError()) return error;
  if (!info["virtual-size"].is_number_unsigned())
    return ZY_DISK_FAULT(EINVAL, overlay + ": qemu-img gives no virtual size");
  uint64_t size = info["virtual-size"].get<uint64_t>();
  std::string qemuImg, out;
  error = FindQemuProgram("qemu-img", qemuImg);
  if (error.IsError()) return error;
  error = Reserve(destination);
  if (error.IsError()) return error;
  nlohmann::json source = BlockNode(overlay, format);
  source["backing"] = BlockNode(backing.path, backing.format);
  source["backing"]["backing"] = nullptr;
  error = CreateImage(destination, destinationFormat, size);
  if (!error.IsError())
    error = RunProgram({qemuImg, "convert", "-n", "--target-is-zero", "-W",
                        "-O", RowOf(destinationFormat).driver(),
                        "json:" + source.dump(), AbsolutePath(destination)},
                       out, kStreamLimits,
                       ImageFolders({overlay, backing.path}, destination));
  if (!error.IsError()) error = SyncFile(destination);
  if (!error.IsError()) return CQiError::Success();
  ::unlink(destination.c_str());
  return ZY_DISK_FAULT(FXErrorUtil::SystemErrorNumber(error),
                       "cannot write " + destination + " from " + overlay +
                           ": " + error.GetMessage());
}
