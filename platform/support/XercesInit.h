//===- XercesInit.h - Every use of Xerces-C, loaded on first use -*- C++ -*-===//
//
// Loading Xerces-C and the thirty-odd shared objects it needs costs a
// process several times what the rest of the tool's start-up costs, and
// most runs never read or write XML.  So the shared platform library does
// not link Xerces: the
// code that calls it directly lives in a module of its own (XercesTable.h),
// loaded by the first of the functions below that needs it, once per
// process, whatever the thread.  What stays with the callers are calls
// through Xerces's DOM objects, which are virtual.
//
// Xerces is initialised on the first use and never terminated by the
// library; the process ends with it initialised.  When the module cannot be
// loaded, each function fails as it fails on bad input, saying so
// ("cannot load the XML reader <path>: <reason>").
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/ZyExport.h"

#include <xercesc/util/XercesDefs.hpp>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

XERCES_CPP_NAMESPACE_BEGIN
class DOMDocument;
XERCES_CPP_NAMESPACE_END

// True when Xerces-C is loaded, initialised and usable in this process.
// Safe to call from any thread, any number of times; never throws.
ZY_PLATFORM_API bool ZyEnsureXercesInitialized();

// The one set-up of every XML parse of the library: documents with a
// DOCTYPE are refused before parsing, no DTD or schema is loaded, entities
// resolve to nothing (no file or network access) and expand at most a few
// times, nothing is validated.
//
// Parses text (name says what it is in messages) and hands the document to
// read.  False with one sentence in error ("line 3: ...") when the text is
// not well-formed XML, has a DOCTYPE or read fails; never throws.
ZY_PLATFORM_API bool ZyParseXml(
    const std::string& text, const std::string& name,
    const std::function<bool(const xercesc::DOMDocument& document,
                             std::string& error)>& read,
    std::string& error);
// A parsed document (changed by its caller) as UTF-8 text, without an XML
// declaration (the serializer would declare the UTF-16 it works in).  Called
// from a read of ZyParseXml, which reports what it throws.
ZY_PLATFORM_API std::string ZyXmlText(const xercesc::DOMDocument& document);
// Whether a text declares a document type (refused by every reader).
ZY_PLATFORM_API bool ZyHasDoctype(const std::string& text);

// What a streaming read (ZyReadXmlEvents) reports, in document order, with
// names and texts in UTF-8.  line and column are where the reader is when
// it reports.  A handler stops the read by throwing.
class ZyXmlEvents {
 public:
  // Qualified name and value of each attribute, in document order.
  using Attributes = std::vector<std::pair<std::string, std::string>>;
  virtual void StartElement(const std::string& name,
                            const Attributes& attributes) = 0;
  virtual void Characters(const std::string& text) = 0;
  virtual void EndElement() = 0;
  // A DOCTYPE declaration begins.
  virtual void Doctype() = 0;
  // The text names an external entity; it resolves to nothing when this
  // returns.
  virtual void ExternalEntity() = 0;
  // The text is not well-formed XML here; the read goes on only when this
  // returns.
  virtual void ParseError(uint64_t line, uint64_t column,
                          const std::string& message) = 0;

  uint64_t line = 0;
  uint64_t column = 0;

 protected:
  ~ZyXmlEvents() = default;
};

// Reads text (name says what it is) with the hardened set-up above and
// namespaces off, reporting to events.  False with the parser's reason in
// error (possibly empty) when the parser fails; an exception a handler
// throws comes out of this call as thrown.
ZY_PLATFORM_API bool ZyReadXmlEvents(const std::string& text,
                                     const std::string& name,
                                     ZyXmlEvents& events, std::string& error);

// Text of a DOM string: in UTF-8 (empty when it cannot be transcoded), or
// in the process's local code page (Xerces's XMLString::transcode), and
// the reverse of the latter.  The last two throw what the transcoder
// throws, or std::runtime_error when Xerces cannot be loaded.
ZY_PLATFORM_API std::string ZyXmlUtf8(const XMLCh* text);
ZY_PLATFORM_API std::string ZyXmlLocalText(const XMLCh* text);
ZY_PLATFORM_API std::basic_string<XMLCh> ZyXmlLocalChars(const char* text);

// Base64 by Xerces-C's encoder (lines broken with line feeds) and decoder;
// false when they give nothing.
ZY_PLATFORM_API bool ZyBase64Encode(const std::string& bytes,
                                    std::string& encoded);
ZY_PLATFORM_API bool ZyBase64Decode(const std::string& text,
                                    std::string& bytes);
