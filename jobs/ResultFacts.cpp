//===- ResultFacts.cpp - What a job built, beyond the description ---------===//
#include "ResultFacts.h"

#include "model/PlatformKinds.h"
#include "platform/folder/FolderVMInfo.h"
#include "platform/support/FXPath.h"

#include <cstring>
#include <filesystem>

namespace zyjobs {

using VMInfoStructs::SDisk;

std::string DestinationDiskName(const SDisk& disk) {
  if (!disk.newDiskName.empty()) return disk.newDiskName;
  if (!disk.strDisplayName.empty()) return disk.strDisplayName;
  if (!disk.fileName.empty()) return CQiPath::GetBaseName(disk.fileName);
  if (!disk.diskIndexName.empty()) return disk.diskIndexName;
  return disk.strName;
}

DiskType_t WrittenDiskType(VirtualServerInstanceType destination,
                           const SDisk& disk) {
  DiskType_t own = zykinds::FactsOf(destination).diskFormat;
  return own != DT_NONE ? own : static_cast<DiskType_t>(disk.eDiskType);
}

std::string NameTellingFormat(const std::string& name, ImageFormat_t written,
                              const char* extension) {
  ImageFormat_t promised = ImageFormat_t::kRaw;
  if (!zykinds::ImageFormatOfFileName(name.c_str(), promised) ||
      std::strcmp(zykinds::ImageFormatFactsOf(promised).driver,
                  zykinds::ImageFormatFactsOf(written).driver) == 0)
    return name;
  return name.substr(0, name.rfind('.')) + extension;
}

std::string WrittenDiskName(VirtualServerInstanceType destination,
                            const SDisk& disk) {
  DiskType_t written = WrittenDiskType(destination, disk);
  return NameTellingFormat(DestinationDiskName(disk),
                           zykinds::WrittenFormatOf(written),
                           zykinds::FormatFactsOf(written).extension);
}

void AddNativeDescription(ResultFacts& facts, VirtualServerInstanceType kind,
                          const VMInfoStructs::SVMInfo& info,
                          const SNetworkMap& networks) {
  if (facts.location.empty()) return;
  // The VM's folder is named after it, except an output folder a user named.
  std::string name = NativeDescriptionName(
      kind, info.strVMName.empty() ? CQiPath::GetBaseName(facts.location)
                                   : info.strVMName);
  if (name.empty()) return;
  std::string path = CQiPath::Append(facts.location, name);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return;
  facts.nativeDescription = path;
  facts.nativeNotes = NativeDescriptionNotes(kind, info, facts.s3Bucket, networks);
}

std::string InstanceTypeOf(const ResultFacts& facts,
                           const VMInfoStructs::SVMInfo& info) {
  return facts.instanceType.empty() ? info.strVMSize : facts.instanceType;
}

std::string RegionOf(const ResultFacts& facts,
                     const VMInfoStructs::SVMInfo& info) {
  return facts.region.empty() ? info.strRegion : facts.region;
}

bool DiskVerified(const ResultFacts& facts, const SDisk& disk) {
  for (const std::string& name : facts.verifiedDisks)
    if (name == CQiPath::GetBaseName(disk.fileName)) return true;
  return false;
}

}  // namespace zyjobs
