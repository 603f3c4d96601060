//===- VmxWriter.cpp - VMware .vmx files written from a VM description ----===//
//
// Keys written, in this order (every value in double quotes; '"', '|', '#'
// and control characters inside a value are written as VMware's "|XX"
// escapes, so a value never ends early or starts a new line):
//   .encoding                 "UTF-8"
//   config.version            "8"
//   virtualHW.version         "14" (ESXi 6.7: NVMe controllers, EFI)
//   displayName               strVMName
//   guestOS                   the guest's VMware id: strGuestOS when it is
//                             one, else by family and version
//                             (GuestOSIds.h)
//   uuid.bios                 strGUID, when it is a UUID
//   memsize, numvcpus         i64MemoryMB, i64NumCPUs
//   firmware                  "efi" for EFI, else "bios"
//   uefi.secureBoot.enabled   "TRUE" when the description states secure
//                             boot (VMware's default is off)
//   scsiN.present, scsiN.virtualDev   each SCSI controller in use; the model
//                             of the description's controller of that bus
//                             when VMware has it, else "lsisas1068" for
//                             Windows and "pvscsi" for other guests
//   sataN.present, nvmeN.present      each SATA and NVMe controller in use
//   <bus>N:M.present, .fileName, .deviceType
//                             every disk (fileName its restored file) and
//                             CD-ROM drive ("atapi-cdrom", no medium:
//                             "emptyBackingString", not connected at power
//                             on); <bus> is ide, scsi, sata or nvme
//   ethernetN.present, .virtualDev, .networkName, .addressType, .address,
//   .startConnected           every network card in description order
//                             (.networkName the input's mapping of its
//                             network: a port group, bridge or not); a
//                             MAC in the ranges VMware generates from is
//                             written as "generated" with .generatedAddress
//                             (VMware refuses to power on a VM that claims
//                             one as static)
//
//===----------------------------------------------------------------------===//
#include "formats/common/GuestOSIds.h"
#include "formats/common/SecureBoot.h"
#include "formats/common/WriterSupport.h"
#include "platform/support/FXString.h"

#include <cstdio>
#include <set>

using VMInfoStructs::SVMInfo;
using namespace native;

namespace {

// clang-format off
constexpr const char* kScsiModels[] = {"lsilogic", "lsisas1068", "pvscsi",
                                       "buslogic"};
constexpr const char* kNicModels[] = {"e1000", "e1000e", "vmxnet3", "vmxnet2",
                                      "vmxnet", "vlance"};
// VMware's prefixes; of these, only 00:50:56:00 .. 00:50:56:3f are free for
// static addresses.
constexpr const char* kVMwarePrefixes[] = {"00:50:56", "00:0c:29", "00:05:69",
                                           "00:1c:14"};
// clang-format on

Bus ChooseBus(Bus from, bool cdrom, const SVMInfo&) {
  switch (from) {
    case Bus::Ide:
    case Bus::Scsi:
    case Bus::Sata:
      return from;
    case Bus::Nvme:
      return cdrom ? Bus::Sata : Bus::Nvme;  // NVMe takes no CD-ROM drive
    default:
      return cdrom ? Bus::Ide : Bus::Scsi;
  }
}

const SPlacementRules& Rules() {
  static const SPlacementRules rules{ChooseBus,
                                     {{Bus::Ide, 2, 2, -1},
                                      {Bus::Scsi, 4, 16, 7},
                                      {Bus::Sata, 4, 30, -1},
                                      {Bus::Nvme, 4, 15, -1}},
                                     Bus::Scsi};
  return rules;
}

std::string Escape(const std::string& value) {
  std::string out;
  for (char c : value) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f || c == '"' || c == '|' || c == '#') {
      char code[4];
      std::snprintf(code, sizeof code, "|%02X", byte);
      out += code;
    } else {
      out += c;
    }
  }
  return out;
}

void Put(std::string& text, const std::string& key, const std::string& value) {
  text += key + " = \"" + Escape(value) + "\"\n";
}

// "421eb458-5448-fc12-2074-83d5e419e138" ->
// "42 1e b4 58 54 48 fc 12-20 74 83 d5 e4 19 e1 38"
std::string VmxUuid(const std::string& uuid) {
  std::string hex;
  for (char c : uuid)
    if (c != '-') hex += c;
  std::string out;
  for (size_t i = 0; i < hex.size(); i += 2)
    out += (i == 0 ? "" : i == 16 ? "-" : " ") + hex.substr(i, 2);
  return out;
}

template <size_t N>
bool OneOf(const std::string& value, const char* const (&table)[N]) {
  for (const char* row : table)
    if (value == row) return true;
  return false;
}

std::string ScsiModel(const SVMInfo& info, int bus) {
  for (const auto& controller : info.vDiskControllers) {
    std::string model = FXString::ToLower(controller.strControllerType);
    if (BusOfController(controller.strName) == Bus::Scsi &&
        controller.nBusNumber == bus && OneOf(model, kScsiModels))
      return model;
  }
  return IsWindows(info) ? "lsisas1068" : "pvscsi";
}

void PutControllers(std::string& text, const SVMInfo& info,
                    const std::vector<SPlacedDevice>& devices) {
  std::set<std::pair<Bus, int>> used;
  for (const SPlacedDevice& device : devices)
    if (device.bus != Bus::Ide) used.insert({device.bus, device.nBus});
  for (const auto& controller : used) {
    std::string key =
        BusName(controller.first) + std::to_string(controller.second);
    Put(text, key + ".present", "TRUE");
    if (controller.first == Bus::Scsi)
      Put(text, key + ".virtualDev", ScsiModel(info, controller.second));
  }
}

void PutDevice(std::string& text, const SPlacedDevice& device) {
  std::string key = std::string(BusName(device.bus)) +
                    std::to_string(device.nBus) + ":" +
                    std::to_string(device.nSlot);
  Put(text, key + ".present", "TRUE");
  if (device.cdrom) {
    Put(text, key + ".deviceType", "atapi-cdrom");
    Put(text, key + ".fileName", "emptyBackingString");
    Put(text, key + ".startConnected", "FALSE");
    return;
  }
  Put(text, key + ".fileName", DiskFileName(*device.disk));
  if (device.bus == Bus::Scsi) Put(text, key + ".deviceType", "scsi-hardDisk");
}

// mac in NormalMac form.
bool IsVMwareGenerated(const std::string& mac) {
  for (const char* prefix : kVMwarePrefixes)
    if (mac.compare(0, 8, prefix) == 0)
      return mac.compare(0, 8, "00:50:56") != 0 || mac[9] > '3';
  return false;
}

void PutNetworkCards(std::string& text, const SVMInfo& info,
                     const SNetworkMap& networks) {
  for (size_t i = 0; i < info.vNetworkCards.size(); ++i) {
    const auto& card = info.vNetworkCards[i];
    std::string key = "ethernet" + std::to_string(i);
    Put(text, key + ".present", "TRUE");
    std::string model = FXString::ToLower(card.strAdapterType);
    // An adapter of another platform becomes the one every guest drives.
    if (!model.empty())
      Put(text, key + ".virtualDev",
          OneOf(model, kNicModels) ? model : "e1000e");
    std::string network = MapNetwork(networks, card.strNetworkName).strName;
    if (!network.empty()) Put(text, key + ".networkName", network);
    std::string mac = NormalMac(card.strMacAddress);
    bool generated = mac.empty() || IsVMwareGenerated(mac);
    Put(text, key + ".addressType", generated ? "generated" : "static");
    if (!mac.empty())
      Put(text, key + (generated ? ".generatedAddress" : ".address"), mac);
    if (!card.bConnected) Put(text, key + ".startConnected", "FALSE");
  }
}

}  // namespace

SNativeDescription WriteVmx(const SVMInfo& info,
                            const SNativeWriteInput& input) {
  SNativeDescription out;
  std::vector<SPlacedDevice> devices = PlaceDevices(info, Rules(), out.vNotes);
  std::string& text = out.text;
  Put(text, ".encoding", "UTF-8");
  Put(text, "config.version", "8");
  Put(text, "virtualHW.version", "14");
  Put(text, "displayName", info.strVMName);
  Put(text, "guestOS", VmwareGuestId(info));
  std::string uuid = NormalUuid(info.strGUID);
  if (!uuid.empty()) Put(text, "uuid.bios", VmxUuid(uuid));
  Put(text, "memsize", std::to_string(MemoryMB(info)));
  Put(text, "numvcpus", std::to_string(CpuCount(info)));
  Put(text, "firmware", IsEfi(info) ? "efi" : "bios");
  if (SecureBootOf(info) == SecureBoot::kOn)
    Put(text, "uefi.secureBoot.enabled", "TRUE");
  PutControllers(text, info, devices);
  for (const SPlacedDevice& device : devices) PutDevice(text, device);
  PutNetworkCards(text, info, input.networks);
  return out;
}
