//===- CmdKinds.cpp - zyvmconvert kinds: the platform kinds' disk rules ---===//
//
// The table is not a second copy of the library's tables: every column is
// the library's own answer for the kind.  The destination format and its
// extension come from DetermineDestinationDiskType and
// GetDestinationDiskExtension; the largest disk is found by a binary search
// over CheckDiskSize; the CD-ROM rule is RemoveUnsupportedDisks on a list
// holding one; the naming rule is UpdateDiskNames on a sample VMware VM.
//
//===----------------------------------------------------------------------===//
#include "Commands.h"
#include "Report.h"

#include "converter/ZyVMConverter.h"
#include "platform/folder/FolderVMInfo.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <limits>
#include <vector>

#include <CLI/CLI.hpp>
#include <memory>

namespace zytool {
namespace {

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
    {"web.vmx", "web.vmx", 0, 1, false},
    {"web-os.vmdk", "scsi0-0-web-os.vmdk", 1, 1, true},
    {"web-data.vmdk", "scsi0-1-web-data.vmdk", 1, 1, false},
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
    disk.nSlot = row.fileType == 1 ? slot++ : 0;
    disk.i64MaxSizeInBytes = disk.i64CurrSizeInBytes = int64_t{16} << 30;
    disks.push_back(disk);
  }
  return disks;
}

bool DiskOfSizeFits(ZyVMConverter& converter, VirtualServerInstanceType kind,
                    int64_t size) {
  RestoreCtx request;
  SDisk disk;
  disk.i64MaxSizeInBytes = size;
  request.vDisks.push_back(disk);
  return converter.CheckDiskSize(request, kind);
}

// The largest disk the kind takes, or -1 when every size passes.
int64_t LargestDisk(ZyVMConverter& converter, VirtualServerInstanceType kind) {
  int64_t pass = 0, fail = std::numeric_limits<int64_t>::max();
  if (DiskOfSizeFits(converter, kind, fail)) return -1;
  while (fail - pass > 1) {
    int64_t middle = pass + (fail - pass) / 2;
    (DiskOfSizeFits(converter, kind, middle) ? pass : fail) = middle;
  }
  return pass;
}

bool KeepsCdrom(ZyVMConverter& converter, VirtualServerInstanceType kind) {
  RestoreCtx request;
  SDisk cdrom;
  cdrom.nDeviceType = 2;
  cdrom.strDisplayName = "cdrom";
  request.vDisks.push_back(cdrom);
  converter.RemoveUnsupportedDisks(request, kind);
  return !request.vDisks.empty();
}

std::vector<std::string> SampleNames(ZyVMConverter& converter,
                                     VirtualServerInstanceType kind) {
  std::vector<SDisk> disks = SampleDiskList();
  converter.UpdateDiskNames(disks, kSampleVMId, kSampleVMName, kind, VS_VMWARE,
                            false);
  std::vector<std::string> names;
  for (const SDisk& disk : disks)
    if (disk.nFileType == 1) names.push_back(DestinationDiskName(disk));
  return names;
}

struct KindRow {
  VirtualServerInstanceType kind;
  DiskType_t format;
  std::string extension;
  int64_t largestDisk;
  bool keepsCdrom;
  std::vector<std::string> names;
};

KindRow AskLibrary(VirtualServerInstanceType kind) {
  ZyVMConverter converter;
  KindRow row;
  row.kind = kind;
  row.format = ZyVMConverter::DetermineDestinationDiskType(kind);
  row.extension = converter.GetDestinationDiskExtension(row.format);
  row.largestDisk = LargestDisk(converter, kind);
  row.keepsCdrom = KeepsCdrom(converter, kind);
  row.names = SampleNames(converter, kind);
  return row;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names)
    text += (text.empty() ? "" : ", ") + name;
  return text;
}

void PrintTable(const std::vector<KindRow>& rows) {
  Print("%-10s %6s %7s %-10s %-18s %-8s %s\n", "KIND", "NUMBER", "FORMAT",
        "EXTENSION", "LARGEST DISK", "CD-ROM", "DISK NAMES");
  for (const KindRow& row : rows) {
    std::string largest =
        row.largestDisk < 0
            ? "no limit"
            : HumanBytes(static_cast<uint64_t>(row.largestDisk));
    Print("%-10s %6d %7d %-10s %-18s %-8s %s\n",
          PlatformKindName(row.kind).c_str(), static_cast<int>(row.kind),
          static_cast<int>(row.format),
          row.extension.empty() ? "(none)" : row.extension.c_str(),
          largest.c_str(), row.keepsCdrom ? "kept" : "dropped",
          Joined(row.names).c_str());
  }
  Print(
      "\nDisk names: what the restore names the two disks of a VMware VM "
      "\"%s\" "
      "(web-os.vmdk, web-data.vmdk) backed up as \"%s\".\n",
      kSampleVMName, kSampleVMId);
}

void PrintJson(const std::vector<KindRow>& rows) {
  nlohmann::json list = nlohmann::json::array();
  for (const KindRow& row : rows) {
    nlohmann::json entry;
    entry["kind"] = static_cast<int>(row.kind);
    entry["name"] = PlatformKindName(row.kind);
    entry["diskFormat"] = static_cast<int>(row.format);
    entry["extension"] = row.extension;
    entry["largestDiskBytes"] = row.largestDisk < 0
                                    ? nlohmann::json(nullptr)
                                    : nlohmann::json(row.largestDisk);
    entry["cdromKept"] = row.keepsCdrom;
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

// Kinds that are only ever a source: a physical machine (0) and kind 103,
// whose VMs are restored elsewhere.
constexpr VirtualServerInstanceType kSourceOnlyKinds[] = {VS_NONE, VS_KIND_103};

VirtualServerInstanceType DestinationKindFromText(const std::string& text) {
  VirtualServerInstanceType kind = KindFromText(text);
  for (VirtualServerInstanceType only : kSourceOnlyKinds)
    if (kind == only)
      throw ToolError("platform kind [" + text +
                      "] is a source only; a VM cannot be restored to it");
  return kind;
}

int RunKinds(const GlobalOptions& global) {
  std::vector<KindRow> rows;
  {
    QuietLog quiet;  // the probes are questions, not conversions
    for (VirtualServerInstanceType kind : KnownPlatformKinds())
      rows.push_back(AskLibrary(kind));
  }
  if (global.json)
    PrintJson(rows);
  else
    PrintTable(rows);
  return 0;
}

void AddKindsCommand(CLI::App& app, const GlobalOptions& global,
                     CommandRun& run) {
  CLI::App* cmd = app.add_subcommand(
      "kinds", "List the platform kinds and their disk rules");
  cmd->callback(
      [&run, &global] { run = [&global] { return RunKinds(global); }; });
}

}  // namespace zytool
