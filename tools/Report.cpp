//===- Report.cpp - How zyvmconvert shows VM descriptions -----------------===//
#include "Report.h"

#include "model/ImageFormats.h"

#include "ToolSupport.h"

#include "jobs/RecordJson.h"

#include "converter/ZyVMConverter.h"
#include "platform/folder/FolderVMInfo.h"
#include "platform/support/FXString.h"

#include <algorithm>
#include <cctype>

namespace zytool {
namespace {

using VMInfoStructs::SDisk;

const char* DeviceLabel(const SDisk& disk) {
  if (disk.nFileType == VMInfoStructs::kFileTypeConfig) return "config";
  return disk.nDeviceType == VMInfoStructs::kDeviceTypeCdrom ? "cd-rom"
                                                             : "disk";
}

std::string Or(const std::string& text, const char* fallback) {
  return text.empty() ? fallback : text;
}

void PrintDisks(const VMInfoStructs::SVMInfo& info) {
  if (info.vDisks.empty()) {
    Print("  Disks: none\n");
    return;
  }
  int width = 24;
  for (const SDisk& disk : info.vDisks)
    width = std::max(width, static_cast<int>(DestinationDiskName(disk).size()));
  Print("  Disks:\n    %-*s  %-7s %-11s %-11s %-8s %10s\n", width, "NAME",
        "KIND", "FORMAT", "CONTROLLER", "BUS:SLOT", "SIZE");
  for (const SDisk& disk : info.vDisks) {
    std::string where =
        std::to_string(disk.nBus) + ":" + std::to_string(disk.nSlot);
    uint64_t size =
        static_cast<uint64_t>(std::max<int64_t>(disk.i64MaxSizeInBytes, 0));
    Print("    %-*s  %-7s %-11s %-11s %-8s %10s%s\n", width,
          Or(DestinationDiskName(disk), "-").c_str(), DeviceLabel(disk),
          FormatLabel(disk.eDiskType).c_str(),
          Or(disk.strControllerType, "-").c_str(), where.c_str(),
          size || disk.nDeviceType != VMInfoStructs::kDeviceTypeCdrom
              ? HumanBytes(size).c_str()
              : "-",
          disk.isOSDisk ? "  OS disk" : "");
  }
}

// "AUTO" asks the library to choose; where it did not, nothing was chosen.
std::string Chosen(const std::string& value) {
  return value.empty() || FXString::CompareNoCase(value, "AUTO") == 0 ? "-"
                                                                      : value;
}

void PrintNetworkCards(const VMInfoStructs::SVMInfo& info) {
  if (info.vNetworkCards.empty()) {
    Print("  Network cards: none\n");
    return;
  }
  Print("  Network cards:\n    %-16s %-20s %-17s %s\n", "NAME", "NETWORK",
        "MAC", "ADAPTER");
  for (const auto& card : info.vNetworkCards)
    Print("    %-16s %-20s %-17s %s%s\n", Or(card.strName, "-").c_str(),
          Or(card.strNetworkName, "-").c_str(),
          Or(card.strMacAddress, "-").c_str(),
          Or(card.strAdapterType, "-").c_str(),
          card.bLegacyAdapter ? " (legacy)" : "");
}

}  // namespace

std::string FirmwareName(const std::string& firmware) {
  std::string name = firmware;
  for (char& c : name)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

std::string FormatLabel(int32_t diskType) {
  if (diskType == DT_NONE) return "-";
  return zykinds::ImageFormatFactsOf(
             zykinds::WrittenFormatOf(static_cast<DiskType_t>(diskType)))
      .name;
}

void PrintDescription(const VMInfoStructs::SVMInfo& info,
                      const ResultFacts& facts) {
  if (!facts.title.empty()) Print("%s\n", facts.title.c_str());
  Print("  VM name:       %s\n", Or(info.strVMName, "-").c_str());
  if (!facts.vmId.empty()) Print("  VM id:         %s\n", facts.vmId.c_str());
  if (!facts.location.empty())
    Print("  Folder:        %s\n", facts.location.c_str());
  const auto& os = info.guestOSInfo;
  std::string osFacts;
  for (const std::string& part :
       {os.GuestOSName, os.OSType, os.CPUArch, os.OSVersion})
    if (!part.empty() && osFacts.find(part) == std::string::npos &&
        part != "Any")
      osFacts += (osFacts.empty() ? "" : ", ") + part;
  Print("  Guest OS:      %s%s\n", Or(info.strGuestOS, "-").c_str(),
        osFacts.empty() ? "" : (" (" + osFacts + ")").c_str());
  if (Chosen(facts.osValue) != "-")
    Print("  OS value:      %s\n", facts.osValue.c_str());
  Print("  CPUs, memory:  %lld, %s\n", static_cast<long long>(info.i64NumCPUs),
        info.i64MemoryMB < 0
            ? "unknown"
            : (std::to_string(info.i64MemoryMB) + " MiB").c_str());
  Print("  Instance type: %s\n", Chosen(InstanceTypeOf(facts, info)).c_str());
  std::string region = RegionOf(facts, info);
  if (!region.empty()) Print("  Region:        %s\n", region.c_str());
  // Descriptions spell it "bios" or "BIOS"; the tool says BIOS and EFI.
  if (!info.strBootFirmware.empty())
    Print("  Firmware:      %s\n", FirmwareName(info.strBootFirmware).c_str());
  PrintDisks(info);
  for (const std::string& name : facts.verifiedDisks)
    Print("  Verified:      %s: the guest data equal the source's\n",
          name.c_str());
  PrintNetworkCards(info);
  if (!facts.nativeDescription.empty())
    Print("  Native VM:     %s\n", facts.nativeDescription.c_str());
  for (const std::string& note : facts.nativeNotes)
    Print("  Note:          %s\n", note.c_str());
}

nlohmann::json DescriptionJson(const VMInfoStructs::SVMInfo& info,
                               const ResultFacts& facts) {
  nlohmann::json result;
  result["vmName"] = info.strVMName;
  result["vmId"] = facts.vmId;
  result["folder"] = facts.location;
  result["guestOS"] = info.strGuestOS;
  result["osValue"] = facts.osValue;
  result["instanceType"] = InstanceTypeOf(facts, info);
  result["region"] = RegionOf(facts, info);
  result["nativeDescription"] = facts.nativeDescription;
  result["nativeNotes"] = facts.nativeNotes;
  nlohmann::json disks = nlohmann::json::array();
  for (const SDisk& disk : info.vDisks) {
    disks.push_back({{"name", DestinationDiskName(disk)},
                     {"kind", DeviceLabel(disk)},
                     {"format", FormatLabel(disk.eDiskType)},
                     {"diskType", disk.eDiskType},
                     {"controller", disk.strControllerType},
                     {"bus", disk.nBus},
                     {"slot", disk.nSlot},
                     {"sizeBytes", disk.i64MaxSizeInBytes},
                     {"isOSDisk", disk.isOSDisk}});
    if (facts.verifyAsked) disks.back()["verified"] = DiskVerified(facts, disk);
  }
  result["disks"] = disks;
  std::string error;
  if (!VMInfoToJson(info, result["vmInfo"], error)) throw ToolError(error);
  return result;
}

void PrintThinImages(const std::vector<std::string>& thinImages) {
  if (!thinImages.empty()) Print("Thin images:\n");
  for (const std::string& line : thinImages) Print("  %s\n", line.c_str());
}

void PrintResult(const GlobalOptions& global,
                 const VMInfoStructs::SVMInfo& info, const ResultFacts& facts,
                 const std::vector<std::string>& thinImages) {
  if (global.json) {
    nlohmann::json result = DescriptionJson(info, facts);
    if (!thinImages.empty()) result["thinImages"] = thinImages;
    Print("%s\n", result.dump(2).c_str());
    return;
  }
  PrintDescription(info, facts);
  PrintThinImages(thinImages);
}

}  // namespace zytool
