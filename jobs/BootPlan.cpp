//===- BootPlan.cpp - How a destination VM's disks are booted in qemu -----===//
//
// Reads each native description kind into a boot plan through its format's
// placement reader (formats/common/FormatDrivers.h) and writes the plan as
// qemu's disk arguments.
//
//===----------------------------------------------------------------------===//
#include "BootPlan.h"

#include "JobSupport.h"

#include "formats/common/FormatDrivers.h"
#include "platform/diskimage/ImageSniffer.h"
#include "platform/support/BoundedFile.h"
#include "platform/support/ConfinedPath.h"
#include "platform/support/FXPath.h"
#include "platform/support/FXString.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <utility>

namespace zyjobs {
namespace {

namespace fs = std::filesystem;

struct ControllerName {
  const char* name;
  BootController controller;
};
// Controller names as the descriptions write them (lower case).  Xen's
// emulated disks of an HVM guest are IDE; VMware's BusLogic and Hyper-V's
// synthetic SCSI have no qemu model.
constexpr ControllerName kControllers[] = {
    {"ide", BootController::kIde},
    {"sata", BootController::kSata},
    {"ahci", BootController::kSata},
    {"lsilogic", BootController::kLsiLogic},
    {"lsisas1068", BootController::kLsiSas},
    {"pvscsi", BootController::kPvscsi},
    {"vmpvscsi", BootController::kPvscsi},
    {"virtio", BootController::kVirtioBlk},
    {"virtio-blk", BootController::kVirtioBlk},
    {"virtio-scsi", BootController::kVirtioScsi},
    {"virtio_scsi", BootController::kVirtioScsi},
    {"nvme", BootController::kNvme},
};

struct QemuController {
  BootController controller;
  const char* device;  // the controller's device, once a bus; "" none
  const char* driver;  // the Linux driver that binds qemu's model; "" when
                       // the stock kernel never brings it up on qemu
  bool scsi;           // its disks have SCSI targets and LUNs
};
// Linux 6.1's mptsas waits 25 s and gives up on qemu's LSI SAS 1068,
// although SeaBIOS boots from it; qemu's LSI 53C895A (for VMware's LSI
// Logic) is sym53c8xx's.
constexpr QemuController kQemuControllers[] = {
    {BootController::kIde, "", "ata_piix", false},
    {BootController::kSata, "ahci", "ahci", false},
    {BootController::kLsiLogic, "lsi53c895a", "sym53c8xx", true},
    {BootController::kLsiSas, "mptsas1068", "", true},
    {BootController::kPvscsi, "pvscsi", "vmw_pvscsi", true},
    {BootController::kVirtioBlk, "", "virtio_blk", false},
    {BootController::kVirtioScsi, "virtio-scsi-pci", "virtio_scsi", true},
    {BootController::kNvme, "", "nvme", false},
};

// qemu's format drivers that can have a backing file, and so take
// "backing": null; the others refuse the key.
constexpr const char* kBackedFormats[] = {"qcow2", "vmdk", "qed", "qcow"};

constexpr char kMarkerText[] = "ZYVMDISK ";
constexpr size_t kMarkerMax = 64;
constexpr char kGuestMarkerPrefix[] = "os-";
constexpr char kReportPrefix[] = "ZYVM ";

BootController ControllerOf(const std::string& name) {
  std::string lower = FXString::ToLower(name);
  for (const ControllerName& row : kControllers)
    if (lower == row.name) return row.controller;
  return BootController::kNone;
}

// A placed disk as qemu boots it: descriptions name images by their path on
// the destination; the image is looked for in the VM's folder under its
// file name.
BootDisk BootDiskOf(const SPlacedDisk& placed) {
  BootDisk disk;
  disk.file = CQiPath::GetBaseName(placed.file);
  disk.format = placed.format;
  disk.controllerName = placed.controller;
  disk.controller = ControllerOf(placed.controller);
  disk.bus = placed.bus;
  disk.unit = placed.unit;
  disk.lun = placed.lun;
  disk.boot = placed.boot;
  return disk;
}

// ---- qemu ----------------------------------------------------------------

std::string DiskDevice(const BootDisk& disk, const std::string& drive) {
  std::string b = std::to_string(disk.bus), u = std::to_string(disk.unit);
  switch (disk.controller) {
    case BootController::kIde:
      if (disk.bus > 1 || disk.unit > 1 || disk.bus < 0 || disk.unit < 0)
        throw JobFailure("IDE " + b + ":" + u + " does not exist");
      return "ide-hd,drive=" + drive + ",bus=ide." + b + ",unit=" + u;
    case BootController::kSata:
      if (disk.unit > 5 || disk.unit < 0)
        throw JobFailure("SATA port " + u + " does not exist");
      return "ide-hd,drive=" + drive + ",bus=sata" + b + "." + u;
    case BootController::kVirtioBlk:
      return "virtio-blk-pci,drive=" + drive;
    case BootController::kNvme:
      return "nvme,drive=" + drive + ",serial=" + drive;
    case BootController::kNone:
      return "";
    default:
      return "scsi-hd,drive=" + drive + ",bus=scsi" + b + ".0,scsi-id=" + u +
             (disk.lun ? ",lun=" + std::to_string(disk.lun) : "");
  }
}

const QemuController* ControllerRow(BootController controller) {
  for (const QemuController& row : kQemuControllers)
    if (row.controller == controller) return &row;
  return nullptr;
}

const char* ControllerDevice(BootController controller) {
  const QemuController* row = ControllerRow(controller);
  return row ? row->device : "";
}

BootPlan PlanOf(const std::string& kind, const std::string& text,
               const std::vector<std::string>& files) {
  const SFormatDriver* driver = FindFormat(kind);
  if (!driver || !driver->place)
    throw JobFailure("unknown description kind [" + kind + "]");
  SDiskPlacement placement;
  std::string error;
  if (!driver->place(text, files, placement, error)) throw JobFailure(error);
  BootPlan plan;
  plan.efi = placement.efi;
  for (const SPlacedDisk& disk : placement.disks)
    plan.disks.push_back(BootDiskOf(disk));
  if (plan.disks.empty()) throw JobFailure("the description names no disk");
  for (const BootDisk& disk : plan.disks)
    if (disk.file.empty() || disk.file == "." || disk.file == "..")
      throw JobFailure("a disk of the description names no file");
  return plan;
}

}  // namespace

bool PlanFromDescription(const std::string& kind, const std::string& text,
                         const std::vector<std::string>& files, BootPlan& plan,
                         SJobError& error) {
  return AtBoundary(error, [&] { plan = PlanOf(kind, text, files); });
}

std::string BootDiskText(const BootDisk& disk) {
  return disk.file + " on " + disk.controllerName + " " +
         std::to_string(disk.bus) + ":" + std::to_string(disk.unit) +
         (disk.boot ? " (boot)" : "") +
         (disk.controller == BootController::kNone ? " (not attached)" : "");
}

namespace {

// The folder's regular files by name, sorted; a link is none of them.
std::vector<std::string> RegularFiles(const std::string& folder) {
  std::error_code ec;
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (entry.symlink_status(ec).type() == fs::file_type::regular)
      names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

BootPlan ReadPlan(const std::string& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec))
    throw JobFailure("[" + folder + "] is not a folder");
  std::string kind, file;
  if (!FindNativeDescription(folder, kind, file))
    throw JobFailure("no native description of the VM in [" + folder + "]");
  std::string text, readError, path = folder + "/" + file;
  if (!CheckBeneath(folder, path, readError) ||
      !ReadBoundedFile(path, text, readError))
    throw JobFailure(readError);
  std::vector<std::string> files = RegularFiles(folder);
  BootPlan plan;
  try {
    plan = PlanOf(kind, text, files);
  } catch (const JobFailure& e) {
    throw JobFailure("[" + file + "]: " + e.what());
  }
  plan.description = file;
  plan.kind = kind;
  return plan;
}

}  // namespace

bool ReadBootPlan(const std::string& folder, BootPlan& plan, SJobError& error) {
  return AtBoundary(error, [&] { plan = ReadPlan(folder); });
}

bool FindNativeDescription(const std::string& folder, std::string& kind,
                           std::string& file) {
  std::vector<std::string> names = RegularFiles(folder);
  for (const SFormatDriver* driver = FormatDriversBegin();
       driver != FormatDriversEnd(); ++driver) {
    if (!driver->place) continue;
    for (const std::string& name : names)
      if (IsNativeFileName(*driver, name)) {
        kind = driver->name;
        file = name;
        return true;
      }
  }
  return false;
}

std::string UncheckableController(const BootPlan& plan) {
  for (const BootDisk& disk : plan.disks)
    if (disk.boot && disk.controller == BootController::kNone)
      return disk.controllerName.empty() ? "none" : disk.controllerName;
  return "";
}

namespace {

// The image's node graph, as -blockdev takes it: the overlay over the
// pinned image.
nlohmann::json ImageNode(const BootImage& image, const std::string& drive) {
  nlohmann::json format = PinnedImageNode(image);
  if (image.overlay.empty()) {
    format["node-name"] = drive;
    return format;
  }
  return {{"driver", "qcow2"},
          {"node-name", drive},
          {"file", {{"driver", "file"}, {"filename", image.overlay}}},
          {"backing", format}};
}

std::vector<std::string> DiskArguments(const BootPlan& plan,
                                       const std::vector<BootImage>& images) {
  std::vector<std::string> args;
  std::set<std::pair<BootController, int>> controllers;
  for (size_t i = 0; i < plan.disks.size(); ++i) {
    const BootDisk& disk = plan.disks[i];
    std::string drive = "disk" + std::to_string(i);
    std::string device = DiskDevice(disk, drive);
    if (device.empty()) continue;
    if (i >= images.size())
      throw JobFailure("no image is open for [" + disk.file + "]");
    std::string controller = ControllerDevice(disk.controller);
    if (!controller.empty() &&
        controllers.insert({disk.controller, disk.bus}).second)
      args.insert(
          args.end(),
          {"-device",
           controller + ",id=" +
               (disk.controller == BootController::kSata ? "sata" : "scsi") +
               std::to_string(disk.bus)});
    args.insert(args.end(), {"-blockdev", ImageNode(images[i], drive).dump(),
                             "-device",
                             device + (disk.boot ? ",bootindex=0" : "")});
  }
  return args;
}

}  // namespace

nlohmann::json PinnedImageNode(const BootImage& image) {
  nlohmann::json format = {
      {"driver", image.format},
      {"read-only", true},
      {"file",
       {{"driver", "file"}, {"filename", image.file}, {"read-only", true}}}};
  for (const char* backed : kBackedFormats)
    if (image.format == backed) format["backing"] = nullptr;
  if (!image.backingFile.empty())
    format["backing"] =
        PinnedImageNode({image.backingFile, image.backingFormat, "", "", ""});
  return format;
}

bool QemuDiskArguments(const BootPlan& plan,
                       const std::vector<BootImage>& images,
                       std::vector<std::string>& args, SJobError& error) {
  return AtBoundary(error, [&] { args = DiskArguments(plan, images); });
}

std::string SniffImageFormat(const std::string& head, const std::string& tail) {
  return zydisk::SniffImage(head.data(), head.size(), tail.data(), tail.size())
      .driver;
}

// ---- The OS check --------------------------------------------------------

std::string MarkerOf(const std::string& sector) {
  if (sector.compare(0, sizeof kMarkerText - 1, kMarkerText) != 0) return "";
  std::string id;
  for (size_t i = sizeof kMarkerText - 1; i < sector.size(); ++i) {
    char c = sector[i];
    if (!std::isalnum(static_cast<unsigned char>(c)) &&
        std::strchr("_.:-", c) == nullptr)
      break;
    id += c;
  }
  return id.size() > kMarkerMax ? id.substr(0, kMarkerMax) : id;
}

bool HoldsLinuxGuest(const BootPlan& plan) {
  for (const BootDisk& disk : plan.disks)
    if (disk.boot)
      return disk.marker.compare(0, sizeof kGuestMarkerPrefix - 1,
                                 kGuestMarkerPrefix) == 0;
  return false;
}

std::string OsUncheckableController(const BootPlan& plan) {
  for (const BootDisk& disk : plan.disks) {
    const QemuController* row = ControllerRow(disk.controller);
    if (row && !*row->driver) return disk.controllerName;
  }
  return "";
}

std::vector<std::string> GuestReportLines(const std::string& serial) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < serial.size();) {
    size_t end = std::min(serial.find('\n', start), serial.size());
    std::string line = serial.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // The firmware's last words may precede the guest's on its line.
    size_t at = line.find(kReportPrefix);
    if (at == std::string::npos || end == serial.size())
      continue;  // not the guest's, or not whole yet
    line.erase(0, at);
    bool printable = std::all_of(line.begin(), line.end(), [](char c) {
      return c >= ' ' && c < 127;
    });
    if (printable) lines.push_back(line);
  }
  return lines;
}

namespace {

using ReportWords = std::map<std::string, std::string>;

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  return parts;
}

// "ZYVM DISK dev=sda driver=ahci ..." as its key=value words.
std::vector<ReportWords> ReportedDisks(const std::vector<std::string>& lines) {
  std::vector<ReportWords> disks;
  for (const std::string& line : lines) {
    if (line.compare(0, 10, "ZYVM DISK ") != 0) continue;
    ReportWords words;
    for (const std::string& word : Split(line.substr(10), ' ')) {
      size_t equals = word.find('=');
      if (equals != std::string::npos)
        words[word.substr(0, equals)] = word.substr(equals + 1);
    }
    disks.push_back(words);
  }
  return disks;
}

std::string Where(const BootDisk& disk) {
  return "[" + disk.file + "] on " + disk.controllerName + " " +
         std::to_string(disk.bus) + ":" + std::to_string(disk.unit);
}

// Why the reported disk is not where the plan's disk is; "" when it is.
std::string Misplaced(const BootDisk& disk, const QemuController& row,
                      const ReportWords& seen) {
  std::string driver = seen.count("driver") ? seen.at("driver") : "-";
  if (driver != row.driver)
    return "the OS sees " + Where(disk) + " on the driver " + driver +
           ", not " + row.driver;
  if (!row.scsi) return "";
  std::string address = seen.count("scsi") ? seen.at("scsi") : "-";
  std::vector<std::string> parts = Split(address, ':');
  std::string want = std::to_string(disk.unit) + ":" + std::to_string(disk.lun);
  if (parts.size() == 4 && parts[2] + ":" + parts[3] == want) return "";
  return "the OS sees " + Where(disk) + " at SCSI address " + address +
         ", not target:LUN " + want;
}

}  // namespace

bool CheckOsReport(const BootPlan& plan, const std::vector<std::string>& lines,
                   std::vector<std::string>& seen, std::string& failure) {
  std::vector<ReportWords> reported = ReportedDisks(lines);
  std::vector<bool> taken(reported.size(), false);
  seen.clear();
  // Marked disks first, so an unmarked one never takes a marked one's line.
  for (int pass = 0; pass < 2; ++pass)
    for (const BootDisk& disk : plan.disks) {
      const QemuController* row = ControllerRow(disk.controller);
      if (!row || disk.marker.empty() != (pass == 1)) continue;
      std::string want = disk.marker.empty() ? "-" : disk.marker;
      std::string why;
      size_t found = reported.size();
      for (size_t i = 0; i < reported.size() && found == reported.size(); ++i) {
        if (taken[i] || reported[i]["marker"] != want) continue;
        std::string misplaced = Misplaced(disk, *row, reported[i]);
        if (misplaced.empty()) found = i;
        else if (why.empty()) why = misplaced;
      }
      if (found == reported.size()) {
        failure = !why.empty() ? why
                  : disk.marker.empty()
                      ? "the OS does not see " + Where(disk)
                      : "the OS does not see " + Where(disk) + " (marker " +
                            disk.marker + ")";
        return false;
      }
      taken[found] = true;
      ReportWords& words = reported[found];
      seen.push_back(disk.file + ": " + words["dev"] + ", " + words["driver"] +
                     " " + (row->scsi ? words["scsi"] : words["pci"]) +
                     ", marker " + want);
    }
  return true;
}

}  // namespace zyjobs
