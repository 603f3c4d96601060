//===- clone_disk.cpp - Copy one disk image through the image component ---===//
//
// zy_clone_disk SOURCE DESTINATION [FORMAT]
//
// Copies an image with CArchiveVirtualDiskFile::CopyImage, the operation the
// tool's restore and clone-disk use: the source's format recognised from
// its content, the destination written in FORMAT (raw, vmdk, vhd,
// vhd-fixed, vhdx, qcow2; default raw) under a temporary name and renamed.
// Used by disk_copy_bench.sh.
//
//===----------------------------------------------------------------------===//
#include "platform/diskimage/CArchiveVirtualDiskFile.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: zy_clone_disk SOURCE DESTINATION [FORMAT]\n");
    return 2;
  }
  CArchiveVirtualDiskFile::CopyRequest_t request;
  request.source = argv[1];
  request.destination = argv[2];
  if (argc == 4 &&
      !CArchiveVirtualDiskFile::FormatByShortName(argv[3], request.format)) {
    std::fprintf(stderr, "zy_clone_disk: unknown format %s\n", argv[3]);
    return 2;
  }
  CArchiveVirtualDiskFile::CopyResult_t result;
  CQiError error = CArchiveVirtualDiskFile::CopyImage(request, result);
  if (error.IsError()) {
    std::fprintf(stderr, "zy_clone_disk: %s\n", error.AsString().c_str());
    return 1;
  }
  return 0;
}
