//===- ZyVMConverterDisks.cpp - Disk image conversion ---------------------===//
//
// ConvertDisk takes one mounted disk image of the source machine toward the
// destination format: it names the destination image, opens the source and
// reads its first block, then asks CreateDestinationDisk for the destination
// image.  Creating destination images is not offered in this system, so
// CreateDestinationDisk reports failure and ConvertDisk stops there.
//
// TestCloneDisk copies a fixed test image block by block, and is how the
// block stream of CArchiveVirtualDiskFile is exercised end to end.
//
// All objects of a conversion are locals, set up in a fixed order, so they
// are released in reverse order on every path and an image object closes
// what it still holds.
//
//===----------------------------------------------------------------------===//
#include "converter/ZyVMConverter.h"

#include "platform/support/FXPath.h"

#include <cstdarg>
#include <cstdio>

namespace {

constexpr char kConvertDisk[] =
    "bool ZyVMConverter::ConvertDisk(const VMInfoStructs::SDisk&, "
    "VMInfoStructs::SDisk&)";
constexpr char kTestCloneDisk[] = "bool ZyVMConverter::TestCloneDisk()";

// Product types of the image objects: the reader of a conversion, and the
// writer (also both ends of the test copy).
constexpr ProductType_t kSourceProduct = 1;
constexpr ProductType_t kDestinationProduct = 2;

// The fixed image of the test copy and where it is copied to.
constexpr char kCloneSource[] = "C:\\test10G-snap.vhdx";
constexpr char kCloneDestination[] = "C:\\test10G-snap-restore.vhdx";
constexpr DiskType_t kCloneType = DT_VHDX_22;

using Context = CArchiveVirtualDiskFile::Context_t;

// Progress of the test copy goes to standard output as it happens.
void Print(const char* format, ...) __attribute__((format(printf, 1, 2)));

void Print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

// The two ends of a block copy and what travels between them.
struct BlockCopy {
  CArchiveVirtualDiskFile& source;
  Context& sourceContext;
  CArchiveVirtualDiskFile& destination;
  Context& destinationContext;
  CAutoMemory<char>& buffer;
  std::vector<bool>& allocationMap;
};

// Copies the source's blocks until the end of its data.  Each block is
// written as it was delivered, at its own offset: the copy neither pads nor
// splits blocks.  False on a read or write error.
bool CopyBlocks(EvDebug& log, const char* function, BlockCopy& copy) {
  for (;;) {
    uint64_t offset = 0;
    CQiError error = copy.source.GetNextBlock(
        copy.buffer, offset, copy.allocationMap, copy.sourceContext);
    if (CArchiveVirtualDiskFile::IsErrorEOF(error)) return true;
    if (error.IsError()) {
      log.Error(function, "virtual disk read error detected [%s]!!!",
                error.AsString().c_str());
      return false;
    }
    error = copy.destination.WriteBlock(copy.buffer, offset, copy.allocationMap,
                                        copy.destinationContext);
    if (error.IsError()) {
      log.Error(function, "virtual disk write error detected [%s]!!!",
                error.AsString().c_str());
      return false;
    }
  }
}

// Closes the destination, then the source.  A copy counts only once its
// destination is closed: a failed close may have lost written data.
bool CloseBoth(EvDebug& log, const char* function,
               CArchiveVirtualDiskFile& destination,
               CArchiveVirtualDiskFile& source) {
  const CQiError destinationClosed = destination.Close();
  const CQiError sourceClosed = source.Close();
  if (destinationClosed.IsError())
    log.Error(function, "Failed to close destination disk error=%s",
              destinationClosed.AsString().c_str());
  if (sourceClosed.IsError())
    log.Error(function, "Failed to close source disk error=%s",
              sourceClosed.AsString().c_str());
  return !destinationClosed.IsError() && !sourceClosed.IsError();
}

}  // namespace

bool ZyVMConverter::ConvertDisk(const VMInfoStructs::SDisk& source,
                                VMInfoStructs::SDisk& destination) {
  CAutoMemory<char> buffer(true);
  CArchiveVirtualDiskFile sourceFile(kSourceProduct);
  CArchiveVirtualDiskFile destinationFile(kDestinationProduct);
  Context sourceContext;
  Context destinationContext;

  // The destination image goes into the destination disk folder under the
  // source's file name; the backslash separates them on every platform.
  destination = source;
  destination.eDiskType = DetermineDestinationDiskType(eDestInstType);
  destination.fileName = strDestDiskPath + "\\" + source.fileName;
  CorrectDiskExtension(destination);
  Log(kConvertDisk, 0, "Converting disk [%s] to [%s]", source.fileName.c_str(),
      destination.fileName.c_str());

  sourceFile.SetVMInfo(pSourceVMInfo, strSourceVMName, strSourceVMGuid,
                       &mountCtx, nullptr);
  sourceFile.SetExtentSize(nBlockSize);
  Log(kConvertDisk, 0, "Opening source disk [%s]", source.fileName.c_str());
  CQiError error = sourceFile.Open(source.fileName,
                                   static_cast<DiskType_t>(source.eDiskType));
  if (error.IsError()) {
    Error(kConvertDisk, "Failed to open source disk error=%s",
          error.AsString().c_str());
    return false;
  }
  sourceFile.SetDiskSize(source.i64MaxSizeInBytes, source.i64CurrSizeInBytes);
  error = sourceFile.GetFirstBlock(buffer, nBlockSize, sourceContext);
  if (error.IsError()) {
    Error(kConvertDisk, "Failed to read first block from source disk error=%s",
          error.AsString().c_str());
    return false;
  }

  Log(kConvertDisk, 0, "Creating destination disk [%s]",
      destination.fileName.c_str());
  // Never created in this system: the conversion ends here.
  return CreateDestinationDisk(destinationFile, destination,
                               destinationContext);
}

// Creating destination images is not offered in this system.
bool ZyVMConverter::CreateDestinationDisk(CArchiveVirtualDiskFile&,
                                          VMInfoStructs::SDisk&,
                                          CArchiveVirtualDiskFile::Context_t&) {
  return false;
}

bool ZyVMConverter::CreateTempDestinationDisk(const std::string&, long long,
                                              DiskType_t) {
  return false;
}

bool ZyVMConverter::TestReadDisk() { return false; }

bool ZyVMConverter::TestCloneDisk() {
  CAutoMemory<char> buffer(true);
  std::vector<bool> allocationMap;
  CArchiveVirtualDiskFile sourceFile(kDestinationProduct);
  CArchiveVirtualDiskFile destinationFile(kDestinationProduct);
  Context sourceContext;
  Context destinationContext;

  // The copy never replaces a file, so the previous copy goes first.
  FXFile::RemoveFile(kCloneDestination);
  Print("Cloning disk [%s] to [%s]\n", kCloneSource, kCloneDestination);

  sourceFile.SetVMInfo(pSourceVMInfo, strSourceVMName, strSourceVMGuid,
                       &mountCtx, nullptr);
  sourceFile.SetExtentSize(nBlockSize);
  Print("Opening source disk [%s]\n", kCloneSource);
  CQiError error = sourceFile.Open(kCloneSource, kCloneType);
  if (error.IsError()) {
    Error(kTestCloneDisk, "Failed to open source disk error=%s",
          error.AsString().c_str());
    return false;
  }
  VMInfoStructs::SDisk sizes;
  sourceFile.SetDiskSize(sizes.i64MaxSizeInBytes, sizes.i64CurrSizeInBytes);
  error = sourceFile.GetFirstBlock(buffer, nBlockSize, sourceContext);
  if (error.IsError()) {
    Error(kTestCloneDisk,
          "Failed to read first block from source disk error=%s",
          error.AsString().c_str());
    return false;
  }

  destinationFile.SetExtentSize(sourceContext.u64ExtentSize);
  error = destinationFile.Create(kCloneDestination, kCloneType, kCloneType,
                                 buffer, 0, 0, destinationContext);
  if (error.IsError()) {
    Error(kTestCloneDisk, "Failed to open destination disk error=%s\n",
          error.AsString().c_str());
    return false;
  }
  Print("Extent size = %llu\n",
        static_cast<unsigned long long>(sourceContext.u64ExtentSize));

  BlockCopy copy{sourceFile, sourceContext, destinationFile, destinationContext,
                 buffer,     allocationMap};
  if (!CopyBlocks(*this, kTestCloneDisk, copy)) return false;
  return CloseBoth(*this, kTestCloneDisk, destinationFile, sourceFile);
}
