//===- clone_disk.cpp - Copy one disk image through the image component ---===//
//
// zy_clone_disk SOURCE DESTINATION
//
// Copies a raw image block by block with CArchiveVirtualDiskFile, the way
// the converter's test copy does: open the source, read its first block,
// create the destination with the source's extent size, then hand every
// block GetNextBlock delivers to WriteBlock at its own offset until the end
// of the data.  Unlike the test copy it never removes an existing
// destination: Create refuses it.  Used by disk_copy_bench.sh.
//
//===----------------------------------------------------------------------===//
#include "platform/diskimage/CArchiveVirtualDiskFile.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The first block the converter asks for: one file-system block.
constexpr uint32_t kFirstBlockSize = 4096;
constexpr DiskType_t kRawType = DT_VHDX_22;

int Fail(const char* step, const CQiError& error) {
  std::fprintf(stderr, "zy_clone_disk: %s: %s\n", step,
               error.AsString().c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zy_clone_disk SOURCE DESTINATION\n");
    return 2;
  }
  const std::string from = argv[1];
  const std::string to = argv[2];

  CAutoMemory<char> buffer(true);
  std::vector<bool> allocationMap;
  CArchiveVirtualDiskFile source(2);
  CArchiveVirtualDiskFile destination(2);
  CArchiveVirtualDiskFile::Context_t sourceContext;
  CArchiveVirtualDiskFile::Context_t destinationContext;

  source.SetExtentSize(CArchiveVirtualDiskFile::kDefaultExtentSize);
  CQiError error = source.Open(from, kRawType);
  if (error.IsError()) return Fail("open source", error);
  source.SetDiskSize(0, 0);
  error = source.GetFirstBlock(buffer, kFirstBlockSize, sourceContext);
  if (error.IsError()) return Fail("first block", error);
  destination.SetExtentSize(sourceContext.u64ExtentSize);
  error = destination.Create(to, kRawType, kRawType, buffer, 0, 0,
                             destinationContext);
  if (error.IsError()) return Fail("create destination", error);

  for (;;) {
    uint64_t offset = 0;
    error = source.GetNextBlock(buffer, offset, allocationMap, sourceContext);
    if (CArchiveVirtualDiskFile::IsErrorEOF(error)) break;
    if (error.IsError()) return Fail("read", error);
    error = destination.WriteBlock(buffer, offset, allocationMap,
                                   destinationContext);
    if (error.IsError()) return Fail("write", error);
  }
  error = destination.Close();
  if (error.IsError()) return Fail("close destination", error);
  source.Close();
  return 0;
}
