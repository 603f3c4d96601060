//===- CArchiveVirtualDiskFile.h - Disk image component -------------------===//
//
// Reads and writes disk images block by block.  Images are byte streams:
// every DiskType_t is read and written as a raw image; translating image
// formats is the platform's business and outside this component.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/Contexts.h"
#include "model/VirtualServerTypes.h"
#include "model/ZyExport.h"
#include "platform/CAutoMemory.h"
#include "platform/CQiError.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class IVMInfo;
class EvDebug;

typedef int32_t ProductType_t;

class ZY_PLATFORM_API CArchiveVirtualDiskFile {
 public:
  // Stream state owned by the caller and filled by the component.  The
  // second field is the extent size in bytes, valid after the first block.
  struct Context_t {
    uint64_t u64Position = 0;
    uint64_t u64ExtentSize = 0;
    uint64_t u64DiskSize = 0;
    uint64_t u64BlockSize = 0;
  };

  explicit CArchiveVirtualDiskFile(ProductType_t productType);
  ~CArchiveVirtualDiskFile();
  CArchiveVirtualDiskFile(const CArchiveVirtualDiskFile&) = delete;
  CArchiveVirtualDiskFile& operator=(const CArchiveVirtualDiskFile&) = delete;

  void SetVMInfo(IVMInfo* vmInfo, const std::string& vmName,
                 const std::string& vmGuid, MountCtx* mountCtx,
                 RestoreCtx* restoreCtx);
  void SetExtentSize(uint64_t extentSize);
  CQiError Open(const std::string& path, DiskType_t type);
  CQiError SetDiskSize(int64_t maxSize, int64_t currentSize);
  CQiError GetFirstBlock(CAutoMemory<char>& buffer, uint32_t blockSize,
                         Context_t& context);
  CQiError GetNextBlock(CAutoMemory<char>& buffer, uint64_t& offset,
                        std::vector<bool>& allocationMap, Context_t& context);
  CQiError Create(const std::string& path, DiskType_t sourceType,
                  DiskType_t destinationType, CAutoMemory<char>& firstBlock,
                  uint64_t diskSize, uint32_t flags, Context_t& context);
  CQiError WriteBlock(CAutoMemory<char>& buffer, uint64_t offset,
                      const std::vector<bool>& allocationMap,
                      Context_t& context);
  CQiError Close();

  // True when error is the end of the data stream (virtual-server 10002).
  static bool IsErrorEOF(const CQiError& error);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Throughput counters: they measure and report throughput in the platform
// log on their own.
class ZY_PLATFORM_API CCounterBase {
 public:
  CCounterBase();
  virtual ~CCounterBase();
  void Init(const std::string& name, int flags);
  void EnableLogging(int intervalSeconds);

 protected:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

class ZY_PLATFORM_API CMediaSpeedCounter : public CCounterBase {
 public:
  explicit CMediaSpeedCounter(EvDebug* log);
  ~CMediaSpeedCounter() override;
  void Start();
  void Stop(uint64_t bytes);
  void SetFormat(int format);
};
