//===- RecordJson.h - Restore requests and VM descriptions as JSON --------===//
//
// The JSON form of a restore request is the RestoreCtx record itself: an
// object whose keys are the record's member names ("strVMName", "vDisks",
// "vmInfo", ...), nested records as objects and lists as arrays, read and
// written by the records' one codec (formats/zyf/RecordJsonCodec.h):
// members left out keep their defaults; a key that names no member, a null
// or a value of the wrong type is an error that names the key, so a misspelt
// member never goes unnoticed; lists have caps.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/Contexts.h"
#include "model/VMInfoStructs.h"

#include <nlohmann/json.hpp>

#include <stdexcept>
#include <string>

namespace zytool {

// A request that cannot be read; what() names the member and the fault.
class RecordJsonError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Fill a record from JSON, or write it; throw RecordJsonError.
void RestoreCtxFromJson(const nlohmann::json& json, RestoreCtx& request);
void VMInfoFromJson(const nlohmann::json& json, VMInfoStructs::SVMInfo& info);

nlohmann::json RestoreCtxToJson(const RestoreCtx& request);
nlohmann::json VMInfoToJson(const VMInfoStructs::SVMInfo& info);
nlohmann::json DiskToJson(const VMInfoStructs::SDisk& disk);

}  // namespace zytool
