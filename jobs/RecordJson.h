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

#include <string>

namespace zyjobs {

// Fill a record from JSON, or write it; false with a line naming the member
// and the fault.
bool RestoreCtxFromJson(const nlohmann::json& json, RestoreCtx& request,
                        std::string& error);
bool RestoreCtxToJson(const RestoreCtx& request, nlohmann::json& json,
                      std::string& error);
bool VMInfoToJson(const VMInfoStructs::SVMInfo& info, nlohmann::json& json,
                  std::string& error);

}  // namespace zyjobs
