//===- RecordJson.cpp - Restore requests and VM descriptions as JSON ------===//
//
// The jobs' JSON goes through the records' one codec
// (formats/zyf/RecordJsonCodec.h), the one the description file uses:
// the same member tables, the same rules for unknown keys, null and list
// caps.  Its reports keep their keys sorted.
//
//===----------------------------------------------------------------------===//
#include "RecordJson.h"

#include "formats/zyf/RecordJsonCodec.h"

namespace zyjobs {

using nlohmann::json;

bool RestoreCtxFromJson(const json& object, RestoreCtx& request,
                        std::string& error) {
  RestoreCtx filled;
  if (!ZyRecordJson::ReadRecord(object, "", filled, error)) return false;
  request = filled;
  // The description's own copy leaves the controllers behind; a request
  // carries them.
  request.vmInfo.vDiskControllers = filled.vmInfo.vDiskControllers;
  return true;
}

bool RestoreCtxToJson(const RestoreCtx& request, json& out,
                      std::string& error) {
  return ZyRecordJson::WriteRecord(request, "", out, error);
}

bool VMInfoToJson(const VMInfoStructs::SVMInfo& info, json& out,
                  std::string& error) {
  return ZyRecordJson::WriteRecord(info, "", out, error);
}

}  // namespace zyjobs
