//===- PipelinedCopy.h - A block copy whose reads and writes overlap ------===//
//
// Copies every block holding data from one image to another with the
// reading on a second thread, a few blocks ahead of the writing: the
// source's and the destination's qemu-nbd servers then work at the same
// time instead of taking turns.  Memory is kSlots blocks.
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
