//===- DiskCopy.cpp - Disk images copied through the disk image component -===//
#include "DiskCopy.h"

#include "JobSupport.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include "platform/support/StopRequest.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

namespace zyjobs {
namespace {

// "1.5 GiB", "12.0 MiB": a figure of the space check.
std::string SpaceFigure(uint64_t bytes) {
  constexpr double kMiB = 1024.0 * 1024.0;
  double value = static_cast<double>(bytes);
  char text[32];
  if (value >= 1024 * kMiB)
    std::snprintf(text, sizeof text, "%.1f GiB", value / (1024 * kMiB));
  else
    std::snprintf(text, sizeof text, "%.1f MiB", value / kMiB);
  return text;
}

// The state of a VM's disk copies, shared by their threads and the job's:
// each copy takes the next disk and posts its progress here; the job's
// thread tells the observer what changed, so the observer sees one thread.
class CopyBoard {
 public:
  explicit CopyBoard(const std::vector<DiskCopyTask>& tasks)
      : tasks_(tasks), disks_(tasks.size()) {}

  // The next disk to copy; false when none is left or a copy failed.
  bool Take(size_t& disk) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (next_ == tasks_.size() || !failure_.empty()) return false;
    disk = next_++;
    ++running_;
    return true;
  }

  void Progress(size_t disk, uint64_t done, uint64_t total) {
    std::lock_guard<std::mutex> lock(mutex_);
    disks_[disk].done = done;
    disks_[disk].total = total;
    disks_[disk].begun = disks_[disk].changed = true;
    changed_.notify_all();
  }

  // A copy ended; true when its failure is the first, so the others stop.
  bool End(size_t disk, const DiskCopyStats& stats,
           const std::string& failure) {
    std::lock_guard<std::mutex> lock(mutex_);
    disks_[disk].stats = stats;
    disks_[disk].ended = disks_[disk].changed = true;
    --running_;
    changed_.notify_all();
    if (failure.empty() || !failure_.empty()) return false;
    failure_ = failure;
    return true;
  }

  // Tells observer each change until every copy has ended.
  void Tell(IJobObserver& observer) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      bool over =
          running_ == 0 && (next_ == tasks_.size() || !failure_.empty());
      std::vector<Disk> seen = disks_;
      for (Disk& disk : disks_) disk.changed = false;
      lock.unlock();
      TellChanges(seen, observer);
      if (over) return;
      lock.lock();
      changed_.wait(lock, [this] {
        return std::any_of(disks_.begin(), disks_.end(),
                           [](const Disk& disk) { return disk.changed; });
      });
    }
  }

  // The statistics in disk order; throws the first failure.
  std::vector<DiskCopyStats> Results() const {
    if (!failure_.empty()) throw JobFailure(failure_);
    StopIfAsked();
    std::vector<DiskCopyStats> results;
    for (const Disk& disk : disks_) results.push_back(disk.stats);
    return results;
  }

 private:
  struct Disk {
    uint64_t done = 0, total = 0;
    bool begun = false, ended = false, changed = false;
    DiskCopyStats stats;
  };

  void TellChanges(const std::vector<Disk>& seen, IJobObserver& observer) {
    uint64_t done = 0, total = 0;
    for (size_t i = 0; i < seen.size(); ++i) {
      const Disk& disk = seen[i];
      done += disk.ended ? disk.total : disk.done;
      total += disk.begun ? disk.total : tasks_[i].minimumSize;
      if (!disk.changed || !disk.begun) continue;
      observer.OnDiskProgress(tasks_[i].label, disk.done, disk.total);
      if (disk.ended) observer.OnDiskDone(tasks_[i].label);
    }
    observer.OnTotalProgress(done, total);
  }

  const std::vector<DiskCopyTask>& tasks_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Disk> disks_;
  size_t next_ = 0;
  size_t running_ = 0;
  std::string failure_;
};

// A copy's progress, posted to the board from the copy's thread.
class BoardObserver : public IJobObserver {
 public:
  BoardObserver(CopyBoard& board, size_t disk) : board_(board), disk_(disk) {}
  void OnDiskProgress(const std::string&, uint64_t done,
                      uint64_t total) override {
    board_.Progress(disk_, done, total);
  }

 private:
  CopyBoard& board_;
  size_t disk_;
};

// A copy that cannot fit on to's file system is refused before anything is
// written; the source is measured only when its bound does not fit.  A
// source that cannot be measured is left to the copy, which names what is
// wrong with it.
void RequireRoomForCopy(const std::string& from, const std::string& to,
                        ImageFormat_t format, uint64_t minimumSize) {
  std::string folder = std::filesystem::path(to).parent_path().string();
  if (folder.empty()) folder = ".";
  uint64_t needed = 0;
  try {
    if (detail::HasFreeSpace(folder, detail::RequiredBytes(
                                         from, format, minimumSize, "", true)))
      return;
    needed = detail::RequiredBytes(from, format, minimumSize);
  } catch (const JobFailure&) {
    return;
  }
  detail::RequireFreeSpace(folder, folder, needed, "[" + to + "] needs");
}

}  // namespace

ImageFormat_t FormatOfFileName(const std::string& path) {
  ImageFormat_t format = ImageFormat_t::kRaw;
  zykinds::ImageFormatOfFileName(path.c_str(), format);
  return format;
}

bool ChooseImageFormat(const std::string& shortName, const std::string& path,
                       ImageFormat_t& format, SJobError& error) {
  return AtBoundary(error, [&] {
    format = FormatOfFileName(path);
    if (!shortName.empty() &&
        !CArchiveVirtualDiskFile::FormatByShortName(shortName, format))
      throw JobFailure("unknown --to-format [" + shortName +
                       "]; give vmdk, vhd, vhd-fixed, vhdx, qcow2 or raw");
  });
}

namespace detail {

DiskCopyStats CopyDiskImage(const DiskCopyTask& task, IJobObserver& observer) {
  double started = NowSeconds();
  CArchiveVirtualDiskFile::CopyRequest_t request;
  request.source = task.from;
  request.statedFormat = task.statedFormat;
  request.destination = task.to;
  request.format = task.format;
  request.minimumSize = task.minimumSize;
  request.verify = task.verify;
  bool begun = false;
  request.progress = [&](uint64_t done, uint64_t total) {
    begun = true;
    observer.OnDiskProgress(task.label, done, total);
  };
  CArchiveVirtualDiskFile::CopyResult_t result;
  CQiError error = CArchiveVirtualDiskFile::CopyImage(request, result);
  if (begun) observer.OnDiskDone(task.label);  // whole or not, the copy ended
  if (error.IsError())
    throw JobFailure("cannot copy disk image [" + task.from + "] to [" +
                     task.to + "]: " + error.GetMessage());
  DiskCopyStats stats;
  stats.sourceFormat = result.sourceFormat;
  stats.format = CArchiveVirtualDiskFile::FormatName(task.format);
  stats.diskSize = result.virtualSize;
  stats.bytesRead = result.bytesRead;
  stats.dataBytes = result.dataBytes;
  stats.verified = result.verified;
  struct stat info {};
  if (::stat(task.to.c_str(), &info) == 0)
    stats.allocatedBytes = static_cast<uint64_t>(info.st_blocks) * 512;
  stats.seconds = NowSeconds() - started;
  return stats;
}

std::vector<DiskCopyStats> CopyDisks(const std::vector<DiskCopyTask>& tasks,
                                     unsigned jobs, IJobObserver& observer) {
  CopyBoard board(tasks);
  StopGroup group;
  auto copier = [&] {
    StopScope scope(group);
    size_t disk = 0;
    while (board.Take(disk)) {
      DiskCopyStats stats;
      std::string failure;
      try {
        BoardObserver reports(board, disk);
        stats = CopyDiskImage(tasks[disk], reports);
      } catch (const std::exception& e) {
        failure = e.what();
      }
      if (board.End(disk, stats, failure)) group.Stop();
    }
  };
  if (tasks.empty()) return {};
  uint64_t total = 0;
  for (const DiskCopyTask& task : tasks) total += task.minimumSize;
  observer.OnTotalProgress(0, total);  // before any disk's progress
  if (jobs == 0) jobs = DefaultCopyJobs();
  std::vector<std::thread> copiers;
  for (size_t i = 0; i < std::min<size_t>(jobs, tasks.size()); ++i) {
    try {
      copiers.emplace_back(copier);
    } catch (const std::system_error&) {
      break;  // the threads started copy every disk
    }
  }
  if (copiers.empty()) copier();  // no thread to spare: one at a time here
  board.Tell(observer);  // until every copy has ended
  for (std::thread& thread : copiers) thread.join();
  return board.Results();
}

CArchiveVirtualDiskFile::ImageFacts_t InspectDiskImage(const std::string& path) {
  CArchiveVirtualDiskFile::ImageFacts_t facts;
  CQiError error = CArchiveVirtualDiskFile::Inspect(path, DT_NONE, facts);
  if (error.IsError())
    throw JobFailure("cannot read disk image [" + path +
                     "]: " + error.GetMessage());
  return facts;
}

uint64_t RequiredBytes(const std::string& from, ImageFormat_t format,
                       uint64_t minimumSize, const std::string& statedFormat,
                       bool bound) {
  CArchiveVirtualDiskFile::CopyRequest_t request;
  request.source = from;
  request.statedFormat = statedFormat;
  request.format = format;
  request.minimumSize = minimumSize;
  uint64_t bytes = 0;
  CQiError error = CArchiveVirtualDiskFile::Measure(request, bytes, bound);
  if (error.IsError())
    throw JobFailure("cannot measure disk image [" + from +
                     "]: " + error.GetMessage());
  return bytes;
}

bool HasFreeSpace(const std::string& folder, uint64_t needed) {
  struct statvfs facts {};
  if (::statvfs(folder.c_str(), &facts) != 0) return true;  // told at the write
  return needed <= static_cast<uint64_t>(facts.f_bavail) * facts.f_frsize;
}

void RequireFreeSpace(const std::string& folder, const std::string& shown,
                      uint64_t needed, const std::string& needing) {
  if (HasFreeSpace(folder, needed)) return;
  struct statvfs facts {};
  ::statvfs(folder.c_str(), &facts);
  uint64_t free = static_cast<uint64_t>(facts.f_bavail) * facts.f_frsize;
  throw JobFailure(needing + " " + SpaceFigure(needed) + ", " +
                   SpaceFigure(free) + " free on [" + shown + "]");
}

}  // namespace detail

bool CopyDiskImage(const std::string& from, const std::string& to,
                   ImageFormat_t format, uint64_t minimumSize,
                   const std::string& label, IJobObserver& observer,
                   DiskCopyStats& stats, SJobError& error, bool verify) {
  DiskCopyTask task;
  task.from = from;
  task.to = to;
  task.format = format;
  task.minimumSize = minimumSize;
  task.label = label;
  task.verify = verify;
  return AtBoundary(error, [&] {
    // The room check and the copy read the source's metadata once.
    CArchiveVirtualDiskFile::CheckOncePerRun checkOnce;
    RequireRoomForCopy(from, to, format, minimumSize);
    stats = detail::CopyDiskImage(task, observer);
  });
}

unsigned DefaultCopyJobs() {
  return std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
}

bool InspectDiskImage(const std::string& path,
                      CArchiveVirtualDiskFile::ImageFacts_t& facts,
                      SJobError& error) {
  return AtBoundary(error, [&] { facts = detail::InspectDiskImage(path); });
}

}  // namespace zyjobs
