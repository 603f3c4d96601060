//===- PipelinedCopy.cpp - A block copy whose reads and writes overlap ----===//
//
// The reader fills free slots in the order of the image and hands them to
// the writer; the writer gives each slot back once written.  The first
// error on either side stops both: the reader is told to stop and its
// thread joined before the copy returns, so no slot outlives the call.
//
//===----------------------------------------------------------------------===//
#include "PipelinedCopy.h"

#include "BlockStream.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace zydisk {
namespace {

// Blocks in flight: enough to keep both servers busy, few enough that the
// copy stays a few MiB.
constexpr size_t kSlots = 4;

struct Slot {
  std::vector<char> buffer;
  std::vector<bool> map;
  uint64_t start = 0;
  uint64_t length = 0;
};

struct Pipe {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Slot*> free;
  std::deque<Slot*> ready;
  bool readerDone = false;  // no more slots will be ready
  bool stop = false;        // the writer gave up
  CQiError readError;
};

void ReadAll(BlockReader& reader, Pipe& pipe) {
  uint64_t size = reader.image->Size();
  CQiError error;
  while (reader.position < size && !error.IsError()) {
    Slot* slot = nullptr;
    {
      std::unique_lock<std::mutex> lock(pipe.mutex);
      pipe.changed.wait(lock, [&] { return pipe.stop || !pipe.free.empty(); });
      if (pipe.stop) break;
      slot = pipe.free.front();
      pipe.free.pop_front();
    }
    error = reader.NextBlockStart(slot->start);
    if (!error.IsError()) {
      slot->length = std::min(reader.blockSize, size - slot->start);
      reader.position = slot->start + slot->length;
      error = reader.ReadBlock(slot->buffer.data(), slot->start, slot->length,
                               slot->map);
    }
    std::lock_guard<std::mutex> lock(pipe.mutex);
    if (error.IsError())
      pipe.free.push_back(slot);
    else
      pipe.ready.push_back(slot);
    pipe.changed.notify_all();
  }
  std::lock_guard<std::mutex> lock(pipe.mutex);
  pipe.readError = error;
  pipe.readerDone = true;
  pipe.changed.notify_all();
}

}  // namespace

CQiError PipelinedCopy(ImageBackend& from, ImageBackend& to,
                       uint64_t extentSize, uint64_t blockSize,
                       CopyCounts& counts,
                       const std::function<void(uint64_t)>& progress) {
  BlockReader reader;
  reader.image = &from;
  reader.extentSize = extentSize;
  reader.blockSize = blockSize;
  std::vector<Slot> slots(kSlots);
  Pipe pipe;
  for (Slot& slot : slots) {
    slot.buffer.resize(blockSize);
    pipe.free.push_back(&slot);
  }
  std::thread readerThread(ReadAll, std::ref(reader), std::ref(pipe));
  CQiError error;
  for (;;) {
    Slot* slot = nullptr;
    {
      std::unique_lock<std::mutex> lock(pipe.mutex);
      pipe.changed.wait(
          lock, [&] { return pipe.readerDone || !pipe.ready.empty(); });
      if (pipe.ready.empty()) break;
      slot = pipe.ready.front();
      pipe.ready.pop_front();
    }
    error = WriteAllocated(to, slot->buffer.data(), slot->length, slot->start,
                           slot->map, extentSize);
    counts.bytesRead += slot->length;
    counts.dataBytes += AllocatedBytes(slot->map, extentSize, slot->length);
    if (!error.IsError() && progress) progress(slot->start + slot->length);
    std::lock_guard<std::mutex> lock(pipe.mutex);
    pipe.free.push_back(slot);
    if (error.IsError()) pipe.stop = true;
    pipe.changed.notify_all();
    if (error.IsError()) break;
  }
  readerThread.join();
  return error.IsError() ? error : pipe.readError;
}

}  // namespace zydisk
