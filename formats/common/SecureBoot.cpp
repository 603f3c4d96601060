//===- SecureBoot.cpp - Whether an EFI machine boots with UEFI secure boot ===//
#include "formats/common/SecureBoot.h"

#include "formats/common/WriterSupport.h"
#include "platform/support/FXString.h"

#include <algorithm>

namespace {

constexpr const char kOption[] = "uefi.secureBoot.enabled";

bool IsOption(const VMInfoStructs::SVMOptionValue& option) {
  return option.strName == kOption;
}

}  // namespace

SecureBoot SecureBootOf(const VMInfoStructs::SVMInfo& info) {
  if (!native::IsEfi(info)) return SecureBoot::kUnstated;
  const auto& options = info.vExtraOptions;
  auto found = std::find_if(options.begin(), options.end(), IsOption);
  if (found == options.end()) return SecureBoot::kUnstated;
  return FXString::CompareNoCase(found->strValue, "TRUE") == 0
             ? SecureBoot::kOn
             : SecureBoot::kOff;
}

void SetSecureBoot(VMInfoStructs::SVMInfo& info, bool on) {
  auto& options = info.vExtraOptions;
  options.erase(std::remove_if(options.begin(), options.end(), IsOption),
                options.end());
  options.push_back({kOption, on ? "TRUE" : "FALSE"});
}
