//===- PipelinedCopy.cpp - A block copy with many requests in flight ------===//
//
// One thread drives both images: it starts the reads of up to kSlots
// blocks ahead, starts each block's writes as soon as its reads have
// ended, and gives a block's slot back once its writes have ended, in the
// order of the image (so progress only grows).  While nothing can move it
// waits in poll on the sockets of the images that have requests in
// flight.  The first error on either side stops new requests; the copy
// returns it once every request in flight has ended, so no buffer is in
// use after the call.
//
//===----------------------------------------------------------------------===//
#include "PipelinedCopy.h"

#include "BlockStream.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <vector>

namespace zydisk {
namespace {

// Blocks in flight: both servers stay busy with several requests each
// (measured: more slots copy no faster on two cores, but make each server
// hold more buffers).
constexpr size_t kSlots = 4;

struct Slot {
  std::vector<char> buffer;
  std::vector<bool> map;
  std::vector<Span> runs;
  std::vector<Request> requests;  // the block's reads, then its writes
  uint64_t start = 0;
  uint64_t length = 0;
  bool writing = false;
};

class Copier {
 public:
  Copier(ImageBackend& from, ImageBackend& to, uint64_t extentSize,
         uint64_t blockSize, CopyCounts& counts,
         const std::function<void(uint64_t)>& progress)
      : from_(from),
        to_(to),
        counts_(counts),
        progress_(progress),
        slots_(kSlots) {
    reader_.image = &from;
    reader_.extentSize = extentSize;
    reader_.blockSize = blockSize;
    for (Slot& slot : slots_) {
      slot.buffer.resize(blockSize);
      free_.push_back(&slot);
    }
  }

  CQiError Run() {
    uint64_t size = from_.Size();
    for (;;) {
      bool moved = false;
      while (!error_.IsError() && reader_.position < size && !free_.empty())
        moved = StartReads() || moved;
      for (Slot* slot : busy_) moved = Advance(*slot) || moved;
      moved = Retire() || moved;
      if (busy_.empty() && (error_.IsError() || reader_.position >= size))
        return error_;
      if (!moved) Fail(Wait());
    }
  }

 private:
  void Fail(const CQiError& error) {
    if (error.IsError() && !error_.IsError()) error_ = error;
  }

  static bool Ended(const Slot& slot) {
    return std::all_of(slot.requests.begin(), slot.requests.end(),
                       [](const Request& r) { return r.done; });
  }

  // Takes a free slot for the next block holding data.
  bool StartReads() {
    Slot& slot = *free_.back();
    CQiError error = reader_.NextBlockStart(slot.start);
    if (!error.IsError()) {
      slot.length = std::min(reader_.blockSize, from_.Size() - slot.start);
      reader_.position = slot.start + slot.length;
      error = reader_.DataRuns(slot.start, slot.length, slot.runs);
    }
    if (error.IsError()) {
      Fail(error);
      return false;
    }
    free_.pop_back();
    busy_.push_back(&slot);
    slot.writing = false;
    ZeroOutside(slot.buffer.data(), slot.start, slot.length, slot.runs);
    slot.requests.assign(slot.runs.size(), Request());
    for (size_t i = 0; i < slot.runs.size(); ++i) {
      Request& read = slot.requests[i];
      read.buffer = slot.buffer.data() + (slot.runs[i].start - slot.start);
      read.length = slot.runs[i].end - slot.runs[i].start;
      read.offset = slot.runs[i].start;
    }
    for (Request& read : slot.requests) from_.Start(read);
    return true;
  }

  // Starts the writes of a block whose reads have ended.
  bool Advance(Slot& slot) {
    if (slot.writing || !Ended(slot)) return false;
    for (const Request& request : slot.requests) Fail(request.error);
    if (error_.IsError()) return false;
    MapAllocated(slot.buffer.data(), slot.start, slot.length, slot.runs,
                 reader_.extentSize, slot.map);
    slot.requests.clear();
    uint64_t extents = slot.map.size();
    for (uint64_t index = 0; index < extents;) {
      if (!slot.map[index]) {
        ++index;
        continue;
      }
      uint64_t first = index;
      while (index < extents && slot.map[index]) ++index;
      Request write;
      write.write = true;
      write.buffer = slot.buffer.data() + first * reader_.extentSize;
      write.offset = slot.start + first * reader_.extentSize;
      write.length = std::min(index * reader_.extentSize, slot.length) -
                     first * reader_.extentSize;
      slot.requests.push_back(write);
    }
    slot.writing = true;
    for (Request& write : slot.requests) to_.Start(write);
    // A block that ends in unallocated extents still ends the image there:
    // a raw file grows over them as a hole.
    Fail(to_.Grow(slot.start + slot.length));
    return true;
  }

  // Gives back the slots at the head whose writes have ended (or, after an
  // error, whose requests have ended).
  bool Retire() {
    bool moved = false;
    while (!busy_.empty()) {
      Slot& slot = *busy_.front();
      if (!Ended(slot) || (!slot.writing && !error_.IsError())) break;
      for (const Request& request : slot.requests) Fail(request.error);
      if (!error_.IsError()) {
        counts_.bytesRead += slot.length;
        counts_.dataBytes +=
            AllocatedBytes(slot.map, reader_.extentSize, slot.length);
        if (progress_) progress_(slot.start + slot.length);
      }
      busy_.pop_front();
      free_.push_back(&slot);
      moved = true;
    }
    return moved;
  }

  // Ends the requests that no server holds any more (none should be left
  // when nothing is in flight), so that the copy cannot wait forever.
  CQiError Abandon() {
    CQiError error = ZY_DISK_FAULT(
        EIO, "copy from " + from_.Path() + " to " + to_.Path() + " stalled");
    for (Slot* slot : busy_)
      for (Request& request : slot->requests)
        if (!request.done) {
          request.done = true;
          request.error = error;
        }
    return error;
  }

  // Waits until a socket with requests in flight can move.
  CQiError Wait() {
    ImageBackend* images[] = {&from_, &to_};
    pollfd fds[2];
    ImageBackend* polled[2];
    nfds_t count = 0;
    for (ImageBackend* image : images) {
      short events = 0;
      int fd = image->PollFd(events);
      if (fd < 0) continue;
      fds[count] = {fd, events, 0};
      polled[count++] = image;
    }
    if (count == 0) return Abandon();
    if (poll(fds, count, -1) < 0)
      return errno == EINTR ? CQiError::Success()
                            : ZY_DISK_ERROR(errno, "poll during the copy");
    CQiError error;
    for (nfds_t i = 0; i < count; ++i)
      if (fds[i].revents != 0 && !error.IsError())
        error = polled[i]->Notify(fds[i].revents);
    return error;
  }

  ImageBackend& from_;
  ImageBackend& to_;
  CopyCounts& counts_;
  const std::function<void(uint64_t)>& progress_;
  BlockReader reader_;
  std::vector<Slot> slots_;
  std::vector<Slot*> free_;
  std::deque<Slot*> busy_;  // in the order of the image
  CQiError error_;
};

}  // namespace

CQiError PipelinedCopy(ImageBackend& from, ImageBackend& to,
                       uint64_t extentSize, uint64_t blockSize,
                       CopyCounts& counts,
                       const std::function<void(uint64_t)>& progress) {
  Copier copier(from, to, extentSize, blockSize, counts, progress);
  return copier.Run();
}

}  // namespace zydisk
