//===- CmdKinds.cpp - zyvmconvert kinds: the platform kinds' facts --------===//
//
// Prints the library's kind table (model/PlatformKinds.h) row by row: the
// destination format and its extension, the largest disk, whether CD-ROM
// drives are kept (empty) or dropped and the kind's other facts.  The naming
// rule, which is behaviour rather than a fact, is shown by UpdateDiskNames on
// a sample VMware VM.  kinds --os KIND lists the guest OS values (--os) the
// converter takes for a destination kind.
//
//===----------------------------------------------------------------------===//
#include "Commands.h"
#include "Report.h"

#include "converter/ZyVMConverter.h"
#include "model/PlatformKinds.h"
#include "platform/folder/FolderVMInfo.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <vector>

#include <CLI/CLI.hpp>
#include <memory>

namespace zytool {
namespace {

using VMInfoStructs::kDeviceTypeHardDisk;
using VMInfoStructs::kFileTypeConfig;
using VMInfoStructs::kFileTypeDisk;
using VMInfoStructs::SDisk;

// The sample the naming rule is shown on: a VMware VM "web" with a
// configuration file and two disks, backed up under the identifier "vm-42".
constexpr char kSampleVMName[] = "web";
constexpr char kSampleVMId[] = "vm-42";

struct SampleDisk {
  const char* displayName;
  const char* indexName;
  int32_t fileType;
  int32_t deviceType;
  bool isOSDisk;
};

// clang-format off
constexpr SampleDisk kSampleDisks[] = {
    {"web.vmx", "web.vmx", kFileTypeConfig, kDeviceTypeHardDisk, false},
    {"web-os.vmdk", "scsi0-0-web-os.vmdk", kFileTypeDisk, kDeviceTypeHardDisk, true},
    {"web-data.vmdk", "scsi0-1-web-data.vmdk", kFileTypeDisk, kDeviceTypeHardDisk, false},
};
// clang-format on

std::vector<SDisk> SampleDiskList() {
  std::vector<SDisk> disks;
  int slot = 0;
  for (const SampleDisk& row : kSampleDisks) {
    SDisk disk;
    disk.strDisplayName = disk.fileName = disk.strMatchName = row.displayName;
    disk.diskIndexName = row.indexName;
    disk.nFileType = row.fileType;
    disk.nDeviceType = row.deviceType;
    disk.isOSDisk = row.isOSDisk;
    disk.eDiskType = DT_VMDK;
    disk.strControllerType = "scsi";
    disk.nSlot = row.fileType == kFileTypeDisk ? slot++ : 0;
    disk.i64MaxSizeInBytes = disk.i64CurrSizeInBytes = int64_t{16} << 30;
    disks.push_back(disk);
  }
  return disks;
}

std::vector<std::string> SampleNames(ZyVMConverter& converter,
                                     VirtualServerInstanceType kind) {
  std::vector<SDisk> disks = SampleDiskList();
  converter.UpdateDiskNames(disks, kSampleVMId, kSampleVMName, kind, VS_VMWARE,
                            false);
  std::vector<std::string> names;
  for (const SDisk& disk : disks)
    if (disk.nFileType == kFileTypeDisk)
      names.push_back(DestinationDiskName(disk));
  return names;
}

// The yes/no facts, by the names the listing gives them.
struct FlagName {
  zykinds::KindFlag flag;
  const char* name;
};

// clang-format off
constexpr FlagName kFlagNames[] = {
    {zykinds::kSourceOnly, "sourceOnly"},
    {zykinds::kCloud, "cloud"},
    {zykinds::kRestoresIntoDestinationFolder, "restoresIntoDestinationFolder"},
    {zykinds::kAzureFamily, "azureFamily"},
    {zykinds::kHyperVFamily, "hyperVFamily"},
    {zykinds::kTakesRequestedNetworkCards, "takesRequestedNetworkCards"},
    {zykinds::kTakesRestoredDisks, "takesRestoredDisks"},
    {zykinds::kNeedsGuestOS, "needsGuestOS"},
    {zykinds::kBootsFromScsi, "bootsFromScsi"},
};
// clang-format on

struct KindRow {
  zykinds::KindFacts facts;
  std::string extension;
  std::vector<std::string> names;
};

KindRow RowOf(VirtualServerInstanceType kind) {
  ZyVMConverter converter;
  const zykinds::KindFacts& facts = zykinds::FactsOf(kind);
  return {facts, zykinds::FormatFactsOf(facts.diskFormat).extension,
          SampleNames(converter, kind)};
}

std::string FlagList(const zykinds::KindFacts& facts) {
  std::string text;
  for (const FlagName& flag : kFlagNames)
    if (facts.flags & flag.flag)
      text += (text.empty() ? "" : ",") + std::string(flag.name);
  return text.empty() ? "-" : text;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names)
    text += (text.empty() ? "" : ", ") + name;
  return text;
}

void PrintTable(const std::vector<KindRow>& rows) {
  Print("%-10s %6s %-7s %-10s %-18s %-8s %-24s %s\n", "KIND", "NUMBER",
        "FORMAT", "EXTENSION", "LARGEST DISK", "CD-ROM", "DISK NAMES", "FACTS");
  for (const KindRow& row : rows) {
    const zykinds::KindFacts& facts = row.facts;
    std::string largest =
        facts.largestDiskBytes == 0
            ? "no limit"
            : HumanBytes(static_cast<uint64_t>(facts.largestDiskBytes));
    Print("%-10s %6d %-7s %-10s %-18s %-8s %-24s %s\n",
          PlatformKindName(facts.kind).c_str(), static_cast<int>(facts.kind),
          FormatLabel(facts.diskFormat).c_str(),
          row.extension.empty() ? "(none)" : row.extension.c_str(),
          largest.c_str(),
          zykinds::KeepsCdroms(facts.kind) ? "kept" : "dropped",
          Joined(row.names).c_str(), FlagList(facts).c_str());
  }
  Print(
      "\nCD-ROM: kept: every CD-ROM drive of the source is written empty (its "
      "medium is not restored); dropped: the kind has no CD-ROM drive, and "
      "the drives are left out.\n");
  Print(
      "Disk names: what the restore names the two disks of a VMware VM "
      "\"%s\" "
      "(web-os.vmdk, web-data.vmdk) backed up as \"%s\".\n",
      kSampleVMName, kSampleVMId);
}

void PrintJson(const std::vector<KindRow>& rows) {
  nlohmann::json list = nlohmann::json::array();
  for (const KindRow& row : rows) {
    const zykinds::KindFacts& facts = row.facts;
    nlohmann::json entry;
    entry["kind"] = static_cast<int>(facts.kind);
    entry["name"] = PlatformKindName(facts.kind);
    entry["diskFormat"] = static_cast<int>(facts.diskFormat);
    entry["format"] = FormatLabel(facts.diskFormat);
    entry["osValues"] = ZyVMConverter::GuestOSValues(facts.kind);
    entry["extension"] = row.extension;
    entry["largestDiskBytes"] = facts.largestDiskBytes == 0
                                    ? nlohmann::json(nullptr)
                                    : nlohmann::json(facts.largestDiskBytes);
    entry["cdromKept"] = zykinds::KeepsCdroms(facts.kind);
    entry["cdrom"] = zykinds::KeepsCdroms(facts.kind)
                         ? "kept empty: the medium is not restored"
                         : "dropped";
    entry["mayBeDestination"] = zykinds::MayBeDestination(facts.kind) &&
                                ZyVMConverter::CanFinalize(facts.kind);
    for (const FlagName& flag : kFlagNames)
      entry[flag.name] = (facts.flags & flag.flag) != 0;
    entry["sampleDiskNames"] = row.names;
    list.push_back(entry);
  }
  Print("%s\n", list.dump(2).c_str());
}

}  // namespace

VirtualServerInstanceType KindFromText(const std::string& text) {
  VirtualServerInstanceType kind = VS_NONE;
  if (!ParsePlatformKind(text, kind))
    throw ToolError("unknown platform kind [" + text +
                    "] (see 'zyvmconvert kinds' for the kinds)");
  return kind;
}

VirtualServerInstanceType DestinationKindFromText(const std::string& text) {
  VirtualServerInstanceType kind = KindFromText(text);
  if (!zykinds::MayBeDestination(kind))
    throw ToolError("platform kind [" + text +
                    "] is a source only; a VM cannot be restored to it");
  if (!ZyVMConverter::CanFinalize(kind))
    throw ToolError("platform kind [" + text +
                    "] cannot be a destination: the converter has no way to "
                    "finish a VM of this kind, so its platform never builds "
                    "one");
  Typed().destination = kind;
  Typed().destinationKnown = true;
  return kind;
}

// The --os values of one kind, one a line (JSON: a list).
int RunKindOSValues(const GlobalOptions& global, const std::string& text) {
  VirtualServerInstanceType kind = KindFromText(text);
  std::vector<std::string> values = ZyVMConverter::GuestOSValues(kind);
  if (global.json) {
    Print("%s\n", nlohmann::json(values).dump().c_str());
    return 0;
  }
  if (values.empty()) {
    Print("%s: --os with %s\n", PlatformKindName(kind).c_str(),
          GuestOSValueList(kind).c_str());
    return 0;
  }
  for (const std::string& value : values) Print("%s\n", value.c_str());
  return 0;
}

int RunKinds(const GlobalOptions& global) {
  std::vector<KindRow> rows;
  {
    QuietLog quiet;  // the sample names are questions, not conversions
    for (VirtualServerInstanceType kind : KnownPlatformKinds())
      rows.push_back(RowOf(kind));
  }
  if (global.json)
    PrintJson(rows);
  else
    PrintTable(rows);
  return 0;
}

void AddKindsCommand(CLI::App& app, const GlobalOptions& global,
                     CommandRun& run) {
  CLI::App* cmd =
      app.add_subcommand("kinds", "List the platform kinds and their facts");
  auto osOf = std::make_shared<std::string>();
  cmd->add_option("--os", *osOf,
                  "List the guest OS values (--os of convert and restore) "
                  "this destination kind takes");
  cmd->callback([&run, &global, osOf] {
    run = [&global, osOf] {
      return osOf->empty() ? RunKinds(global) : RunKindOSValues(global, *osOf);
    };
  });
}

}  // namespace zytool
