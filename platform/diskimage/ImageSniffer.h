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
#include <string>

namespace zydisk {

struct SniffedImage {
  ImageFormat_t format = ImageFormat_t::kRaw;  // when readable
  bool readable = true;      // a format this system reads
  const char* name = "raw";  // what messages call it
  const char* driver = "raw";  // qemu's driver for it
  // A qcow2 header that says its guest data lives in another file.
  bool externalDataFile = false;
};

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

// Sniffs the file at path, which must be a regular file or a block device.
ZY_PLATFORM_API CQiError SniffImageFile(const std::string& path,
                                        SniffedImage& image);

}  // namespace zydisk
