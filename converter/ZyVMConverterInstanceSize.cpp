//===- ZyVMConverterInstanceSize.cpp - Instance size and region -----------===//
//
// A cloud machine is created with an instance type: a named pair of CPU
// count and memory.  When the restore request leaves the type to us ("AUTO"
// or empty), Amazon (301) and kind 1401 list the types offered in the
// restore region and pick one for the VM's CPUs and memory:
//
//   * the first offer with enough CPUs fixes the CPU side; later offers are
//     not tested for CPUs again;
//   * among those, the first with enough memory wins at once; failing that,
//     the one with the smallest memory shortfall (the earlier on a tie);
//   * with no offer of enough CPUs, the last offer is taken.
//
// Kind 1401 sorts its offers first (fewer CPUs, then less memory); Amazon
// takes them as listed, drops the KVM-based families, and for a 32-bit
// guest considers only the types that can run one.  The Azure family
// chooses its own size; its region is cleared so the platform picks it.
//
// The tables are constant data, fixed before the library runs any code and
// only read afterwards.
//
//===----------------------------------------------------------------------===//
#include "converter/ZyVMConverter.h"

#include "model/PlatformKinds.h"
#include "platform/support/FXString.h"

#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

using VMInfoStructs::SVMSizeInfo;

namespace {

constexpr char kAdjustVMSize[] =
    "bool ZyVMConverter::AdjustVMSize(const RestoreCtx&)";
constexpr char kAdjustVMRegion[] =
    "bool ZyVMConverter::AdjustVMRegion(const RestoreCtx&)";

// Classic Azure sizes and their second-generation names, by position.
constexpr std::string_view AZURE_VM_SIZES[] = {
    "Small", "Medium", "Large", "ExtraLarge", "A5", "A6", "A7", "A8", "A9"};
constexpr std::string_view AZURE_V2_VM_SIZES[] = {
    "Standard_A1", "Standard_A2", "Standard_A3", "Standard_A4", "Standard_A5",
    "Standard_A6", "Standard_A7", "Standard_A8", "Standard_A9"};
// Data disks each classic size can attach, by the same position.
constexpr int kAzureDisksPerSize[] = {3, 5, 9, 17, 5, 9, 17, 17, 17};
static_assert(std::size(AZURE_VM_SIZES) == std::size(kAzureDisksPerSize));
static_assert(std::size(AZURE_V2_VM_SIZES) == std::size(kAzureDisksPerSize));

// Amazon types that can run a 32-bit guest (matched exactly).
constexpr std::string_view _32BitSupportedInstancetypes[] = {
    "t2.nano",  "t2.micro", "t2.small",  "t2.medium", "c3.large",
    "t1.micro", "m1.small", "m1.medium", "c1.medium"};

// Amazon families built on KVM, which Amazon's import cannot target; a type
// whose name contains one of these is not offered.
constexpr std::string_view _kvmInstanceTypes[] = {
    "c5",  "m5",     "a1",      "r5", "t3", "i3en", "p3dn.24xlarge",
    "z1d", "u-6tb1", "i3.metal"};

constexpr int32_t kNoMemoryMatch = INT32_MAX;

// What the VM asks for.  The description's 64-bit counts are taken as
// 32-bit values; memory not reported (-1) asks for 0 GiB.
struct Requirement {
  int32_t cpus;
  int32_t memoryGB;
};

Requirement RequirementOf(const VMInfoStructs::SVMInfo& vm) {
  return {static_cast<int32_t>(vm.i64NumCPUs),
          static_cast<int32_t>(vm.i64MemoryMB) / 1024};
}

int32_t MemoryGB(const SVMSizeInfo& offer) { return offer.nMemoryMB / 1024; }

// The selection rule shared by Amazon and kind 1401.  accept, when set,
// passes over the offers it refuses (Amazon's 32-bit filter).  Returns an
// offer with an empty name when nothing was found.
SVMSizeInfo SelectInstanceType(
    const std::vector<SVMSizeInfo>& offers, const Requirement& need,
    const std::function<bool(const SVMSizeInfo&)>& accept) {
  SVMSizeInfo best;
  bool cpuFound = false;
  int32_t bestDiff = kNoMemoryMatch;
  for (const SVMSizeInfo& offer : offers) {
    if (accept && !accept(offer)) continue;
    if (!cpuFound) {
      best = offer;
      if (offer.nNumCPUs < need.cpus) continue;
      cpuFound = true;
    }
    int32_t memDiff = MemoryGB(offer) - need.memoryGB;
    if (memDiff >= 0) {
      best = offer;
      break;
    }
    if (bestDiff == kNoMemoryMatch || std::abs(memDiff) < std::abs(bestDiff)) {
      best = offer;
      bestDiff = memDiff;
    }
  }
  return best;
}

bool IsAutoSize(const std::string& size) {
  return size.empty() || strcasecmp(size.c_str(), "AUTO") == 0;
}

// Lists the offers for key; false (and the line) when they cannot be had.
bool ListInstanceTypes(ZyVMConverter& converter, const RestoreCtx& request,
                       const std::string& key,
                       std::vector<SVMSizeInfo>& offers) {
  if (converter.pDestVMInfo &&
      converter.pDestVMInfo->GetAvailableInstanceTypes(key, offers, 0, 0))
    return true;
  converter.Debug(kAdjustVMSize,
                  "Failed to get available instance types for region [%s]",
                  request.strRegion.c_str());
  return false;
}

void ReportNotFound(ZyVMConverter& converter, const Requirement& need) {
  converter.Debug(kAdjustVMSize,
                  "Could not find the instance type for [%ld CPU] [%lld RAM] "
                  "configuration.",
                  static_cast<long>(need.cpus),
                  static_cast<long long>(need.memoryGB));
}

}  // namespace

bool CompareVMSize(const SVMSizeInfo& a, const SVMSizeInfo& b) {
  if (a.nNumCPUs != b.nNumCPUs) return a.nNumCPUs < b.nNumCPUs;
  return a.nMemoryMB < b.nMemoryMB;
}

bool ZyVMConverter::AdjustVMSize(RestoreCtx& request) {
  const Requirement need = RequirementOf(request.vmInfo);
  std::vector<SVMSizeInfo> offers;

  if (eDestInstType == VS_KIND_1401) {
    Debug(kAdjustVMSize, "VMSize %s", request.strVMSize.c_str());
    if (!IsAutoSize(request.strVMSize)) return true;
    const std::string key =
        request.strRegion + "|" + request.strDestinationHost;
    if (!ListInstanceTypes(*this, request, key, offers)) return false;
    // Stable, so equal offers keep the order the platform listed them in.
    std::stable_sort(offers.begin(), offers.end(), CompareVMSize);
    SVMSizeInfo chosen = SelectInstanceType(offers, need, nullptr);
    if (chosen.strInstanceType.empty()) {
      ReportNotFound(*this, need);
      return false;
    }
    request.strVMSize = chosen.strInstanceType;
    Debug(kAdjustVMSize,
          "Instance type selected [%s], CPU [%d], RAM in GB [%d]; Required "
          "configuration CPU [%d], RAM in GB [%d]",
          chosen.strInstanceType.c_str(), chosen.nNumCPUs, MemoryGB(chosen),
          need.cpus, need.memoryGB);
    return true;
  }

  if (eDestInstType == VS_AMAZON) {
    if (!IsAutoSize(request.strVMSize)) return true;
    const bool needs32Bit = FXString::FindString(request.osName, "x86", true);
    if (!ListInstanceTypes(*this, request, request.strRegion, offers))
      return false;
    for (auto it = offers.begin(); it != offers.end();) {
      if (!IsKVMInstanceType(it->strInstanceType)) {
        ++it;
        continue;
      }
      DebugLvl(kAdjustVMSize, 2, "Removed KVM instance type [%s]",
               it->strInstanceType.c_str());
      it = offers.erase(it);
    }
    std::function<bool(const SVMSizeInfo&)> accept;
    if (needs32Bit)
      accept = [this](const SVMSizeInfo& offer) {
        return DoesInstanceTypeSupports32Bit(offer.strInstanceType);
      };
    SVMSizeInfo chosen = SelectInstanceType(offers, need, accept);
    if (chosen.strInstanceType.empty()) {
      ReportNotFound(*this, need);
      return false;
    }
    request.strVMSize = chosen.strInstanceType;
    Debug(kAdjustVMSize,
          "Instance type selected [%s] / [%d CPU] / [%d GB RAM]; Required "
          "configuration [%d CPU] / [%d GB RAM]",
          chosen.strInstanceType.c_str(), chosen.nNumCPUs, MemoryGB(chosen),
          need.cpus, need.memoryGB);
    return true;
  }

  if (zykinds::Has(eDestInstType, zykinds::kAzureFamily)) {
    if (!IsAutoSize(request.strVMSize))
      Log(kAdjustVMSize, 0, "VM size is set to [%s]",
          request.strVMSize.c_str());
    else
      Log(kAdjustVMSize, 0,
          "VM size is empty or set to AUTO SELECT. VM size will be determined "
          "based on it's configuration..");
  }
  return true;
}

bool ZyVMConverter::AdjustVMRegion(RestoreCtx& request) {
  if (!zykinds::Has(eDestInstType, zykinds::kAzureFamily)) return true;
  std::string& region = request.vmInfo.strRegion;
  const std::string old = region;
  region.clear();
  Debug(kAdjustVMRegion, "Resetting VM Region from [%s] to [%s]", old.c_str(),
        region.c_str());
  return true;
}

int ZyVMConverter::GetNumOfAzureDiskSupportedForVMSize(int position) {
  if (position < 0 ||
      position >= static_cast<int>(std::size(kAzureDisksPerSize)))
    return 1;
  return kAzureDisksPerSize[position];
}

bool ZyVMConverter::DoesInstanceTypeSupports32Bit(
    const std::string& instanceType) {
  if (eDestInstType != VS_AMAZON) return false;
  for (std::string_view type : _32BitSupportedInstancetypes)
    if (instanceType == type) return true;
  return false;
}

bool ZyVMConverter::IsKVMInstanceType(const std::string& instanceType) {
  if (eDestInstType != VS_AMAZON) return false;
  for (std::string_view family : _kvmInstanceTypes)
    if (instanceType.find(family) != std::string::npos) return true;
  return false;
}
