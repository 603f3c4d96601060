//===- GuestOSIds.cpp - A guest OS in each destination's vocabulary -------===//
#include "formats/common/GuestOSIds.h"

#include <cctype>
#include <cstring>

using VMInfoStructs::SVMInfo;

namespace {

enum class Family { Any, Windows, Unix };

// A guest OS known by version: its family, a token its text holds once
// lower-cased with spaces, '-', '_' and '.' taken out, and its ids.  The
// first row that matches wins, so a later version's row comes before an
// earlier one whose token it holds ("2019srvnext" before "2019").
struct GuestOSRow {
  Family family;
  const char* token;
  const char* vmware;     // 64-bit guest id
  const char* libosinfo;  // null: libosinfo has no id for it
  // Oracle VM's OS type; null: Oracle VM lists none for the version, and the
  // family's row without a version gives it ("Other Linux")
  const char* oracleVm;
};

// clang-format off
constexpr GuestOSRow kGuestOSRows[] = {
    // family         token                     VMware                   libosinfo                        Oracle VM
    {Family::Windows, "2022",                   "windows2019srvNext-64", "http://microsoft.com/win/2k22", nullptr},
    {Family::Windows, "2019srvnext",            "windows2019srvNext-64", "http://microsoft.com/win/2k22", nullptr},
    {Family::Windows, "2019",                   "windows2019srv-64",     "http://microsoft.com/win/2k19", "Microsoft Windows Server 2019"},
    {Family::Windows, "2016",                   "windows9srv-64",        "http://microsoft.com/win/2k16", "Microsoft Windows Server 2016"},
    {Family::Windows, "windows9srv",            "windows9srv-64",        "http://microsoft.com/win/2k16", "Microsoft Windows Server 2016"},
    {Family::Windows, "2012",                   "windows8srv-64",        "http://microsoft.com/win/2k12r2", "Microsoft Windows Server 2012"},
    {Family::Windows, "windows8srv",            "windows8srv-64",        "http://microsoft.com/win/2k12r2", "Microsoft Windows Server 2012"},
    {Family::Unix,    "rhel9",                  "rhel9-64",              "http://redhat.com/rhel/9.0",    nullptr},
    {Family::Unix,    "redhatenterpriselinux9", "rhel9-64",              "http://redhat.com/rhel/9.0",    nullptr},
    {Family::Unix,    "rhel8",                  "rhel8-64",              "http://redhat.com/rhel/8.0",    nullptr},
    {Family::Unix,    "redhatenterpriselinux8", "rhel8-64",              "http://redhat.com/rhel/8.0",    nullptr},
    {Family::Unix,    "rhel7",                  "rhel7-64",              "http://redhat.com/rhel/7.0",    "Red Hat Enterprise Linux 7"},
    {Family::Unix,    "redhatenterpriselinux7", "rhel7-64",              "http://redhat.com/rhel/7.0",    "Red Hat Enterprise Linux 7"},
    {Family::Unix,    "oraclelinux8",           "oraclelinux8-64",       nullptr,                         nullptr},
    {Family::Unix,    "oraclelinux7",           "oraclelinux7-64",       nullptr,                         "Oracle Linux 7"},
    {Family::Unix,    "ubuntu",                 "ubuntu-64",             nullptr,                         nullptr},
    {Family::Unix,    "centos",                 "centos-64",             nullptr,                         nullptr},
    {Family::Unix,    "debian",                 "debian10-64",           nullptr,                         nullptr},
    {Family::Windows, "",                       "windows9srv-64",        nullptr,                         "Microsoft Windows"},
    {Family::Unix,    "",                       "otherlinux-64",         nullptr,                         "Other Linux"},
    {Family::Any,     "",                       "other",                 nullptr,                         "Other"},
};
// clang-format on

// Words that make a text a Unix-like guest's.
constexpr const char* kUnixWords[] = {"linux", "unix",   "rhel",   "centos",
                                      "ubuntu", "debian", "suse",   "sles",
                                      "fedora", "oracle", "amazon", "freebsd"};

// The 32-bit ids of the rows without a version.
struct Generic32 {
  Family family;
  const char* vmware;
};
constexpr Generic32 kGeneric32[] = {{Family::Windows, "windows7"},
                                    {Family::Unix, "otherlinux"},
                                    {Family::Any, "other"}};

// Oracle VM's own OS types: a description read from a vm.cfg keeps its type
// as it stands, also one the table above maps nothing to ("Oracle Linux 6").
// Other platforms' texts that read alike ("Red Hat Enterprise Linux 9" from
// Amazon) are not among them.
constexpr const char* kOracleVmTypes[] = {
    "Oracle Linux 4",                "Oracle Linux 5",
    "Oracle Linux 6",                "Oracle Linux 7",
    "Oracle Solaris 10",             "Oracle Solaris 11",
    "Red Hat Enterprise Linux 4",    "Red Hat Enterprise Linux 5",
    "Red Hat Enterprise Linux 6",    "Red Hat Enterprise Linux 7",
    "Microsoft Windows 7",           "Microsoft Windows 8",
    "Microsoft Windows 10",          "Microsoft Windows Server 2003",
    "Microsoft Windows Server 2008", "Microsoft Windows Server 2012",
    "Microsoft Windows Server 2016", "Microsoft Windows Server 2019",
    "Microsoft Windows",             "Other Linux",
    "Other Solaris",                 "Other"};

std::string Squeezed(const std::string& text) {
  std::string out;
  for (char c : text)
    if (!std::strchr(" -_.", c))
      out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

Family FamilyOfText(const std::string& text) {
  std::string squeezed = Squeezed(text);
  if (squeezed.find("win") != std::string::npos &&
      squeezed.find("darwin") == std::string::npos)
    return Family::Windows;
  for (const char* word : kUnixWords)
    if (squeezed.find(word) != std::string::npos) return Family::Unix;
  return Family::Any;
}

Family FamilyOf(const SVMInfo& info) {
  Family stated = FamilyOfText(info.guestOSInfo.OSType);
  if (stated != Family::Any) return stated;
  Family named = FamilyOfText(info.strGuestOS);
  return named != Family::Any ? named
                              : FamilyOfText(info.guestOSInfo.GuestOSName);
}

// Only a guest stated to be 32-bit is one.
bool Is32Bit(const SVMInfo& info) {
  const std::string& arch = info.guestOSInfo.CPUArch;
  return arch == "x86" || arch == "i386" || arch == "i686";
}

bool IsOracleVmOSType(const std::string& text) {
  for (const char* type : kOracleVmTypes)
    if (text == type) return true;
  return false;
}

const GuestOSRow& GenericRow(Family family) {
  for (const GuestOSRow& row : kGuestOSRows)
    if (row.family == family && *row.token == '\0') return row;
  return kGuestOSRows[sizeof kGuestOSRows / sizeof kGuestOSRows[0] - 1];
}

const GuestOSRow& RowOf(const SVMInfo& info) {
  Family family = FamilyOf(info);
  std::string text = Squeezed(info.strGuestOS + " " +
                              info.guestOSInfo.GuestOSName + " " +
                              info.guestOSInfo.OSVersion);
  for (const GuestOSRow& row : kGuestOSRows)
    if (row.family == family && text.find(row.token) != std::string::npos)
      return row;
  return kGuestOSRows[sizeof kGuestOSRows / sizeof kGuestOSRows[0] - 1];
}

}  // namespace

// VMware reads guest ids without regard to case, and a file written in
// capitals ("RHEL5") still names one; a bare family word ("Linux",
// "Windows") names none, so a capitalised word counts only with a digit.
bool IsVmwareGuestId(const std::string& text) {
  if (text.empty()) return false;
  bool digit = false;
  for (char c : text) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_')
      return false;
    digit = digit || std::isdigit(static_cast<unsigned char>(c));
  }
  return digit || std::islower(static_cast<unsigned char>(text[0]));
}

std::string GuestOSFamily(const std::string& text) {
  switch (FamilyOfText(text)) {
    case Family::Windows:
      return "Windows";
    case Family::Unix:
      return "Unix";
    case Family::Any:
      break;
  }
  return std::string();
}

std::string VmwareGuestId(const SVMInfo& info) {
  if (IsVmwareGuestId(info.strGuestOS)) return info.strGuestOS;
  const GuestOSRow& row = RowOf(info);
  if (*row.token == '\0' && Is32Bit(info))
    for (const Generic32& generic : kGeneric32)
      if (generic.family == row.family) return generic.vmware;
  return row.vmware;
}

std::string LibosinfoId(const SVMInfo& info) {
  const char* id = RowOf(info).libosinfo;
  return id ? id : std::string();
}

std::string OracleVmOSType(const SVMInfo& info) {
  if (IsOracleVmOSType(info.strGuestOS)) return info.strGuestOS;
  const GuestOSRow& row = RowOf(info);
  return row.oracleVm ? row.oracleVm : GenericRow(row.family).oracleVm;
}
