//===- DiskCopy.h - Disk images copied through the disk image component ---===//
//
// The copy loop of the restore agent: the source image is opened and its
// first block read, the destination image created, and then every block the
// reader delivers is written at its offset with its allocation map, so that
// unallocated extents stay holes.  A progress bar shows the bytes done.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/VirtualServerTypes.h"

#include <cstdint>
#include <string>

namespace zytool {

struct DiskCopyStats {
  uint64_t diskSize = 0;   // bytes of the destination image
  uint64_t bytesRead = 0;  // bytes of the blocks the reader delivered
  uint64_t dataBytes = 0;  // bytes of their allocated extents, written
  uint64_t holeBytes = 0;  // bytes of the destination left unallocated
  double seconds = 0;
};

// The disk format of an image by its file extension (vmdk 18, vhd 12,
// vhdx 20), else 0.
DiskType_t DiskTypeOfFile(const std::string& path);

// Copies from to a new file to (which must not exist).  A failure throws
// ToolError and removes the partly written destination; the source is only
// read.
DiskCopyStats CopyDiskImage(const std::string& from, DiskType_t fromType,
                            const std::string& to, DiskType_t toType,
                            const std::string& label);

}  // namespace zytool
