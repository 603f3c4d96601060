//===- ZyVMConverterFinalize.cpp - Destination finalisation and Hyper-V ---===//
//
// Once the converted description stands in restoreCtx, the destination
// platform is told to build the machine (FinalizeDestinationVM), after the
// touches each platform still needs:
//
//   102 (Hyper-V)          boot disk onto IDE 0:0 (BIOS) or every IDE disk
//                          onto SCSI (EFI), then the three finalisation steps
//   301, 401-403, 1401     instance size and region, then the three steps;
//                          or one FinalizeConvertedVM when the platform
//                          library converts the machine itself
//   501, 901               prepare, instance size, configure, complete
//   the other known kinds  the three steps
//
// The three steps are PrepareDestinationVM, ConfigureDestinationVM (either
// failing ends the finalisation) and CompleteDestinationVM (its result is
// the platform's own business).
//
// AdjustVMConfiguration is what the restore agent calls for a machine bound
// for Hyper-V or the Azure family: boot disk, network adapters (synthetic
// for Windows guests, legacy otherwise) and the machine identifier option,
// which Hyper-V stores in parts of at most 1000 characters.
//
//===----------------------------------------------------------------------===//
#include "converter/ConverterFacts.h"
#include "converter/ZyVMConverter.h"
#include "model/PlatformKinds.h"

#include "platform/support/FXString.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

using VMInfoStructs::SDisk;
using VMInfoStructs::SVMInfo;
using zy_converter::Finalisation;
using zy_converter::FinalisationRow;
using zy_converter::FindFinalisation;

namespace {

constexpr char kFinalize[] = "bool ZyVMConverter::FinalizeDestinationVM()";
constexpr char kBootDisk[] =
    "void ZyVMConverter::AdjustHyperVBootDisk(VMInfoStructs::SVMInfo&)";
constexpr char kNetworks[] =
    "void ZyVMConverter::AdjustHyperVNetworkConnections(VMInfoStructs::"
    "SVMInfo&)";
constexpr char kMachineId[] =
    "void ZyVMConverter::AdjustHyperVMachineId(VMInfoStructs::SVMInfo&)";

bool RunFinalisationSteps(IVMInfo& destination, RestoreCtx& ctx) {
  if (!destination.PrepareDestinationVM(ctx)) return false;
  if (!destination.ConfigureDestinationVM(ctx)) return false;
  destination.CompleteDestinationVM(ctx);
  return true;
}

bool IsController(const SDisk& disk, const char* name) {
  return FXString::CompareNoCase(disk.strControllerType, name) == 0;
}

// "scsi-0:1": a disk's address.  The controller is written in lower case so
// that "SCSI" and "scsi" name the same controller, as they do for the
// hypervisor.
std::string Position(const std::string& controller, int bus, int slot) {
  return FXString::Format("%s-%d:%d", FXString::ToLower(controller).c_str(),
                          bus, slot);
}

// What the boot disk adjustment needs to know of the disk layout.
struct DiskLayout {
  SDisk* scsiBoot = nullptr;  // the disk at SCSI 0:0
  SDisk* ide00 = nullptr;     // the device at IDE 0:0
  std::set<std::string> used;
  int ideCount = 0;
  int highestScsiSlot = 0;
};

DiskLayout SurveyDisks(std::vector<SDisk>& disks) {
  DiskLayout layout;
  for (SDisk& disk : disks) {
    const bool atZero = disk.nBus == 0 && disk.nSlot == 0;
    layout.used.insert(Position(disk.strControllerType, disk.nBus, disk.nSlot));
    if (IsController(disk, "scsi")) {
      if (atZero) layout.scsiBoot = &disk;
      layout.highestScsiSlot = std::max(layout.highestScsiSlot, disk.nSlot);
    }
    if (IsController(disk, "ide")) {
      if (atZero) layout.ide00 = &disk;
      ++layout.ideCount;
    }
  }
  return layout;
}

// Hyper-V Generation 2 machines have no IDE controller: every IDE disk goes
// onto the SCSI controller of its bus, keeping its slot unless that address
// is taken, in which case it gets the slot after the highest in use.  Every
// address given out is marked taken, so no two disks end up on one address.
void MoveIdeDisksToScsi(std::vector<SDisk>& disks, DiskLayout& layout) {
  for (SDisk& disk : disks) {
    if (!IsController(disk, "ide")) continue;
    disk.strControllerType = "scsi";
    while (layout.used.count(Position("scsi", disk.nBus, disk.nSlot)))
      disk.nSlot = ++layout.highestScsiSlot;
    layout.used.insert(Position("scsi", disk.nBus, disk.nSlot));
  }
}

// The network a destination host offers when it has exactly one.
std::string DefaultNetworkOf(const VMInfoStructs::SHostInfo& host) {
  return host.vNetworks.size() == 1 ? host.vNetworks.front().strName
                                    : std::string();
}

}  // namespace

bool ZyVMConverter::InitializeDestinationVM() {
  // An object this converter made earlier is ours to release; one lent by
  // the caller is not.
  if (bOwnsDestVMInfo) CleanupVMInfo(pDestVMInfo);
  pDestVMInfo = nullptr;
  bOwnsDestVMInfo = false;
  bool ready = PrepareVMInfo(pDestVMInfo, eDestInstType, strDestHost,
                             strDestUser, strDestPassword);
  bOwnsDestVMInfo = pDestVMInfo != nullptr;
  return ready;
}

bool ZyVMConverter::FinalizeDestinationVM() {
  const FinalisationRow* row = FindFinalisation(eDestInstType);
  if (!row) return false;
  if (!pDestVMInfo) {
    Error(kFinalize, "Invalid VMInfo object");
    return false;
  }
  IVMInfo& destination = *pDestVMInfo;
  RestoreCtx& ctx = restoreCtx;

  switch (row->how) {
    case Finalisation::kHyperV:
      AdjustHyperVBootDisk(ctx.vmInfo);
      ctx.vDisks = ctx.vmInfo.vDisks;
      ctx.vmInfo.strVMPath = strDestVMPath;
      return RunFinalisationSteps(destination, ctx);

    case Finalisation::kPlatformOrSteps:
      if (ctx.bPlatformConversion) return destination.FinalizeConvertedVM(ctx);
      return RunFinalisationSteps(destination, ctx);

    case Finalisation::kCloud:
      if (ctx.bPlatformConversion) return destination.FinalizeConvertedVM(ctx);
      Debug(kFinalize, "Guest OS : [%s]", ctx.osName.c_str());
      // Without a size of our choosing the platform picks its own.
      AdjustVMSize(ctx);
      if (!AdjustVMRegion(ctx)) return false;
      return RunFinalisationSteps(destination, ctx);

    case Finalisation::kSizedOnPrepare:
      Debug(kFinalize, "Guest OS : [%s]", ctx.osName.c_str());
      if (!destination.PrepareDestinationVM(ctx)) return false;
      if (!AdjustVMSize(ctx)) return false;
      if (!destination.ConfigureDestinationVM(ctx)) return false;
      destination.CompleteDestinationVM(ctx);
      return true;

    case Finalisation::kSteps:
      return RunFinalisationSteps(destination, ctx);
  }
  return false;
}

void ZyVMConverter::CleanupDestinationVM() {}

void ZyVMConverter::AdjustVMConfiguration(VirtualServerInstanceType destination,
                                          IVMInfo* vmInfo,
                                          SVMInfo& description) {
  // The access object is lent by the caller from now on; one this converter
  // made itself is released first so it is not lost.
  const bool same = pDestVMInfo == vmInfo;
  if (bOwnsDestVMInfo && !same) CleanupVMInfo(pDestVMInfo);
  bOwnsDestVMInfo = bOwnsDestVMInfo && same;
  pDestVMInfo = vmInfo;

  if (destination == VS_HYPERV) {
    AdjustHyperVBootDisk(description);
    AdjustHyperVNetworkConnections(description);
    AdjustHyperVMachineId(description);
  } else if (zykinds::Has(destination, zykinds::kHyperVFamily)) {
    AdjustHyperVNetworkConnections(description);
  }
}

void ZyVMConverter::AdjustHyperVBootDisk(SVMInfo& description) {
  const bool efi =
      FXString::CompareNoCase(description.strBootFirmware, "EFI") == 0 ||
      FXString::CompareNoCase(description.strBootFirmware, "UEFI") == 0;
  DiskLayout layout = SurveyDisks(description.vDisks);

  if (efi) {
    MoveIdeDisksToScsi(description.vDisks, layout);
    return;
  }

  // BIOS guests boot from IDE 0:0.
  if (!layout.scsiBoot) return;
  if (!layout.ide00) {
    layout.scsiBoot->strControllerType = "ide";
    return;
  }
  // A hard disk at IDE 0:0 is the boot disk already; anything else there (a
  // CD-ROM drive) makes room if the IDE controllers have a free address.
  if (layout.ide00->nDeviceType == VMInfoStructs::kDeviceTypeHardDisk ||
      layout.ideCount > 3)
    return;

  static constexpr int kIdeAddresses[][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
  for (const auto& address : kIdeAddresses) {
    if (layout.used.count(Position("ide", address[0], address[1]))) continue;
    layout.ide00->nBus = address[0];
    layout.ide00->nSlot = address[1];
    layout.scsiBoot->strControllerType = "ide";
    Log(kBootDisk, 0,
        "Device at IDE:0:0 is moved to IDE:%d:%d to plug boot disk", address[0],
        address[1]);
    Log(kBootDisk, 0, "Boot disk is adjusted to ide:0:0");
    return;
  }
  Log(kBootDisk, 0,
      "All IDE controllers are in use. Boot disk cannot be moved from scsi to "
      "IDE");
}

void ZyVMConverter::AdjustHyperVNetworkConnections(SVMInfo& description) {
  Log(kNetworks, 0, "Adjusting Network Connections");

  VMInfoStructs::SHostInfo host;
  if (eDestInstType == VS_HYPERV) {
    if (!pDestVMInfo ||
        !pDestVMInfo->GetLocalHostInfo(host, VM_PROP_HOST_NW_LIST, 0))
      return;
  } else if (zykinds::Has(eDestInstType, zykinds::kHyperVFamily)) {
    if (!pDestVMInfo ||
        !pDestVMInfo->GetHostInfo(restoreCtx.strDestinationHost,
                                  VM_PROP_HOST_NW_LIST, 0, host))
      return;
  }

  Debug(kNetworks, "Host Network Connections");
  for (const auto& network : host.vNetworks)
    Debug(kNetworks, "%s", network.strName.c_str());
  const std::string defaultNetwork = DefaultNetworkOf(host);

  // Windows guests carry drivers for Hyper-V's synthetic adapter; other
  // guests may not, so they get the emulated (legacy) one.
  const bool synthetic =
      FXString::CompareLeftNoCase(description.strGuestOS, "win") == 0;
  Debug(kNetworks,
        synthetic ? "Using synthetic network adapter for OS [%s]"
                  : "Using legacy network adapter for OS [%s]",
        description.strGuestOS.c_str());

  Debug(kNetworks, "VM Network Connections");
  const auto& mapping = restoreCtx.vNetworkCards;
  for (size_t k = 0; k < description.vNetworkCards.size(); ++k) {
    auto& adapter = description.vNetworkCards[k];
    std::string target =
        k < mapping.size() ? mapping[k].strNetworkName : defaultNetwork;
    if (target.empty()) target = adapter.strNetworkName;
    Debug(kNetworks, "[%s] Source network [%s] => Destination network [%s]\n",
          adapter.strName.c_str(), adapter.strNetworkName.c_str(),
          target.c_str());
    adapter.strNetworkName = target;
    adapter.bLegacyAdapter = !synthetic;
  }
}

void ZyVMConverter::AdjustHyperVMachineId(SVMInfo& description) {
  // Hyper-V keeps a machine's option values to 1000 characters each, so the
  // identifier is stored as numbered parts and a part count.
  constexpr size_t kPartLength = 1000;
  auto& options = description.vExtraOptions;
  auto it = std::find_if(options.begin(), options.end(), [](const auto& o) {
    return o.strName == "machine.id";
  });
  if (it == options.end()) {
    Debug(kMachineId, "Could not find machine id in the vm options");
    return;
  }
  std::string value = it->strValue;
  options.erase(it);
  value.erase(std::remove(value.begin(), value.end(), '\n'), value.end());

  size_t parts = 0;
  for (size_t start = 0; start < value.size(); start += kPartLength) {
    ++parts;
    options.push_back({"machine.id.part." + std::to_string(parts),
                       value.substr(start, kPartLength)});
  }
  options.push_back({"machine.id.parts", std::to_string(parts)});
}

bool ZyVMConverter::IsSnapConversionSupported(VirtualServerInstanceType,
                                              VirtualServerInstanceType) {
  return false;
}
