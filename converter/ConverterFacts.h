//===- ConverterFacts.h - What the converter's rules say before a run -----===//
//
// Internal to the converter; the shared library exports none of it.  Three
// answers a caller needs before it starts a conversion, kept beside the
// rules that use them so the converter and the jobs give the same answer:
// which destinations the converter can finish (its finalisation table),
// which guest OS values a restore request may give (the words ComputeOS
// reads), and the identifier of a VM that comes without one.
//
// The tables and their look-ups are inline: the jobs library reads them in
// its own objects, since it links the shared library, which hides them.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/PlatformKinds.h"
#include "model/VirtualServerTypes.h"

#include <algorithm>
#include <string>
#include <vector>

namespace zy_converter {

// How FinalizeDestinationVM has the destination build the machine.
enum class Finalisation {
  kHyperV,           // boot disk, disk list and path, then the three steps
  kCloud,            // size and region, then the three steps
  kSizedOnPrepare,   // prepare, size, configure, complete
  kPlatformOrSteps,  // FinalizeConvertedVM with the flag, else three steps
  kSteps,            // the three steps
};

struct FinalisationRow {
  VirtualServerInstanceType kind;
  Finalisation how;
};

// Kinds not listed (100 and 103 among them) cannot be finalised.
// clang-format off
inline constexpr FinalisationRow kFinalisations[] = {
    {VS_HYPERV, Finalisation::kHyperV},
    {VS_AMAZON, Finalisation::kCloud},
    {VS_AZURE_1, Finalisation::kCloud},
    {VS_AZURE_2, Finalisation::kCloud},
    {VS_AZURE_3, Finalisation::kCloud},
    {VS_KIND_1401, Finalisation::kCloud},
    {VS_RHEV, Finalisation::kSizedOnPrepare},
    {VS_OPENSTACK, Finalisation::kSizedOnPrepare},
    {VS_KIND_1101, Finalisation::kPlatformOrSteps},
    {VS_VMWARE, Finalisation::kSteps},
    {VS_NUTANIX, Finalisation::kSteps},
    {VS_ORACLE_VM, Finalisation::kSteps},
    {VS_KIND_801, Finalisation::kSteps},
    {VS_KIND_1102, Finalisation::kSteps},
    {VS_KIND_1301, Finalisation::kSteps},
};
// clang-format on

constexpr const FinalisationRow* FindFinalisation(
    VirtualServerInstanceType kind) {
  for (const FinalisationRow& row : kFinalisations)
    if (row.kind == kind) return &row;
  return nullptr;
}

// Whether a VM restored to destination can be finished (built by its
// platform); a kind with no finalisation never can.
constexpr bool CanFinalize(VirtualServerInstanceType destination) {
  return FindFinalisation(destination) != nullptr;
}

// The words of a requested osName (found ignoring case) that say its OS
// family, first match wins; and, for Amazon, its CPU architecture.
struct FamilyWord {
  const char* word;
  const char* family;
};
inline constexpr FamilyWord kFamilyWords[] = {
    {"unix", "Linux"}, {"Linux", "Linux"}, {"win", "Windows"}};
inline constexpr const char* kAmazonArchitectures[] = {"x64", "x86"};

// The guest OS values a restore request's osName may give destination,
// "AUTO" (the backup client's facts) first; empty for a kind that needs no
// guest OS or takes its own platform's names (VMware).  Amazon takes the
// family with its architecture ("Windows_x64"), as ComputeOS writes it.
inline std::vector<std::string> GuestOSValues(
    VirtualServerInstanceType destination) {
  std::vector<std::string> values;
  if (destination == VS_VMWARE ||
      !zykinds::Has(destination, zykinds::kNeedsGuestOS))
    return values;
  values.push_back("AUTO");
  for (const FamilyWord& row : kFamilyWords) {
    std::vector<std::string> forms;
    if (destination != VS_AMAZON) forms.push_back(row.family);
    for (const char* arch : kAmazonArchitectures)
      if (destination == VS_AMAZON)
        forms.push_back(std::string(row.family) + "_" + arch);
    for (const std::string& form : forms)
      if (std::find(values.begin(), values.end(), form) == values.end())
        values.push_back(form);
  }
  return values;
}

// The UUID a VM without one is known by: a name-based (version 5) UUID of
// its name, the same for the same name on every run and machine.  Defined
// in the converter's objects: only they and their tests call it.
std::string StableVMUuid(const std::string& vmName);

}  // namespace zy_converter
