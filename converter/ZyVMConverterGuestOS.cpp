//===- ZyVMConverterGuestOS.cpp - Guest OS determination ------------------===//
//
// A cloud destination's import service must be told the guest's OS family
// and CPU architecture.  ComputeOS settles the restore context's osName:
// the value the restore request gave, or, for "AUTO" or an empty value, the
// facts the VM's backup client registered in its client properties
// (GetVMGuestOSClientProp).  The value is then put in the form each cloud
// expects:
//
//   301 (Amazon)       "Windows_" or "Linux_" + architecture, for values
//                      read from the client properties
//   401, 402, 403      "Windows" or "Linux"
//   1401               distribution + ";" + "x86_64" or "i386"
//
// An OS the request names (anything but empty, "AUTO" or "Select") is also
// the guest OS of the destination's description: it goes into the request's
// vmInfo (strGuestOS as given, OSType by its family), which
// CompleteVMConversion puts over what the configuration file said.
//
// The client's OS text reads "name:-version:-build:-arch".  When the name
// says nothing ("Any" or empty) the client's operating-system identifier
// decides between Windows and Linux/Unix.
//
//===----------------------------------------------------------------------===//
#include "converter/ConverterFacts.h"
#include "converter/ZyVMConverter.h"

#include "formats/common/GuestOSIds.h"
#include "model/PlatformKinds.h"
#include "platform/settings/PlatformConfig.h"
#include "platform/support/FXString.h"

#include <strings.h>

#include <string>
#include <vector>

using VMInfoStructs::SGuestOSInfo;
using zy_converter::FamilyWord;
using zy_converter::kAmazonArchitectures;
using zy_converter::kFamilyWords;

namespace {

constexpr char kComputeOS[] =
    "CQiError ZyVMConverter::ComputeOS(VirtualServerInstanceType, "
    "VirtualServerInstanceType, IVMInfo*, const RestoreCtx&)";
constexpr char kGetClientProp[] =
    "bool ZyVMConverter::GetVMGuestOSClientProp(int, "
    "VMInfoStructs::SGuestOSInfo&)";

// Operating-system identifiers of Windows clients.
constexpr int kWindowsOSIds[] = {2,   3,   21,  24,  27,  34,  35, 39, 46,
                                 48,  62,  63,  64,  65,  66,  67, 93, 94,
                                 200, 208, 209, 210, 211, 212, 213};
static_assert(sizeof kWindowsOSIds / sizeof kWindowsOSIds[0] == 25);

// Operating-system identifiers of Linux and other Unix clients.
constexpr int kUnixOSIds[] = {
    6,   7,   14,  15,  20,  22,  23,  25,  26,  28,  30,  33,  36,  38,
    40,  42,  43,  44,  47,  49,  50,  51,  52,  53,  54,  57,  58,  59,
    60,  61,  68,  69,  70,  71,  72,  73,  74,  75,  76,  77,  78,  79,
    80,  81,  82,  83,  85,  86,  87,  88,  89,  90,  91,  92,  95,  96,
    97,  98,  100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111,
    112, 113, 114, 115, 201, 202, 203, 204, 205, 206, 207};
static_assert(sizeof kUnixOSIds / sizeof kUnixOSIds[0] == 81);

// Words in a client's OS name (case-sensitive) that mark a Unix guest.
constexpr const char* kUnixVendorWords[] = {
    "Linux",   "CentOS",  "Open Enterprise Server",
    "Asianux", "Solaris", "Netware",
    "FreeBSD", "Apple"};

// Distribution names that kind 1401 understands, found in osName ignoring
// case; the first row that matches wins, so "OpenSUSE" precedes "SUSE" and
// the named Windows releases precede the catch-all "Windows".
struct DistributionRow {
  const char* contains;
  const char* distribution;
};
// clang-format off
constexpr DistributionRow kDistributions[] = {
    {"CentOS", "CentOS"},
    {"Ubuntu", "Ubuntu"},
    {"OpenSUSE", "OpenSUSE"},
    {"SUSE", "SUSE"},
    {"Red Hat", "RedHat"},
    {"Debian", "Debian"},
    {"CoreOS", "CoreOS"},
    {"Aliyun Linux", "Aliyun Linux"},
    {"Windows Server 2003", "Windows Server 2003"},
    {"Windows Server 2008", "Windows Server 2008"},
    {"Windows Server 2012", "Windows Server 2012"},
    {"Windows 7", "Windows 7"},
    {"Windows", "Windows Server 2012"},
};
// clang-format on

template <typename T, size_t N>
bool InTable(const T (&table)[N], T value) {
  for (const T& entry : table)
    if (entry == value) return true;
  return false;
}

bool Has(const std::string& text, const char* word) {
  return FXString::FindString(text, word, /*ignoreCase=*/true);
}

bool HasExactly(const std::string& text, const char* word) {
  return text.find(word) != std::string::npos;
}

bool IsAny(const std::string& text) {
  return FXString::CompareNoCase(text, "Any") == 0;
}

std::string DistributionOf(const std::string& osName) {
  for (const auto& row : kDistributions)
    if (Has(osName, row.contains)) return row.distribution;
  return {};
}

// Splits "name:-version:-build:-arch" into info, returning the build text
// through build.  Fewer than four fields cannot be read.  A text with more
// than four fields takes the fourth field, up to the next ":-", as the
// architecture, and ignores the rest.
bool ParseOSText(const std::string& text, SGuestOSInfo& info,
                 std::string& build) {
  static const std::string kSeparator = ":-";
  size_t start = 0;
  for (int pass = 0; pass < 3; ++pass) {
    size_t end = text.find(kSeparator, start);
    if (end == std::string::npos) return false;
    std::string token = text.substr(start, end - start);
    if (pass == 0) info.GuestOSName = token;
    if (pass == 1) info.OSVersion = token;
    if (pass == 2) build = token;
    start = end + kSeparator.size();
  }
  size_t end = text.find(kSeparator, start);
  info.CPUArch = end == std::string::npos ? text.substr(start)
                                          : text.substr(start, end - start);
  return true;
}

// A failure of ComputeOS: error 4, with the message logged at level -1 and
// carried by the error value.
CQiError Fail(ZyVMConverter& converter, int line, const std::string& message) {
  FXCodeLocation location("ZyVMConverter", kComputeOS, line);
  if (message.empty()) return FXErrorUtil::ErrorVS(location, 4);
  converter.Log(kComputeOS, -1, "%s", message.c_str());
  return FXErrorUtil::ErrorVS(location, 4, "%s", message.c_str());
}

}  // namespace

bool ZyVMConverter::GetVMGuestOSClientProp(int clientId, SGuestOSInfo& info) {
  if (clientId < 1) return false;

  std::string text;
  ClientProperties(clientId).getSimOSInfo(text, nullptr);
  Log(kGetClientProp, 0, "Guest OS name from client properties [%s]",
      text.c_str());

  std::string build;
  if (!text.empty() && !ParseOSText(text, info, build)) {
    Log(kGetClientProp, -1, "Failed to parse OS name");
    return false;
  }

  // A client that registered no usable name is classified by its
  // operating-system identifier.
  bool isWindows = false;
  bool isUnix = false;
  const bool nameUnknown = info.GuestOSName.empty() || IsAny(info.GuestOSName);
  if (nameUnknown) {
    int osId = 0;
    ZyClient(clientId).getOperatingSystemId(osId, nullptr);
    Debug(kGetClientProp,
          "SimOperatingSystemId for Guest VMClient [%d] is [%d]", clientId,
          osId);
    if (InTable(kWindowsOSIds, osId)) {
      isWindows = true;
      Debug(kGetClientProp, "Guest VM is Windows");
    } else if (InTable(kUnixOSIds, osId)) {
      isUnix = true;
      Debug(kGetClientProp, "Guest VM is a Linux/Unix");
    }
  }

  const std::string& name = info.GuestOSName;
  bool unixVendor = false;
  for (const char* word : kUnixVendorWords)
    unixVendor |= HasExactly(name, word);

  if (HasExactly(name, "Windows") || HasExactly(name, "Microsoft") ||
      isWindows) {
    info.OSType = "Windows";
    if (nameUnknown) info.GuestOSName = "Windows";
  } else if (unixVendor) {
    info.OSType = "Unix";
  } else if (HasExactly(name, "Any") || isUnix) {
    Log(kGetClientProp, 0,
        "Guest OS of source VM is unknown. Treating this as Unix VM");
    info.OSType = "Unix";
    info.GuestOSName = "Unix";
  }

  Log(kGetClientProp, 0,
      "GuestOSName = [%s], OSBuild = [%s], OSVersion = [%s], CPUArch = [%s] "
      "OSType = [%s]",
      info.GuestOSName.c_str(), build.c_str(), info.OSVersion.c_str(),
      info.CPUArch.c_str(), info.OSType.c_str());
  return true;
}

namespace {

// A VMware machine needs an OS chosen in the restore screen; only a restore
// from kind 103 may come without one.
CQiError ComputeVMwareOS(ZyVMConverter& converter,
                         VirtualServerInstanceType source,
                         const std::string& osName) {
  if (source == VS_KIND_103 && osName.empty()) return CQiError::Success();
  if (osName.empty() || FXString::CompareNoCase(osName, "Select") == 0)
    return Fail(converter, __LINE__, "");
  return CQiError::Success();
}

// The guest OS family (and, for Amazon, the architecture) from the value
// the restore request gave.
CQiError ParseRequestedOS(ZyVMConverter& converter,
                          VirtualServerInstanceType destination,
                          const std::string& osName, SGuestOSInfo& info) {
  const FamilyWord* family = nullptr;
  for (const FamilyWord& row : kFamilyWords)
    if (!family && Has(osName, row.word)) family = &row;
  if (!family)
    return Fail(converter, __LINE__,
                "Failed to parse OS information.Failed to convert VM.");
  info.GuestOSName = family->family;
  if (destination != VS_AMAZON) return CQiError::Success();
  for (const char* arch : kAmazonArchitectures)
    if (Has(osName, arch)) {
      info.CPUArch = arch;
      return CQiError::Success();
    }
  return Fail(converter, __LINE__,
              "Failed to parse OS (CPU Arch) information.Failed to "
              "convert VM.");
}

// Where the guest OS comes from: the client properties or the request.
CQiError SettleCloudOS(ZyVMConverter& converter,
                       VirtualServerInstanceType destination,
                       RestoreCtx& request, bool fromDatabase) {
  std::string& osName = request.osName;
  SGuestOSInfo& info = request.vmInfo.guestOSInfo;
  if (fromDatabase) {
    if (!converter.GetVMGuestOSClientProp(request.vmInfo.nClientId, info))
      return Fail(converter, __LINE__,
                  "Failed to get OS information from DB.Failed to convert VM "
                  ". job should be resubmitted after selecting guest OS type "
                  "in restore screen");
    osName = info.GuestOSName;
  } else {
    CQiError parsed = ParseRequestedOS(converter, destination, osName, info);
    if (parsed.IsError()) return parsed;
  }
  if (info.GuestOSName.empty())
    return Fail(converter, __LINE__,
                "Guest OS name is not available. Failed to convert VM . job "
                "should be resubmitted after selecting correct guest OS type "
                "in restore screen");
  return CQiError::Success();
}

// Amazon's import service takes "Windows_" or "Linux_" and the
// architecture, and imports Linux guests as 64-bit only.
CQiError ToAmazonOS(ZyVMConverter& converter, VirtualServerInstanceType source,
                    std::string& osName, SGuestOSInfo& info) {
  if (Has(info.OSType, "unix")) {
    if (!Has(osName, "x64"))
      converter.Log(kComputeOS, -1,
                    "Amazon Import does not support x86 for linux flavours. "
                    "OS information read from DB [%s].",
                    info.GuestOSName.c_str());
    info.CPUArch = "x64";
  }
  if (Has(info.CPUArch, "Any")) {
    // Hyper-V and Azure sources are taken to be 64-bit guests.
    if (source != VS_HYPERV && source != VS_AZURE_1 && source != VS_AZURE_2)
      return Fail(converter, __LINE__,
                  "Guest CPU Architecture is not available. Failed to "
                  "convert VM . job should be resubmitted after selecting "
                  "correct guest OS type in restore screen");
    converter.Log(kComputeOS, 0,
                  "Guest CPU Architecture is not available. Setting the OS "
                  "type as x64.");
    info.CPUArch = "x64";
  }
  if (IsAny(osName))
    return Fail(converter, __LINE__,
                FXString::Format("Guest OS name is not available [%s]. "
                                 "Failed to convert VM . Job should be "
                                 "resubmitted after selecting correct guest "
                                 "OS type in restore screen.",
                                 osName.c_str()));
  osName = (Has(osName, "Win") ? "Windows_" : "Linux_") + info.CPUArch;
  return CQiError::Success();
}

// Azure takes the family alone.
void ToAzureOS(std::string& osName) {
  osName = Has(osName, "Win") ? "Windows" : "Linux";
}

// Kind 1401 takes "distribution;architecture" when both are known.
void ToKind1401OS(ZyVMConverter& converter, std::string& osName,
                  const SGuestOSInfo& info) {
  std::string arch;
  if (!info.CPUArch.empty()) {
    converter.Log(kComputeOS, 0, "GuestCPUArch [%s]", info.CPUArch.c_str());
    arch = Has(info.CPUArch, "x64") ? "x86_64" : "i386";
  }
  std::string distribution = DistributionOf(osName);
  converter.Log(kComputeOS, 0,
                "Restorectx osName [%s], Restorectx GuestOSName [%s] "
                "strOSName [%s], arch [%s]",
                osName.c_str(), info.GuestOSName.c_str(), distribution.c_str(),
                arch.c_str());
  if (!distribution.empty() && !arch.empty())
    osName = distribution + ";" + arch;
}

// The OS the request names, as the destination's guest OS.
void RecordRequestedOS(RestoreCtx& request) {
  const std::string& given = request.osName;
  if (given.empty() || strcasecmp(given.c_str(), "AUTO") == 0 ||
      strcasecmp(given.c_str(), "Select") == 0)
    return;
  request.vmInfo.strGuestOS = given;
  std::string family = GuestOSFamily(given);
  if (!family.empty()) request.vmInfo.guestOSInfo.OSType = family;
}

}  // namespace

CQiError ZyVMConverter::ComputeOS(VirtualServerInstanceType source,
                                  VirtualServerInstanceType destination,
                                  IVMInfo* /*vmInfo*/, RestoreCtx& request) {
  std::string& osName = request.osName;
  SGuestOSInfo& info = request.vmInfo.guestOSInfo;
  Log(kComputeOS, 0, "Given OS name = [%s]", osName.c_str());
  RecordRequestedOS(request);

  if (destination == VS_VMWARE) return ComputeVMwareOS(*this, source, osName);
  if (!zykinds::Has(destination, zykinds::kNeedsGuestOS))
    return CQiError::Success();

  const bool fromDatabase =
      osName.empty() || strcasecmp(osName.c_str(), "AUTO") == 0;
  CQiError settled = SettleCloudOS(*this, destination, request, fromDatabase);
  if (settled.IsError()) return settled;

  if (fromDatabase && destination == VS_AMAZON) {
    CQiError amazon = ToAmazonOS(*this, source, osName, info);
    if (amazon.IsError()) return amazon;
  }
  if (zykinds::Has(destination, zykinds::kAzureFamily)) ToAzureOS(osName);
  if (destination == VS_KIND_1401) ToKind1401OS(*this, osName, info);

  Log(kComputeOS, 0, "Guest OS value [%s]", osName.c_str());
  return CQiError::Success();
}
