//===- ZyVMConverterConfigFiles.cpp - Configuration file conversion -------===//
//
// Reads a VM's configuration file into a VM description through the
// platform's readers.  The generalised description "VMConfig.zyf" is read the
// same way whatever the source platform; every other file is read by the
// reader of the source platform, and only when its extension is the one that
// platform's configuration file has:
//
//   source kind        extension     reader
//   101 VMware         vmx, vmtx     VMXFile
//   301 Amazon         xml           VMConfigFile (region cleared)
//   701 Oracle VM      cfg           OracleVMConfigFile
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
#include "platform/readers/OracleVMConfigFile.h"
#include "platform/readers/VMConfigFile.h"
#include "platform/readers/VMXFile.h"

namespace {

const char kConvertConfigFileFn[] =
    "bool ZyVMConverter::ConvertConfigFile(const string&, "
    "VMInfoStructs::SVMInfo&)";

const char kGeneralizedConfigName[] = "VMConfig.zyf";
const char kGeneralizedConfigExt[] = "zyf";

bool ReadGeneralized(const std::string& file, VMInfoStructs::SVMInfo& vmInfo) {
  VMConfigFile reader(file);
  return reader.Load(vmInfo);
}

bool ReadVMware(const std::string& file, VMInfoStructs::SVMInfo& vmInfo) {
  VMXFile reader;
  const bool unused = false;
  if (!reader.LoadFile(file, unused)) return false;
  return reader.GetVMInfo(vmInfo);
}

// The region an Amazon description names is where the VM was backed up; the
// restore chooses its own region later, so it is not carried over.
bool ReadAmazon(const std::string& file, VMInfoStructs::SVMInfo& vmInfo) {
  VMConfigFile reader(file);
  if (!reader.Load(vmInfo)) return false;
  vmInfo.strRegion.clear();
  return true;
}

bool ReadOracleVM(const std::string& file, VMInfoStructs::SVMInfo& vmInfo) {
  OracleVMConfigFile reader;
  if (!reader.LoadFile(file)) return false;
  return reader.GetVMInfo(vmInfo);
}

using ConfigReader = bool (*)(const std::string&, VMInfoStructs::SVMInfo&);

struct SConfigReaderRow {
  VirtualServerInstanceType eSource;
  const char* strExtension;
  ConfigReader read;
};

// clang-format off
constexpr SConfigReaderRow kConfigReaders[] = {
    {VS_VMWARE, "vmx", ReadVMware},
    {VS_VMWARE, "vmtx", ReadVMware},
    {VS_AMAZON, "xml", ReadAmazon},
    {VS_ORACLE_VM, "cfg", ReadOracleVM},
};
// clang-format on

bool HasConfigReader(VirtualServerInstanceType source) {
  for (const auto& row : kConfigReaders)
    if (row.eSource == source) return true;
  return false;
}

// The reader for a file of the source kind, or null when the file is not
// that platform's configuration file.
ConfigReader FindConfigReader(VirtualServerInstanceType source,
                              const std::string& extension) {
  for (const auto& row : kConfigReaders)
    if (row.eSource == source &&
        FXString::CompareNoCase(extension, row.strExtension) == 0)
      return row.read;
  return nullptr;
}

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool ZyVMConverter::ConvertConfigFile(const std::string& file,
                                      VMInfoStructs::SVMInfo& vmInfo) {
  const std::string extension = CQiPath::GetExt(file);
  if (FXString::CompareNoCase(extension, kGeneralizedConfigExt) == 0) {
    if (FXString::CompareNoCase(CQiPath::GetBaseName(file),
                                kGeneralizedConfigName) != 0) {
      Log(kConvertConfigFileFn, 0, "Skipping converting config file [%s]",
          file.c_str());
      return true;
    }
    return ReadGeneralized(file, vmInfo);
  }
  if (!HasConfigReader(eSourceInstType)) return false;
  ConfigReader read = FindConfigReader(eSourceInstType, extension);
  if (read == nullptr) return true;
  return read(file, vmInfo);
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
