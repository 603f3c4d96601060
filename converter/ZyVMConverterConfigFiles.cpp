//===- ZyVMConverterConfigFiles.cpp - Configuration file conversion -------===//
//
// Reads a VM's configuration file into a VM description through the
// format drivers (formats/common/FormatDrivers.h).  The generalised
// description "VMConfig.zyf" is read the same way whatever the source
// platform; every other file is read by the format the source platform
// hands over, and only when its extension is that format's (an Amazon
// description's region is cleared).
//
// Files that are not the configuration file (disk images, logs, snapshots
// lists) come through here too and are passed over with success.  A source
// kind without a reader is a failure.  Failing readers are not logged here:
// the callers decide what a failure means.
//
// GetVMDKParentDiskName maps a VMware snapshot delta disk name
// ("web-000001.vmdk") to its parent disk name ("web.vmdk").
//
//===----------------------------------------------------------------------===//
#include <cstdio>
#include <cstring>

#include "converter/ZyVMConverter.h"
#include "platform/support/FXPath.h"
#include "platform/support/FXString.h"
#include "formats/common/FormatDrivers.h"
#include "formats/vmx/VMXFile.h"

namespace {

const char kConvertConfigFileFn[] =
    "bool ZyVMConverter::ConvertConfigFile(const string&, "
    "VMInfoStructs::SVMInfo&)";

const SFormatDriver& Generalized() { return *FindFormat("zyf"); }

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool ZyVMConverter::ConvertConfigFile(const std::string& file,
                                      VMInfoStructs::SVMInfo& vmInfo) {
  const std::string extension = CQiPath::GetExt(file);
  if (FXString::CompareNoCase(extension, Generalized().readExtensions) == 0) {
    if (FXString::CompareNoCase(CQiPath::GetBaseName(file),
                                Generalized().fileName) != 0) {
      Log(kConvertConfigFileFn, 0, "Skipping converting config file [%s]",
          file.c_str());
      return true;
    }
    return Generalized().readFile(file, vmInfo);
  }
  if (!SourceKindHasFormat(eSourceInstType)) return false;
  const SFormatDriver* format = FormatReadFor(eSourceInstType, extension);
  if (format == nullptr) return true;
  if (!format->readFile(file, vmInfo)) return false;
  // The region an Amazon description names is where the VM was backed up;
  // the restore chooses its own region later, so it is not carried over.
  if (eSourceInstType == VS_AMAZON) vmInfo.strRegion.clear();
  return true;
}

void ZyVMConverter::GetVMDKParentDiskName(const char* name,
                                          std::string& parent) {
  // A delta disk is named "<parent>-NNNNNN.vmdk": a dash, six digits and the
  // extension make the last twelve characters.
  constexpr size_t kSuffixLength = 12;
  constexpr size_t kDigits = 6;
  parent = name != nullptr ? name : "";
  const size_t length = parent.size();
  if (length < kSuffixLength) return;
  if (!FXString::MatchRightNoCase(parent, ".vmdk")) return;
  const size_t dash = length - kSuffixLength;
  if (parent[dash] != '-') return;
  for (size_t i = dash + 1; i <= dash + kDigits; ++i)
    if (!IsDecimalDigit(parent[i])) return;
  parent = parent.substr(0, dash) + ".vmdk";
}

void ZyVMConverter::TestVMXFile() {
  VMXFile file;
  const bool unused = false;
  file.LoadFile("C:\\DevVSCS3.vmx", unused);
  file.Dump();
  VMInfoStructs::SVMInfo vmInfo;
  file.GetVMInfo(vmInfo);
  std::printf("Name: %s\t\tGuid: %s\n", vmInfo.strVMName.c_str(),
              vmInfo.strGUID.c_str());
  std::printf("GuestOS: %s\n", vmInfo.strGuestOS.c_str());
  std::printf("Memory: %d    CPUs: %d\n", static_cast<int>(vmInfo.i64MemoryMB),
              static_cast<int>(vmInfo.i64NumCPUs));
}
