//===- ZyfFormat.cpp - The generalised VM description "VMConfig.zyf" ------===//
//
// The generalised description is our own format: a JSON object
//
//   { "format": "ZyVMConfig", "version": 1, "vm": { <SVMInfo> } }
//
// where <SVMInfo> and every record inside it are JSON objects whose keys are
// the record's member names exactly as model/VMInfoStructs.h declares them
// ("strVMName", "vDisks", "nBus", ...).  Texts are JSON strings, integers
// JSON integers, flags JSON booleans, vectors JSON arrays of objects, the
// properties of an SVMFile an object of strings.  vDiskControllers is written
// and read like every other member, although the record's own copy leaves it
// out.
//
// Facts and quirks handled:
//   * keys are written in declaration order, so a description reads like the
//     record it came from;
//   * a member missing from the file keeps the description's value, and a
//     missing member of a vector element keeps the record's default, so older
//     files with fewer members still read;
//   * a key we do not know is ignored (a newer writer may add members), but a
//     known key with a value of the wrong JSON type, or an integer outside its
//     member's range, fails the read and names the member
//     ("vm.vDisks[1].nBus");
//   * the version is checked: files of a newer version are refused rather
//     than read half-understood;
//   * JSON texts are UTF-8.  A member text that is not valid UTF-8 is written
//     with U+FFFD in place of each bad byte, because JSON cannot carry it;
//   * snapshot trees nest; a tree deeper than kMaxSnapshotDepth, or a text
//     nesting deeper than kMaxJsonDepth, is refused, so a hostile file cannot
//     exhaust the stack or the memory.
//
//===----------------------------------------------------------------------===//
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <type_traits>

#include "model/RecordMembers.h"
#include "platform/readers/VMConfigFormat.h"

using namespace VMInfoStructs;

namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

constexpr const char kFormatName[] = "ZyVMConfig";
constexpr int64_t kFormatVersion = 1;
// Hypervisors keep snapshot chains far shorter than this.
constexpr int kMaxSnapshotDepth = 256;
// A description nests two JSON levels per snapshot level and a few more; a
// deeper text is not a description, and would cost the parser memory in
// proportion to its depth.
constexpr size_t kMaxJsonDepth = 2 * kMaxSnapshotDepth + 64;

//===----------------------------------------------------------------------===//
// Writing.
//===----------------------------------------------------------------------===//

template <class R>
OrderedJson RecordToJson(const R& record);

class MemberWriter {
 public:
  explicit MemberWriter(OrderedJson& out) : out_(out) {}

  void operator()(const char* name, const std::string& value) {
    out_[name] = value;
  }
  void operator()(const char* name, bool value) { out_[name] = value; }
  void operator()(const char* name, int16_t value) { out_[name] = value; }
  void operator()(const char* name, int32_t value) { out_[name] = value; }
  void operator()(const char* name, int64_t value) { out_[name] = value; }
  void operator()(const char* name,
                  const std::map<std::string, std::string>& map) {
    OrderedJson object = OrderedJson::object();
    for (const auto& entry : map) object[entry.first] = entry.second;
    out_[name] = std::move(object);
  }
  template <class R>
  void operator()(const char* name, const std::vector<R>& list) {
    OrderedJson array = OrderedJson::array();
    for (const R& element : list) array.push_back(RecordToJson(element));
    out_[name] = std::move(array);
  }
  template <class R>
  void operator()(const char* name, const R& record) {
    out_[name] = RecordToJson(record);
  }

 private:
  OrderedJson& out_;
};

template <class R>
OrderedJson RecordToJson(const R& record) {
  OrderedJson object = OrderedJson::object();
  MemberWriter writer(object);
  VisitMembers(record, writer);
  return object;
}

//===----------------------------------------------------------------------===//
// Reading.
//===----------------------------------------------------------------------===//

// Reads the members of one JSON object into a record.  The first problem
// stops the reading and is kept in error.
class MemberReader {
 public:
  MemberReader(const Json& in, std::string path, std::string& error, int depth)
      : in_(in), path_(std::move(path)), error_(error), depth_(depth) {}

  void operator()(const char* name, std::string& value) {
    const Json* item = Find(name);
    if (!item) return;
    if (!item->is_string()) return Fail(name, "must be a string");
    value = item->get_ref<const std::string&>();
  }
  void operator()(const char* name, bool& value) {
    const Json* item = Find(name);
    if (!item) return;
    if (!item->is_boolean()) return Fail(name, "must be true or false");
    value = item->get<bool>();
  }
  void operator()(const char* name, int16_t& value) {
    ReadInteger(name, value);
  }
  void operator()(const char* name, int32_t& value) {
    ReadInteger(name, value);
  }
  void operator()(const char* name, int64_t& value) {
    ReadInteger(name, value);
  }
  void operator()(const char* name, std::map<std::string, std::string>& map) {
    const Json* item = Find(name);
    if (!item) return;
    if (!item->is_object()) return Fail(name, "must be an object of strings");
    std::map<std::string, std::string> read;
    for (auto it = item->begin(); it != item->end(); ++it) {
      if (!it.value().is_string())
        return Fail(name, "must be an object of strings");
      read[it.key()] = it.value().get<std::string>();
    }
    map = std::move(read);
  }
  template <class R>
  void operator()(const char* name, std::vector<R>& list) {
    const Json* item = Find(name);
    if (!item) return;
    if (!item->is_array()) return Fail(name, "must be an array of objects");
    if (std::is_same<R, SSnapshot>::value && depth_ >= kMaxSnapshotDepth) {
      // The full path would be thousands of characters; its start says enough.
      error_ = path_.substr(0, path_.find('[')) +
               " nests too deeply (more than " +
               std::to_string(kMaxSnapshotDepth) + " levels)";
      return;
    }
    std::vector<R> read;
    read.reserve(item->size());
    for (size_t i = 0; i < item->size(); ++i) {
      std::string elementPath = Path(name) + "[" + std::to_string(i) + "]";
      const Json& element = (*item)[i];
      if (!element.is_object()) {
        error_ = elementPath + " must be an object";
        return;
      }
      R record;
      MemberReader reader(element, elementPath, error_, depth_ + 1);
      VisitMembers(record, reader);
      if (!error_.empty()) return;
      read.push_back(std::move(record));
    }
    list = std::move(read);
  }
  template <class R>
  void operator()(const char* name, R& record) {
    const Json* item = Find(name);
    if (!item) return;
    if (!item->is_object()) return Fail(name, "must be an object");
    MemberReader reader(*item, Path(name), error_, depth_ + 1);
    VisitMembers(record, reader);
  }

 private:
  // The member's value, or null when it is absent or reading already failed.
  const Json* Find(const char* name) const {
    if (!error_.empty()) return nullptr;
    auto it = in_.find(name);
    return it == in_.end() ? nullptr : &*it;
  }
  std::string Path(const char* name) const { return path_ + "." + name; }
  void Fail(const char* name, const char* what) {
    error_ = Path(name) + " " + what;
  }

  template <class I>
  void ReadInteger(const char* name, I& value) {
    const Json* item = Find(name);
    if (!item) return;
    if (item->is_number_unsigned()) {
      uint64_t read = item->get<uint64_t>();
      if (read > static_cast<uint64_t>(std::numeric_limits<I>::max()))
        return Fail(name, "is out of range");
      value = static_cast<I>(read);
      return;
    }
    if (!item->is_number_integer()) return Fail(name, "must be an integer");
    int64_t read = item->get<int64_t>();
    if (read < std::numeric_limits<I>::min() ||
        read > std::numeric_limits<I>::max())
      return Fail(name, "is out of range");
    value = static_cast<I>(read);
  }

  const Json& in_;
  std::string path_;
  std::string& error_;
  int depth_;
};

// nlohmann's messages start with "[json.exception.parse_error.101] "; the
// rest already names the line and column.
std::string ParseErrorText(const char* what) {
  std::string text = what;
  size_t end = text.find("] ");
  if (!text.empty() && text[0] == '[' && end != std::string::npos)
    text.erase(0, end + 2);
  return text;
}

// Measures the nesting of arrays and objects outside strings.
bool NestsTooDeeply(const std::string& text) {
  size_t depth = 0;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxJsonDepth) return true;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return false;
}

bool CheckHeader(const Json& root, std::string& error) {
  if (!root.is_object()) {
    error = "the description is not a JSON object";
    return false;
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

std::string WriteZyf(const SVMInfo& info) {
  try {
    OrderedJson root = OrderedJson::object();
    root["format"] = kFormatName;
    root["version"] = kFormatVersion;
    root["vm"] = RecordToJson(info);
    // replace: JSON cannot carry bytes that are not UTF-8 (see the header).
    return root.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
  } catch (...) {
    // Only exhausted memory gets here; callers treat empty text as failure.
    return std::string();
  }
}

bool ParseZyf(const std::string& text, SVMInfo& info, std::string& error) {
  error.clear();
  if (NestsTooDeeply(text)) {
    error = "arrays and objects nest deeper than " +
            std::to_string(kMaxJsonDepth) + " levels";
    return false;
  }
  try {
    Json root = Json::parse(text);
    if (!CheckHeader(root, error)) return false;
    SVMInfo read;
    CopyVMInfoWhole(info, read);
    MemberReader reader(root["vm"], "vm", error, 0);
    VisitMembers(read, reader);
    if (!error.empty()) return false;
    CopyVMInfoWhole(read, info);
    return true;
  } catch (const Json::exception& e) {
    error = ParseErrorText(e.what());
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "unexpected failure while reading the description";
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
