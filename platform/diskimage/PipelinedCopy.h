//===- PipelinedCopy.h - A block copy with many requests in flight --------===//
//
// Copies every block holding data from one image to another with the
// reads of several blocks in flight ahead of the writes of others: the
// source's and the destination's qemu-nbd servers then work at the same
// time, each on several requests, instead of taking turns on one.  Only
// the allocated extents of a block are written.  Memory is kSlots blocks.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "ImageBackend.h"

#include <cstdint>
#include <functional>

namespace zydisk {

struct CopyCounts {
  uint64_t bytesRead = 0;  // guest bytes of the blocks read
  uint64_t dataBytes = 0;  // of those, allocated bytes written
};

CQiError PipelinedCopy(ImageBackend& from, ImageBackend& to,
                       uint64_t extentSize, uint64_t blockSize,
                       CopyCounts& counts,
                       const std::function<void(uint64_t)>& progress);

}  // namespace zydisk
