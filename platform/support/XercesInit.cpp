//===- XercesInit.cpp - One Xerces-C initialisation per process -----------===//
#include "platform/support/XercesInit.h"

#include <mutex>
#include <xercesc/util/PlatformUtils.hpp>

namespace {

// Set once, under the call_once below, before any caller can read it.
bool g_xercesReady = false;

void InitializeXerces() {
  try {
    xercesc::XMLPlatformUtils::Initialize();
    g_xercesReady = true;
  } catch (...) {
    // A process that cannot initialise Xerces cannot read XML descriptions;
    // the callers report it as a failed read.
    g_xercesReady = false;
  }
}

}  // namespace

bool ZyEnsureXercesInitialized() {
  static std::once_flag once;
  std::call_once(once, InitializeXerces);
  return g_xercesReady;
}

// ---- the hardened parse --------------------------------------------------

#include "platform/support/ExceptionText.h"

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/TransService.hpp>
#include <xercesc/util/XMLEntityResolver.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>

namespace {

using namespace xercesc;

// Entities a document may expand before it is refused.
constexpr XMLSize_t kEntityExpansionLimit = 16;

std::string Utf8(const XMLCh* text) {
  if (!text) return "";
  char* bytes = XMLString::transcode(text);
  std::string result = bytes ? bytes : "";
  XMLString::release(&bytes);
  return result;
}

// Keeps the first error or fatal error with its line; warnings are ignored.
class FirstErrorHandler : public ErrorHandler {
 public:
  void warning(const SAXParseException&) override {}
  void error(const SAXParseException& e) override { Keep(e); }
  void fatalError(const SAXParseException& e) override { Keep(e); }
  void resetErrors() override {}
  const std::string& message() const { return message_; }

 private:
  void Keep(const SAXParseException& e) {
    if (message_.empty())
      message_ = "line " + std::to_string(e.getLineNumber()) + ": " +
                 Utf8(e.getMessage());
  }
  std::string message_;
};

// Any entity a document names resolves to nothing: no parse reaches other
// files or the network.
class NoEntityResolver : public XMLEntityResolver {
 public:
  InputSource* resolveEntity(XMLResourceIdentifier*) override {
    static const XMLByte kNothing[] = {0};
    return new MemBufInputSource(kNothing, 0, "none", false);
  }
};

bool ParseDocument(
    const std::string& text, const std::string& name,
    const std::function<bool(const DOMDocument&, std::string&)>& read,
    std::string& error) {
  XercesDOMParser parser;
  parser.setValidationScheme(XercesDOMParser::Val_Never);
  parser.setDoNamespaces(true);
  parser.setDoSchema(false);
  parser.setLoadExternalDTD(false);
  parser.setLoadSchema(false);
  parser.setDisableDefaultEntityResolution(true);
  parser.setCreateEntityReferenceNodes(false);
  NoEntityResolver resolver;
  parser.setXMLEntityResolver(&resolver);
  SecurityManager security;
  security.setEntityExpansionLimit(kEntityExpansionLimit);
  parser.setSecurityManager(&security);
  FirstErrorHandler errors;
  parser.setErrorHandler(&errors);
  MemBufInputSource source(reinterpret_cast<const XMLByte*>(text.data()),
                           text.size(), name.c_str(), false);
  parser.parse(source);
  if (!errors.message().empty()) {
    error = errors.message();
    return false;
  }
  const DOMDocument* document = parser.getDocument();
  if (!document || !document->getDocumentElement()) {
    error = "the " + name + " has no root element";
    return false;
  }
  return read(*document, error);
}

}  // namespace

bool ZyHasDoctype(const std::string& text) {
  return text.find("<!DOCTYPE") != std::string::npos;
}

bool ZyParseXml(
    const std::string& text, const std::string& name,
    const std::function<bool(const DOMDocument&, std::string&)>& read,
    std::string& error) {
  error.clear();
  if (ZyHasDoctype(text)) {
    error = "a document type declaration (DOCTYPE) is not allowed";
    return false;
  }
  if (!ZyEnsureXercesInitialized()) {
    error = "the XML parser cannot be initialised";
    return false;
  }
  try {
    return ParseDocument(text, name, read, error);
  } catch (const SAXParseException& e) {
    error = "line " + std::to_string(e.getLineNumber()) + ": " +
            Utf8(e.getMessage());
  } catch (const XMLException& e) {
    error = Utf8(e.getMessage());
  } catch (const OutOfMemoryException&) {
    error = "out of memory while parsing";
  } catch (const DOMException& e) {
    error = Utf8(e.getMessage());
  } catch (...) {
    error = CurrentExceptionText() + " while parsing";
  }
  return false;
}

std::string ZyXmlText(const DOMDocument& document) {
  static const XMLCh kLs[] = {chLatin_L, chLatin_S, chNull};
  auto* implementation = static_cast<DOMImplementationLS*>(
      DOMImplementationRegistry::getDOMImplementation(kLs));
  DOMLSSerializer* serializer = implementation->createLSSerializer();
  serializer->getDomConfig()->setParameter(XMLUni::fgDOMXMLDeclaration, false);
  XMLCh* text = serializer->writeToString(&document);
  TranscodeToStr utf8(text, "UTF-8");
  std::string out(reinterpret_cast<const char*>(utf8.str()), utf8.length());
  XMLString::release(&text);
  serializer->release();
  return out;
}

void ZyHardenSaxReader(SAX2XMLReader& reader, SecurityManager& security) {
  reader.setFeature(XMLUni::fgSAX2CoreValidation, false);
  reader.setFeature(XMLUni::fgXercesSchema, false);
  reader.setFeature(XMLUni::fgXercesLoadSchema, false);
  reader.setFeature(XMLUni::fgXercesLoadExternalDTD, false);
  reader.setFeature(XMLUni::fgXercesDisableDefaultEntityResolution, true);
  security.setEntityExpansionLimit(kEntityExpansionLimit);
  reader.setProperty(XMLUni::fgXercesSecurityManager, &security);
}
