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

void Check(const std::string& field, int64_t value, int64_t low, int64_t high,
           bool zeroIsAbsent = false) {
  if (InRange(value, low, high) || (zeroIsAbsent && value == 0)) return;
  throw JobFailure("restore request: " +
                   zylimits::OutOfRange(field, value, low, high));
}

void CheckDisks(const std::vector<SDisk>& disks, const std::string& list) {
  for (size_t i = 0; i < disks.size(); ++i) {
    const SDisk& disk = disks[i];
    std::string at = list + "[" + std::to_string(i) + "].";
    Check(at + "i64MaxSizeInBytes", disk.i64MaxSizeInBytes, 0,
          zylimits::kMaxDiskBytes);
    Check(at + "i64CurrSizeInBytes", disk.i64CurrSizeInBytes, 0,
          zylimits::kMaxDiskBytes);
    const zylimits::ControllerLimit* limit = zylimits::FindControllerLimit(
        FXString::ToLower(disk.strControllerType).c_str());
    Check(at + "nBus", disk.nBus, 0, limit ? limit->lastBus : INT32_MAX);
    Check(at + "nSlot", disk.nSlot, 0, limit ? limit->lastSlot : INT32_MAX);
  }
}

}  // namespace

void CheckRequestFigures(const RestoreCtx& request) {
  const VMInfoStructs::SVMInfo& vm = request.vmInfo;
  Check("vmInfo.i64NumCPUs", vm.i64NumCPUs, zylimits::kMinCpus,
        zylimits::kMaxCpus, true);
  if (vm.i64MemoryMB != -1)  // -1: not given
    Check("vmInfo.i64MemoryMB", vm.i64MemoryMB, zylimits::kMinMemoryMiB,
          zylimits::kMaxMemoryMiB, true);
  CheckDisks(request.vDisks, "vDisks");
  CheckDisks(vm.vDisks, "vmInfo.vDisks");
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
