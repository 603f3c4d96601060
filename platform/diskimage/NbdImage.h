//===- NbdImage.h - A formatted image through its own qemu-nbd server -----===//
//
// VMDK, VHD, VHDX and qcow2 images are read and written by qemu's block
// layer: libnbd starts one qemu-nbd per image with socket activation and
// talks NBD to it over the socket pair; the server ends with the handle.
// Allocation comes from the "base:allocation" block status.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "CArchiveVirtualDiskFile.h"
#include "ImageBackend.h"

#include <memory>
#include <string>

namespace zydisk {

// Opens path in format through a new qemu-nbd server, read-only unless
// writable.  The image must have passed CheckImage (readers) or have been
// made by CreateImage (writers).
CQiError OpenNbdImage(const std::string& path, ImageFormat_t format,
                      bool writable, std::unique_ptr<ImageBackend>& image);

}  // namespace zydisk
