//===- XercesTable.h - The XML module's functions ---------------*- C++ -*-===//
//
// Every call that binds a Xerces-C symbol when linked lives in the module
// zyxerces.so (platform/xerces/XercesModule.cpp), which the shared platform
// library loads from the folder "zyvmconverter" beside itself on the first
// use of XML (platform/xerces/XercesLoad.cpp); the static archive links the
// module's code and Xerces instead.  The module gives one table of plain
// functions, the bodies of XercesInit.h's functions.  None throws: a failure
// is its result, with its reason in error; an exception comes back in thrown
// (the caller's own, from a read or a handler; Xerces's own where the caller
// lets it through), for the caller to throw again on its side.  Each
// initialises Xerces first, once per process.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/support/XercesInit.h"

#include <cstddef>
#include <exception>
#include <functional>
#include <string>

using ZyXmlRead =
    std::function<bool(const xercesc::DOMDocument&, std::string&)>;

// Changes whenever the table does: a module of another build is refused.
constexpr unsigned kZyXercesTableVersion = 1;

struct SZyXercesTable {
  unsigned version;
  bool (*initialize)();
  bool (*parse)(const std::string& text, const std::string& name,
                const ZyXmlRead& read, std::string& error,
                std::exception_ptr& thrown);
  bool (*readEvents)(const std::string& text, const std::string& name,
                     ZyXmlEvents& events, std::string& error,
                     std::exception_ptr& thrown);
  bool (*text)(const xercesc::DOMDocument& document, std::string& out,
               std::exception_ptr& thrown);
  bool (*utf8)(const XMLCh* text, std::string& out);
  bool (*localText)(const XMLCh* text, std::string& out,
                    std::exception_ptr& thrown);
  bool (*localChars)(const char* text, std::basic_string<XMLCh>& out,
                     std::exception_ptr& thrown);
  bool (*base64Encode)(const std::string& bytes, std::string& encoded);
  bool (*base64Decode)(const std::string& text, std::string& bytes);
};

// The module's one exported name.
extern "C" const SZyXercesTable* zy_xerces_table();

// The table, the module loaded by the first call; null with the reason in
// error when it cannot be.  Thread-safe; never throws.
const SZyXercesTable* ZyXercesModule(std::string& error);
