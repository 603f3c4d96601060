//===- restore_json.cpp - Fuzz target: the tool's JSON restore request ----===//
//
// The request is JSON, shape-checked as the tool does, then read into a
// RestoreCtx by the record codec, which refuses what it cannot take with
// a line and throws nothing.
//
//===----------------------------------------------------------------------===//
#include "FuzzSupport.h"

#include "jobs/RecordJson.h"
#include "formats/zyf/RecordJsonCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zyfuzz::Quiet();
  std::string text = zyfuzz::Text(data, size), error;
  if (!ZyRecordJson::CheckJsonShape(text, error)) return 0;
  nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
  if (json.is_discarded()) return 0;
  RestoreCtx request;
  if (!zyjobs::RestoreCtxFromJson(json, request, error)) return 0;
  nlohmann::json written;
  if (zyjobs::RestoreCtxToJson(request, written, error)) written.dump();
  return 0;
}
