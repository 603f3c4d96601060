//===- diskimage.cpp - Fuzz target: recognising a disk image --------------===//
//
// The first byte picks the DiskType_t the image is opened as (or none); the
// rest is the file.  The component recognises its format from the magic
// numbers at its head and the VHD footer at its tail, reads its headers
// (virtual size, references to other files), and checks a VMDK
// descriptor's extents, before any qemu program sees the file.  A format it
// accepts must be one the DiskType_t names, or the content's own; a size
// its headers give is one only a formatted image has, and a refusal is
// never silent.
//
//===----------------------------------------------------------------------===//
#include "FuzzSupport.h"

#include "platform/diskimage/ImageFormats.h"
#include "platform/diskimage/ImageSniffer.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

namespace {

constexpr DiskType_t kTypes[] = {DT_NONE, DT_HYPERV_VHD, DT_VHD_13,
                                 DT_VHD_14,  DT_AZURE,      DT_VMDK,
                                 DT_VHDX_20, DT_VHDX_21,    DT_VHDX_22,
                                 DT_AMAZON};

// One file per process, rewritten for every input.
const std::string& ImagePath() {
  static const std::string path = [] {
    std::string folder =
        (std::filesystem::temp_directory_path() / "zyvm-fuzz-XXXXXX").string();
    if (!::mkdtemp(folder.data())) zyfuzz::Broken("no temporary folder");
    return folder + "/disk.img";
  }();
  return path;
}

void WriteImage(const uint8_t* data, size_t size) {
  int fd = ::open(ImagePath().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size))
    zyfuzz::Broken("cannot write the image file");
  ::close(fd);
}

ImageFormat_t Family(ImageFormat_t format) {
  return format == ImageFormat_t::kVhdFixed ? ImageFormat_t::kVhd : format;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zyfuzz::Quiet();
  if (size == 0) return 0;
  DiskType_t type = kTypes[data[0] % (sizeof kTypes / sizeof kTypes[0])];
  WriteImage(data + 1, size - 1);
  ImageFormat_t format = ImageFormat_t::kRaw;
  if (zydisk::FormatToRead(ImagePath(), type, format).IsError()) return 0;
  if (type != DT_NONE &&
      Family(format) != Family(zykinds::WrittenFormatOf(type)))
    zyfuzz::Broken("an image accepted in a format its disk type does not name");
  if (format == ImageFormat_t::kVmdk) zydisk::CheckDescriptor(ImagePath());
  zydisk::SniffedImage sniffed;
  bool refused = zydisk::SniffImageFile(ImagePath(), sniffed).IsError();
  if (sniffed.sized && (sniffed.format == ImageFormat_t::kRaw ||
                        !sniffed.refusal.empty()))
    zyfuzz::Broken("a size read from the headers of no image format");
  if (!sniffed.tables && sniffed.format != ImageFormat_t::kVmdk)
    zyfuzz::Broken("tables missing from a format that always has them");
  if (!sniffed.refusal.empty() && !refused)
    zyfuzz::Broken("an image refused by its headers but read");
  return 0;
}
