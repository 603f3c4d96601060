//===- MessageXml.cpp - Messages as XML text and back ---------------------===//
//
// A message is written as one element named after its class, holding one
// element per field that is present, in the order of the class's table:
//
//   <RecoveryResponse>
//     <osType>1</osType>
//     <clients><ClientInfo><client><clientName>web01</clientName>...
//     <hardwareConfig><numCpus>2</numCpus>...</hardwareConfig>
//   </RecoveryResponse>
//
//   * integers and enumerations: decimal text;
//   * strings: the text, escaped; a string XML cannot carry (control
//     characters, bytes that are not UTF-8) is written as
//     <name encoding="base64">...</name>;
//   * a member object: the field's element holds the member's fields;
//   * a list: the field's element holds one element per item, named after
//     the item's class.
// Fields without a presence index are always written.  Reading the text
// back gives the same message, so writing it again gives the same text.
//
// The reader takes text from outside the system (restore requests read
// from files), so it accepts only this layout: an unknown or repeated
// element, text where none belongs, an attribute other than the string
// encoding, an integer outside the 64-bit range, nesting deeper than any
// message goes, more than 100,000 elements or a text over 16 MiB is
// rejected with the reason and its position.  A DOCTYPE is rejected before
// its declarations are read, so no entity is ever declared or expanded and
// no external file is ever opened.
//
//===----------------------------------------------------------------------===//
#include "platform/messages/CNMessageBase.h"
#include "platform/messages/CNMessageStorage.h"
#include "platform/support/BoundedFile.h"
#include "platform/support/XercesInit.h"

#include <cinttypes>
#include <cstdio>
#include <memory>
#include <new>

namespace {

// The deepest message (request, response, client, network configuration,
// address, interface list, interface, protocol list, protocol, address)
// nests eleven elements; nothing legitimate comes near this.
constexpr size_t kMaxDepth = 32;
// A restore request describes a few dozen devices and interfaces.
constexpr size_t kMaxElements = 100000;

const char kBase64Attribute[] = "encoding";
const char kBase64Value[] = "base64";

// --- Writing -------------------------------------------------------------

// Whether XML 1.0 can carry the text as character data: well-formed UTF-8
// of characters XML allows (tab, line feed and carriage return among the
// controls; the last is written as a reference so the reader keeps it).
bool IsXmlText(const std::string& s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const auto* end = p + s.size();
  while (p < end) {
    unsigned c = *p;
    if (c < 0x80) {
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
      ++p;
      continue;
    }
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
    if (extra < 0 || c > 0xF4 || end - p <= extra) return false;
    uint32_t cp = c & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[i] & 0x3F);
    }
    static constexpr uint32_t kMinForLength[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinForLength[extra] || cp > 0x10FFFF) return false;
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF)
      return false;
    p += extra + 1;
  }
  return true;
}

void AppendEscaped(const std::string& s, std::string& out) {
  for (char c : s) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '\r':
        out += "&#13;";
        break;
      default:
        out += c;
    }
  }
}

// Base64 of bytes, without line breaks; empty when the encoder fails.
std::string ToBase64(const std::string& bytes) {
  std::string encoded;
  std::string out;
  if (!ZyBase64Encode(bytes, encoded)) return out;
  out.reserve(encoded.size());
  for (char c : encoded)
    if (c != '\n') out += c;
  return out;
}

}  // namespace

// Friend of CNMessageBase: walks its stored fields.
class CNMessageXml {
 public:
  static void WriteMessage(const CNMessageBase& m, std::string& out) {
    const char* name = m.messageClass().xmlName;
    out += '<';
    out += name;
    out += '>';
    WriteFields(m, out);
    out += "</";
    out += name;
    out += '>';
  }

  static void WriteFields(const CNMessageBase& m, std::string& out) {
    const SMessageClass& cls = m.messageClass();
    for (size_t i = 0; i < cls.nFieldCount; ++i) {
      const SMessageField& f = cls.fields[i];
      const CNMessageBase::SEntry* e = m.Find(&f);
      bool present = f.nPresence == kNoPresence || (e && e->bSet);
      if (present) WriteField(f, e, out);
    }
  }

  static void WriteField(const SMessageField& f, const CNMessageBase::SEntry* e,
                         std::string& out) {
    std::string open = std::string("<") + f.name;
    std::string close = std::string("</") + f.name + ">";
    switch (f.eKind) {
      case EMessageFieldKind::Integer:
      case EMessageFieldKind::Enumeration: {
        char number[32];
        std::snprintf(number, sizeof number, "%" PRId64, e ? e->i64Value : 0);
        out += open + ">" + number + close;
        return;
      }
      case EMessageFieldKind::String: {
        const std::string& text = e ? e->strValue : std::string();
        if (IsXmlText(text)) {
          out += open + ">";
          AppendEscaped(text, out);
        } else {
          out += open + " " + kBase64Attribute + "=\"" + kBase64Value + "\">";
          out += ToBase64(text);
        }
        out += close;
        return;
      }
      case EMessageFieldKind::Object:
        out += open + ">";
        if (e && e->object) WriteFields(*e->object, out);
        out += close;
        return;
      case EMessageFieldKind::List:
        out += open + ">";
        if (e)
          for (const auto& item : e->list) WriteMessage(item, out);
        out += close;
        return;
    }
  }
};

void CNMessageBase::serialize(std::string& out) const {
  out.clear();
  CNMessageXml::WriteMessage(*this, out);
}

// --- Reading -------------------------------------------------------------

namespace {

struct SXmlError {
  std::string text;
};

bool IsXmlSpace(const std::string& s) {
  return s.find_first_not_of(" \t\r\n") == std::string::npos;
}

// A whole decimal 64-bit integer: an optional minus and digits, nothing else.
bool ParseInt64(const std::string& text, int64_t& value) {
  size_t i = text.size() > 0 && text[0] == '-' ? 1 : 0;
  if (i == text.size()) return false;
  bool negative = i == 1;
  uint64_t limit = negative ? uint64_t{INT64_MAX} + 1 : uint64_t{INT64_MAX};
  uint64_t v = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return false;
    unsigned digit = static_cast<unsigned>(c - '0');
    if (v > (limit - digit) / 10) return false;
    v = v * 10 + digit;
  }
  value = negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
  return true;
}

bool FromBase64(const std::string& text, std::string& bytes) {
  bytes.clear();
  if (IsXmlSpace(text)) return true;
  return ZyBase64Decode(text, bytes);
}

class MessageHandler final : public ZyXmlEvents {
 public:
  explicit MessageHandler(CNMessageBase& root) : root_(root) {}

  void StartElement(const std::string& name,
                    const Attributes& attrs) override {
    if (++elements_ > kMaxElements)
      Fail("more than " + std::to_string(kMaxElements) + " elements");
    if (frames_.size() >= kMaxDepth)
      Fail("elements nested deeper than " + std::to_string(kMaxDepth));
    if (frames_.empty()) return StartRoot(name, attrs);
    Frame& top = frames_.back();
    switch (top.kind) {
      case Frame::kValue:
        Fail("element <" + name + "> inside the value of field <" +
             top.field->name + ">");
      case Frame::kList:
        return StartListItem(top, name, attrs);
      case Frame::kMessage:
        return StartField(top, name, attrs);
    }
  }

  void Characters(const std::string& text) override {
    if (frames_.empty()) return;
    Frame& top = frames_.back();
    if (top.kind == Frame::kValue) {
      top.text += text;
    } else if (!IsXmlSpace(text)) {
      Fail(std::string("text where ") + TopName(top) + " holds only elements");
    }
  }

  void EndElement() override {
    if (frames_.empty()) return;
    Frame top = std::move(frames_.back());
    frames_.pop_back();
    if (top.kind == Frame::kValue) SetValue(top);
  }

  // No DOCTYPE: its declarations could define entities that expand without
  // bound or name files to load.
  void Doctype() override { Fail("DOCTYPE declarations are not accepted"); }

  void ExternalEntity() override { Fail("external entities are not loaded"); }

  void ParseError(uint64_t errorLine, uint64_t errorColumn,
                  const std::string& message) override {
    FailAt(errorLine, errorColumn, message);
  }

 private:
  struct Frame {
    enum Kind { kMessage, kList, kValue } kind = kMessage;
    CNMessageBase* message = nullptr;  // kMessage; the owner for kValue
    std::vector<CNMessageBase>* list = nullptr;
    const SMessageField* field = nullptr;  // kList, kValue
    bool base64 = false;
    std::string text;
    std::vector<const SMessageField*> seen;
  };

  [[noreturn]] void Fail(const std::string& why) { FailAt(line, column, why); }

  [[noreturn]] static void FailAt(uint64_t line, uint64_t column,
                                  const std::string& why) {
    throw SXmlError{"line " + std::to_string(line) + ", column " +
                    std::to_string(column) + ": " + why};
  }

  static const char* TopName(const Frame& f) {
    return f.kind == Frame::kMessage ? f.message->messageClass().name
                                     : f.field->name;
  }

  void NoAttributes(const std::string& name, const Attributes& attrs) {
    if (!attrs.empty())
      Fail("element <" + name + "> takes no attributes");
  }

  void StartRoot(const std::string& name, const Attributes& attrs) {
    if (name != root_.messageClass().xmlName)
      Fail("root element <" + name + "> is not <" +
           root_.messageClass().xmlName + ">");
    NoAttributes(name, attrs);
    Frame f;
    f.message = &root_;
    frames_.push_back(std::move(f));
  }

  void StartListItem(Frame& top, const std::string& name,
                     const Attributes& attrs) {
    const SMessageClass* item =
        FindMessageClass(top.field->nMemberNamespace, top.field->nMemberClass);
    if (!item || name != item->xmlName)
      Fail("element <" + name + "> in list <" + top.field->name + ">");
    NoAttributes(name, attrs);
    top.list->emplace_back(item->nNamespace, item->nClass);
    Frame f;
    f.message = &top.list->back();
    frames_.push_back(std::move(f));
  }

  void StartField(Frame& top, const std::string& name,
                  const Attributes& attrs) {
    const SMessageClass& cls = top.message->messageClass();
    const SMessageField* field = nullptr;
    for (size_t i = 0; i < cls.nFieldCount && !field; ++i)
      if (name == cls.fields[i].name) field = &cls.fields[i];
    if (!field) Fail("unknown element <" + name + "> in " + cls.name);
    for (const SMessageField* seen : top.seen)
      if (seen == field)
        Fail("field <" + name + "> given twice in " + cls.name);
    top.seen.push_back(field);

    Frame f;
    f.field = field;
    f.base64 = StringEncoding(*field, name, attrs);
    switch (field->eKind) {
      case EMessageFieldKind::Integer:
      case EMessageFieldKind::Enumeration:
      case EMessageFieldKind::String:
        f.kind = Frame::kValue;
        f.message = top.message;
        break;
      case EMessageFieldKind::Object:
        f.kind = Frame::kMessage;
        f.message = &top.message->getObjectAccessor(*field, true);
        break;
      case EMessageFieldKind::List:
        f.kind = Frame::kList;
        top.message->SetList(*field, std::vector<CNMessageBase>());
        f.list = &top.message->getlistobject(*field);
        break;
    }
    frames_.push_back(std::move(f));
  }

  // True for a string written as base64; any other attribute is an error.
  bool StringEncoding(const SMessageField& field, const std::string& name,
                      const Attributes& attrs) {
    if (attrs.empty()) return false;
    if (field.eKind == EMessageFieldKind::String && attrs.size() == 1 &&
        attrs[0].first == kBase64Attribute &&
        attrs[0].second == kBase64Value)
      return true;
    Fail("element <" + name +
         "> takes no attributes but encoding=\"base64\" "
         "on a string");
  }

  void SetValue(const Frame& f) {
    const SMessageField& field = *f.field;
    if (field.eKind == EMessageFieldKind::String) {
      std::string bytes = f.text;
      if (f.base64 && !FromBase64(f.text, bytes))
        Fail(std::string("field <") + field.name + "> is not valid base64");
      f.message->setstring(field, bytes);
      return;
    }
    int64_t value = 0;
    if (!ParseInt64(f.text, value))
      Fail(std::string("field <") + field.name + "> of " +
           f.message->messageClass().name + ": [" + f.text.substr(0, 64) +
           "] is not a 64-bit integer");
    f.message->setint64(field, value);
  }

  CNMessageBase& root_;
  std::vector<Frame> frames_;
  size_t elements_ = 0;
};

// False with the reason in error (empty when the parser gave none).
bool ParseInto(const std::string& text, CNMessageBase& message,
               std::string& error) {
  MessageHandler handler(message);
  try {
    return ZyReadXmlEvents(text, "message", handler, error);
  } catch (const SXmlError& e) {
    error = e.text;
    return false;
  }
}

}  // namespace

bool CNMessageBase::parse(const std::string& text, std::string& error) {
  error.clear();
  if (text.size() > kMaxInputFileBytes) {
    error = "the text is larger than 16 MiB";
    return false;
  }
  try {
    CNMessageBase parsed(m_class->nNamespace, m_class->nClass);
    if (ParseInto(text, parsed, error)) {
      *this = std::move(parsed);
      return true;
    }
  } catch (const std::bad_alloc&) {
    error = "out of memory";
  } catch (...) {
    error = "unexpected failure while reading the message";
  }
  if (error.empty()) error = "the text is not a message";
  return false;
}
