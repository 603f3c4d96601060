//===- OracleVMConfigFile.cpp - Oracle VM and Xen domain files ------------===//
//
// Oracle VM keeps each machine's configuration in a Xen domain file, vm.cfg;
// the Xen toolstacks (xm, xl) read the same kind of file.  The file is
// Python (xm executes it) or a Python-like subset (xl parses it).
//
// The syntax (statements, values, the Python passed over) is read by
// XenSyntax.cpp; this file turns its settings into a VM description.
//
// Disk entries come in two syntaxes, both read:
//   * positional (xm, Oracle VM): "phy:/dev/vg/lv,hda,w",
//     "file:/OVS/.../disk.img,xvda,w", "tap:aio:/path,xvdb,r",
//     ",hdc:cdrom,r" (an empty CD drive).  A prefix on the target (phy:, file:,
//     tap:, tap2:, aio:, tapdisk:, ioemu:, raw:, qcow:, qcow2:, vhd:, qed:)
//     names the backend, and some the image format; it is not part of the
//     path; "phy:" with a relative name means a device under /dev/;
//   * a network block device (rbd:, iscsi:, nbd:, enbd:, drbd:, sheepdog:,
//     gluster:, or a target attached by a block script=) has no file in the
//     backup: the read fails naming the entry rather than take its text as a
//     file name;
//   * xl: positional target, format, vdev, access, and key=value parameters
//     in any order ("format=raw, vdev=hdc, access=ro, devtype=cdrom,
//     target=/root/boot.iso"); "target=" takes the rest of the entry, commas
//     included; the flag "cdrom" is devtype=cdrom.  A positional parameter
//     after the target is the format only when it names a format (or is
//     empty) and the target had no backend prefix; otherwise it is the vdev.
//   A CD-ROM is an entry whose vdev ends in ":cdrom", or with devtype=cdrom or
//   the cdrom flag.
//
// Setting -> description member:
//   name              strVMName (a string)
//   OVM_simple_name   strVMName, preferred over name: Oracle VM Manager names
//                     the domain after its identifier and keeps the name
//                     shown to users here
//   uuid              strGUID
//   memory            i64MemoryMB (MiB; a number or a string of digits,
//                     1 .. kMaxMemoryMB)
//   vcpus             i64NumCPUs (1 .. kMaxCpus; 1 when absent, as Xen does)
//   OVM_os_type       strGuestOS and guestOSInfo.GuestOSName; OSType
//                     "Windows" or "Unix" from its words
//   firmware, bios, builder, type
//                     strBootFirmware: firmware "uefi"/"ovmf" or bios "ovmf"
//                     give "EFI"; firmware "bios"/"seabios"/"rombios", bios
//                     "seabios"/"rombios", or an HVM guest (builder or type
//                     "hvm") without them give "BIOS"; a paravirtual guest
//                     boots without firmware and gets "" (unchanged)
//   disk              vDisks, in file order (list of strings):
//     fileName          the target path, prefix removed
//     strConfigDiskName the target's file name
//     strDisplayName    the target's file name
//     strControllerType from the vdev: hd "ide", sd "scsi", xvd "xen",
//                       vd "virtio"
//     nBus, nSlot       from the vdev's letters: IDE has two units a bus
//                       (hdc is 1:0); the others one bus (xvdc is 0:2)
//     nDeviceType       2 for a CD-ROM, else 1
//     eDiskType         29 (an Oracle VM disk) for a hard disk
//     strPlatformRef1   the image format the entry states, in lower case
//                       ("qcow2" from tap:qcow2:, qcow2: or format=qcow2;
//                       "raw" from aio:, raw: or format=raw), empty when it
//                       states none (Xen reads such an image as raw)
//     isOSDisk          the hard disk with the lowest vdev (hda, xvda,
//                       sda): the disk the guest boots from
//   vif               vNetworkCards, in file order (list of strings of
//                     key=value): strName vifname (else "eth<n>", the guest's
//                     name), strNetworkName bridge, strMacAddress mac,
//                     strAdapterType model (an emulated card of an HVM guest
//                     without one is "rtl8139", Xen's default),
//                     strProtocolAddress ip
//
//===----------------------------------------------------------------------===//
#include "formats/xen/OracleVMConfigFile.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

#include "platform/support/BoundedFile.h"
#include "platform/support/EvDebug.h"
#include "platform/support/ExceptionText.h"
#include "platform/support/FXPath.h"
#include "platform/support/FXString.h"
#include "formats/common/FormatText.h"
#include "formats/xen/XenSyntax.h"

using namespace VMInfoStructs;
using namespace xen;

namespace {

constexpr const char kLoadFunction[] =
    "bool OracleVMConfigFile::LoadFile(const string&)";
constexpr const char kInfoFunction[] =
    "bool OracleVMConfigFile::GetVMInfo(VMInfoStructs::SVMInfo&)";

// Oracle VM and Xen accept far less; a larger value is a broken file.
constexpr int64_t kMaxMemoryMB = int64_t{64} * 1024 * 1024;  // 64 TiB
constexpr int64_t kMaxCpus = 4096;

//===----------------------------------------------------------------------===//
// Typed access to settings.
//===----------------------------------------------------------------------===//

const Setting* Find(const Settings& settings, const char* name) {
  auto it = settings.find(name);
  return it == settings.end() ? nullptr : &it->second;
}

std::string NotReadable(const Setting& setting, const char* name,
                        const char* what) {
  return LineText(setting.line) + "'" + name + "' " + what;
}

// A string setting; true when absent (text untouched) or a string.
bool GetString(const Settings& settings, const char* name, std::string& text,
               bool& present, std::string& error) {
  const Setting* setting = Find(settings, name);
  present = setting != nullptr;
  if (!setting) return true;
  if (setting->value.kind != ValueKind::String) {
    error = NotReadable(*setting, name, "must be a string");
    return false;
  }
  text = setting->value.text;
  return true;
}

// A whole number given as a number or as a string of digits, within range.
bool GetCount(const Settings& settings, const char* name, int64_t low,
              int64_t high, int64_t& count, bool& present, std::string& error) {
  const Setting* setting = Find(settings, name);
  present = setting != nullptr;
  if (!setting) return true;
  const Value& value = setting->value;
  if (value.kind != ValueKind::Number && value.kind != ValueKind::String) {
    error = NotReadable(*setting, name, "must be a number");
    return false;
  }
  std::string digits = value.text;
  digits.erase(0, digits.find_first_not_of(' '));
  digits.erase(digits.find_last_not_of(' ') + 1);
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
      })) {
    error = NotReadable(*setting, name, "must be a whole number");
    return false;
  }
  // More than 18 digits is beyond any limit and beyond int64_t.
  int64_t parsed = digits.size() > 18 ? INT64_MAX : std::stoll(digits);
  if (parsed < low || parsed > high) {
    error = NotReadable(*setting, name, "is out of range") + " (" +
            Shown(digits) + " is not in " + std::to_string(low) + ".." +
            std::to_string(high) + ")";
    return false;
  }
  count = parsed;
  return true;
}

// A list of strings (disk, vif); empty when absent.
bool GetStringList(const Settings& settings, const char* name,
                   std::vector<std::string>& list, int& line,
                   std::string& error) {
  const Setting* setting = Find(settings, name);
  list.clear();
  if (!setting) return true;
  line = setting->line;
  if (setting->value.kind != ValueKind::List) {
    error = NotReadable(*setting, name, "must be a list of strings");
    return false;
  }
  for (const Value& item : setting->value.items) {
    if (item.kind != ValueKind::String) {
      error = NotReadable(*setting, name, "must be a list of strings");
      return false;
    }
    list.push_back(item.text);
  }
  return true;
}

//===----------------------------------------------------------------------===//
// Disk and network entries.
//===----------------------------------------------------------------------===//

// Splits "a, b=c, target=x,y" at commas; "target=" takes the rest.
std::vector<std::string> SplitParameters(const std::string& text) {
  std::vector<std::string> parts;
  size_t pos = 0;
  for (;;) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    if (text.compare(pos, 7, "target=") == 0) {
      parts.push_back(text.substr(pos));
      return parts;
    }
    size_t comma = text.find(',', pos);
    parts.push_back(FXString::Trim(text.substr(
        pos, comma == std::string::npos ? std::string::npos : comma - pos)));
    if (comma == std::string::npos) return parts;
    pos = comma + 1;
  }
}

// Backend prefixes of the positional syntax; several may stack
// ("tap:aio:/path").
constexpr const char* kTargetPrefixes[] = {
    "phy:",   "file:", "tap:",  "tap2:",  "aio:", "tapdisk:",
    "ioemu:", "raw:",  "qcow:", "qcow2:", "vhd:", "qed:"};
// Prefixes that name an image format ("tap:qcow2:", "tap2:tapdisk:qcow2:").
struct FormatPrefix {
  const char* prefix;
  const char* format;
};
constexpr FormatPrefix kFormatPrefixes[] = {
    {"aio:", "raw"}, {"raw:", "raw"}, {"qcow:", "qcow"},
    {"qcow2:", "qcow2"}, {"vhd:", "vhd"}, {"qed:", "qed"}};
// Targets that are network block devices (xl "rbd:pool/image", the
// block-iscsi, block-nbd and block-drbd scripts of xm): there is no file
// behind them in a backup.
constexpr const char* kNetworkPrefixes[] = {"rbd:", "iscsi:", "nbd:",
                                            "enbd:", "drbd:", "sheepdog:",
                                            "gluster:"};
constexpr const char* kDiskFormats[] = {"",      "raw", "qcow",
                                        "qcow2", "vhd", "qed"};
constexpr const char* kIgnoredDiskFlags[] = {
    "direct-io-safe", "discard", "no-discard", "colo", "trusted", "untrusted"};

template <size_t N>
bool OneOf(const std::string& text, const char* const (&table)[N]) {
  for (const char* entry : table)
    if (text == entry) return true;
  return false;
}

// The image format a backend prefix names, or null.
const char* FormatOfPrefix(const char* prefix) {
  for (const FormatPrefix& row : kFormatPrefixes)
    if (std::strcmp(prefix, row.prefix) == 0) return row.format;
  return nullptr;
}

// The network prefix of a target, possibly behind backend prefixes
// ("tap:nbd:host:port"), or null.
const char* NetworkPrefixOf(const std::string& target) {
  size_t pos = 0;
  for (bool again = true; again;) {
    again = false;
    for (const char* prefix : kNetworkPrefixes)
      if (target.compare(pos, std::strlen(prefix), prefix) == 0) return prefix;
    for (const char* prefix : kTargetPrefixes) {
      if (target.compare(pos, std::strlen(prefix), prefix) == 0) {
        pos += std::strlen(prefix);
        again = true;
        break;
      }
    }
  }
  return nullptr;
}

// Removes backend prefixes; true when there was one, phy set for "phy:" and
// format for a prefix that names one.
bool StripTargetPrefixes(std::string& target, bool& phy, std::string& format) {
  bool stripped = false;
  for (bool again = true; again;) {
    again = false;
    for (const char* prefix : kTargetPrefixes) {
      size_t length = std::strlen(prefix);
      if (target.compare(0, length, prefix) == 0) {
        phy = phy || std::strcmp(prefix, "phy:") == 0;
        if (const char* named = FormatOfPrefix(prefix)) format = named;
        target.erase(0, length);
        stripped = again = true;
        break;
      }
    }
  }
  return stripped;
}

struct VdevRow {
  const char* prefix;
  const char* controller;
};
// clang-format off
constexpr VdevRow kVdevKinds[] = {
    {"xvd", "xen"}, {"hd", "ide"}, {"sd", "scsi"}, {"vd", "virtio"}};

// The controller and unit index a vdev names ("hdc" -> ide 2, "xvdaa" -> xen
// 26); index -1 for forms we do not decode (numbers, "d0p1").
void DecodeVdev(const std::string& vdev, std::string& controller, int& index) {
  controller.clear();
  index = -1;
  for (const VdevRow& row : kVdevKinds) {
    size_t length = std::strlen(row.prefix);
    if (vdev.compare(0, length, row.prefix) != 0) continue;
    size_t pos = length;
    int value = 0;
    int letters = 0;
    while (pos < vdev.size() && vdev[pos] >= 'a' && vdev[pos] <= 'z' &&
           letters < 3) {
      value = value * 26 + (vdev[pos] - 'a' + 1);
      ++pos;
      ++letters;
    }
    while (pos < vdev.size() &&
           std::isdigit(static_cast<unsigned char>(vdev[pos])))
      ++pos;
    if (letters == 0 || pos != vdev.size()) return;
    controller = row.controller;
    index = value - 1;
    return;
  }
}

struct DiskEntry {
  SDisk disk;
  int unitIndex = -1;
};
// clang-format on

bool ParseDiskEntry(const std::string& text, DiskEntry& entry,
                    std::string& error) {
  std::string target, format, vdev, access, devtype, prefixFormat, script;
  bool haveTarget = false, haveFormat = false, haveVdev = false,
       haveAccess = false;
  bool prefixed = false, phy = false;
  for (const std::string& part : SplitParameters(text)) {
    size_t equals = part.find('=');
    if (equals != std::string::npos) {
      std::string key = FXString::ToLower(FXString::Trim(part.substr(0, equals)));
      std::string value = part.substr(equals + 1);
      if (key != "target") value = FXString::Trim(value);
      if (key == "target") {
        target = value;
        haveTarget = true;
      } else if (key == "format") {
        format = value;
        haveFormat = true;
      } else if (key == "vdev") {
        vdev = value;
        haveVdev = true;
      } else if (key == "access") {
        access = value;
        haveAccess = true;
      } else if (key == "devtype") {
        devtype = FXString::ToLower(value);
      } else if (key == "script") {
        script = value;
      }
      continue;
    }
    if (part == "cdrom") {
      devtype = "cdrom";
      continue;
    }
    if (OneOf(part, kIgnoredDiskFlags)) continue;
    if (!haveTarget) {
      target = part;
      haveTarget = true;
      prefixed = StripTargetPrefixes(target, phy, prefixFormat);
    } else if (!haveFormat && !prefixed && OneOf(FXString::ToLower(part), kDiskFormats)) {
      format = part;
      haveFormat = true;
    } else if (!haveVdev) {
      vdev = part;
      haveVdev = true;
    } else if (!haveAccess) {
      access = part;
      haveAccess = true;
    } else {
      error = "too many positional parameters";
      return false;
    }
  }
  if (const char* network = NetworkPrefixOf(target)) {
    error = std::string("is a network disk (") + network +
            "): not a file: cannot be restored from the backup folder";
    return false;
  }
  if (!script.empty()) {
    error = "is attached by the script '" + Shown(script) +
            "': not a file: cannot be restored from the backup folder";
    return false;
  }
  if (!prefixed) StripTargetPrefixes(target, phy, prefixFormat);
  if (phy && !target.empty() && target[0] != '/') target = "/dev/" + target;
  size_t colon = vdev.find(':');
  if (colon != std::string::npos) {
    if (FXString::ToLower(vdev.substr(colon + 1)) == "cdrom") devtype = "cdrom";
    vdev.erase(colon);
  }
  if (vdev.empty()) {
    error = "names no virtual device (vdev)";
    return false;
  }
  SDisk& disk = entry.disk;
  disk.fileName = target;
  disk.strConfigDiskName = CQiPath::GetBaseName(target);
  disk.strDisplayName = disk.strConfigDiskName;
  disk.nDeviceType = devtype == "cdrom" ? VMInfoStructs::kDeviceTypeCdrom
                                        : VMInfoStructs::kDeviceTypeHardDisk;
  disk.eDiskType = disk.nDeviceType == VMInfoStructs::kDeviceTypeHardDisk
                       ? DT_ORACLE_VM
                       : DT_NONE;
  disk.strPlatformRef1 = FXString::ToLower(format.empty() ? prefixFormat : format);
  DecodeVdev(vdev, disk.strControllerType, entry.unitIndex);
  if (entry.unitIndex >= 0) {
    bool ide = disk.strControllerType == "ide";
    disk.nBus = ide ? entry.unitIndex / 2 : 0;
    disk.nSlot = ide ? entry.unitIndex % 2 : entry.unitIndex;
  }
  return true;
}

// The guest boots from its first hard disk in device order.
void MarkOSDisk(std::vector<DiskEntry>& entries) {
  DiskEntry* boot = nullptr;
  for (DiskEntry& entry : entries) {
    if (entry.disk.nDeviceType != VMInfoStructs::kDeviceTypeHardDisk) continue;
    if (!boot || (entry.unitIndex >= 0 &&
                  (boot->unitIndex < 0 || entry.unitIndex < boot->unitIndex)))
      boot = &entry;
  }
  if (boot) boot->disk.isOSDisk = true;
}

bool ReadDisks(const Settings& settings, SVMInfo& info, std::string& error) {
  std::vector<std::string> diskTexts;
  int line = 0;
  if (!GetStringList(settings, "disk", diskTexts, line, error)) return false;
  if (!Find(settings, "disk")) return true;
  std::vector<DiskEntry> entries;
  for (size_t i = 0; i < diskTexts.size(); ++i) {
    DiskEntry entry;
    std::string why;
    if (!ParseDiskEntry(diskTexts[i], entry, why)) {
      error = LineText(line) + "disk entry " + std::to_string(i + 1) + " '" +
              Shown(diskTexts[i]) + "' " + why;
      return false;
    }
    if (entry.unitIndex < 0) entry.disk.nSlot = static_cast<int32_t>(i);
    entries.push_back(entry);
  }
  MarkOSDisk(entries);
  info.vDisks.clear();
  for (const DiskEntry& entry : entries) info.vDisks.push_back(entry.disk);
  return true;
}

// An HVM guest's emulated card is an RTL8139 unless the entry names a model.
constexpr const char kDefaultHvmModel[] = "rtl8139";

void ReadNetworkCards(const std::vector<std::string>& diskTexts, bool hvm,
                      SVMInfo& info) {
  info.vNetworkCards.clear();
  for (size_t i = 0; i < diskTexts.size(); ++i) {
    SVMNetworkCard card;
    card.strName = "eth" + std::to_string(i);
    std::string type;
    for (const std::string& part : SplitParameters(diskTexts[i])) {
      size_t equals = part.find('=');
      if (equals == std::string::npos) continue;
      std::string key = FXString::ToLower(FXString::Trim(part.substr(0, equals)));
      std::string value = FXString::Trim(part.substr(equals + 1));
      if (key == "mac")
        card.strMacAddress = FXString::ToLower(value);
      else if (key == "bridge")
        card.strNetworkName = value;
      else if (key == "model")
        card.strAdapterType = value;
      else if (key == "vifname" && !value.empty())
        card.strName = value;
      else if (key == "ip")
        card.strProtocolAddress = value;
      else if (key == "type")
        type = FXString::ToLower(value);
    }
    if (hvm && card.strAdapterType.empty() && (type.empty() || type == "ioemu"))
      card.strAdapterType = kDefaultHvmModel;
    info.vNetworkCards.push_back(card);
  }
}

//===----------------------------------------------------------------------===//
// Machine facts.
//===----------------------------------------------------------------------===//

struct FirmwareRow {
  const char* setting;
  const char* value;
  const char* firmware;
};
// Tried in order; the first setting present with a listed value decides.
// clang-format off
constexpr FirmwareRow kFirmwares[] = {
    {"firmware", "uefi", "EFI"},     {"firmware", "ovmf", "EFI"},
    {"firmware", "bios", "BIOS"},    {"firmware", "seabios", "BIOS"},
    {"firmware", "rombios", "BIOS"}, {"bios", "ovmf", "EFI"},
    {"bios", "seabios", "BIOS"},     {"bios", "rombios", "BIOS"},
    {"builder", "hvm", "BIOS"},      {"type", "hvm", "BIOS"},
};
// clang-format on

bool IsHvm(const Settings& settings) {
  for (const char* name : {"builder", "type"}) {
    const Setting* setting = Find(settings, name);
    if (setting && setting->value.kind == ValueKind::String &&
        FXString::ToLower(setting->value.text) == "hvm")
      return true;
  }
  return false;
}

bool ReadFirmware(const Settings& settings, SVMInfo& info, std::string& error) {
  for (const FirmwareRow& row : kFirmwares) {
    std::string value;
    bool present = false;
    if (!GetString(settings, row.setting, value, present, error)) return false;
    if (present && FXString::ToLower(value) == row.value) {
      info.strBootFirmware = row.firmware;
      return true;
    }
  }
  return true;
}

void ReadGuestOS(const std::string& osType, SVMInfo& info) {
  info.strGuestOS = osType;
  info.guestOSInfo.GuestOSName = osType;
  std::string lower = FXString::ToLower(osType);
  if (lower.find("windows") != std::string::npos)
    info.guestOSInfo.OSType = "Windows";
  else if (lower.find("linux") != std::string::npos ||
           lower.find("solaris") != std::string::npos ||
           lower.find("bsd") != std::string::npos)
    info.guestOSInfo.OSType = "Unix";
}

bool ReadIdentity(const Settings& settings, SVMInfo& info, std::string& error) {
  bool present = false;
  if (!GetString(settings, "name", info.strVMName, present, error))
    return false;
  std::string simpleName;
  if (!GetString(settings, "OVM_simple_name", simpleName, present, error))
    return false;
  if (!simpleName.empty()) info.strVMName = simpleName;
  if (!GetString(settings, "uuid", info.strGUID, present, error)) return false;
  std::string osType;
  if (!GetString(settings, "OVM_os_type", osType, present, error)) return false;
  if (present && !osType.empty()) ReadGuestOS(osType, info);
  return true;
}

bool ReadSizes(const Settings& settings, SVMInfo& info, std::string& error) {
  bool present = false;
  int64_t value = 0;
  if (!GetCount(settings, "memory", 1, kMaxMemoryMB, value, present, error))
    return false;
  if (present) info.i64MemoryMB = value;
  if (!GetCount(settings, "vcpus", 1, kMaxCpus, value, present, error))
    return false;
  info.i64NumCPUs = present ? value : 1;
  return true;
}

bool FillVMInfo(const Settings& settings, SVMInfo& info, std::string& error) {
  SVMInfo read;
  CopyVMInfoWhole(info, read);
  std::vector<std::string> vifs;
  int line = 0;
  if (!ReadIdentity(settings, read, error) ||
      !ReadSizes(settings, read, error) ||
      !ReadFirmware(settings, read, error) ||
      !ReadDisks(settings, read, error) ||
      !GetStringList(settings, "vif", vifs, line, error))
    return false;
  if (Find(settings, "vif")) ReadNetworkCards(vifs, IsHvm(settings), read);
  CopyVMInfoWhole(read, info);
  return true;
}

}  // namespace

bool ParseXenDomainConfig(const std::string& text, SVMInfo& info,
                          std::string& error) {
  error.clear();
  try {
    Settings settings;
    return ParseSettings(text, settings, error) &&
           FillVMInfo(settings, info, error);
  } catch (...) {
    error = CurrentExceptionText() + " while reading the configuration";
    return false;
  }
}

struct OracleVMConfigFile::Impl {
  std::string path;
  bool loaded = false;
  Settings settings;
};

OracleVMConfigFile::OracleVMConfigFile() : impl_(new Impl) {}
OracleVMConfigFile::~OracleVMConfigFile() { delete impl_; }

bool OracleVMConfigFile::LoadFile(const std::string& path) {
  impl_->path = path;
  impl_->loaded = false;
  impl_->settings.clear();
  std::string text;
  std::string error;
  if (!ReadBoundedFile(path, text, error)) {
    EvDebug().Error(kLoadFunction, "Cannot read Oracle VM configuration: %s",
                    error.c_str());
    return false;
  }
  try {
    if (!ParseSettings(text, impl_->settings, error)) {
      impl_->settings.clear();
      EvDebug().Error(kLoadFunction, "Invalid Oracle VM configuration [%s]: %s",
                      path.c_str(), error.c_str());
      return false;
    }
  } catch (...) {
    impl_->settings.clear();
    EvDebug().Error(kLoadFunction, "Cannot read Oracle VM configuration [%s]: %s",
                    path.c_str(), CurrentExceptionText().c_str());
    return false;
  }
  impl_->loaded = true;
  return true;
}

bool OracleVMConfigFile::GetVMInfo(SVMInfo& info) {
  if (!impl_->loaded) {
    EvDebug().Error(kInfoFunction, "No Oracle VM configuration is loaded [%s]",
                    impl_->path.c_str());
    return false;
  }
  std::string error;
  bool ok = false;
  try {
    ok = FillVMInfo(impl_->settings, info, error);
  } catch (...) {
    error = CurrentExceptionText() + " while reading the configuration";
  }
  if (!ok) {
    EvDebug().Error(kInfoFunction, "Invalid Oracle VM configuration [%s]: %s",
                    impl_->path.c_str(), error.c_str());
  }
  return ok;
}

bool ReadXenFile(const std::string& path, SVMInfo& info) {
  OracleVMConfigFile file;
  return file.LoadFile(path) && file.GetVMInfo(info);
}
