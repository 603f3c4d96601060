//===- XenDomainWriter.cpp - Xen / Oracle VM vm.cfg from a VM description -===//
//
// Settings written (strings in Python single quotes with backslash escapes,
// so a value can hold any character and still stays one string):
//   name                 strVMName
//   uuid                 strGUID, when it is a UUID
//   OVM_os_type          Oracle VM's name of the guest OS, when one is
//                        known: strGuestOS when it is one, else by family
//                        and version ("Other Linux"; GuestOSIds.h)
//   memory, vcpus        i64MemoryMB, i64NumCPUs
//   builder              'hvm' for a BIOS or EFI guest
//   bios                 'ovmf' for EFI
//   bootloader           'pygrub' for a paravirtual guest (no firmware)
//   disk                 one entry a device, in description order:
//                        'file:<path>,<vdev>,w' for a raw disk
//                        ('vdev=<vdev>,access=rw,target=<path>' when the
//                        path holds a comma or '=', led by 'format=qcow2,'
//                        for a disk of another format), ',<vdev>:cdrom,r'
//                        for an empty CD-ROM drive; vdev hd[a-d] for IDE
//                        (channel * 2 + unit), sd for SCSI, vd for virtio,
//                        xvd for the rest (letter = slot)
//   vif                  one entry a card: 'mac=..,bridge=..,model=..,
//                        vifname=..'; bridge the input's mapping of the
//                        card's network (Xen joins bridges only, so a
//                        mapped network name is a bridge's); vifname only
//                        for a card name that is a device name; a network
//                        or model name that is not a device name (letters,
//                        digits, '_', '.', ':', '-') is left out with a
//                        note, so it cannot add a key
//
//===----------------------------------------------------------------------===//
#include "formats/common/GuestOSIds.h"
#include "formats/common/WriterSupport.h"

#include <cctype>
#include <cstdio>

using VMInfoStructs::SVMInfo;
using namespace native;

namespace {

// HVM guests see CD-ROM drives on emulated IDE; disks of buses Xen has no
// name for are paravirtual (xvd).
Bus ChooseBus(Bus from, bool cdrom, const SVMInfo&) {
  if (cdrom) return Bus::Ide;
  switch (from) {
    case Bus::Ide:
    case Bus::Scsi:
    case Bus::Virtio:
    case Bus::Xen:
      return from;
    default:
      return Bus::Xen;
  }
}

const SPlacementRules& Rules() {
  static const SPlacementRules rules{ChooseBus,
                                     {{Bus::Ide, 2, 2, -1},
                                      {Bus::Scsi, 1, 26, -1},
                                      {Bus::Virtio, 1, 26, -1},
                                      {Bus::Xen, 1, 26, -1}},
                                     Bus::Xen};
  return rules;
}

std::string Quote(const std::string& value) {
  std::string out = "'";
  for (char c : value) {
    auto byte = static_cast<unsigned char>(c);
    if (c == '\\' || c == '\'') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (byte < 0x20 || byte == 0x7f) {
      char code[5];
      std::snprintf(code, sizeof code, "\\x%02x", byte);
      out += code;
    } else {
      out += c;
    }
  }
  return out + "'";
}

bool IsDeviceName(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.' &&
        c != ':' && c != '-')
      return false;
  return true;
}

std::string Vdev(const SPlacedDevice& device) {
  const char* prefix = device.bus == Bus::Ide      ? "hd"
                       : device.bus == Bus::Scsi   ? "sd"
                       : device.bus == Bus::Virtio ? "vd"
                                                   : "xvd";
  int index =
      device.bus == Bus::Ide ? device.nBus * 2 + device.nSlot : device.nSlot;
  return prefix + std::string(1, static_cast<char>('a' + index));
}

std::string DiskEntry(const SPlacedDevice& device,
                      const SNativeWriteInput& input) {
  std::string vdev = Vdev(device);
  if (device.cdrom) return "," + vdev + ":cdrom,r";
  std::string path = DiskPath(*device.disk, input);
  // Xen reads a file: disk as raw; any other image has its format stated.
  std::string format = QemuFormatName(device.disk->eDiskType);
  std::string stated = format == "raw" ? "" : "format=" + format + ",";
  // A comma or '=' would end the positional path; xl's target= takes the
  // rest of the entry.
  if (!stated.empty() || path.find_first_of(",=") != std::string::npos)
    return stated + "vdev=" + vdev + ",access=rw,target=" + path;
  return "file:" + path + "," + vdev + ",w";
}

void AddVifKey(std::string& entry, const char* key, const std::string& value,
               size_t card, std::vector<std::string>& notes) {
  if (value.empty()) return;
  if (!IsDeviceName(value)) {
    notes.push_back("Network card " + std::to_string(card) + ": " + key + " [" +
                    value + "] is no Xen device name; left out");
    return;
  }
  entry += (entry.empty() ? "" : ",") + std::string(key) + "=" + value;
}

std::string VifEntry(const VMInfoStructs::SVMNetworkCard& card, size_t index,
                     const SNetworkMap& networks,
                     std::vector<std::string>& notes) {
  std::string entry;
  AddVifKey(entry, "mac", NormalMac(card.strMacAddress), index, notes);
  AddVifKey(entry, "bridge", MapNetwork(networks, card.strNetworkName).strName,
            index, notes);
  AddVifKey(entry, "model", card.strAdapterType, index, notes);
  // The reader names a card without vifname after the guest's eth<n>; a
  // card name of another platform ("Network adapter 1") names no host
  // device and is not carried.
  if (card.strName != "eth" + std::to_string(index) &&
      IsDeviceName(card.strName))
    AddVifKey(entry, "vifname", card.strName, index, notes);
  return entry;
}

void PutList(std::string& text, const char* name,
             const std::vector<std::string>& entries) {
  text += std::string(name) + " = [\n";
  for (const std::string& entry : entries)
    text += "    " + Quote(entry) + ",\n";
  text += "]\n";
}

}  // namespace

SNativeDescription WriteXenDomain(const SVMInfo& info,
                                  const SNativeWriteInput& input) {
  SNativeDescription out;
  std::vector<SPlacedDevice> devices =
      PlaceDevices(info, input, Rules(), out.vNotes);
  std::string& text = out.text;
  text += "name = " + Quote(info.strVMName) + "\n";
  std::string uuid = NormalUuid(info.strGUID);
  if (!uuid.empty()) text += "uuid = " + Quote(uuid) + "\n";
  if (!info.strGuestOS.empty() || !info.guestOSInfo.OSType.empty())
    text += "OVM_os_type = " + Quote(OracleVmOSType(info)) + "\n";
  text += "memory = " + std::to_string(MemoryMB(info)) + "\n";
  text += "vcpus = " + std::to_string(CpuCount(info)) + "\n";
  if (info.strBootFirmware.empty()) {
    text += "bootloader = 'pygrub'\n";
  } else {
    text += "builder = 'hvm'\n";
    if (IsEfi(info)) text += "bios = 'ovmf'\n";
  }
  std::vector<std::string> disks, vifs;
  for (const SPlacedDevice& device : devices)
    disks.push_back(DiskEntry(device, input));
  for (size_t i = 0; i < info.vNetworkCards.size(); ++i)
    vifs.push_back(
        VifEntry(info.vNetworkCards[i], i, input.networks, out.vNotes));
  PutList(text, "disk", disks);
  PutList(text, "vif", vifs);
  return out;
}
