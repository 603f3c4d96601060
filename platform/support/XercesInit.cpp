//===- XercesInit.cpp - Every use of Xerces-C, through its module ---------===//
//
// Each function asks for the module's table (XercesTable.h) and hands the
// work over; what the module reports as thrown by the caller's own code is
// thrown again here, on this side of the module.
//
//===----------------------------------------------------------------------===//
#include "platform/support/XercesInit.h"

#include "platform/support/ExceptionText.h"
#include "platform/support/XercesTable.h"

#include <stdexcept>

bool ZyEnsureXercesInitialized() {
  std::string error;
  const SZyXercesTable* module = ZyXercesModule(error);
  return module && module->initialize();
}

bool ZyHasDoctype(const std::string& text) {
  return text.find("<!DOCTYPE") != std::string::npos;
}

bool ZyParseXml(const std::string& text, const std::string& name,
                const ZyXmlRead& read, std::string& error) {
  error.clear();
  if (ZyHasDoctype(text)) {
    error = "a document type declaration (DOCTYPE) is not allowed";
    return false;
  }
  const SZyXercesTable* module = ZyXercesModule(error);
  if (!module) return false;
  std::exception_ptr thrown;
  if (module->parse(text, name, read, error, thrown)) return true;
  if (thrown) {
    try {
      std::rethrow_exception(thrown);
    } catch (...) {
      error = CurrentExceptionText() + " while parsing";
    }
  }
  return false;
}

namespace {

// The table, or a std::runtime_error with the reason.
const SZyXercesTable& ModuleOrThrow() {
  std::string error;
  const SZyXercesTable* module = ZyXercesModule(error);
  if (!module) throw std::runtime_error(error);
  return *module;
}

}  // namespace

std::string ZyXmlText(const xercesc::DOMDocument& document) {
  std::string out;
  std::exception_ptr thrown;
  if (!ModuleOrThrow().text(document, out, thrown))
    std::rethrow_exception(thrown);
  return out;
}

bool ZyReadXmlEvents(const std::string& text, const std::string& name,
                     ZyXmlEvents& events, std::string& error) {
  error.clear();
  const SZyXercesTable* module = ZyXercesModule(error);
  if (!module) return false;
  std::exception_ptr thrown;
  if (module->readEvents(text, name, events, error, thrown)) return true;
  if (thrown) std::rethrow_exception(thrown);
  return false;
}

std::string ZyXmlUtf8(const XMLCh* text) {
  std::string error;
  std::string out;
  const SZyXercesTable* module = ZyXercesModule(error);
  if (!module || !module->utf8(text, out)) return std::string();
  return out;
}

std::string ZyXmlLocalText(const XMLCh* text) {
  std::string out;
  std::exception_ptr thrown;
  if (!ModuleOrThrow().localText(text, out, thrown))
    std::rethrow_exception(thrown);
  return out;
}

std::basic_string<XMLCh> ZyXmlLocalChars(const char* text) {
  std::basic_string<XMLCh> out;
  std::exception_ptr thrown;
  if (!ModuleOrThrow().localChars(text, out, thrown))
    std::rethrow_exception(thrown);
  return out;
}

bool ZyBase64Encode(const std::string& bytes, std::string& encoded) {
  std::string error;
  const SZyXercesTable* module = ZyXercesModule(error);
  return module && module->base64Encode(bytes, encoded);
}

bool ZyBase64Decode(const std::string& text, std::string& bytes) {
  std::string error;
  const SZyXercesTable* module = ZyXercesModule(error);
  return module && module->base64Decode(text, bytes);
}
