//===- RecordJson.cpp - Restore requests and VM descriptions as JSON ------===//
//
// The tool's JSON goes through the records' one codec
// (formats/zyf/RecordJsonCodec.h), the one the description file uses:
// the same member tables, the same rules for unknown keys, null and list
// caps.  Its reports keep their keys sorted.
//
//===----------------------------------------------------------------------===//
#include "RecordJson.h"

#include "formats/zyf/RecordJsonCodec.h"

namespace zytool {
namespace {

using nlohmann::json;

template <class R>
void Read(const json& object, R& record) {
  std::string error;
  if (!ZyRecordJson::ReadRecord(object, "", record, error))
    throw RecordJsonError(error);
}

template <class R>
json Write(const R& record) {
  json out;
  std::string error;
  if (!ZyRecordJson::WriteRecord(record, "", out, error))
    throw RecordJsonError(error);
  return out;
}

}  // namespace

void RestoreCtxFromJson(const json& object, RestoreCtx& request) {
  RestoreCtx filled;
  Read(object, filled);
  request = filled;
  // The description's own copy leaves the controllers behind; a request
  // carries them.
  request.vmInfo.vDiskControllers = filled.vmInfo.vDiskControllers;
}

void VMInfoFromJson(const json& object, VMInfoStructs::SVMInfo& info) {
  VMInfoStructs::SVMInfo filled;
  Read(object, filled);
  info = filled;
  info.vDiskControllers = filled.vDiskControllers;
}

json RestoreCtxToJson(const RestoreCtx& request) { return Write(request); }

json VMInfoToJson(const VMInfoStructs::SVMInfo& info) { return Write(info); }

json DiskToJson(const VMInfoStructs::SDisk& disk) { return Write(disk); }

}  // namespace zytool
