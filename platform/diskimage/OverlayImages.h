//===- OverlayImages.h - Thin images over read-only backed-up images ------===//
//
// A live mount runs a backed-up VM without copying its disks: each disk
// becomes a thin image (a qcow2 overlay, or a VMDK delta disk) whose reads
// fall through to the backed-up image and whose writes stay in the thin
// image.  qemu makes one in milliseconds whatever the disk's size.
//
// The backed-up image is never written: qemu opens a backing file read-only,
// the overlay names it by its absolute path (so no "protocol:" prefix is
// ever read in it) with its format stated (qcow2 records backing_fmt;
// VMDK has no such field, so a VMDK delta takes VMDK parents only, which
// qemu recognises by their magic number and nothing else).  A backing image
// is checked as the disk image component checks every image it reads: no
// backing file of its own, VMDK extents beside their descriptor, at most
// 64 TiB.
//
// Flattening turns an overlay and its backing image into one independent
// image (the guest's bytes, merged) in a new file, through `qemu-img
// convert` with both formats stated, and fsyncs it.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/ImageFormats.h"
#include "model/ZyExport.h"
#include "platform/support/CQiError.h"

#include <cstdint>
#include <string>

// An image an overlay reads through to.
struct SOverlayBacking {
  std::string path;  // absolute
  ImageFormat_t format = ImageFormat_t::kRaw;
  uint64_t virtualSize = 0;
};

// What the image at path is as an overlay's backing: in statedFormat (a
// short name, "raw", "qcow2", ...) when its description states one, else
// in the format its content shows; refused as the disk image component
// refuses an image it would not read.
ZY_PLATFORM_API CQiError InspectBackingImage(const std::string& path,
                                             const std::string& statedFormat,
                                             SOverlayBacking& backing);

// Creates the thin image path (which must not exist) in format (kQcow2 or
// kVmdk, whose backing must be VMDK) over backing, virtualSize bytes large
// (0: the backing's; a VMDK delta is always the backing's).
ZY_PLATFORM_API CQiError CreateOverlayImage(const std::string& path,
                                            ImageFormat_t format,
                                            const SOverlayBacking& backing,
                                            uint64_t virtualSize);

// The backing file the thin image path (in format) names; empty when it
// names none.
ZY_PLATFORM_API CQiError OverlayBackingFile(const std::string& path,
                                            ImageFormat_t format,
                                            std::string& backingFile);

// Writes the guest's bytes of the thin image overlay (in format, over
// backing) into destination, a new image (which must not exist) in
// destinationFormat, and fsyncs it; a failure removes destination.
ZY_PLATFORM_API CQiError FlattenOverlayImage(const std::string& overlay,
                                             ImageFormat_t format,
                                             const SOverlayBacking& backing,
                                             const std::string& destination,
                                             ImageFormat_t destinationFormat);
