//===- NativeWriterSupport.cpp - What the native description writers share ===//
//
// Disk placement and the small description facts every native writer reads,
// plus the one table of image format names.
//
//===----------------------------------------------------------------------===//
#include "formats/common/WriterSupport.h"

#include "formats/common/GuestOSIds.h"

#include "model/ImageFormats.h"
#include "model/PlatformKinds.h"
#include "platform/support/FXString.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <tuple>

using VMInfoStructs::SDisk;
using VMInfoStructs::SVMInfo;

namespace {


struct BusRow {
  const char* controller;
  native::Bus bus;
};

// clang-format off
constexpr BusRow kBuses[] = {
    {"ide", native::Bus::Ide},        {"scsi", native::Bus::Scsi},
    {"virtio_scsi", native::Bus::Scsi}, {"virtio-scsi", native::Bus::Scsi},
    {"sata", native::Bus::Sata},      {"nvme", native::Bus::Nvme},
    {"virtio", native::Bus::Virtio},  {"xen", native::Bus::Xen},
};
// clang-format on

const native::SBusLimits* LimitsOf(const native::SPlacementRules& rules,
                                   native::Bus bus) {
  for (const native::SBusLimits& row : rules.limits)
    if (row.bus == bus) return &row;
  return nullptr;
}

// One destination bus's limits, with the units its controllers' models give.
struct BusUnits {
  const native::SBusLimits* limits;
  const native::SPlacementRules& rules;
  const SVMInfo& info;

  int Units(int controller) const {
    int units =
        rules.unitsOf ? rules.unitsOf(limits->bus, controller, info) : -1;
    return units < 0 ? limits->nUnits : units;
  }
};

BusUnits UnitsOf(const native::SPlacementRules& rules, const SVMInfo& info,
                 native::Bus bus) {
  return {LimitsOf(rules, bus), rules, info};
}

bool IsValid(const BusUnits& on, int bus, int slot) {
  const native::SBusLimits* limits = on.limits;
  return limits && bus >= 0 && bus < limits->nControllers && slot >= 0 &&
         slot < on.Units(bus) && slot != limits->nReservedUnit;
}

using Address = std::tuple<native::Bus, int, int>;

bool FindFree(const BusUnits& on, const std::set<Address>& used,
              native::SPlacedDevice& device) {
  const native::SBusLimits* limits = on.limits;
  if (!limits) return false;
  for (int bus = 0; bus < limits->nControllers; ++bus)
    for (int slot = 0; slot < on.Units(bus); ++slot) {
      if (slot == limits->nReservedUnit ||
          used.count(Address{limits->bus, bus, slot}))
        continue;
      device.bus = limits->bus;
      device.nBus = bus;
      device.nSlot = slot;
      return true;
    }
  return false;
}

std::string Where(const std::string& controller, int bus, int slot) {
  return (controller.empty() ? std::string("no controller") : controller) +
         " " + std::to_string(bus) + ":" + std::to_string(slot);
}

std::string DeviceName(const SDisk& disk) {
  if (native::IsCdrom(disk)) return "CD-ROM drive";
  return "Disk [" + native::DiskFileName(disk) + "]";
}

}  // namespace

const char* QemuFormatName(int32_t diskType) {
  return zykinds::ImageFormatFactsOf(
             zykinds::WrittenFormatOf(static_cast<DiskType_t>(diskType)))
      .driver;
}

const SDisk* NativeOSDisk(const SVMInfo& info) { return native::OSDisk(info); }

namespace native {

Bus BusOfController(const std::string& controller) {
  std::string lower = FXString::ToLower(controller);
  for (const BusRow& row : kBuses)
    if (lower == row.controller) return row.bus;
  return Bus::Other;
}

const char* BusName(Bus bus) {
  for (const BusRow& row : kBuses)
    if (row.bus == bus && std::strchr(row.controller, '_') == nullptr &&
        std::strchr(row.controller, '-') == nullptr)
      return row.controller;
  return "other";
}

bool IsHardDisk(const SDisk& disk) {
  return disk.nFileType == VMInfoStructs::kFileTypeDisk &&
         disk.nDeviceType == VMInfoStructs::kDeviceTypeHardDisk;
}

bool IsCdrom(const SDisk& disk) {
  return disk.nFileType == VMInfoStructs::kFileTypeDisk &&
         disk.nDeviceType == VMInfoStructs::kDeviceTypeCdrom;
}

std::vector<SPlacedDevice> PlaceDevices(const SVMInfo& info,
                                        const SNativeWriteInput& input,
                                        const SPlacementRules& rules,
                                        std::vector<std::string>& notes) {
  std::vector<SPlacedDevice> devices;
  for (const SDisk& disk : info.vDisks) {
    if (!IsHardDisk(disk) && !IsCdrom(disk)) continue;
    if (IsCdrom(disk) && !zykinds::KeepsCdroms(input.eKind)) {
      notes.push_back("CD-ROM drive at " +
                      Where(disk.strControllerType, disk.nBus, disk.nSlot) +
                      " is not written: " + PlatformKindName(input.eKind) +
                      " has no CD-ROM drives");
      continue;
    }
    Bus bus = rules.choose(BusOfController(disk.strControllerType),
                           IsCdrom(disk), info);
    devices.push_back({&disk, bus, disk.nBus, disk.nSlot, IsCdrom(disk)});
  }
  std::set<Address> used;
  std::vector<bool> placed(devices.size(), false);
  for (size_t i = 0; i < devices.size(); ++i) {
    SPlacedDevice& device = devices[i];
    Address address{device.bus, device.nBus, device.nSlot};
    if (!IsValid(UnitsOf(rules, info, device.bus), device.nBus, device.nSlot) ||
        used.count(address))
      continue;
    used.insert(address);
    placed[i] = true;
  }
  std::vector<SPlacedDevice> result;
  for (size_t i = 0; i < devices.size(); ++i) {
    SPlacedDevice device = devices[i];
    const SDisk& disk = *device.disk;
    if (!placed[i]) {
      std::string from = Where(disk.strControllerType, disk.nBus, disk.nSlot);
      if (!FindFree(UnitsOf(rules, info, device.bus), used, device) &&
          !FindFree(UnitsOf(rules, info, rules.overflow), used, device)) {
        notes.push_back(DeviceName(disk) + " at " + from +
                        " has no free address on the destination; not written");
        continue;
      }
      used.insert(Address{device.bus, device.nBus, device.nSlot});
      notes.push_back(DeviceName(disk) + " at " + from +
                      " cannot be there on the destination; written at " +
                      Where(BusName(device.bus), device.nBus, device.nSlot));
    }
    result.push_back(device);
  }
  return result;
}

const SDisk* OSDisk(const SVMInfo& info) {
  const SDisk* first = nullptr;
  const SDisk* boot = nullptr;
  for (const SDisk& disk : info.vDisks) {
    if (!IsHardDisk(disk)) continue;
    if (disk.isOSDisk) return &disk;
    if (disk.isBootDisk && !boot) boot = &disk;
    if (!first) first = &disk;
  }
  return boot ? boot : first;
}

std::vector<const SDisk*> DisksOSFirst(const SVMInfo& info) {
  std::vector<const SDisk*> disks;
  const SDisk* os = OSDisk(info);
  if (os) disks.push_back(os);
  for (const SDisk& disk : info.vDisks)
    if (IsHardDisk(disk) && &disk != os) disks.push_back(&disk);
  return disks;
}

bool IsEfi(const SVMInfo& info) {
  std::string firmware = FXString::ToLower(info.strBootFirmware);
  return firmware == "efi" || firmware == "uefi";
}

bool IsWindows(const SVMInfo& info) {
  std::string family = GuestOSFamily(info.guestOSInfo.OSType);
  if (family.empty()) family = GuestOSFamily(info.strGuestOS);
  return family == "Windows";
}

std::string DiskFileName(const SDisk& disk) {
  size_t slash = disk.fileName.find_last_of("/\\");
  return slash == std::string::npos ? disk.fileName
                                    : disk.fileName.substr(slash + 1);
}

std::string DiskPath(const SDisk& disk, const SNativeWriteInput& input) {
  std::string name = DiskFileName(disk);
  const std::string& folder = input.strDiskFolder;
  if (folder.empty()) return name;
  char last = folder.back();
  if (last == '/' || last == '\\') return folder + name;
  return folder + (folder.find('\\') != std::string::npos ? "\\" : "/") + name;
}

std::string NormalMac(const std::string& mac) {
  std::string hex;
  for (size_t i = 0; i < mac.size(); ++i) {
    char c = mac[i];
    if (std::isxdigit(static_cast<unsigned char>(c))) {
      hex += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      continue;
    }
    // Separators only between byte pairs.
    if ((c != ':' && c != '-') || hex.size() % 2 != 0 || hex.empty())
      return std::string();
  }
  if (hex.size() != 12) return std::string();
  std::string normal;
  for (size_t i = 0; i < 12; i += 2)
    normal += (i ? ":" : "") + hex.substr(i, 2);
  return normal;
}

std::string NormalUuid(const std::string& text) {
  std::string hex;
  for (char c : text) {
    if (c == '-' || c == ' ' || c == '{' || c == '}') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::string();
    hex += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (hex.size() != 32) return std::string();
  return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) +
         "-" + hex.substr(16, 4) + "-" + hex.substr(20);
}

int64_t MemoryMB(const SVMInfo& info) {
  return info.i64MemoryMB > 0 ? info.i64MemoryMB : 1024;
}

int64_t CpuCount(const SVMInfo& info) {
  return info.i64NumCPUs > 0 ? info.i64NumCPUs : 1;
}

}  // namespace native
