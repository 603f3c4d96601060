//===- XercesInit.h - One Xerces-C initialisation per process ---*- C++ -*-===//
//
// Xerces-C must be initialised before any parser or DOM object is made, and
// must not be terminated while another thread may still use it.  Every part
// of the library that parses or writes XML calls ZyEnsureXercesInitialized()
// first: the first call initialises Xerces under std::call_once, later calls
// only report the outcome.  Xerces is never terminated by the library; the
// process ends with it initialised.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/ZyExport.h"

// True when Xerces-C is initialised and usable in this process.  Safe to call
// from any thread, any number of times; never throws.
ZY_PLATFORM_API bool ZyEnsureXercesInitialized();

#include <xercesc/util/XercesDefs.hpp>

#include <functional>
#include <string>

XERCES_CPP_NAMESPACE_BEGIN
class DOMDocument;
class SAX2XMLReader;
class SecurityManager;
XERCES_CPP_NAMESPACE_END

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
// declaration (the serializer would declare the UTF-16 it works in).
ZY_PLATFORM_API std::string ZyXmlText(const xercesc::DOMDocument& document);
// The same set-up for a SAX2 reader (whose handlers the caller sets);
// security must outlive the parse.
ZY_PLATFORM_API void ZyHardenSaxReader(xercesc::SAX2XMLReader& reader,
                                       xercesc::SecurityManager& security);
// Whether a text declares a document type (refused by every reader).
ZY_PLATFORM_API bool ZyHasDoctype(const std::string& text);
