//===- XercesModule.cpp - Every call that binds Xerces-C, in one module ---===//
//
// Built as the module zyxerces.so, which the shared platform library loads
// on the first use of XML, and into the static archive (XercesTable.h).  It
// holds every piece of code whose link names a Xerces-C symbol: the
// initialisation, the hardened DOM parse, the serializer, the SAX2 reader
// and its handler, the transcoders and Base64.  Nothing it does throws out
// of the table's functions.
//
//===----------------------------------------------------------------------===//
#include "platform/support/XercesTable.h"

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>
#include <xercesc/util/Base64.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/TransService.hpp>
#include <xercesc/util/XMLEntityResolver.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <memory>
#include <mutex>

namespace {

using namespace xercesc;

// Entities a document may expand before it is refused.
constexpr XMLSize_t kEntityExpansionLimit = 16;

// ---- initialisation -------------------------------------------------------

// Set once, under the call_once below, before any caller can read it.
bool g_xercesReady = false;

void InitializeXerces() {
  try {
    XMLPlatformUtils::Initialize();
    g_xercesReady = true;
  } catch (...) {
    // A process that cannot initialise Xerces cannot read XML descriptions;
    // the callers report it as a failed read.
    g_xercesReady = false;
  }
}

bool Ready() {
  static std::once_flag once;
  std::call_once(once, InitializeXerces);
  return g_xercesReady;
}

// Runs body; whatever it throws comes back in thrown.
template <typename Body>
bool Guarded(std::exception_ptr& thrown, Body body) {
  try {
    return body();
  } catch (...) {
    thrown = std::current_exception();
    return false;
  }
}

std::string Utf8(const XMLCh* chars, XMLSize_t length) {
  if (!chars || length == 0) return {};
  TranscodeToStr utf8(chars, length, "UTF-8");
  return std::string(reinterpret_cast<const char*>(utf8.str()), utf8.length());
}

std::string Utf8(const XMLCh* chars) {
  return Utf8(chars, chars ? XMLString::stringLen(chars) : 0);
}

// ---- the hardened DOM parse -------------------------------------------------

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

bool ParseDocument(const std::string& text, const std::string& name,
                   const ZyXmlRead& read, std::string& error) {
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

bool Parse(const std::string& text, const std::string& name,
           const ZyXmlRead& read, std::string& error,
           std::exception_ptr& thrown) {
  return Guarded(thrown, [&] {
    if (!Ready()) {
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
    }
    return false;
  });
}

bool Text(const DOMDocument& document, std::string& out,
          std::exception_ptr& thrown) {
  return Guarded(thrown, [&] {
    static const XMLCh kLs[] = {chLatin_L, chLatin_S, chNull};
    Ready();
    auto* implementation = static_cast<DOMImplementationLS*>(
        DOMImplementationRegistry::getDOMImplementation(kLs));
    DOMLSSerializer* serializer = implementation->createLSSerializer();
    serializer->getDomConfig()->setParameter(XMLUni::fgDOMXMLDeclaration,
                                             false);
    XMLCh* text = serializer->writeToString(&document);
    TranscodeToStr utf8(text, "UTF-8");
    out.assign(reinterpret_cast<const char*>(utf8.str()), utf8.length());
    XMLString::release(&text);
    serializer->release();
    return true;
  });
}

// ---- the SAX2 reader ----------------------------------------------------------

// Hands the reader's events on, in UTF-8, with where the reader is.
class EventsHandler : public DefaultHandler {
 public:
  explicit EventsHandler(ZyXmlEvents& events) : events_(events) {}

  void setDocumentLocator(const Locator* const locator) override {
    locator_ = locator;
  }
  void startElement(const XMLCh* const, const XMLCh* const,
                    const XMLCh* const qname,
                    const Attributes& attrs) override {
    ZyXmlEvents::Attributes attributes;
    for (XMLSize_t i = 0; i < attrs.getLength(); ++i)
      attributes.emplace_back(Utf8(attrs.getQName(i)), Utf8(attrs.getValue(i)));
    Here().StartElement(Utf8(qname), attributes);
  }
  void characters(const XMLCh* const chars, const XMLSize_t length) override {
    Here().Characters(Utf8(chars, length));
  }
  void endElement(const XMLCh* const, const XMLCh* const,
                  const XMLCh* const) override {
    Here().EndElement();
  }
  void startDTD(const XMLCh* const, const XMLCh* const,
                const XMLCh* const) override {
    Here().Doctype();
  }
  InputSource* resolveEntity(const XMLCh* const, const XMLCh* const) override {
    Here().ExternalEntity();
    return nullptr;
  }
  void fatalError(const SAXParseException& e) override {
    Here().ParseError(e.getLineNumber(), e.getColumnNumber(),
                      Utf8(e.getMessage()));
  }
  void error(const SAXParseException& e) override { fatalError(e); }
  void warning(const SAXParseException&) override {}

 private:
  ZyXmlEvents& Here() {
    events_.line = locator_ ? locator_->getLineNumber() : 0;
    events_.column = locator_ ? locator_->getColumnNumber() : 0;
    return events_;
  }

  ZyXmlEvents& events_;
  const Locator* locator_ = nullptr;
};

void HardenSaxReader(SAX2XMLReader& reader, SecurityManager& security) {
  reader.setFeature(XMLUni::fgSAX2CoreValidation, false);
  reader.setFeature(XMLUni::fgXercesSchema, false);
  reader.setFeature(XMLUni::fgXercesLoadSchema, false);
  reader.setFeature(XMLUni::fgXercesLoadExternalDTD, false);
  reader.setFeature(XMLUni::fgXercesDisableDefaultEntityResolution, true);
  security.setEntityExpansionLimit(kEntityExpansionLimit);
  reader.setProperty(XMLUni::fgXercesSecurityManager, &security);
}

bool ReadEvents(const std::string& text, const std::string& name,
                ZyXmlEvents& events, std::string& error,
                std::exception_ptr& thrown) {
  return Guarded(thrown, [&] {
    if (!Ready()) {
      error = "the XML parser cannot be initialised";
      return false;
    }
    try {
      std::unique_ptr<SAX2XMLReader> reader(
          XMLReaderFactory::createXMLReader());
      reader->setFeature(XMLUni::fgSAX2CoreNameSpaces, false);
      SecurityManager security;
      HardenSaxReader(*reader, security);
      EventsHandler handler(events);
      reader->setContentHandler(&handler);
      reader->setErrorHandler(&handler);
      reader->setLexicalHandler(&handler);
      reader->setDeclarationHandler(&handler);
      reader->setEntityResolver(&handler);
      reader->setDTDHandler(&handler);
      MemBufInputSource input(reinterpret_cast<const XMLByte*>(text.data()),
                              text.size(), name.c_str());
      reader->parse(input);
      return true;
    } catch (const XMLException& e) {
      error = Utf8(e.getMessage());
    } catch (const SAXException& e) {
      error = Utf8(e.getMessage());
    } catch (const OutOfMemoryException&) {
      error = "out of memory";
    }
    return false;
  });
}

// ---- transcoding and Base64 ------------------------------------------------

bool Utf8Text(const XMLCh* text, std::string& out) {
  std::exception_ptr ignored;
  return Guarded(ignored, [&] {
    out = text && *text && Ready() ? Utf8(text) : std::string();
    return true;
  });
}

bool LocalText(const XMLCh* text, std::string& out,
               std::exception_ptr& thrown) {
  return Guarded(thrown, [&] {
    out.clear();
    if (!text || !Ready()) return true;
    char* bytes = XMLString::transcode(text);
    if (bytes) out = bytes;
    XMLString::release(&bytes);
    return true;
  });
}

bool LocalChars(const char* text, std::basic_string<XMLCh>& out,
                std::exception_ptr& thrown) {
  return Guarded(thrown, [&] {
    out.clear();
    if (!text || !Ready()) return true;
    XMLCh* chars = XMLString::transcode(text);
    if (chars) out = chars;
    XMLString::release(&chars);
    return true;
  });
}

bool Base64Encode(const std::string& bytes, std::string& encoded) {
  std::exception_ptr ignored;
  return Guarded(ignored, [&] {
    if (!Ready()) return false;
    MemoryManager* mm = XMLPlatformUtils::fgMemoryManager;
    XMLSize_t length = 0;
    XMLByte* text = Base64::encode(
        reinterpret_cast<const XMLByte*>(bytes.data()), bytes.size(), &length,
        mm);
    if (!text) return false;
    encoded.assign(reinterpret_cast<const char*>(text), length);
    mm->deallocate(text);
    return true;
  });
}

bool Base64Decode(const std::string& text, std::string& bytes) {
  std::exception_ptr ignored;
  return Guarded(ignored, [&] {
    if (!Ready()) return false;
    MemoryManager* mm = XMLPlatformUtils::fgMemoryManager;
    XMLSize_t length = 0;
    XMLByte* decoded = Base64::decode(
        reinterpret_cast<const XMLByte*>(text.c_str()), &length, mm);
    if (!decoded) return false;
    bytes.assign(reinterpret_cast<const char*>(decoded), length);
    mm->deallocate(decoded);
    return true;
  });
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const SZyXercesTable*
zy_xerces_table() {
  static const SZyXercesTable table = {
      kZyXercesTableVersion, Ready, Parse, ReadEvents, Text, Utf8Text,
      LocalText, LocalChars, Base64Encode, Base64Decode};
  return &table;
}
