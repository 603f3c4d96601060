//===- VMXFileVMInfo.cpp - VM descriptions from VMware configuration files ===//
//
// Turns the entries of a VMware configuration file (.vmx, or the .vmtx of a
// template, which has the same form) into a VM description.  The file itself
// is parsed by VMXFile (VMXFile.cpp), which undoes the |XX escapes; this file
// reads only its public entries.
//
// Format facts and quirks handled here:
//   * ".encoding" names the character set of the values ("UTF-8",
//     "windows-1252", "Shift_JIS", ...); values are converted to UTF-8, the
//     description's encoding, when they are read.  Files without it come from older hosts that
//     wrote their local code page: they are read as UTF-8 when they are valid
//     UTF-8, else as windows-1252.  A byte that is not valid in the encoding
//     becomes U+FFFD; an encoding the system does not know fails the read;
//   * keys compare without regard to case ("memSize", "memsize", "MEMSIZE");
//     when a key occurs twice the later line wins, as in VMware;
//   * values compare without regard to case where VMware does ("TRUE",
//     "true", "True"; "SCSI-HARDDISK"); texts that are names (display name,
//     file names, networks) are kept as written;
//   * a device counts only when its "present" is true: a missing or false
//     present hides it, and so does a SCSI, SATA or NVMe controller whose
//     present is false (IDE controllers have no present key of their own).
//     A controller with no present key at all that disks name is taken
//     with VMware's default model (LSI Logic for SCSI), never left out;
//   * a device's unit must be one its controller model has (PVSCSI 0..63
//     but 7, LSI Logic, LSI SAS and BusLogic 0..15 but 7, SATA 0..29, NVMe
//     0..14, IDE 0..1: model/Limits.h); another is refused naming its key;
//   * the keys of one device are spread over the file in any order; disks are
//     listed in controller and unit order (IDE, SCSI, SATA, NVMe; each by bus,
//     then unit), whatever the line order;
//   * CD-ROM drives with no medium carry the file name "emptyBackingString";
//     that is read as no file.  Host drives ("cdrom-raw") keep their device
//     name ("auto detect", "/dev/cdrom");
//   * MAC addresses: addressType "static" uses "address", "generated" and
//     "vpx" use "generatedAddress";
//   * without "firmware" a machine boots from BIOS;
//   * a file with none of config.version, virtualHW.version, displayName and
//     guestOS is not a VM configuration (a disk descriptor, say) and is
//     refused rather than read as an empty machine;
//   * identifiers are written as 16 hex bytes in two groups
//     ("42 1e b4 58 54 48 fc 12-20 74 83 d5 e4 19 e1 38"); they are given in
//     the canonical form vSphere reports
//     ("421eb458-5448-fc12-2074-83d5e419e138").
//
// Key -> description member:
//   displayName                   strVMName
//   vc.uuid, else uuid.bios       strGUID.  vc.uuid is vCenter's instance
//                                 identifier, the one vSphere names the VM
//                                 by; a machine never managed by vCenter has
//                                 only the BIOS identifier
//   guestOS                       strGuestOS (as written); guestOSInfo.OSType,
//                                 GuestOSName and CPUArch from the identifier's
//                                 family (kGuestFamilies) and its "-64" suffix
//   memsize                       i64MemoryMB (1 .. kMaxMemoryMB)
//   numvcpus                      i64NumCPUs (1 .. kMaxCpus; 1 when absent)
//   firmware                      strBootFirmware: "efi" -> "EFI",
//                                 "bios" or absent -> "BIOS"
//   uefi.secureBoot.enabled       secure boot of an EFI machine
//                                 (SecureBoot.h); absent: off, VMware's
//                                 default
//   ideN:M, scsiN:M, sataN:M, nvmeN:M (present)
//                                 vDisks: fileName the file name as written,
//                                 strConfigDiskName and strDisplayName its last
//                                 component (empty for a host CD drive, which
//                                 names a device), strControllerType "ide",
//                                 "scsi", "sata" or "nvme", nBus N, nSlot M,
//                                 nDeviceType 2 for a deviceType containing
//                                 "cdrom", 1 for a hard disk (deviceType
//                                 absent or containing "disk"), eDiskType 18
//                                 for a .vmdk file.  Other device types (tape,
//                                 SCSI pass-through) and hard disks without a
//                                 file are not disks and are passed over
//   scsiN, sataN, nvmeN (present, or undeclared with disks on it), and
//   IDE buses in use
//                                 vDiskControllers: strName the kind,
//                                 nBusNumber N, strControllerType virtualDev
//                                 in lower case ("lsilogic", "pvscsi"; SATA
//                                 without one is "ahci"; an undeclared one
//                                 VMware's default), bShared for a
//                                 sharedBus other than "none"
//   ethernetN (present)           vNetworkCards in N order: strName
//                                 "ethernetN", strAdapterType virtualDev,
//                                 strNetworkName networkName (else the
//                                 distributed port group, the NSX network, the
//                                 vnet of a "custom" connection, or the
//                                 connectionType "bridged"/"nat"/"hostonly"),
//                                 strNetworkId the port group or NSX id,
//                                 strMacAddress in lower case, bConnected
//                                 startConnected (true when absent)
//
//===----------------------------------------------------------------------===//
#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string_view>
#include <tuple>
#include <unordered_map>

#include "platform/support/EvDebug.h"
#include "platform/support/ExceptionText.h"
#include "platform/support/FXPath.h"
#include "platform/support/FXString.h"
#include "formats/common/FormatText.h"
#include "formats/common/SecureBoot.h"
#include "formats/vmx/VMXFile.h"
#include "model/Limits.h"

using namespace VMInfoStructs;

namespace {

constexpr const char kInfoFunction[] =
    "bool VMXFile::GetVMInfo(VMInfoStructs::SVMInfo&)";
constexpr const char kDumpFunction[] = "void VMXFile::Dump() const";

// VMware allows far less; a larger value is a broken file.
constexpr int64_t kMaxMemoryMB = int64_t{64} * 1024 * 1024;  // 64 TiB
constexpr int64_t kMaxCpus = 4096;
// Bus and unit numbers are small; longer digit runs are not device keys.
constexpr size_t kMaxIndexDigits = 4;
// VMware gives a VM at most some 250 disks on 16 controllers and 10 network
// cards; a file listing far more is broken or hostile, and each device
// costs a description record.
constexpr size_t kMaxDevices = 1024;
constexpr size_t kMaxControllers = 64;
constexpr size_t kMaxNetworkCards = 100;

// A value as shown in an error line: long values are cut, so one bad value
// cannot flood the log.
std::string Shown(const std::string& value) {
  constexpr size_t kShownChars = 40;
  return value.size() <= kShownChars ? value
                                     : value.substr(0, kShownChars) + "...";
}

bool EndsWithNoCase(const std::string& text, const char* suffix) {
  size_t length = std::strlen(suffix);
  return text.size() >= length &&
         FXString::ToLower(text.substr(text.size() - length)) == suffix;
}

//===----------------------------------------------------------------------===//
// Character sets.  UTF-8 and windows-1252, nearly every file, are converted
// here in one pass; iconv, which stops at every byte it cannot convert,
// takes the others.
//===----------------------------------------------------------------------===//

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// The length of the valid UTF-8 sequence at text[pos], or 0.
size_t Utf8SequenceAt(std::string_view text, size_t pos) {
  auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(pos);
  if (lead < 0x80) return 1;
  size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || pos + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i)
    if ((byte(pos + i) & 0xC0) != 0x80) return 0;
  unsigned char second = byte(pos + 1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
      (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
    return 0;  // overlong, surrogate or beyond U+10FFFF
  return length;
}

bool IsValidUtf8(std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    size_t length = Utf8SequenceAt(text, pos);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

void AppendCodePoint(uint32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | code >> 6);
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// windows-1252 bytes 0x80..0x9F; 0 for the five it leaves undefined.
// clang-format off
constexpr uint16_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
// clang-format on

std::string Utf8Repaired(std::string_view text, size_t& replaced) {
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    size_t length = Utf8SequenceAt(text, pos);
    if (length == 0) {
      out += kReplacement;
      ++replaced;
      ++pos;
      continue;
    }
    out.append(text.data() + pos, length);
    pos += length;
  }
  return out;
}

std::string FromWindows1252(std::string_view text, size_t& replaced) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    uint32_t code = byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80]
                                                : byte;
    if (code == 0 && byte != 0) {
      out += kReplacement;
      ++replaced;
    } else {
      AppendCodePoint(code, out);
    }
  }
  return out;
}

// Converts texts of any other character set to UTF-8 with iconv.
class IconvToUtf8 {
 public:
  explicit IconvToUtf8(const std::string& encoding)
      : cd_(::iconv_open("UTF-8", encoding.c_str())) {}
  ~IconvToUtf8() {
    if (valid()) ::iconv_close(cd_);
  }
  IconvToUtf8(const IconvToUtf8&) = delete;
  IconvToUtf8& operator=(const IconvToUtf8&) = delete;
  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Bytes that are not valid in the encoding become U+FFFD; replaced counts
  // them.
  std::string Convert(std::string_view text, size_t& replaced) {
    std::string out;
    char buffer[4096];
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    while (inLeft > 0) {
      char* put = buffer;
      size_t outLeft = sizeof buffer;
      size_t result = ::iconv(cd_, &in, &inLeft, &put, &outLeft);
      out.append(buffer, static_cast<size_t>(put - buffer));
      if (result != static_cast<size_t>(-1) || errno == E2BIG) continue;
      out += kReplacement;  // EILSEQ, EINVAL: skip one byte
      ++in;
      --inLeft;
      ++replaced;
      ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t cd_;
};

enum class Charset { Utf8, Windows1252, Other };

struct CharsetName {
  const char* name;  // lower case
  Charset charset;
};
// clang-format off
constexpr CharsetName kCharsetNames[] = {
    {"utf-8", Charset::Utf8},           {"utf8", Charset::Utf8},
    {"windows-1252", Charset::Windows1252}, {"cp1252", Charset::Windows1252},
};
// clang-format on

// The values of a file by lower-case key, in UTF-8.  The file's own index
// finds them; a value is converted when it is first asked for, so reading a
// description takes no copy of the file.
class Keys {
 public:
  explicit Keys(const VMXFile& file) : file_(file) {}

  // Chooses the character set of the values; false for one the system
  // cannot convert.
  bool Decode(std::string& error) {
    std::string encoding = FXString::Trim(file_.GetValue(".encoding"));
    if (encoding.empty()) {
      charset_ = Charset::Utf8;
      for (size_t i = 0; i < file_.EntryCount(); ++i) {
        if (!IsValidUtf8(file_.ValueAt(i))) {
          charset_ = Charset::Windows1252;
          break;
        }
      }
      encoding_ = charset_ == Charset::Utf8 ? "UTF-8" : "WINDOWS-1252";
      return true;
    }
    encoding_ = encoding;
    charset_ = Charset::Other;
    for (const CharsetName& row : kCharsetNames)
      if (FXString::ToLower(encoding) == row.name) charset_ = row.charset;
    if (charset_ != Charset::Other) return true;
    iconv_ = std::make_unique<IconvToUtf8>(encoding);
    if (iconv_->valid()) return true;
    error = "key .encoding: \"" + Shown(encoding) +
            "\" is not a known character set";
    return false;
  }

  ~Keys() {
    if (replaced_ > 0) {
      EvDebug().Debug(kInfoFunction,
                      "%zu bytes are not valid %s text; they read as U+FFFD",
                      replaced_, encoding_.c_str());
    }
  }
  Keys(const Keys&) = delete;
  Keys& operator=(const Keys&) = delete;

  // Whether the file has the key, before Decode.
  bool Has(const std::string& key) const { return file_.HasKey(key); }
  const std::string* Find(const std::string& key) const {
    auto cached = decoded_.find(key);
    if (cached != decoded_.end()) return &cached->second;
    if (!file_.HasKey(key)) return nullptr;
    return &decoded_.emplace(key, Convert(file_.GetValue(key))).first->second;
  }
  std::string Get(const std::string& key) const {
    const std::string* value = Find(key);
    return value ? *value : std::string();
  }
  // Calls visit with every key in lower case.
  template <typename Visit>
  void ForEachKey(Visit visit) const {
    std::string key;
    for (size_t i = 0; i < file_.EntryCount(); ++i) {
      key.assign(file_.KeyAt(i));
      for (char& c : key)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      visit(key);
    }
  }

 private:
  std::string Convert(const std::string& value) const {
    switch (charset_) {
      case Charset::Utf8:
        return Utf8Repaired(value, replaced_);
      case Charset::Windows1252:
        return FromWindows1252(value, replaced_);
      case Charset::Other:
        break;
    }
    return iconv_->Convert(value, replaced_);
  }

  const VMXFile& file_;
  Charset charset_ = Charset::Utf8;
  std::string encoding_;
  std::unique_ptr<IconvToUtf8> iconv_;
  mutable size_t replaced_ = 0;
  mutable std::unordered_map<std::string, std::string> decoded_;
};

//===----------------------------------------------------------------------===//
// Typed values.  Each returns false with error naming the key.
//===----------------------------------------------------------------------===//

struct BoolWord {
  const char* word;
  bool value;
};
// clang-format off
constexpr BoolWord kBoolWords[] = {
    {"true", true}, {"false", false}, {"yes", true}, {"no", false},
    {"1", true},    {"0", false},     {"on", true},  {"off", false}};

// A flag; fallback when the key is absent.
bool GetBool(const Keys& keys, const std::string& key, bool fallback,
             bool& value, std::string& error) {
  const std::string* text = keys.Find(key);
  if (!text) {
    value = fallback;
    return true;
  }
  std::string word = FXString::ToLower(FXString::Trim(*text));
  for (const BoolWord& row : kBoolWords) {
    if (word == row.word) {
      value = row.value;
      return true;
    }
  }
  error = "key " + key + ": \"" + Shown(*text) + "\" is not TRUE or FALSE";
  return false;
}

bool GetCount(const Keys& keys, const char* key, int64_t low, int64_t high,
              int64_t& value, bool& present, std::string& error) {
  const std::string* text = keys.Find(key);
  present = text != nullptr;
  if (!text) return true;
  std::string digits = FXString::Trim(*text);
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
      })) {
    error = std::string("key ") + key + ": \"" + Shown(*text) +
            "\" is not a whole number";
    return false;
  }
  // More than 18 digits is beyond any limit and beyond int64_t.
  int64_t parsed = digits.size() > 18 ? INT64_MAX : std::stoll(digits);
  if (parsed < low || parsed > high) {
    error = std::string("key ") + key + ": " + Shown(digits) +
            " is out of range (" + std::to_string(low) + ".." +
            std::to_string(high) + ")";
    return false;
  }
  value = parsed;
  return true;
}

// Reads a small decimal number at pos; false when there is none or it is
// too long to be a bus or unit.
bool ReadIndex(const std::string& text, size_t& pos, int& value) {
  size_t start = pos;
  value = 0;
  while (pos < text.size() &&
         std::isdigit(static_cast<unsigned char>(text[pos]))) {
    if (pos - start >= kMaxIndexDigits) return false;
    value = value * 10 + (text[pos] - '0');
    ++pos;
  }
  return pos > start;
}

//===----------------------------------------------------------------------===//
// Identity.
//===----------------------------------------------------------------------===//

// "42 1e b4 58 54 48 fc 12-20 74 83 d5 e4 19 e1 38" ->
// "421eb458-5448-fc12-2074-83d5e419e138"; other forms are kept as written.
std::string CanonicalUuid(const std::string& text) {
  std::string hex;
  for (char c : text) {
    if (c == ' ' || c == '-') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return FXString::Trim(text);
    hex += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (hex.size() != 32) return FXString::Trim(text);
  return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) +
         "-" + hex.substr(16, 4) + "-" + hex.substr(20);
}

struct GuestFamily {
  const char* prefix;  // of the lower-case guest identifier
  const char* osType;
  const char* guestOSName;
};
// clang-format on
// VMware guest identifiers by family; the first matching prefix wins, and an
// identifier containing "linux" is a Linux guest.
// clang-format off
constexpr GuestFamily kGuestFamilies[] = {
    {"win", "Windows", "Windows"},    {"darwin", "Unix", "Apple macOS"},
    {"solaris", "Unix", "Solaris"},   {"freebsd", "Unix", "FreeBSD"},
    {"netware", "Unix", "Netware"},   {"rhel", "Unix", "Linux"},
    {"centos", "Unix", "Linux"},      {"ubuntu", "Unix", "Linux"},
    {"debian", "Unix", "Linux"},      {"sles", "Unix", "Linux"},
    {"suse", "Unix", "Linux"},        {"opensuse", "Unix", "Linux"},
    {"fedora", "Unix", "Linux"},      {"oracle", "Unix", "Linux"},
    {"redhat", "Unix", "Linux"},      {"mandrake", "Unix", "Linux"},
    {"mandriva", "Unix", "Linux"},    {"asianux", "Unix", "Linux"},
    {"turbolinux", "Unix", "Linux"},  {"nld", "Unix", "Linux"},
    {"coreos", "Unix", "Linux"},      {"vmware-photon", "Unix", "Linux"},
    {"amazonlinux", "Unix", "Linux"}, {"almalinux", "Unix", "Linux"},
    {"rockylinux", "Unix", "Linux"},  {"arm-", "Unix", "Linux"},
};
// clang-format on

void ReadGuestOS(const std::string& guestOS, SVMInfo& info) {
  info.strGuestOS = guestOS;
  std::string id = FXString::ToLower(FXString::Trim(guestOS));
  const GuestFamily* family = nullptr;
  for (const GuestFamily& row : kGuestFamilies) {
    if (id.compare(0, std::strlen(row.prefix), row.prefix) == 0) {
      family = &row;
      break;
    }
  }
  static constexpr GuestFamily kLinux = {"", "Unix", "Linux"};
  if (!family && id.find("linux") != std::string::npos) family = &kLinux;
  if (!family) return;  // "other", "other-64": VMware does not know either
  info.guestOSInfo.OSType = family->osType;
  info.guestOSInfo.GuestOSName = family->guestOSName;
  if (id.compare(0, 4, "arm-") == 0)
    info.guestOSInfo.CPUArch = "arm64";
  else
    info.guestOSInfo.CPUArch = EndsWithNoCase(id, "64") ? "x64" : "x86";
}

bool ReadMachine(const Keys& keys, SVMInfo& info, std::string& error) {
  if (const std::string* name = keys.Find("displayname"))
    info.strVMName = *name;
  const std::string* uuid = keys.Find("vc.uuid");
  if (!uuid || FXString::Trim(*uuid).empty()) uuid = keys.Find("uuid.bios");
  if (uuid) info.strGUID = CanonicalUuid(*uuid);
  if (const std::string* guestOS = keys.Find("guestos"))
    ReadGuestOS(*guestOS, info);

  bool present = false;
  int64_t value = 0;
  if (!GetCount(keys, "memsize", 1, kMaxMemoryMB, value, present, error))
    return false;
  if (present) info.i64MemoryMB = value;
  if (!GetCount(keys, "numvcpus", 1, kMaxCpus, value, present, error))
    return false;
  info.i64NumCPUs = present ? value : 1;

  std::string firmware = FXString::ToLower(FXString::Trim(keys.Get("firmware")));
  if (firmware.empty() || firmware == "bios")
    info.strBootFirmware = "BIOS";
  else if (firmware == "efi")
    info.strBootFirmware = "EFI";
  else
    info.strBootFirmware = keys.Get("firmware");
  bool secure = false;
  if (!GetBool(keys, "uefi.secureboot.enabled", false, secure, error))
    return false;
  if (firmware == "efi") SetSecureBoot(info, secure);
  return true;
}

//===----------------------------------------------------------------------===//
// Disks and controllers.
//===----------------------------------------------------------------------===//

struct BusKind {
  const char* prefix;  // of keys, and the controller kind
  bool hasPresentKey;  // the controller itself must be present
  const char* defaultModel;
};
// In the order disks are listed.
// clang-format off
constexpr BusKind kBusKinds[] = {
    {"ide", false, ""},
    {"scsi", true, ""},
    {"sata", true, "ahci"},
    {"nvme", true, ""},
};
// clang-format on

// A device key "scsi0:1.fileName" (lower case) split into its parts.
struct DeviceKey {
  int kind = 0;  // index in kBusKinds
  int bus = 0;
  int unit = 0;
  bool operator<(const DeviceKey& o) const {
    return std::tie(kind, bus, unit) < std::tie(o.kind, o.bus, o.unit);
  }
  std::string Prefix() const {
    return std::string(kBusKinds[kind].prefix) + std::to_string(bus) + ":" +
           std::to_string(unit) + ".";
  }
};

// "<kind><bus>:<unit>.<member>" or, with unit -1, "<kind><bus>.<member>".
bool ParseBusKey(const std::string& key, DeviceKey& device, bool& hasUnit,
                 std::string& member) {
  for (int kind = 0; kind < static_cast<int>(std::size(kBusKinds)); ++kind) {
    const char* prefix = kBusKinds[kind].prefix;
    size_t pos = std::strlen(prefix);
    if (key.compare(0, pos, prefix) != 0) continue;
    device.kind = kind;
    if (!ReadIndex(key, pos, device.bus)) return false;
    hasUnit = pos < key.size() && key[pos] == ':';
    if (hasUnit && !ReadIndex(key, ++pos, device.unit)) return false;
    if (pos >= key.size() || key[pos] != '.') return false;
    member = key.substr(pos + 1);
    return true;
  }
  return false;
}

// A SCSI, SATA or NVMe controller is declared by its own present key.  One
// that is not declared at all, while disks name it, is taken with the model
// VMware gives a controller that names none (its virtualDev when the file
// gives one): its disks are the VM's, and leaving them out would lose them
// without a word.  One declared not present hides its disks, as in VMware.
enum class Declared { kPresent, kNotPresent, kUndeclared };

bool ControllerState(const Keys& keys, const DeviceKey& device, Declared& state,
                     std::string& error) {
  const BusKind& kind = kBusKinds[device.kind];
  std::string key = kind.prefix + std::to_string(device.bus) + ".present";
  state = Declared::kPresent;
  if (!keys.Has(key)) {
    state = kind.hasPresentKey ? Declared::kUndeclared : Declared::kPresent;
    return true;
  }
  bool present = false;
  if (!GetBool(keys, key, false, present, error)) return false;
  if (!present) state = Declared::kNotPresent;
  return true;
}

std::string ControllerName(const DeviceKey& device) {
  return kBusKinds[device.kind].prefix + std::to_string(device.bus);
}

// The controller's virtualDev in lower case; "" when it names none.
std::string VirtualDev(const Keys& keys, const DeviceKey& device) {
  return FXString::ToLower(
      FXString::Trim(keys.Get(ControllerName(device) + ".virtualdev")));
}

// The model whose addresses a device's controller has: its virtualDev,
// else VMware's default for the kind.
std::string ModelOfController(const Keys& keys, const DeviceKey& device) {
  std::string model = VirtualDev(keys, device);
  if (!model.empty()) return model;
  return zylimits::VMwareDefaultModel(kBusKinds[device.kind].prefix);
}

// A device must sit at an address its controller model has: PVSCSI units
// 0..63 but 7, LSI Logic and BusLogic 0..15 but 7, SATA 0..29, NVMe 0..14.
bool CheckAddress(const Keys& keys, const DeviceKey& device,
                  std::string& error) {
  const char* kind = kBusKinds[device.kind].prefix;
  std::string model = ModelOfController(keys, device);
  const zylimits::ControllerLimit* limit =
      zylimits::FindControllerLimit(kind, model, VS_VMWARE);
  if (!limit) return true;
  std::string prefix = device.Prefix();
  std::string key =
      prefix + (keys.Has(prefix + "filename") ? "fileName" : "present");
  std::string what = model.empty() ? kind : model;
  if (device.bus > limit->lastBus) {
    error = key + ": controller " + std::to_string(device.bus) +
            " is out of [0.." + std::to_string(limit->lastBus) + "] for " +
            what;
    return false;
  }
  if (zylimits::IsValidSlot(*limit, device.unit)) return true;
  error = key + ": unit " + std::to_string(device.unit) + " is out of " +
          zylimits::SlotRange(*limit) + " for " + what;
  return false;
}

// Reads one present device; false for devices that are not disks or
// CD-ROMs.
bool ReadDevice(const Keys& keys, const DeviceKey& device, SDisk& disk) {
  std::string prefix = device.Prefix();
  std::string type = FXString::ToLower(FXString::Trim(keys.Get(prefix + "devicetype")));
  std::string file = keys.Get(prefix + "filename");
  if (type.find("cdrom") != std::string::npos) {
    disk.nDeviceType = VMInfoStructs::kDeviceTypeCdrom;
    if (FXString::ToLower(file) == "emptybackingstring") file.clear();
  } else if (type.empty() || type.find("disk") != std::string::npos) {
    disk.nDeviceType = VMInfoStructs::kDeviceTypeHardDisk;
    if (FXString::Trim(file).empty()) {
      EvDebug().Debug(kInfoFunction, "Disk [%s] has no file; it is passed over",
                      prefix.substr(0, prefix.size() - 1).c_str());
      return false;
    }
    if (EndsWithNoCase(file, ".vmdk")) disk.eDiskType = DT_VMDK;
  } else {
    return false;  // tape, SCSI pass-through, ...
  }
  disk.fileName = file;
  // A host drive ("cdrom-raw", "atapi-cdrom") names a device, not a file of
  // the VM.
  bool image = disk.nDeviceType == VMInfoStructs::kDeviceTypeHardDisk ||
               type == "cdrom-image";
  disk.strConfigDiskName = image ? CQiPath::GetBaseName(file) : std::string();
  disk.strDisplayName = disk.strConfigDiskName;
  disk.strControllerType = kBusKinds[device.kind].prefix;
  disk.nBus = device.bus;
  disk.nSlot = device.unit;
  return true;
}

bool ReadDisks(const Keys& keys, SVMInfo& info, std::string& error) {
  std::set<DeviceKey> devices;
  keys.ForEachKey([&devices](const std::string& key) {
    DeviceKey device;
    bool hasUnit = false;
    std::string member;
    if (devices.size() <= kMaxDevices &&
        ParseBusKey(key, device, hasUnit, member) && hasUnit &&
        member == "present")
      devices.insert(device);
  });
  if (devices.size() > kMaxDevices) {
    error = "more than " + std::to_string(kMaxDevices) +
            " disk and CD-ROM devices";
    return false;
  }
  std::vector<SDisk> disks;
  for (const DeviceKey& device :
       devices) {  // std::set: controller and unit order
    bool present = false;
    Declared controller = Declared::kPresent;
    if (!GetBool(keys, device.Prefix() + "present", false, present, error) ||
        !ControllerState(keys, device, controller, error))
      return false;
    if (!present) continue;
    std::string name = device.Prefix();
    name.pop_back();
    if (controller == Declared::kNotPresent) {
      EvDebug().Debug(kInfoFunction,
                      "Device [%s] is on controller [%s], which is not "
                      "present; it is passed over",
                      name.c_str(), ControllerName(device).c_str());
      continue;
    }
    SDisk disk;
    if (!ReadDevice(keys, device, disk)) continue;
    if (!CheckAddress(keys, device, error)) return false;
    disks.push_back(disk);
  }
  info.vDisks = disks;
  return true;
}

bool ReadControllers(const Keys& keys, SVMInfo& info, std::string& error) {
  std::set<DeviceKey> buses;  // unit 0 throughout
  keys.ForEachKey([&buses](const std::string& key) {
    DeviceKey device;
    bool hasUnit = false;
    std::string member;
    if (buses.size() > kMaxControllers ||
        !ParseBusKey(key, device, hasUnit, member) || member != "present")
      return;
    device.unit = 0;
    if (!hasUnit && kBusKinds[device.kind].hasPresentKey) buses.insert(device);
  });
  if (buses.size() > kMaxControllers) {
    error = "more than " + std::to_string(kMaxControllers) +
            " disk controllers";
    return false;
  }
  // IDE buses in use, and controllers disks name without declaring them.
  for (const SDisk& disk : info.vDisks)
    for (int kind = 0; kind < static_cast<int>(std::size(kBusKinds)); ++kind)
      if (disk.strControllerType == kBusKinds[kind].prefix)
        buses.insert(DeviceKey{kind, disk.nBus, 0});
  std::vector<SVMDiskController> controllers;
  for (const DeviceKey& bus : buses) {
    Declared state = Declared::kPresent;
    if (!ControllerState(keys, bus, state, error)) return false;
    if (state == Declared::kNotPresent) continue;
    const BusKind& kind = kBusKinds[bus.kind];
    std::string prefix = ControllerName(bus) + ".";
    SVMDiskController controller;
    controller.strName = kind.prefix;
    controller.nBusNumber = bus.bus;
    controller.strControllerType = VirtualDev(keys, bus);
    if (state == Declared::kUndeclared) {
      controller.strControllerType = ModelOfController(keys, bus);
      EvDebug().Debug(kInfoFunction,
                      "Controller [%s] is not declared (no %s.present); its "
                      "disks are taken on a [%s] controller",
                      ControllerName(bus).c_str(), ControllerName(bus).c_str(),
                      controller.strControllerType.c_str());
    }
    if (controller.strControllerType.empty())
      controller.strControllerType = kind.defaultModel;
    std::string sharing = FXString::ToLower(FXString::Trim(keys.Get(prefix + "sharedbus")));
    controller.bShared = !sharing.empty() && sharing != "none";
    controllers.push_back(controller);
  }
  info.vDiskControllers = controllers;
  return true;
}

//===----------------------------------------------------------------------===//
// Network cards.
//===----------------------------------------------------------------------===//

std::string NetworkOf(const Keys& keys, const std::string& prefix,
                      std::string& networkId) {
  networkId = keys.Get(prefix + "dvs.portgroupid");
  if (networkId.empty()) networkId = keys.Get(prefix + "opaquenetwork.id");
  std::string name = keys.Get(prefix + "networkname");
  if (!name.empty()) return name;
  if (!networkId.empty()) return networkId;
  std::string connection = FXString::ToLower(FXString::Trim(keys.Get(prefix + "connectiontype")));
  if (connection == "custom") return keys.Get(prefix + "vnet");
  return connection;
}

std::string MacOf(const Keys& keys, const std::string& prefix) {
  std::string type = FXString::ToLower(FXString::Trim(keys.Get(prefix + "addresstype")));
  std::string address = keys.Get(prefix + "address");
  std::string generated = keys.Get(prefix + "generatedaddress");
  std::string mac;
  if (type == "static")
    mac = address;
  else if (type == "generated" || type == "vpx")
    mac = generated;
  else
    mac = address.empty() ? generated : address;
  return FXString::ToLower(FXString::Trim(mac));
}

bool ReadNetworkCards(const Keys& keys, SVMInfo& info, std::string& error) {
  std::set<int> indexes;
  keys.ForEachKey([&indexes](const std::string& key) {
    size_t pos = 8;  // strlen("ethernet")
    int index = 0;
    if (indexes.size() > kMaxNetworkCards ||
        key.compare(0, pos, "ethernet") != 0 || !ReadIndex(key, pos, index))
      return;
    if (key.compare(pos, std::string::npos, ".present") == 0)
      indexes.insert(index);
  });
  if (indexes.size() > kMaxNetworkCards) {
    error = "more than " + std::to_string(kMaxNetworkCards) + " network cards";
    return false;
  }
  std::vector<SVMNetworkCard> cards;
  for (int index : indexes) {
    std::string prefix = "ethernet" + std::to_string(index) + ".";
    bool present = false;
    if (!GetBool(keys, prefix + "present", false, present, error)) return false;
    if (!present) continue;
    SVMNetworkCard card;
    card.strName = "ethernet" + std::to_string(index);
    card.strAdapterType = FXString::ToLower(FXString::Trim(keys.Get(prefix + "virtualdev")));
    card.strNetworkName = NetworkOf(keys, prefix, card.strNetworkId);
    card.strMacAddress = MacOf(keys, prefix);
    if (!GetBool(keys, prefix + "startconnected", true, card.bConnected, error))
      return false;
    cards.push_back(card);
  }
  info.vNetworkCards = cards;
  return true;
}

// Keys of which every VM configuration has some; a disk descriptor or
// another key = "value" file has none, and must not read as an empty VM.
constexpr const char* kMachineKeys[] = {"config.version", "virtualhw.version",
                                        "displayname", "guestos"};

bool FillVMInfo(const VMXFile& file, SVMInfo& info, std::string& error) {
  Keys keys(file);
  if (std::none_of(
          std::begin(kMachineKeys), std::end(kMachineKeys),
          [&keys](const char* key) { return keys.Has(key); })) {
    error =
        "not a VM configuration: it has neither config.version, "
        "virtualHW.version, "
        "displayName nor guestOS";
    return false;
  }
  if (!keys.Decode(error)) return false;
  SVMInfo read;
  CopyVMInfoWhole(info, read);
  if (!ReadMachine(keys, read, error) || !ReadDisks(keys, read, error) ||
      !ReadControllers(keys, read, error) ||
      !ReadNetworkCards(keys, read, error))
    return false;
  CopyVMInfoWhole(read, info);
  return true;
}

}  // namespace

bool VMXFile::GetVMInfo(SVMInfo& info) {
  std::string error;
  if (EntryCount() == 0) {
    EvDebug().Error(kInfoFunction, "No VMware configuration is loaded");
    return false;
  }
  try {
    if (FillVMInfo(*this, info, error)) return true;
  } catch (...) {
    error = CurrentExceptionText() + " while reading the configuration";
  }
  EvDebug().Error(kInfoFunction, "Invalid VMware configuration: %s",
                  error.c_str());
  return false;
}

bool ParseVmxConfig(const std::string& text, const std::string& origin,
                    SVMInfo& info, std::string& error) {
  VMXFile file;
  if (!file.LoadText(text, origin)) {
    error = "[" + origin + "] is too large for a configuration file";
    return false;
  }
  try {
    return FillVMInfo(file, info, error);
  } catch (...) {
    error = CurrentExceptionText() + " while reading the configuration";
  }
  return false;
}

void VMXFile::Dump() const {
  EvDebug log;
  for (size_t i = 0; i < EntryCount(); ++i)
    log.Debug(kDumpFunction, "%s = \"%s\"", std::string(KeyAt(i)).c_str(),
              std::string(ValueAt(i)).c_str());
}

bool ReadVmxFile(const std::string& path, SVMInfo& info) {
  VMXFile file;
  const bool unused = false;
  return file.LoadFile(path, unused) && file.GetVMInfo(info);
}
