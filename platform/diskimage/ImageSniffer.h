//===- ImageSniffer.h - An image's format from its first and last bytes ---===//
//
// The one recognition of an image's format by its content, for the copy and
// for the boot check alike.  It reads the first 1 KiB and the last 512
// bytes: the formats all carry a magic number at their start, except a
// fixed VHD, whose only header is the footer in its last sector.  Content
// with no known magic number is raw.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/ImageFormats.h"
#include "model/ZyExport.h"
#include "platform/support/CQiError.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace zydisk {

struct SniffedImage {
  ImageFormat_t format = ImageFormat_t::kRaw;  // when readable
  bool readable = true;      // a format this system reads
  const char* name = "raw";  // what messages call it
  const char* driver = "raw";  // qemu's driver for it
  // A qcow2 header that says its guest data lives in another file.
  bool externalDataFile = false;
  // What the headers say, read here where this reader answers (sized):
  // the guest-visible size, as qemu reads it.  Where it does not (a VMDK
  // descriptor file, a qcow2 with snapshots, bitmaps or encryption, a VHDX
  // with a log to replay, a header qemu would refuse), qemu-img info is
  // asked instead.
  bool sized = false;
  uint64_t virtualSize = 0;
  // Allocation tables qemu-img check can find inconsistent with the file:
  // false for a VMDK descriptor whose extents are all flat.
  bool tables = true;
  // Why the image is not read, after its name ("refers to the backing
  // file ..."): a header that names another file, or tables past its end.
  std::string refusal;
  int refusalError = 0;
};

// Reads up to count bytes at offset of an image into into; the number
// read, fewer at its end.
using ImageBytes =
    std::function<std::size_t(uint64_t offset, char* into, std::size_t count)>;

// Adds to image, sniffed from its first and last bytes, what the headers
// of its format say (sized, virtualSize, refusal): qcow2's header and
// header extensions, a sparse VMDK's header and embedded descriptor, a
// VHD's footer, dynamic header and block table, a VHDX's headers, region
// table and metadata.  fileSize is the file's.
ZY_PLATFORM_API void ReadImageHeaders(const ImageBytes& read,
                                      uint64_t fileSize, SniffedImage& image);

// The format of head (the first bytes, up to 1 KiB) and tail (the last 512
// bytes, or empty for a shorter file).
ZY_PLATFORM_API SniffedImage SniffImage(const char* head, std::size_t headLength,
                                        const char* tail,
                                        std::size_t tailLength);

// Refuses a name that is not a regular file (a FIFO, socket or character
// device would block or stream; a block device passes where devices is
// true), without opening it.  The error is one line naming the file, what
// it is, and role: what it is used as ("the extent of x.vmdk").
ZY_PLATFORM_API CQiError CheckRegularFile(const std::string& path,
                                          const std::string& role,
                                          bool devices);

// Sniffs the file at path, which must be a regular file or a block device,
// and reads its headers (ReadImageHeaders); a refusal is an error naming
// the file.
ZY_PLATFORM_API CQiError SniffImageFile(const std::string& path,
                                        SniffedImage& image);

}  // namespace zydisk
