//===- CArchiveVirtualDiskFile.cpp - Disk image component ---===//
// Not built yet: every operation fails.
#include "platform/CArchiveVirtualDiskFile.h"

namespace {
CQiError NotBuilt() {
  return FXErrorUtil::ErrorVS(FXCodeLocation("CArchiveVirtualDiskFile", "", __LINE__), 1, "not available");
}
}  // namespace

struct CArchiveVirtualDiskFile::Impl {};
CArchiveVirtualDiskFile::CArchiveVirtualDiskFile(ProductType_t) : impl_(new Impl) {}
CArchiveVirtualDiskFile::~CArchiveVirtualDiskFile() = default;
void CArchiveVirtualDiskFile::SetVMInfo(IVMInfo*, const std::string&, const std::string&, MountCtx*, RestoreCtx*) {}
void CArchiveVirtualDiskFile::SetExtentSize(uint64_t) {}
CQiError CArchiveVirtualDiskFile::Open(const std::string&, DiskType_t) { return NotBuilt(); }
CQiError CArchiveVirtualDiskFile::SetDiskSize(int64_t, int64_t) { return NotBuilt(); }
CQiError CArchiveVirtualDiskFile::GetFirstBlock(CAutoMemory<char>&, uint32_t, Context_t&) { return NotBuilt(); }
CQiError CArchiveVirtualDiskFile::GetNextBlock(CAutoMemory<char>&, uint64_t&, std::vector<bool>&, Context_t&) { return NotBuilt(); }
CQiError CArchiveVirtualDiskFile::Create(const std::string&, DiskType_t, DiskType_t, CAutoMemory<char>&, uint64_t, uint32_t, Context_t&) { return NotBuilt(); }
CQiError CArchiveVirtualDiskFile::WriteBlock(CAutoMemory<char>&, uint64_t, const std::vector<bool>&, Context_t&) { return NotBuilt(); }
CQiError CArchiveVirtualDiskFile::Close() { return CQiError::Success(); }
bool CArchiveVirtualDiskFile::IsErrorEOF(const CQiError& error) { return FXErrorUtil::IsVS(error, FXErrorUtil::kVSEndOfData); }

struct CCounterBase::Impl {};
CCounterBase::CCounterBase() : impl_(new Impl) {}
CCounterBase::~CCounterBase() = default;
void CCounterBase::Init(const std::string&, int) {}
void CCounterBase::EnableLogging(int) {}
CMediaSpeedCounter::CMediaSpeedCounter(EvDebug*) {}
CMediaSpeedCounter::~CMediaSpeedCounter() = default;
void CMediaSpeedCounter::Start() {}
void CMediaSpeedCounter::Stop(uint64_t) {}
void CMediaSpeedCounter::SetFormat(int) {}
