//===- ImageSniffer.cpp - An image's format from its first and last bytes -===//
#include "ImageSniffer.h"

#include "ImageBackend.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zydisk {
namespace {

constexpr std::size_t kHeadBytes = 1024;
constexpr std::size_t kSector = 512;

// Magic numbers at the start of a file.  A row that is not readable is a
// format this system does not read, refused by its name; qemu's driver is
// still named, for the boot check.
struct Magic {
  std::size_t offset;
  const char* bytes;
  std::size_t length;
  bool readable;
  ImageFormat_t format;
  const char* name;
  const char* driver;
};
// clang-format off
constexpr Magic kMagics[] = {
  {0,  "QFI\xfb",                 4,  true,  ImageFormat_t::kQcow2, "qcow2",          "qcow2"},
  {0,  "KDMV",                    4,  true,  ImageFormat_t::kVmdk,  "VMDK",           "vmdk"},
  {0,  "# Disk DescriptorFile",   21, true,  ImageFormat_t::kVmdk,  "VMDK",           "vmdk"},
  {0,  "vhdxfile",                8,  true,  ImageFormat_t::kVhdx,  "VHDX",           "vhdx"},
  {0,  "conectix",                8,  true,  ImageFormat_t::kVhd,   "VHD",            "vpc"},
  {0,  "COWD",                    4,  false, ImageFormat_t::kRaw,   "VMware ESX COW", "vmdk"},
  {0,  "QED\0",                   4,  false, ImageFormat_t::kRaw,   "QED",            "qed"},
  {64, "\x7f\x10\xda\xbe",        4,  false, ImageFormat_t::kRaw,   "VDI",            "vdi"},
  {0,  "WithoutFreeSpace",        16, false, ImageFormat_t::kRaw,   "Parallels",      "parallels"},
  {0,  "WithouFreSpacExt",        16, false, ImageFormat_t::kRaw,   "Parallels",      "parallels"},
  {0,  "Bochs Virtual HD Image",  22, false, ImageFormat_t::kRaw,   "Bochs",          "bochs"},
  {0,  "LUKS\xba\xbe",            6,  false, ImageFormat_t::kRaw,   "LUKS",           "luks"},
  {0,  "#!/bin/sh\n#V2.0 Format", 22, false, ImageFormat_t::kRaw,   "cloop",          "cloop"},
};
// clang-format on
constexpr const Magic& kVhdFooter = kMagics[4];

// qcow (version 1) shares qcow2's magic number.
constexpr Magic kQcow1 = {0, "", 0, false, ImageFormat_t::kRaw, "qcow (version 1)", "qcow"};
// The incompatible feature bit of a qcow2 version 3 header that says the
// guest's data is in an external file.
constexpr std::size_t kQcow2IncompatibleAt = 72;
constexpr unsigned char kQcow2ExternalDataBit = 1u << 2;

uint32_t BigEndian32(const char* p) {
  auto b = reinterpret_cast<const unsigned char*>(p);
  return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}

const char* KindOf(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  return "another kind of file";
}

}  // namespace

SniffedImage SniffImage(const char* head, std::size_t headLength,
                        const char* tail, std::size_t tailLength) {
  const Magic* found = nullptr;
  for (const Magic& magic : kMagics)
    if (magic.offset + magic.length <= headLength &&
        std::memcmp(head + magic.offset, magic.bytes, magic.length) == 0) {
      found = &magic;
      break;
    }
  if (!found && tailLength == kSector &&
      std::memcmp(tail, kVhdFooter.bytes, kVhdFooter.length) == 0)
    found = &kVhdFooter;
  SniffedImage image;
  if (found && found->format == ImageFormat_t::kQcow2) {
    uint32_t version = headLength >= 8 ? BigEndian32(head + 4) : 0;
    if (version != 2 && version != 3) found = &kQcow1;
    image.externalDataFile =
        version == 3 && headLength > kQcow2IncompatibleAt + 7 &&
        (static_cast<unsigned char>(head[kQcow2IncompatibleAt + 7]) &
         kQcow2ExternalDataBit) != 0;
  }
  if (!found) return image;
  image.format = found->format;
  image.readable = found->readable;
  image.name = found->name;
  image.driver = found->driver;
  return image;
}

CQiError CheckRegularFile(const std::string& path, const std::string& role,
                          bool devices) {
  struct stat facts;
  if (stat(path.c_str(), &facts) != 0)
    return ZY_DISK_ERROR(errno, "open of " + path);
  if (S_ISREG(facts.st_mode) || (devices && S_ISBLK(facts.st_mode)))
    return CQiError::Success();
  if (S_ISDIR(facts.st_mode))
    return ZY_DISK_ERROR(EISDIR, "open of " + path);
  return ZY_DISK_FAULT(EINVAL, path + " is not a regular file but " +
                                   KindOf(facts.st_mode) + " (" + role + ")");
}

CQiError SniffImageFile(const std::string& path, SniffedImage& image) {
  CQiError error = CheckRegularFile(path, "an image", true);
  if (error.IsError()) return error;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return ZY_DISK_ERROR(errno, "open of " + path);
  char head[kHeadBytes] = {};
  char tail[kSector] = {};
  std::size_t headLength = 0, tailLength = 0;
  struct stat facts {};
  error = ReadAt(fd, path, head, sizeof head, 0, headLength);
  if (!error.IsError() && fstat(fd, &facts) == 0 && S_ISREG(facts.st_mode) &&
      static_cast<uint64_t>(facts.st_size) >= kSector)
    error = ReadAt(fd, path, tail, sizeof tail, facts.st_size - kSector,
                   tailLength);
  close(fd);
  if (error.IsError()) return error;
  image = SniffImage(head, headLength, tail, tailLength);
  if (!image.readable)
    return ZY_DISK_FAULT(EINVAL, path + " is a " + image.name +
                                     " image, a format not read here");
  if (image.externalDataFile)
    return ZY_DISK_FAULT(EPERM, path + " refers to an external data file "
                                       "(data-file); images with an external "
                                       "data file are not read");
  return CQiError::Success();
}

}  // namespace zydisk
