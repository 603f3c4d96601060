//===- RecordJson.cpp - Restore requests and VM descriptions as JSON ------===//
//
// Each record's members are listed once, for both directions: JsonReader
// fills a record from an object and JsonWriter builds the object from a
// record.  The VM description records use the member tables of
// model/RecordMembers.h, shared with the generalised description file; the
// restore request's own records are listed here.
//
//===----------------------------------------------------------------------===//
#include "RecordJson.h"

#include "model/RecordMembers.h"

#include <limits>
#include <map>
#include <set>
#include <type_traits>
#include <vector>

namespace zytool {
namespace {

using nlohmann::json;
using namespace VMInfoStructs;

// The records of a VM description list their members in model/RecordMembers.h.
template <class V, class R, class T>
void Visit(V& v, R& r, T*) {
  VisitMembers(r, v);
}

template <class V, class R>
void Visit(V& v, R& r, SFailure*) {
  v("strName", r.strName);
  v("strReason", r.strReason);
  v("strDetail", r.strDetail);
  v("strObjectId", r.strObjectId);
  v("bFatal", r.bFatal);
}

template <class V, class R>
void Visit(V& v, R& r, RestoreCtxOriginalInfo*) {
  v("strVMName", r.strVMName);
  v("strGUID", r.strGUID);
  v("strHost", r.strHost);
  v("strDatastore", r.strDatastore);
  v("vNetworkCards", r.vNetworkCards);
}

template <class V, class R>
void Visit(V& v, R& r, RestoreCtx*) {
  v("nRestoreType", r.nRestoreType);
  v("strVMName", r.strVMName);
  v("strDestinationPath", r.strDestinationPath);
  v("strDestinationHost", r.strDestinationHost);
  v("bRequestFlagA", r.bRequestFlagA);
  v("bHardwareFlag", r.bHardwareFlag);
  v("strPrimaryInterfaceName", r.strPrimaryInterfaceName);
  v("strDatastore", r.strDatastore);
  v("strRegion", r.strRegion);
  v("bSnapConversion", r.bSnapConversion);
  v("vNetworkCards", r.vNetworkCards);
  v("vSecurityGroups", r.vSecurityGroups);
  v("bRequestFlagB", r.bRequestFlagB);
  v("strVMSize", r.strVMSize);
  v("osName", r.osName);
  v("strSourceVMName", r.strSourceVMName);
  v("strSourceVMGUID", r.strSourceVMGUID);
  v("strVMId", r.strVMId);
  v("bResultFlag", r.bResultFlag);
  v("strResultInfo", r.strResultInfo);
  v("vmInfo", r.vmInfo);
  v("vDisks", r.vDisks);
  v("vFailures", r.vFailures);
  v("strStagingPath", r.strStagingPath);
  v("bMarkOSDisk", r.bMarkOSDisk);
  v("nResultValue", r.nResultValue);
  v("bPlatformConversion", r.bPlatformConversion);
  v("bRequestFlagC", r.bRequestFlagC);
  v("strResultDetail", r.strResultDetail);
  v("sourceInfo", r.sourceInfo);
}

// Selects the Visit of a record type, for const and non-const records.
template <class R>
std::remove_const_t<R>* Tag() {
  return nullptr;
}

class JsonReader {
 public:
  JsonReader(const json& object, std::string where)
      : object_(object), where_(std::move(where)) {
    if (!object_.is_object())
      Fail(where_.empty() ? "the request" : where_, "an object");
  }

  template <class R>
  static void Read(const json& object, const std::string& where, R& record) {
    JsonReader reader(object, where);
    Visit(reader, record, Tag<R>());
    reader.RejectUnknownKeys();
  }

  void operator()(const char* key, std::string& out) {
    if (const json* value = Find(key)) {
      if (!value->is_string()) Fail(Path(key), "a string");
      out = value->get<std::string>();
    }
  }
  void operator()(const char* key, bool& out) {
    if (const json* value = Find(key)) {
      if (!value->is_boolean()) Fail(Path(key), "true or false");
      out = value->get<bool>();
    }
  }
  void operator()(const char* key, int16_t& out) { Integer(key, out); }
  void operator()(const char* key, int32_t& out) { Integer(key, out); }
  void operator()(const char* key, int64_t& out) { Integer(key, out); }

  void operator()(const char* key, std::map<std::string, std::string>& out) {
    const json* value = Find(key);
    if (!value) return;
    if (!value->is_object()) Fail(Path(key), "an object of texts");
    std::map<std::string, std::string> items;
    for (auto it = value->begin(); it != value->end(); ++it) {
      if (!it->is_string()) Fail(Path(key) + "." + it.key(), "a string");
      items[it.key()] = it->get<std::string>();
    }
    out = items;
  }

  template <class R>
  void operator()(const char* key, std::vector<R>& out) {
    const json* value = Find(key);
    if (!value) return;
    if (!value->is_array()) Fail(Path(key), "a list");
    std::vector<R> items;
    for (size_t i = 0; i < value->size(); ++i) {
      R item;
      Read((*value)[i], Path(key) + "[" + std::to_string(i) + "]", item);
      items.push_back(item);
    }
    out = items;
  }

  template <class R>
  void operator()(const char* key, R& out) {
    if (const json* value = Find(key)) Read(*value, Path(key), out);
  }

 private:
  [[noreturn]] static void Fail(const std::string& where,
                                const char* expected) {
    throw RecordJsonError("\"" + where + "\" must be " + expected);
  }

  std::string Path(const char* key) const {
    return where_.empty() ? key : where_ + "." + key;
  }

  const json* Find(const char* key) {
    known_.insert(key);
    auto it = object_.find(key);
    return it == object_.end() || it->is_null() ? nullptr : &*it;
  }

  template <class T>
  void Integer(const char* key, T& out) {
    const json* value = Find(key);
    if (!value) return;
    if (!value->is_number_integer()) Fail(Path(key), "a whole number");
    bool fits =
        value->is_number_unsigned()
            ? value->get<uint64_t>() <=
                  static_cast<uint64_t>(std::numeric_limits<T>::max())
            : value->get<int64_t>() >= std::numeric_limits<T>::min() &&
                  value->get<int64_t>() <= std::numeric_limits<T>::max();
    if (!fits) Fail(Path(key), "a number in range");
    out = static_cast<T>(value->get<int64_t>());
  }

  void RejectUnknownKeys() const {
    for (auto it = object_.begin(); it != object_.end(); ++it)
      if (!known_.count(it.key()))
        throw RecordJsonError("\"" + Path(it.key().c_str()) +
                              "\" is not a member of the record");
  }

  const json& object_;
  std::string where_;
  std::set<std::string> known_;
};

class JsonWriter {
 public:
  template <class R>
  static json Write(const R& record) {
    JsonWriter writer;
    Visit(writer, record, Tag<const R>());
    return writer.object_;
  }

  void operator()(const char* key, const std::string& value) {
    object_[key] = value;
  }
  void operator()(const char* key, bool value) { object_[key] = value; }
  void operator()(const char* key, int16_t value) { object_[key] = value; }
  void operator()(const char* key, int32_t value) { object_[key] = value; }
  void operator()(const char* key, int64_t value) { object_[key] = value; }

  void operator()(const char* key,
                  const std::map<std::string, std::string>& items) {
    object_[key] = items;
  }

  template <class R>
  void operator()(const char* key, const std::vector<R>& items) {
    json list = json::array();
    for (const R& item : items) list.push_back(Write(item));
    object_[key] = list;
  }

  template <class R>
  void operator()(const char* key, const R& record) {
    object_[key] = Write(record);
  }

 private:
  json object_ = json::object();
};

}  // namespace

void RestoreCtxFromJson(const json& object, RestoreCtx& request) {
  RestoreCtx filled;
  JsonReader::Read(object, "", filled);
  request = filled;
  // The description's own copy leaves the controllers behind; a request
  // carries them.
  request.vmInfo.vDiskControllers = filled.vmInfo.vDiskControllers;
}

void VMInfoFromJson(const json& object, VMInfoStructs::SVMInfo& info) {
  VMInfoStructs::SVMInfo filled;
  JsonReader::Read(object, "", filled);
  info = filled;
  info.vDiskControllers = filled.vDiskControllers;
}

json RestoreCtxToJson(const RestoreCtx& request) {
  return JsonWriter::Write(request);
}

json VMInfoToJson(const VMInfoStructs::SVMInfo& info) {
  return JsonWriter::Write(info);
}

json DiskToJson(const VMInfoStructs::SDisk& disk) {
  return JsonWriter::Write(disk);
}

}  // namespace zytool
