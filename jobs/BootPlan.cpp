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
#include "platform/support/FXPath.h"
#include "platform/support/FXString.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
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
};
constexpr QemuController kQemuControllers[] = {
    {BootController::kSata, "ahci"},
    {BootController::kLsiLogic, "lsi53c895a"},
    {BootController::kLsiSas, "mptsas1068"},
    {BootController::kPvscsi, "pvscsi"},
    {BootController::kVirtioScsi, "virtio-scsi-pci"},
};

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

// qemu's option values separate with commas; a comma in a value is doubled.
std::string OptionValue(const std::string& text) {
  std::string escaped;
  for (char c : text)
    escaped += c == ',' ? std::string(",,") : std::string(1, c);
  return escaped;
}

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

const char* ControllerDevice(BootController controller) {
  for (const QemuController& row : kQemuControllers)
    if (row.controller == controller) return row.device;
  return "";
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

BootPlan ReadPlan(const std::string& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec))
    throw JobFailure("[" + folder + "] is not a folder");
  std::string kind, file;
  if (!FindNativeDescription(folder, kind, file))
    throw JobFailure("no native description of the VM in [" + folder + "]");
  std::string text, readError;
  if (!ReadBoundedFile(folder + "/" + file, text, readError))
    throw JobFailure(readError);
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (entry.is_regular_file(ec)) files.push_back(entry.path().filename());
  BootPlan plan;
  try {
    plan = PlanOf(kind, text, files);
  } catch (const JobFailure& e) {
    throw JobFailure("[" + file + "]: " + e.what());
  }
  plan.description = file;
  return plan;
}

}  // namespace

bool ReadBootPlan(const std::string& folder, BootPlan& plan, SJobError& error) {
  return AtBoundary(error, [&] { plan = ReadPlan(folder); });
}

bool FindNativeDescription(const std::string& folder, std::string& kind,
                           std::string& file) {
  std::error_code ec;
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (entry.is_regular_file(ec)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
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

std::vector<std::string> DiskArguments(const BootPlan& plan,
                                       const std::string& folder,
                                       const std::vector<std::string>& formats) {
  std::vector<std::string> args;
  std::set<std::pair<BootController, int>> controllers;
  for (size_t i = 0; i < plan.disks.size(); ++i) {
    const BootDisk& disk = plan.disks[i];
    std::string drive = "disk" + std::to_string(i);
    std::string device = DiskDevice(disk, drive);
    if (device.empty()) continue;
    std::string controller = ControllerDevice(disk.controller);
    if (!controller.empty() &&
        controllers.insert({disk.controller, disk.bus}).second)
      args.insert(
          args.end(),
          {"-device",
           controller + ",id=" +
               (disk.controller == BootController::kSata ? "sata" : "scsi") +
               std::to_string(disk.bus)});
    std::string format = !disk.format.empty() ? disk.format
                         : i < formats.size() ? formats[i]
                                              : "raw";
    args.insert(args.end(),
                {"-drive",
                 "if=none,id=" + drive + ",format=" + format +
                     ",file=" + OptionValue(folder + "/" + disk.file),
                 "-device", device + (disk.boot ? ",bootindex=0" : "")});
  }
  return args;
}

}  // namespace

bool QemuDiskArguments(const BootPlan& plan, const std::string& folder,
                       const std::vector<std::string>& formats,
                       std::vector<std::string>& args, SJobError& error) {
  return AtBoundary(error, [&] { args = DiskArguments(plan, folder, formats); });
}

std::string SniffImageFormat(const std::string& head, const std::string& tail) {
  return zydisk::SniffImage(head.data(), head.size(), tail.data(), tail.size())
      .driver;
}

}  // namespace zyjobs
