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
};

// clang-format off
constexpr GuestOSRow kGuestOSRows[] = {
    {Family::Windows, "2022",                   "windows2019srvNext-64", "http://microsoft.com/win/2k22"},
    {Family::Windows, "2019srvnext",            "windows2019srvNext-64", "http://microsoft.com/win/2k22"},
    {Family::Windows, "2019",                   "windows2019srv-64",     "http://microsoft.com/win/2k19"},
    {Family::Windows, "2016",                   "windows9srv-64",        "http://microsoft.com/win/2k16"},
    {Family::Windows, "windows9srv",            "windows9srv-64",        "http://microsoft.com/win/2k16"},
    {Family::Windows, "2012",                   "windows8srv-64",        "http://microsoft.com/win/2k12r2"},
    {Family::Windows, "windows8srv",            "windows8srv-64",        "http://microsoft.com/win/2k12r2"},
    {Family::Unix,    "rhel9",                  "rhel9-64",              "http://redhat.com/rhel/9.0"},
    {Family::Unix,    "redhatenterpriselinux9", "rhel9-64",              "http://redhat.com/rhel/9.0"},
    {Family::Unix,    "rhel8",                  "rhel8-64",              "http://redhat.com/rhel/8.0"},
    {Family::Unix,    "redhatenterpriselinux8", "rhel8-64",              "http://redhat.com/rhel/8.0"},
    {Family::Unix,    "rhel7",                  "rhel7-64",              "http://redhat.com/rhel/7.0"},
    {Family::Unix,    "redhatenterpriselinux7", "rhel7-64",              "http://redhat.com/rhel/7.0"},
    {Family::Unix,    "oraclelinux8",           "oraclelinux8-64",       nullptr},
    {Family::Unix,    "oraclelinux7",           "oraclelinux7-64",       nullptr},
    {Family::Unix,    "ubuntu",                 "ubuntu-64",             nullptr},
    {Family::Unix,    "centos",                 "centos-64",             nullptr},
    {Family::Unix,    "debian",                 "debian10-64",           nullptr},
    {Family::Windows, "",                       "windows9srv-64",        nullptr},
    {Family::Unix,    "",                       "otherlinux-64",         nullptr},
    {Family::Any,     "",                       "other",                 nullptr},
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

bool IsVmwareGuestId(const std::string& text) {
  if (text.empty() || !std::islower(static_cast<unsigned char>(text[0])))
    return false;
  for (char c : text)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_')
      return false;
  return true;
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
