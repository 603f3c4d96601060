//===- BlockStream.h - Blocks of guest bytes with their allocation maps ---===//
//
// The block stream that CArchiveVirtualDiskFile offers its callers: a
// reader that delivers the blocks holding data (and the image's last block)
// with one allocation flag per extent, and a writer that writes the
// allocated extents of a block only.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "ImageBackend.h"

#include <cstdint>
#include <vector>

namespace zydisk {

struct BlockReader {
  ImageBackend* image = nullptr;
  uint64_t extentSize = 4096;
  uint64_t blockSize = 1 << 20;
  uint64_t position = 0;  // where the next block search starts
  Span cachedData;        // the last data run found

  void Restart() {
    position = 0;
    cachedData = {};
  }
  // Where the next block to deliver starts: the block holding the next
  // data, or the last block of the image when only zeros remain.
  CQiError NextBlockStart(uint64_t& start);
  // Reads [start, start + length) into buffer: data runs with Read, the
  // rest as zeros; an extent is allocated when its data holds a non-zero
  // byte.  map gets one flag per extent.
  CQiError ReadBlock(char* buffer, uint64_t start, uint64_t length,
                     std::vector<bool>& map);

 private:
  CQiError NextData(uint64_t from, Span& run);
  // The data runs within [start, start + length).
  CQiError DataRuns(uint64_t start, uint64_t length, std::vector<Span>& runs);
};

// Writes the runs of allocated extents of a block at offset, then makes the
// image reach the block's end.
CQiError WriteAllocated(ImageBackend& image, const char* data, uint64_t length,
                        uint64_t offset, const std::vector<bool>& map,
                        uint64_t extentSize);

}  // namespace zydisk
