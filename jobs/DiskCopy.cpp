//===- DiskCopy.cpp - Disk images copied through the disk image component -===//
#include "DiskCopy.h"

#include "JobSupport.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cstdio>
#include <filesystem>

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

// A copy that cannot fit on to's file system is refused before anything is
// written.  A source that cannot be measured is left to the copy, which
// names what is wrong with it.
void RequireRoomForCopy(const std::string& from, const std::string& to,
                        ImageFormat_t format, uint64_t minimumSize) {
  uint64_t needed = 0;
  try {
    needed = detail::RequiredBytes(from, format, minimumSize);
  } catch (const JobFailure&) {
    return;
  }
  std::string folder = std::filesystem::path(to).parent_path().string();
  if (folder.empty()) folder = ".";
  detail::RequireFreeSpace(folder, folder, needed, "[" + to + "] needs");
}

}  // namespace

ImageFormat_t FormatOfFileName(const std::string& path) {
  ImageFormat_t format = ImageFormat_t::kRaw;
  zykinds::ImageFormatOfFileName(path.c_str(), format);
  return format;
}

namespace detail {

DiskCopyStats CopyDiskImage(const std::string& from, const std::string& to,
                            ImageFormat_t format, uint64_t minimumSize,
                            const std::string& label, IJobObserver& observer,
                            const std::string& statedFormat) {
  double started = NowSeconds();
  CArchiveVirtualDiskFile::CopyRequest_t request;
  request.source = from;
  request.statedFormat = statedFormat;
  request.destination = to;
  request.format = format;
  request.minimumSize = minimumSize;
  bool begun = false;
  request.progress = [&](uint64_t done, uint64_t total) {
    begun = true;
    observer.OnDiskProgress(label, done, total);
  };
  CArchiveVirtualDiskFile::CopyResult_t result;
  CQiError error = CArchiveVirtualDiskFile::CopyImage(request, result);
  if (begun) observer.OnDiskDone(label);  // whole or not, the copy ended
  if (error.IsError())
    throw JobFailure("cannot copy disk image [" + from + "] to [" + to +
                     "]: " + error.GetMessage());
  DiskCopyStats stats;
  stats.sourceFormat = result.sourceFormat;
  stats.format = CArchiveVirtualDiskFile::FormatName(format);
  stats.diskSize = result.virtualSize;
  stats.bytesRead = result.bytesRead;
  stats.dataBytes = result.dataBytes;
  struct stat info {};
  if (::stat(to.c_str(), &info) == 0)
    stats.allocatedBytes = static_cast<uint64_t>(info.st_blocks) * 512;
  stats.seconds = NowSeconds() - started;
  return stats;
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
                       uint64_t minimumSize, const std::string& statedFormat) {
  CArchiveVirtualDiskFile::CopyRequest_t request;
  request.source = from;
  request.statedFormat = statedFormat;
  request.format = format;
  request.minimumSize = minimumSize;
  uint64_t bytes = 0;
  CQiError error = CArchiveVirtualDiskFile::Measure(request, bytes);
  if (error.IsError())
    throw JobFailure("cannot measure disk image [" + from +
                     "]: " + error.GetMessage());
  return bytes;
}

void RequireFreeSpace(const std::string& folder, const std::string& shown,
                      uint64_t needed, const std::string& needing) {
  struct statvfs facts {};
  if (::statvfs(folder.c_str(), &facts) != 0) return;  // told at the write
  uint64_t free = static_cast<uint64_t>(facts.f_bavail) * facts.f_frsize;
  if (needed <= free) return;
  throw JobFailure(needing + " " + SpaceFigure(needed) + ", " +
                   SpaceFigure(free) + " free on [" + shown + "]");
}

}  // namespace detail

bool CopyDiskImage(const std::string& from, const std::string& to,
                   ImageFormat_t format, uint64_t minimumSize,
                   const std::string& label, IJobObserver& observer,
                   DiskCopyStats& stats, SJobError& error) {
  return AtBoundary(error, [&] {
    RequireRoomForCopy(from, to, format, minimumSize);
    stats =
        detail::CopyDiskImage(from, to, format, minimumSize, label, observer);
  });
}

bool InspectDiskImage(const std::string& path,
                      CArchiveVirtualDiskFile::ImageFacts_t& facts,
                      SJobError& error) {
  return AtBoundary(error, [&] { facts = detail::InspectDiskImage(path); });
}

}  // namespace zyjobs
