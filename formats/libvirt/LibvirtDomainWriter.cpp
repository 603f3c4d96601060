//===- LibvirtDomainWriter.cpp - libvirt domain XML from a VM description -===//
//
// Elements written (texts and attribute values XML-escaped, attributes in
// single quotes; characters XML cannot carry become U+FFFD):
//   <domain type='kvm'>
//     <name>                 strVMName (line breaks as spaces: libvirt
//                            names are one line)
//     <uuid>                 strGUID, when it is a UUID
//     <metadata>             the guest's libosinfo id, when libosinfo has
//                            one (GuestOSIds.h)
//     <memory unit='MiB'>, <vcpu>
//     <os [firmware='efi']><type arch='x86_64'>hvm</type>
//       [<firmware><feature enabled='yes|no' name='enrolled-keys'/>
//        <feature enabled='yes|no' name='secure-boot'/></firmware>]</os>
//                            firmware='efi' lets libvirt pick OVMF; the
//                            features when the description states secure
//                            boot (with keys enrolled, or OVMF checks
//                            nothing), so libvirt picks an OVMF build that
//                            has it, or one that has not
//     <features><acpi/><apic/>[<smm state='on'/>]</features>
//                            SMM with secure boot: OVMF's secure boot
//                            builds need it
//     <devices>
//       <disk type='file' device='disk|cdrom'>
//         <driver name='qemu' type='<format>'/>   QemuFormatName(eDiskType)
//         <source file='<folder>/<restored file>'/>  (hard disks only)
//         <target dev='hdX|sdX|vdX' bus='ide|sata|scsi|virtio'/>
//                              hd by IDE channel and unit, vd by slot, sd
//                              in device order
//         <boot order='N'/>    the OS disk 1, the other devices after it
//         <readonly/>          CD-ROM drives
//         <address type='drive' controller= bus= target= unit=/>
//                              ide: controller 0, bus and unit from the
//                              channel; sata: controller = bus, unit =
//                              slot; scsi: controller = bus, target =
//                              slot (the SCSI id), unit 0 (the LUN)
//       <controller type='scsi' index='N' model='virtio-scsi'/>, and
//       <controller type='sata' index='N'/>, for each one in use
//       <interface type='network|bridge'>  every network card:
//         <mac address=/>      when the description has one
//         <source network=|bridge=/>  the input's network mapping of
//                              strNetworkName; unmapped, a source bridge
//                              (Xen) stays that bridge and any other card
//                              joins the network "default", with a note: a
//                              source's network name is no libvirt network
//         <model type=/>       from strAdapterType (virtio, e1000, e1000e,
//                              rtl8139, vmxnet3); others: virtio for Linux,
//                              e1000 for Windows guests
//
//===----------------------------------------------------------------------===//
#include "formats/common/GuestOSIds.h"
#include "formats/common/SecureBoot.h"
#include "formats/common/WriterSupport.h"
#include "platform/support/FXString.h"

#include <map>
#include <set>

using VMInfoStructs::SVMInfo;
using namespace native;

namespace {

constexpr const char* kNicModels[] = {"virtio", "e1000", "e1000e", "rtl8139",
                                      "vmxnet3"};

// Windows has no in-box virtio driver: its disks go on SATA.
Bus ChooseBus(Bus from, bool cdrom, const SVMInfo& info) {
  switch (from) {
    case Bus::Ide:
    case Bus::Sata:
    case Bus::Scsi:
      return from;
    case Bus::Virtio:
      if (!cdrom) return from;
      break;
    default:
      if (!cdrom && !IsWindows(info)) return Bus::Virtio;
      break;
  }
  return Bus::Sata;
}

// A virtio disk is a PCI device of its own: one "controller", targets vda
// onwards.
const SPlacementRules& Rules() {
  static const SPlacementRules rules{ChooseBus,
                                     {{Bus::Ide, 2, 2, -1},
                                      {Bus::Sata, 4, 6, -1},
                                      {Bus::Scsi, 4, 256, -1},
                                      {Bus::Virtio, 1, 26 * 27, -1}},
                                     Bus::Sata};
  return rules;
}

struct EntityRow {
  char c;
  const char* entity;
};

// clang-format off
constexpr EntityRow kEntities[] = {
    {'&', "&amp;"},  {'<', "&lt;"},   {'>', "&gt;"},  {'\'', "&apos;"},
    {'"', "&quot;"}, {'\n', "&#10;"}, {'\r', "&#13;"}, {'\t', "&#9;"},
};
// clang-format on

// Other control characters are not XML at all, not even as references.
std::string Escape(const std::string& value) {
  std::string out;
  for (char c : value) {
    const EntityRow* row = nullptr;
    for (const EntityRow& entity : kEntities)
      if (entity.c == c) row = &entity;
    if (row)
      out += row->entity;
    else if (static_cast<unsigned char>(c) < 0x20)
      out += "\xEF\xBF\xBD";  // U+FFFD
    else
      out += c;
  }
  return out;
}

std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  return text;
}

std::string Letters(int index) {
  std::string letters;
  for (++index; index > 0; index = (index - 1) / 26)
    letters.insert(letters.begin(), static_cast<char>('a' + (index - 1) % 26));
  return letters;
}

std::string Attr(const char* name, const std::string& value) {
  return std::string(" ") + name + "='" + Escape(value) + "'";
}

// On a virtio-scsi controller libvirt's target is the SCSI id and unit the
// LUN: a description's SCSI slot is its SCSI id, on LUN 0.
std::string Address(const SPlacedDevice& device) {
  if (device.bus == Bus::Virtio) return std::string();
  bool ide = device.bus == Bus::Ide;
  bool scsi = device.bus == Bus::Scsi;
  std::string slot = std::to_string(device.nSlot);
  return "      <address type='drive'" +
         Attr("controller", std::to_string(ide ? 0 : device.nBus)) +
         Attr("bus", std::to_string(ide ? device.nBus : 0)) +
         Attr("target", scsi ? slot : "0") + Attr("unit", scsi ? "0" : slot) +
         "/>\n";
}

// Target names: IDE by channel and unit (hda..hdd), virtio disks by slot
// (vda is slot 0); SATA and SCSI share the sd names in device order.
std::vector<std::string> TargetNames(
    const std::vector<SPlacedDevice>& devices) {
  std::vector<std::string> names;
  int sd = 0;
  for (const SPlacedDevice& device : devices) {
    if (device.bus == Bus::Ide)
      names.push_back("hd" + Letters(device.nBus * 2 + device.nSlot));
    else if (device.bus == Bus::Virtio)
      names.push_back("vd" + Letters(device.nSlot));
    else
      names.push_back("sd" + Letters(sd++));
  }
  return names;
}

// Boot order: the OS disk first, then the other devices in order.
std::vector<int> BootOrder(const SVMInfo& info,
                           const std::vector<SPlacedDevice>& devices) {
  const auto* os = OSDisk(info);
  std::vector<int> order(devices.size());
  int next = 2;
  for (size_t i = 0; i < devices.size(); ++i)
    order[i] = devices[i].disk == os ? 1 : next++;
  if (!os)
    for (int& n : order) --n;
  return order;
}

void PutDisks(std::string& text, const SVMInfo& info,
              const std::vector<SPlacedDevice>& devices,
              const SNativeWriteInput& input) {
  std::vector<std::string> targets = TargetNames(devices);
  std::vector<int> order = BootOrder(info, devices);
  for (size_t i = 0; i < devices.size(); ++i) {
    const SPlacedDevice& device = devices[i];
    text += "    <disk type='file'" +
            Attr("device", device.cdrom ? "cdrom" : "disk") + ">\n";
    text +=
        "      <driver name='qemu'" +
        Attr("type",
             device.cdrom ? "raw" : QemuFormatName(device.disk->eDiskType)) +
        "/>\n";
    if (!device.cdrom)
      text += "      <source" + Attr("file", DiskPath(*device.disk, input)) +
              "/>\n";
    text += "      <target" + Attr("dev", targets[i]) +
            Attr("bus", BusName(device.bus)) + "/>\n";
    text += "      <boot" + Attr("order", std::to_string(order[i])) + "/>\n";
    if (device.cdrom) text += "      <readonly/>\n";
    text += Address(device) + "    </disk>\n";
  }
}

void PutControllers(std::string& text,
                    const std::vector<SPlacedDevice>& devices) {
  std::set<std::pair<Bus, int>> used;
  for (const SPlacedDevice& device : devices)
    if (device.bus == Bus::Scsi || device.bus == Bus::Sata)
      used.insert({device.bus, device.nBus});
  for (const auto& controller : used)
    text += "    <controller" + Attr("type", BusName(controller.first)) +
            Attr("index", std::to_string(controller.second)) +
            (controller.first == Bus::Scsi ? " model='virtio-scsi'" : "") +
            "/>\n";
}

// Where a card goes: the mapping's choice, else the source's bridge, else
// libvirt's network "default" (a note says so).
SNetworkTarget CardTarget(const VMInfoStructs::SVMNetworkCard& card,
                          size_t index, const SNativeWriteInput& input,
                          std::vector<std::string>& notes) {
  SNetworkTarget target = MapNetwork(input.networks, card.strNetworkName);
  if (target.bMapped || target.bBridge) return target;
  target.strName = "default";
  std::string name = card.strName.empty() ? std::to_string(index) : card.strName;
  notes.push_back("Network card [" + name + "] on source network [" +
                  card.strNetworkName +
                  "] joins the libvirt network [default]: no network "
                  "mapping names its network");
  return target;
}

void PutInterfaces(std::string& text, const SVMInfo& info,
                   const SNativeWriteInput& input,
                   std::vector<std::string>& notes) {
  for (size_t i = 0; i < info.vNetworkCards.size(); ++i) {
    const auto& card = info.vNetworkCards[i];
    std::string model = FXString::ToLower(card.strAdapterType);
    bool known = false;
    for (const char* row : kNicModels) known |= model == row;
    if (!known) model = IsWindows(info) ? "e1000" : "virtio";
    SNetworkTarget target = CardTarget(card, i, input, notes);
    const char* type = target.bBridge ? "bridge" : "network";
    text += "    <interface" + Attr("type", type) + ">\n";
    std::string mac = NormalMac(card.strMacAddress);
    if (!mac.empty()) text += "      <mac" + Attr("address", mac) + "/>\n";
    text += "      <source" + Attr(type, target.strName) + "/>\n";
    text += "      <model" + Attr("type", model) + "/>\n";
    text += "    </interface>\n";
  }
}

// Firmware, and the secure boot a description states.
void PutOS(std::string& text, const SVMInfo& info) {
  text += IsEfi(info) ? "  <os firmware='efi'>\n" : "  <os>\n";
  text += "    <type arch='x86_64'>hvm</type>\n";
  SecureBoot secure = SecureBootOf(info);
  if (secure != SecureBoot::kUnstated) {
    std::string enabled = secure == SecureBoot::kOn ? "yes" : "no";
    text += "    <firmware>\n";
    for (const char* feature : {"enrolled-keys", "secure-boot"})
      text += "      <feature" + Attr("enabled", enabled) +
              Attr("name", feature) + "/>\n";
    text += "    </firmware>\n";
  }
  text += "  </os>\n  <features>\n    <acpi/>\n    <apic/>\n";
  if (secure == SecureBoot::kOn) text += "    <smm state='on'/>\n";
  text += "  </features>\n";
}

// The guest OS as libosinfo names it, for the tools that tune a domain by
// its OS; nothing when libosinfo has no id for it.
void PutGuestOS(std::string& text, const SVMInfo& info) {
  std::string id = LibosinfoId(info);
  if (id.empty()) return;
  text += "  <metadata>\n    <libosinfo:libosinfo xmlns:libosinfo="
          "'http://libosinfo.org/xmlns/libvirt/domain/1.0'>\n"
          "      <libosinfo:os" + Attr("id", id) + "/>\n"
          "    </libosinfo:libosinfo>\n  </metadata>\n";
}

}  // namespace

SNativeDescription WriteLibvirtDomain(const SVMInfo& info,
                                      const SNativeWriteInput& input) {
  SNativeDescription out;
  std::vector<SPlacedDevice> devices = PlaceDevices(info, Rules(), out.vNotes);
  std::string& text = out.text;
  text += "<domain type='kvm'>\n";
  text += "  <name>" + Escape(OneLine(info.strVMName)) + "</name>\n";
  std::string uuid = NormalUuid(info.strGUID);
  if (!uuid.empty()) text += "  <uuid>" + uuid + "</uuid>\n";
  PutGuestOS(text, info);
  text +=
      "  <memory unit='MiB'>" + std::to_string(MemoryMB(info)) + "</memory>\n";
  text += "  <vcpu>" + std::to_string(CpuCount(info)) + "</vcpu>\n";
  PutOS(text, info);
  text += "  <devices>\n";
  PutDisks(text, info, devices, input);
  PutControllers(text, devices);
  PutInterfaces(text, info, input, out.vNotes);
  text += "  </devices>\n</domain>\n";
  return out;
}
