//===- DiskCopy.cpp - Disk images copied through the disk image component -===//
#include "DiskCopy.h"

#include "ToolSupport.h"


#include <sys/stat.h>

#include <memory>

namespace zytool {
ImageFormat_t FormatOfFileName(const std::string& path) {
  ImageFormat_t format = ImageFormat_t::kRaw;
  zykinds::ImageFormatOfFileName(path.c_str(), format);
  return format;
}

DiskCopyStats CopyDiskImage(const std::string& from, const std::string& to,
                            ImageFormat_t format, uint64_t minimumSize,
                            const std::string& label,
                            const std::string& statedFormat) {
  double started = NowSeconds();
  CArchiveVirtualDiskFile::CopyRequest_t request;
  request.source = from;
  request.statedFormat = statedFormat;
  request.destination = to;
  request.format = format;
  request.minimumSize = minimumSize;
  // The bar starts with the first block, when the virtual size is known.
  std::unique_ptr<ProgressBar> bar;
  request.progress = [&](uint64_t done, uint64_t total) {
    if (!bar) bar.reset(new ProgressBar(label, total));
    bar->Update(done);
  };
  CArchiveVirtualDiskFile::CopyResult_t result;
  CQiError error = CArchiveVirtualDiskFile::CopyImage(request, result);
  if (bar && !error.IsError()) bar->Finish();
  if (error.IsError())
    throw ToolError("cannot copy disk image [" + from + "] to [" + to +
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
    throw ToolError("cannot read disk image [" + path + "]: " +
                    error.GetMessage());
  return facts;
}

}  // namespace zytool
