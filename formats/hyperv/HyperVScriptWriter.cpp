//===- HyperVScriptWriter.cpp - A PowerShell script that builds a Hyper-V VM
//==//
//
// The script a Hyper-V administrator runs on the host, from the folder that
// holds it and the VM's disks; every path is relative to that folder
// ($PSScriptRoot).  Every value from the description is a single-quoted
// PowerShell string: no variable or subexpression is expanded in one, and a
// quote inside it (PowerShell also takes U+2018..U+201B as single quotes) is
// doubled, so a name can never run as code.
//
// Commands written, in order:
//   $VMName = '<strVMName>'; $Folder = $PSScriptRoot
//   New-VM -Generation 2 for EFI, else 1; -MemoryStartupBytes <MiB>MB;
//     -NoVHD -Path $Folder
//   Set-VMProcessor -Count <CPUs>
//   the DVD drive and network adapter New-VM adds are removed
//   Add-VMScsiController   once per SCSI controller beyond the built-in ones
//   Add-VMHardDiskDrive -ControllerType IDE|SCSI -ControllerNumber N
//     -ControllerLocation M -Path (Join-Path $Folder '<file>')
//   Add-VMDvdDrive -ControllerNumber N -ControllerLocation M  (no medium)
//   Add-VMNetworkAdapter -Name '<card>' [-SwitchName '<network>']
//     (the switch the input's mapping names for the card's network)
//     [-IsLegacy $true] [-StaticMacAddress '<12 hex digits>']
//   boot order: Generation 2: Set-VMFirmware -FirstBootDevice <the OS disk>,
//     and the UEFI CA secure boot template for guests other than Windows;
//     -EnableSecureBoot On|Off where the description states secure boot
//     (Hyper-V's own default is on);
//     Generation 1: Set-VMBios -StartupOrder IDE, CD, network, floppy
//
//===----------------------------------------------------------------------===//
#include "formats/common/SecureBoot.h"
#include "formats/common/WriterSupport.h"

#include <algorithm>
#include <cctype>

using VMInfoStructs::SVMInfo;
using namespace native;

namespace {

// Generation 2 machines have no IDE controller; Generation 1 machines take
// CD-ROM drives on IDE only.
Bus ChooseBus(Bus from, bool cdrom, const SVMInfo& info) {
  if (IsEfi(info)) return Bus::Scsi;
  return from == Bus::Ide || cdrom ? Bus::Ide : Bus::Scsi;
}

const SPlacementRules& Rules() {
  static const SPlacementRules rules{
      ChooseBus, {{Bus::Ide, 2, 2, -1}, {Bus::Scsi, 4, 64, -1}}, Bus::Scsi};
  return rules;
}

// U+2018..U+201B in UTF-8: E2 80 98..9B.
bool IsCurlyQuote(const std::string& text, size_t i) {
  return i + 2 < text.size() && text[i] == '\xE2' && text[i + 1] == '\x80' &&
         text[i + 2] >= '\x98' && text[i + 2] <= '\x9B';
}

std::string Quote(const std::string& value) {
  std::string out = "'";
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\'') {
      out += "''";
    } else if (IsCurlyQuote(value, i)) {
      std::string quote = value.substr(i, 3);
      out += quote + quote;
      i += 2;
    } else {
      out += value[i];
    }
  }
  return out + "'";
}

std::string Location(const SPlacedDevice& device) {
  return " -ControllerNumber " + std::to_string(device.nBus) +
         " -ControllerLocation " + std::to_string(device.nSlot);
}

std::string HyperVMac(const std::string& mac) {
  std::string hex;
  for (char c : NormalMac(mac))
    if (c != ':')
      hex += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return hex;
}

void PutDevices(std::string& text, const SVMInfo& info,
                const std::vector<SPlacedDevice>& devices) {
  int scsiControllers = 0;
  for (const SPlacedDevice& device : devices)
    if (device.bus == Bus::Scsi)
      scsiControllers = std::max(scsiControllers, device.nBus + 1);
  for (int i = IsEfi(info) ? 1 : 0; i < scsiControllers; ++i)
    text += "Add-VMScsiController -VMName $VMName\n";
  for (const SPlacedDevice& device : devices) {
    if (device.cdrom) {
      text += "Add-VMDvdDrive -VMName $VMName" + Location(device) + "\n";
      continue;
    }
    text +=
        std::string("Add-VMHardDiskDrive -VMName $VMName -ControllerType ") +
        (device.bus == Bus::Ide ? "IDE" : "SCSI") + Location(device) +
        " -Path (Join-Path $Folder " + Quote(DiskFileName(*device.disk)) +
        ")\n";
  }
}

void PutNetworkAdapters(std::string& text, const SVMInfo& info,
                        const SNetworkMap& networks) {
  for (size_t i = 0; i < info.vNetworkCards.size(); ++i) {
    const auto& card = info.vNetworkCards[i];
    text += "Add-VMNetworkAdapter -VMName $VMName -Name " +
            Quote(card.strName.empty() ? "Network Adapter " + std::to_string(i)
                                       : card.strName);
    std::string network = MapNetwork(networks, card.strNetworkName).strName;
    if (!network.empty()) text += " -SwitchName " + Quote(network);
    if (card.bLegacyAdapter && !IsEfi(info)) text += " -IsLegacy $true";
    std::string mac = HyperVMac(card.strMacAddress);
    if (!mac.empty()) text += " -StaticMacAddress '" + mac + "'";
    text += "\n";
  }
}

void PutBootOrder(std::string& text, const SVMInfo& info,
                  const std::vector<SPlacedDevice>& devices,
                  std::vector<std::string>& notes) {
  const auto* os = OSDisk(info);
  auto placed = std::find_if(
      devices.begin(), devices.end(),
      [os](const SPlacedDevice& device) { return device.disk == os; });
  if (!IsEfi(info)) {
    text +=
        "Set-VMBios -VMName $VMName -StartupOrder @('IDE', 'CD', "
        "'LegacyNetworkAdapter', 'Floppy')\n";
    if (placed != devices.end() &&
        (placed->bus != Bus::Ide || placed->nBus != 0 || placed->nSlot != 0))
      notes.push_back(
          "The OS disk [" + DiskFileName(*os) +
          "] is not at IDE 0:0; a Generation 1 VM boots from there");
    return;
  }
  if (placed != devices.end())
    text +=
        "Set-VMFirmware -VMName $VMName -FirstBootDevice "
        "(Get-VMHardDiskDrive -VMName $VMName -ControllerType SCSI" +
        Location(*placed) + ")\n";
  SecureBoot secure = SecureBootOf(info);
  if (secure != SecureBoot::kUnstated)
    text += std::string("Set-VMFirmware -VMName $VMName -EnableSecureBoot ") +
            (secure == SecureBoot::kOn ? "On" : "Off") + "\n";
  if (!IsWindows(info) && secure != SecureBoot::kOff)
    text +=
        "Set-VMFirmware -VMName $VMName -SecureBootTemplate "
        "'MicrosoftUEFICertificateAuthority'\n";
}

}  // namespace

SNativeDescription WriteHyperVScript(const SVMInfo& info,
                                     const SNativeWriteInput& input) {
  SNativeDescription out;
  std::vector<SPlacedDevice> devices = PlaceDevices(info, Rules(), out.vNotes);
  std::string& text = out.text;
  text +=
      "# Builds the VM on this Hyper-V host from the files beside this "
      "script.\n";
  text += "$ErrorActionPreference = 'Stop'\n";
  text += "$VMName = " + Quote(info.strVMName) + "\n";
  text += "$Folder = $PSScriptRoot\n";
  text += "New-VM -Name $VMName -Generation " +
          std::string(IsEfi(info) ? "2" : "1") + " -MemoryStartupBytes " +
          std::to_string(MemoryMB(info)) +
          "MB -NoVHD -Path $Folder | Out-Null\n";
  text += "Set-VMProcessor -VMName $VMName -Count " +
          std::to_string(CpuCount(info)) + "\n";
  text += "Get-VMDvdDrive -VMName $VMName | Remove-VMDvdDrive\n";
  text += "Get-VMNetworkAdapter -VMName $VMName | Remove-VMNetworkAdapter\n";
  PutDevices(text, info, devices);
  PutNetworkAdapters(text, info, input.networks);
  PutBootOrder(text, info, devices, out.vNotes);
  return out;
}
