//===- DiskCopy.cpp - Disk images copied through the disk image component -===//
#include "DiskCopy.h"

#include "ToolSupport.h"

#include "platform/diskimage/CArchiveVirtualDiskFile.h"
#include "platform/support/FXPath.h"
#include "platform/support/FXString.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace zytool {
namespace {

// Both ends of a copy are written the way the test copy of the converter
// opens them.
constexpr ProductType_t kCopyProduct = 2;
constexpr uint32_t kFirstBlockSize = 4096;

struct ExtensionFormat {
  const char* extension;
  DiskType_t format;
};

// clang-format off
constexpr ExtensionFormat kExtensionFormats[] = {
    {"vmdk", DT_VMDK},
    {"vhd", DT_HYPERV_VHD},
    {"vhdx", DT_VHDX_20},
};
// clang-format on

[[noreturn]] void Fail(const std::string& what, const CQiError& error) {
  throw ToolError(what + ": " + error.AsString());
}

// Removes the destination of a failed copy: it is ours, and half an image is
// worse than none.
struct RemoveUnlessKept {
  std::string path;
  bool keep = false;
  ~RemoveUnlessKept() {
    if (!keep && !path.empty()) ::unlink(path.c_str());
  }
};

// The bytes of a block that its allocation map marks as data; the last
// extent of an image may be short.
uint64_t AllocatedBytes(const std::vector<bool>& map, uint64_t extentSize,
                        uint64_t blockSize) {
  uint64_t bytes = 0;
  for (size_t i = 0; i < map.size(); ++i) {
    if (!map[i]) continue;
    uint64_t start = i * extentSize;
    if (start >= blockSize) break;
    bytes += std::min(extentSize, blockSize - start);
  }
  return bytes;
}

}  // namespace

DiskType_t DiskTypeOfFile(const std::string& path) {
  std::string extension = CQiPath::GetExt(path);
  for (const ExtensionFormat& row : kExtensionFormats)
    if (FXString::CompareNoCase(extension, row.extension) == 0)
      return row.format;
  return DT_NONE;
}

DiskCopyStats CopyDiskImage(const std::string& from, DiskType_t fromType,
                            const std::string& to, DiskType_t toType,
                            const std::string& label) {
  double started = NowSeconds();
  CArchiveVirtualDiskFile source(kCopyProduct);
  source.SetExtentSize(0);
  CQiError error = source.Open(from, fromType);
  if (error.IsError()) Fail("cannot open disk image [" + from + "]", error);
  struct stat info {};
  if (::stat(from.c_str(), &info) == 0)
    source.SetDiskSize(info.st_size, info.st_size);

  CAutoMemory<char> buffer(true);
  CArchiveVirtualDiskFile::Context_t sourceContext, destinationContext;
  error = source.GetFirstBlock(buffer, kFirstBlockSize, sourceContext);
  if (error.IsError()) Fail("cannot read disk image [" + from + "]", error);

  CArchiveVirtualDiskFile destination(kCopyProduct);
  destination.SetExtentSize(sourceContext.u64ExtentSize);
  error = destination.Create(to, fromType, toType, buffer, 0, 0,
                             destinationContext);
  if (error.IsError()) Fail("cannot create disk image [" + to + "]", error);
  RemoveUnlessKept guard{to};

  DiskCopyStats stats;
  ProgressBar progress(label, sourceContext.u64DiskSize);
  std::vector<bool> allocationMap;
  for (;;) {
    uint64_t offset = 0;
    error = source.GetNextBlock(buffer, offset, allocationMap, sourceContext);
    if (CArchiveVirtualDiskFile::IsErrorEOF(error)) break;
    if (error.IsError()) Fail("cannot read disk image [" + from + "]", error);
    error = destination.WriteBlock(buffer, offset, allocationMap,
                                   destinationContext);
    if (error.IsError()) Fail("cannot write disk image [" + to + "]", error);
    stats.bytesRead += buffer.Size();
    stats.dataBytes += AllocatedBytes(
        allocationMap, sourceContext.u64ExtentSize, buffer.Size());
    progress.Update(offset + buffer.Size());
  }
  error = destination.Close();
  if (error.IsError()) Fail("cannot finish disk image [" + to + "]", error);
  source.Close();
  progress.Finish();
  guard.keep = true;

  if (::stat(to.c_str(), &info) == 0) {
    stats.diskSize = static_cast<uint64_t>(info.st_size);
    uint64_t allocated = static_cast<uint64_t>(info.st_blocks) * 512;
    stats.holeBytes =
        allocated < stats.diskSize ? stats.diskSize - allocated : 0;
  }
  stats.seconds = NowSeconds() - started;
  return stats;
}

}  // namespace zytool
