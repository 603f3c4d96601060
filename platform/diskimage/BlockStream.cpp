//===- BlockStream.cpp - Blocks of guest bytes with their allocation maps -===//
#include "BlockStream.h"

#include <algorithm>
#include <cstring>

namespace zydisk {
namespace {

// True when the n bytes at p are all zero.  Once the first 16 bytes are
// zero, comparing the buffer with itself shifted by 16 proves the rest zero
// with the C library's vectorised memcmp, and random data fails at once.
bool IsAllZero(const char* p, size_t n) {
  static const char kZeros[16] = {};
  if (n <= sizeof kZeros) return std::memcmp(p, kZeros, n) == 0;
  if (std::memcmp(p, kZeros, sizeof kZeros) != 0) return false;
  return std::memcmp(p, p + sizeof kZeros, n - sizeof kZeros) == 0;
}

// The unallocated parts of an extent read as zeros, so the data parts
// decide.
void MarkAllocated(const char* buffer, uint64_t blockStart, uint64_t from,
                   uint64_t to, uint64_t extentSize, std::vector<bool>& map) {
  for (uint64_t at = from; at < to;) {
    uint64_t index = (at - blockStart) / extentSize;
    uint64_t extentEnd = std::min(blockStart + (index + 1) * extentSize, to);
    if (!map[index] && !IsAllZero(buffer + (at - blockStart), extentEnd - at))
      map[index] = true;
    at = extentEnd;
  }
}

// Zeroes the parts of the block at buffer (guest bytes [start, start +
// length)) outside runs.
void ZeroOutside(char* buffer, uint64_t start, uint64_t length,
                 const std::vector<Span>& runs) {
  uint64_t at = start;
  for (const Span& run : runs) {
    if (run.start > at) std::memset(buffer + (at - start), 0, run.start - at);
    at = run.end;
  }
  if (start + length > at)
    std::memset(buffer + (at - start), 0, start + length - at);
}

// One flag per extent of the block: set when the extent's part of runs
// (read into buffer) holds a non-zero byte.
void MapAllocated(const char* buffer, uint64_t start, uint64_t length,
                  const std::vector<Span>& runs, uint64_t extentSize,
                  std::vector<bool>& map) {
  map.assign((length + extentSize - 1) / extentSize, false);
  for (const Span& run : runs)
    MarkAllocated(buffer, start, run.start, run.end, extentSize, map);
}

}  // namespace

CQiError BlockReader::NextData(uint64_t from, Span& run) {
  if (from < cachedData.end) {
    run = {std::max(from, cachedData.start), cachedData.end};
    return CQiError::Success();
  }
  CQiError error = image->NextData(from, cachedData);
  run = cachedData;
  return error;
}

CQiError BlockReader::NextBlockStart(uint64_t& start) {
  uint64_t size = image->Size();
  Span data;
  CQiError error = NextData(position, data);
  if (error.IsError()) return error;
  if (data.start >= size)
    start = (size - 1) / blockSize * blockSize;
  else
    start = data.start / blockSize * blockSize;
  return CQiError::Success();
}

CQiError BlockReader::DataRuns(uint64_t start, uint64_t length,
                               std::vector<Span>& runs) {
  runs.clear();
  uint64_t end = start + length;
  for (uint64_t at = start; at < end;) {
    Span data;
    CQiError error = NextData(at, data);
    if (error.IsError()) return error;
    uint64_t dataStart = std::max(data.start, at);
    if (dataStart >= end) break;
    uint64_t dataEnd = std::min(data.end, end);
    runs.push_back({dataStart, dataEnd});
    at = dataEnd;
  }
  return CQiError::Success();
}

CQiError BlockReader::ReadBlock(char* buffer, uint64_t start, uint64_t length,
                                std::vector<bool>& map) {
  std::vector<Span> runs;
  CQiError error = DataRuns(start, length, runs);
  if (error.IsError()) return error;
  ZeroOutside(buffer, start, length, runs);
  for (const Span& run : runs) {
    error = image->Read(buffer + (run.start - start), run.end - run.start,
                        run.start);
    if (error.IsError()) return error;
  }
  MapAllocated(buffer, start, length, runs, extentSize, map);
  return CQiError::Success();
}

CQiError WriteAllocated(ImageBackend& image, const char* data, uint64_t length,
                        uint64_t offset, const std::vector<bool>& map,
                        uint64_t extentSize) {
  uint64_t extents = map.size();
  for (uint64_t index = 0; index < extents;) {
    if (!map[index]) {
      ++index;
      continue;
    }
    uint64_t first = index;
    while (index < extents && map[index]) ++index;
    uint64_t from = first * extentSize;
    uint64_t to = std::min(index * extentSize, length);
    CQiError error = image.Write(data + from, to - from, offset + from);
    if (error.IsError()) return error;
  }
  // A block that ends in unallocated extents still ends the image there:
  // a raw file grows over them as a hole.
  return image.Grow(offset + length);
}

}  // namespace zydisk
