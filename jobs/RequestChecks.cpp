//===- RequestChecks.cpp - Range checks of a restore request's figures ----===//
#include "RequestChecks.h"

#include "JobSupport.h"

#include "model/Limits.h"
#include "platform/support/FXString.h"

#include <cstdint>

namespace zyjobs {
namespace {

using VMInfoStructs::SDisk;
using zylimits::InRange;

using VMInfoStructs::SVMDiskController;
using VMInfoStructs::SVMInfo;

// The figures of one request, or of one source description, named as its
// maker wrote them.
struct Checked {
  std::string origin;  // "restore request", "web01.vmx"
  VirtualServerInstanceType platform;
  const SVMInfo& vm;
};

void Check(const Checked& checked, const std::string& field, int64_t value,
           int64_t low, int64_t high, bool zeroIsAbsent = false) {
  if (InRange(value, low, high) || (zeroIsAbsent && value == 0)) return;
  throw JobFailure(checked.origin + ": " +
                   zylimits::OutOfRange(field, value, low, high));
}

// The model of the controller a disk sits on, as the description lists it;
// "" when it lists none.
std::string ModelOf(const SVMInfo& vm, const std::string& kind, int32_t bus) {
  for (const SVMDiskController& controller : vm.vDiskControllers)
    if (FXString::ToLower(controller.strName) == kind &&
        controller.nBusNumber == bus)
      return FXString::ToLower(controller.strControllerType);
  return std::string();
}

void CheckAddress(const Checked& checked, const SDisk& disk,
                  const std::string& at) {
  std::string kind = FXString::ToLower(disk.strControllerType);
  std::string model = ModelOf(checked.vm, kind, disk.nBus);
  const zylimits::ControllerLimit* limit =
      zylimits::FindControllerLimit(kind, model, checked.platform);
  Check(checked, at + "nBus", disk.nBus, 0, limit ? limit->lastBus : INT32_MAX);
  if (!limit) {
    Check(checked, at + "nSlot", disk.nSlot, 0, INT32_MAX);
    return;
  }
  if (zylimits::IsValidSlot(*limit, disk.nSlot)) return;
  throw JobFailure(checked.origin + ": " + at + "nSlot: unit " +
                   std::to_string(disk.nSlot) + " is out of " +
                   zylimits::SlotRange(*limit) + " for " +
                   (model.empty() ? kind : model));
}

void CheckDisks(const Checked& checked, const std::vector<SDisk>& disks,
                const std::string& list) {
  for (size_t i = 0; i < disks.size(); ++i) {
    const SDisk& disk = disks[i];
    std::string at = list + "[" + std::to_string(i) + "].";
    Check(checked, at + "i64MaxSizeInBytes", disk.i64MaxSizeInBytes, 0,
          zylimits::kMaxDiskBytes);
    Check(checked, at + "i64CurrSizeInBytes", disk.i64CurrSizeInBytes, 0,
          zylimits::kMaxDiskBytes);
    CheckAddress(checked, disk, at);
  }
}

}  // namespace

void CheckRequestFigures(const RestoreCtx& request,
                         VirtualServerInstanceType source,
                         const std::string& described) {
  const SVMInfo& vm = request.vmInfo;
  Checked checked{described.empty() ? "restore request" : described, source,
                  vm};
  std::string prefix = described.empty() ? "vmInfo." : "";
  Check(checked, prefix + "i64NumCPUs", vm.i64NumCPUs, zylimits::kMinCpus,
        zylimits::kMaxCpus, true);
  if (vm.i64MemoryMB != -1)  // -1: not given
    Check(checked, prefix + "i64MemoryMB", vm.i64MemoryMB,
          zylimits::kMinMemoryMiB, zylimits::kMaxMemoryMiB, true);
  // A request made from a description holds copies of its disks: they are
  // checked once, by the description's own list.
  if (described.empty()) CheckDisks(checked, request.vDisks, "vDisks");
  CheckDisks(checked, vm.vDisks, prefix + "vDisks");
}

std::vector<std::string> RequestCountMismatches(const RestoreCtx& request) {
  std::vector<std::string> lines;
  const VMInfoStructs::SVMInfo& vm = request.vmInfo;
  size_t cards = vm.vNetworkCards.size();
  if (vm.nNumNetworkCards != 0 &&
      vm.nNumNetworkCards != static_cast<int64_t>(cards))
    lines.push_back("vmInfo.nNumNetworkCards is " +
                    std::to_string(vm.nNumNetworkCards) +
                    " but the request lists " + std::to_string(cards) +
                    " network cards; the " + std::to_string(cards) +
                    " listed are restored");
  return lines;
}

}  // namespace zyjobs
