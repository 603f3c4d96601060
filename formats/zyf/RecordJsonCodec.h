//===- RecordJsonCodec.h - The records as JSON, both ways ------------------===//
//
// One codec for every JSON form of the records: the generalised description
// file (VMConfig.zyf) and the command-line tool's requests and reports.  The
// members of each record are the tables of model/RecordMembers.h; a record's
// JSON object has one key per member, named as the member.  The rules:
//   * texts are JSON strings, integers JSON integers within the member's
//     range, flags JSON booleans, lists arrays of objects, the properties of
//     a file an object of strings;
//   * a member the text leaves out keeps the record's value; a list the text
//     names replaces the list, its elements starting from the defaults;
//   * a key that is no member of its record fails the read and is named: a
//     misspelt member would otherwise vanish without a word and the machine
//     be built without it.  A writer that adds members writes a new format
//     version, which older readers refuse whole;
//   * null is no value of any member and fails the read like any other value
//     of the wrong type: a member is either given or left out;
//   * lists a real machine never needs in such numbers are capped
//     (kListCaps; a snapshot tree at most kMaxSnapshots snapshots and
//     kMaxSnapshotLevels levels).  The writer holds the same caps as the
//     reader, so whatever is written reads back;
//   * writing appends members in table order without searching the object,
//     so it takes time in proportion to the output.
// Errors are one sentence naming the member by its path
// ("vm.vDisks[1].nBus must be an integer").
//
//===----------------------------------------------------------------------===//
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <type_traits>
#include <vector>

#include "model/RecordMembers.h"

namespace ZyRecordJson {

// The most elements of each capped list.  A VMware machine takes 256
// disks at most (four SCSI controllers of 64, IDE and SATA besides), a
// Hyper-V one 256 SCSI disks; chains of delta disks and snapshot trees are
// kept far shorter by every hypervisor (VMware allows 32 snapshots in a
// chain, Hyper-V 50 checkpoints).
struct ListCap {
  const char* member;
  std::size_t most;
};
constexpr ListCap kListCaps[] = {
    {"vDisks", 1024},        {"vChildDisks", 64},
    {"vFiles", 4096},        {"properties", 1024},
    {"vNetworkCards", 256},  {"vDiskControllers", 256},
    {"vExtraOptions", 1024},
};
// Any other list (key pairs, security groups, owners, failures...).
constexpr std::size_t kOtherListCap = 256;
constexpr std::size_t kMaxSnapshots = 1024;
constexpr int kMaxSnapshotLevels = 256;

// The longest any list may be.
constexpr std::size_t LongestList() {
  std::size_t most = kOtherListCap;
  for (const ListCap& row : kListCaps) most = row.most > most ? row.most : most;
  return most;
}
constexpr std::size_t kMaxListElements = LongestList();

inline std::size_t ListCapOf(const char* member) {
  for (const ListCap& row : kListCaps)
    if (std::strcmp(row.member, member) == 0) return row.most;
  return kOtherListCap;
}

// A record nests two JSON levels per snapshot level and a few more; a
// deeper text is no record, and would cost the parser memory in proportion
// to its depth.
constexpr std::size_t kMaxJsonDepth = 2 * kMaxSnapshotLevels + 64;

// Checks the nesting of arrays and objects, and how many elements each
// holds, before the text is parsed: a hostile text must not make the parser
// build what the caps would refuse afterwards.
inline bool CheckJsonShape(const std::string& text, std::string& error) {
  std::vector<std::size_t> commas;  // per open array or object
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      commas.push_back(0);
      if (commas.size() <= kMaxJsonDepth) continue;
      error = "arrays and objects nest deeper than " +
              std::to_string(kMaxJsonDepth) + " levels";
      return false;
    } else if ((c == ']' || c == '}') && !commas.empty()) {
      commas.pop_back();
    } else if (c == ',' && !commas.empty() &&
               ++commas.back() >= kMaxListElements) {
      error = "an array or object holds more than " +
              std::to_string(kMaxListElements) + " elements";
      return false;
    }
  }
  return true;
}

namespace detail {

inline std::string Join(const std::string& where, const char* name) {
  return where.empty() ? std::string(name) : where + "." + name;
}

inline std::string TooMany(const std::string& path, std::size_t most) {
  return path + " has more than " + std::to_string(most) + " elements";
}

inline std::string TooDeep(int levels) {
  return "the snapshot tree nests too deeply (more than " +
         std::to_string(levels) + " levels)";
}

// What reading and writing a whole record tree share: the first error and
// the snapshots met so far.
struct Walk {
  std::string error;
  std::size_t snapshots = 0;

  // Counts one snapshot at level (1 for the roots); false past a cap.
  bool EnterSnapshot(int level) {
    if (!error.empty()) return false;
    if (level > kMaxSnapshotLevels) {
      error = TooDeep(kMaxSnapshotLevels);
      return false;
    }
    if (++snapshots > kMaxSnapshots) {
      error = "the snapshot tree has more than " +
              std::to_string(kMaxSnapshots) + " snapshots";
      return false;
    }
    return true;
  }
};

// Appends a member that is known to be new, without the search that
// operator[] makes (linear in an ordered object).
inline void Append(nlohmann::json::object_t& object, const std::string& key,
                   nlohmann::json value) {
  object.emplace_hint(object.end(), key, std::move(value));
}
inline void Append(nlohmann::ordered_json::object_t& object,
                   const std::string& key, nlohmann::ordered_json value) {
  static_cast<nlohmann::ordered_json::object_t::Container&>(object)
      .emplace_back(key, std::move(value));
}

// Collects the member names of a record.
struct NameCollector {
  std::vector<const char*> names;
  template <class T>
  void operator()(const char* name, const T&) {
    names.push_back(name);
  }
};

template <class R>
const std::vector<const char*>& MemberNames() {
  static const std::vector<const char*> names = [] {
    NameCollector collector;
    const R record{};
    VisitMembers(record, collector);
    return collector.names;
  }();
  return names;
}

// Reads the members of one JSON object into a record.
class Reader {
 public:
  Reader(const nlohmann::json& in, std::string where, Walk& walk, int level)
      : in_(in), where_(std::move(where)), walk_(walk), level_(level) {}

  template <class R>
  static void Read(const nlohmann::json& in, const std::string& where,
                   Walk& walk, int level, R& record) {
    if (!in.is_object()) {
      walk.error = (where.empty() ? "the record" : where) + " must be an object";
      return;
    }
    const std::vector<const char*>& names = MemberNames<R>();
    for (auto it = in.begin(); it != in.end(); ++it) {
      bool known = false;
      for (const char* name : names) known = known || it.key() == name;
      if (!known) {
        walk.error = Join(where, it.key().c_str()) + " is not a member";
        return;
      }
    }
    Reader reader(in, where, walk, level);
    VisitMembers(record, reader);
  }

  void operator()(const char* name, std::string& value) {
    const nlohmann::json* item = Find(name);
    if (!item) return;
    if (!item->is_string()) return Fail(name, "must be a string");
    value = item->get_ref<const std::string&>();
  }
  void operator()(const char* name, bool& value) {
    const nlohmann::json* item = Find(name);
    if (!item) return;
    if (!item->is_boolean()) return Fail(name, "must be true or false");
    value = item->get<bool>();
  }
  void operator()(const char* name, int16_t& value) { Integer(name, value); }
  void operator()(const char* name, int32_t& value) { Integer(name, value); }
  void operator()(const char* name, int64_t& value) { Integer(name, value); }

  void operator()(const char* name, std::map<std::string, std::string>& map) {
    const nlohmann::json* item = Find(name);
    if (!item) return;
    if (!item->is_object()) return Fail(name, "must be an object of strings");
    if (item->size() > ListCapOf(name))
      return void(walk_.error = TooMany(Join(where_, name), ListCapOf(name)));
    std::map<std::string, std::string> read;
    for (auto it = item->begin(); it != item->end(); ++it) {
      if (!it.value().is_string())
        return Fail(name, "must be an object of strings");
      read.emplace_hint(read.end(), it.key(),
                        it.value().get_ref<const std::string&>());
    }
    map = std::move(read);
  }

  template <class R>
  void operator()(const char* name, std::vector<R>& list) {
    const nlohmann::json* item = Find(name);
    if (!item) return;
    if (!item->is_array()) return Fail(name, "must be an array of objects");
    bool snapshots = std::is_same<R, VMInfoStructs::SSnapshot>::value;
    // A snapshot tree has its own caps, counted over the whole tree.
    if (!snapshots && item->size() > ListCapOf(name))
      return void(walk_.error = TooMany(Join(where_, name), ListCapOf(name)));
    std::vector<R> read;
    read.reserve(std::min(item->size(), ListCapOf(name)));
    for (std::size_t i = 0; i < item->size(); ++i) {
      if (snapshots && !walk_.EnterSnapshot(level_ + 1)) return;
      R record;
      Read((*item)[i], Join(where_, name) + "[" + std::to_string(i) + "]",
           walk_, level_ + (snapshots ? 1 : 0), record);
      if (!walk_.error.empty()) return;
      read.push_back(std::move(record));
    }
    list = std::move(read);
  }

  template <class R>
  void operator()(const char* name, R& record) {
    const nlohmann::json* item = Find(name);
    if (item) Read(*item, Join(where_, name), walk_, level_, record);
  }

 private:
  // The member's value, or null when it is absent or reading already failed.
  const nlohmann::json* Find(const char* name) const {
    if (!walk_.error.empty()) return nullptr;
    auto it = in_.find(name);
    return it == in_.end() ? nullptr : &*it;
  }
  void Fail(const char* name, const char* what) {
    walk_.error = Join(where_, name) + " " + what;
  }

  template <class I>
  void Integer(const char* name, I& value) {
    const nlohmann::json* item = Find(name);
    if (!item) return;
    if (!item->is_number_integer()) return Fail(name, "must be an integer");
    bool fits =
        item->is_number_unsigned()
            ? item->get<uint64_t>() <=
                  static_cast<uint64_t>(std::numeric_limits<I>::max())
            : item->get<int64_t>() >= std::numeric_limits<I>::min() &&
                  item->get<int64_t>() <= std::numeric_limits<I>::max();
    if (!fits) return Fail(name, "is out of range");
    value = static_cast<I>(item->get<int64_t>());
  }

  const nlohmann::json& in_;
  std::string where_;
  Walk& walk_;
  int level_;  // of the snapshot being read; 0 outside snapshot trees
};

// Builds the JSON object of a record (J: nlohmann::json or ordered_json).
template <class J>
class Writer {
 public:
  Writer(typename J::object_t& out, std::string where, Walk& walk, int level)
      : out_(out), where_(std::move(where)), walk_(walk), level_(level) {}

  template <class R>
  static J Write(const R& record, const std::string& where, Walk& walk,
                 int level) {
    J object = J::object();
    Writer writer(object.template get_ref<typename J::object_t&>(), where,
                  walk, level);
    VisitMembers(record, writer);
    return object;
  }

  void operator()(const char* name, const std::string& value) {
    Append(out_, name, value);
  }
  void operator()(const char* name, bool value) { Append(out_, name, value); }
  void operator()(const char* name, int16_t value) { Append(out_, name, value); }
  void operator()(const char* name, int32_t value) { Append(out_, name, value); }
  void operator()(const char* name, int64_t value) { Append(out_, name, value); }

  void operator()(const char* name,
                  const std::map<std::string, std::string>& map) {
    if (!Fits(name, map.size())) return;
    J object = J::object();
    auto& members = object.template get_ref<typename J::object_t&>();
    // A std::map is sorted and unique already.
    for (const auto& entry : map) Append(members, entry.first, entry.second);
    Append(out_, name, std::move(object));
  }

  template <class R>
  void operator()(const char* name, const std::vector<R>& list) {
    bool snapshots = std::is_same<R, VMInfoStructs::SSnapshot>::value;
    if (!snapshots && !Fits(name, list.size())) return;
    J array = J::array();
    for (std::size_t i = 0; i < list.size() && walk_.error.empty(); ++i) {
      if (snapshots && !walk_.EnterSnapshot(level_ + 1)) return;
      array.push_back(Write(list[i], Join(where_, name) + "[" +
                                         std::to_string(i) + "]",
                            walk_, level_ + (snapshots ? 1 : 0)));
    }
    Append(out_, name, std::move(array));
  }

  template <class R>
  void operator()(const char* name, const R& record) {
    Append(out_, name, Write(record, Join(where_, name), walk_, level_));
  }

 private:
  bool Fits(const char* name, std::size_t size) {
    if (!walk_.error.empty()) return false;
    if (size <= ListCapOf(name)) return true;
    walk_.error = TooMany(Join(where_, name), ListCapOf(name));
    return false;
  }

  typename J::object_t& out_;
  std::string where_;
  Walk& walk_;
  int level_;
};

}  // namespace detail

// Fills record from a JSON object; where names the object in errors ("vm",
// or empty for a top-level record).  On failure returns false with error
// set; the record may then be partly filled, so callers read into a copy.
template <class R>
bool ReadRecord(const nlohmann::json& in, const std::string& where, R& record,
                std::string& error) {
  detail::Walk walk;
  detail::Reader::Read(in, where, walk, 0, record);
  error = walk.error;
  return error.empty();
}

// The JSON object of record (J: nlohmann::json, keys sorted, or
// nlohmann::ordered_json, keys in member order).  False with error set
// when a list is over its cap.
template <class J, class R>
bool WriteRecord(const R& record, const std::string& where, J& out,
                 std::string& error) {
  detail::Walk walk;
  J written = detail::Writer<J>::Write(record, where, walk, 0);
  error = walk.error;
  if (!error.empty()) return false;
  out = std::move(written);
  return true;
}

}  // namespace ZyRecordJson
