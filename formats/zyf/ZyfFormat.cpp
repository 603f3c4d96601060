//===- ZyfFormat.cpp - The generalised VM description "VMConfig.zyf" ------===//
//
// The generalised description is our own format: a JSON object
//
//   { "format": "ZyVMConfig", "version": 1, "vm": { <SVMInfo> } }
//
// where <SVMInfo> is the description as RecordJsonCodec.h writes it: one
// key per member of each record, named as the member.  vDiskControllers is
// written and read like every other member, although the record's own copy
// leaves it out.
//
// Facts and quirks handled:
//   * keys are written in declaration order, so a description reads like the
//     record it came from;
//   * the codec's rules hold: a member left out keeps its value, an unknown
//     key, a null or a value of the wrong type fails the read and names the
//     member ("vm.vDisks[1].nBus"), lists have caps;
//   * the version is checked: files of a newer version are refused rather
//     than read half-understood;
//   * JSON texts are UTF-8.  A member text that is not valid UTF-8 is written
//     with U+FFFD in place of each bad byte, because JSON cannot carry it;
//   * a text nesting deeper than a snapshot tree can, or with an array or
//     object longer than the longest list may be, is refused before it is
//     parsed (CheckJsonShape); a written text larger than the readers take
//     (kMaxInputFileBytes) is refused by the writer: what is written reads
//     back.
//
//===----------------------------------------------------------------------===//
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <type_traits>
#include <vector>

#include "formats/zyf/RecordJsonCodec.h"
#include "formats/common/FormatText.h"
#include "platform/support/BoundedFile.h"
#include "platform/support/ExceptionText.h"

using namespace VMInfoStructs;

namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

constexpr const char kFormatName[] = "ZyVMConfig";
constexpr int64_t kFormatVersion = 1;
// nlohmann's messages start with "[json.exception.parse_error.101] "; the
// rest already names the line and column.
std::string ParseErrorText(const char* what) {
  std::string text = what;
  size_t end = text.find("] ");
  if (!text.empty() && text[0] == '[' && end != std::string::npos)
    text.erase(0, end + 2);
  return text;
}

bool CheckHeader(const Json& root, std::string& error) {
  if (!root.is_object()) {
    error = "the description is not a JSON object";
    return false;
  }
  for (auto it = root.begin(); it != root.end(); ++it) {
    if (it.key() != "format" && it.key() != "version" && it.key() != "vm") {
      error = it.key() + " is not a member";
      return false;
    }
  }
  auto format = root.find("format");
  if (format == root.end() || !format->is_string() ||
      format->get_ref<const std::string&>() != kFormatName) {
    error = std::string("\"format\" is not \"") + kFormatName + "\"";
    return false;
  }
  auto version = root.find("version");
  if (version == root.end() || !version->is_number_integer()) {
    error = "\"version\" is missing or not an integer";
    return false;
  }
  if (version->is_number_unsigned()
          ? version->get<uint64_t>() != kFormatVersion
          : version->get<int64_t>() != kFormatVersion) {
    error = "version " + version->dump() +
            " is not supported (this reader knows version " +
            std::to_string(kFormatVersion) + ")";
    return false;
  }
  auto vm = root.find("vm");
  if (vm == root.end() || !vm->is_object()) {
    error = "\"vm\" is missing or not an object";
    return false;
  }
  return true;
}

}  // namespace

void CopyVMInfoWhole(const SVMInfo& from, SVMInfo& to) {
  to = from;
  to.vDiskControllers = from.vDiskControllers;
}

std::string WriteZyf(const SVMInfo& info, std::string& error) {
  try {
    OrderedJson vm;
    if (!ZyRecordJson::WriteRecord(info, "vm", vm, error)) return std::string();
    OrderedJson root = OrderedJson::object();
    root["format"] = kFormatName;
    root["version"] = kFormatVersion;
    root["vm"] = std::move(vm);
    // replace: JSON cannot carry bytes that are not UTF-8 (see the header).
    std::string text =
        root.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
    if (text.size() <= kMaxInputFileBytes) return text;
    error = "the description would take " + std::to_string(text.size()) +
            " bytes, more than the " + std::to_string(kMaxInputFileBytes) +
            " a description may have";
  } catch (...) {
    error = CurrentExceptionText();
  }
  return std::string();
}

std::string WriteZyf(const SVMInfo& info) {
  std::string error;
  return WriteZyf(info, error);
}

bool ParseZyf(const std::string& text, SVMInfo& info, std::string& error) {
  error.clear();
  if (!ZyRecordJson::CheckJsonShape(text, error)) return false;
  try {
    Json root = Json::parse(text);
    if (!CheckHeader(root, error)) return false;
    SVMInfo read;
    CopyVMInfoWhole(info, read);
    if (!ZyRecordJson::ReadRecord(root["vm"], "vm", read, error)) return false;
    CopyVMInfoWhole(read, info);
    return true;
  } catch (const Json::exception& e) {
    error = ParseErrorText(e.what());
  } catch (...) {
    error = CurrentExceptionText();
  }
  if (error.empty()) error = "unreadable description";
  return false;
}

ZyConfigTextKind DetectConfigTextKind(const std::string& text) {
  size_t i = 0;
  // A UTF-8 byte order mark is allowed before either format.
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' ||
                             text[i] == '\r' || text[i] == '\n'))
    ++i;
  if (i == text.size()) return ZyConfigTextKind::Unknown;
  if (text[i] == '{') return ZyConfigTextKind::Zyf;
  if (text[i] == '<') return ZyConfigTextKind::Ec2Xml;
  return ZyConfigTextKind::Unknown;
}
