//===- CNMessageBase.h - Messages of the platform's XML message library ---===//
//
// A message is an object of one message class, a (namespace, class) pair
// such as (33, 16) for a bare-metal recovery response's hardware
// configuration.  Its fields are addressed the way the platform's generated
// classes address them:
//
//   * every field has a storage slot (passed to reads and writes) and, when
//     it is optional, a presence index (passed to the presence test and to
//     writes); fields without one are always there and read 0 until written;
//   * every read and write also passes the class identifier and the field
//     identifier of the message schema.  They are checked against the
//     class's field table: a mismatch is a programming error (asserted in
//     debug builds; a release build reads the default and ignores a write).
//
// Integers are 64-bit signed; enumerations are integers; lists are vectors
// of messages read and written as a whole; a member object is reached
// through an object accessor.
//
// The class's field table (SMessageClass, SMessageField) is data: the
// recovery message classes and their tables live in RecoveryMessages.h.
// serialize writes the message as XML text and parse reads that text back
// exactly (MessageXml.cpp).
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/ZyExport.h"

#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Presence index of a field that is always there.
constexpr int kNoPresence = -1;

enum class EMessageFieldKind : uint8_t {
  Integer,
  String,
  Enumeration,  // an integer whose values are named by an enumeration
  Object,       // one member message
  List,         // a list of member messages
};

// One row of a message class's field table.
struct SMessageField {
  const char* name;  // the field's XML element name
  uint32_t uClassId;
  uint32_t uFieldId;
  int nSlot;
  int nPresence;  // kNoPresence when the field is always there
  EMessageFieldKind eKind;
  int nMemberNamespace;  // Object and List: the member's message class
  int nMemberClass;
  uint32_t uEnumClassDef;  // Enumeration: the class definition naming values
};

// Row builders: each reads like a row of the schema's field tables
// (name, slot, presence, field identifier).  MessageFieldTable fills in the
// owning class's identifier.
constexpr SMessageField IntField(const char* name, int slot, int presence,
                                 uint32_t fieldId) {
  return {name, 0, fieldId, slot, presence, EMessageFieldKind::Integer,
          0,    0, 0};
}
constexpr SMessageField StringField(const char* name, int slot, int presence,
                                    uint32_t fieldId) {
  return {name, 0, fieldId, slot, presence, EMessageFieldKind::String, 0, 0, 0};
}
constexpr SMessageField EnumField(const char* name, int slot, int presence,
                                  uint32_t fieldId, uint32_t classDef) {
  return {name, 0, fieldId, slot, presence, EMessageFieldKind::Enumeration,
          0,    0, classDef};
}
constexpr SMessageField ObjectField(const char* name, int slot, int presence,
                                    uint32_t fieldId, int memberNamespace,
                                    int memberClass) {
  return {name,
          0,
          fieldId,
          slot,
          presence,
          EMessageFieldKind::Object,
          memberNamespace,
          memberClass,
          0};
}
constexpr SMessageField ListField(const char* name, int slot, int presence,
                                  uint32_t fieldId, int memberNamespace,
                                  int memberClass) {
  return {name,
          0,
          fieldId,
          slot,
          presence,
          EMessageFieldKind::List,
          memberNamespace,
          memberClass,
          0};
}

template <size_t N>
constexpr std::array<SMessageField, N> MessageFieldTable(
    uint32_t classId, std::array<SMessageField, N> rows) {
  for (auto& row : rows) row.uClassId = classId;
  return rows;
}

namespace message_detail {
constexpr bool SameName(const char* a, const char* b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}
}  // namespace message_detail

// The row of the table named name; a name not in the table does not compile.
template <size_t N>
constexpr const SMessageField& MessageFieldNamed(
    const std::array<SMessageField, N>& table, const char* name) {
  for (const auto& row : table)
    if (message_detail::SameName(row.name, name)) return row;
  throw "no such field in the message class";
}

// A message class: its (namespace, class) pair, identifier and fields.
struct SMessageClass {
  const char* name;     // qualified name, e.g. "ResponseFile::DiskInfo"
  const char* xmlName;  // its XML element name, e.g. "DiskInfo"
  int nNamespace;
  int nClass;
  uint32_t uClassId;
  const SMessageField* fields;
  size_t nFieldCount;
};

// The class of a (namespace, class) pair; null when the library has none.
ZY_PLATFORM_API const SMessageClass* FindMessageClass(int nNamespace,
                                                      int nClass);

class ZY_PLATFORM_API CNMessageBase {
 public:
  // An empty message of the class; an unknown pair is a programming error
  // and gives a message without fields.
  CNMessageBase(int nNamespace, int nClass);
  CNMessageBase(const CNMessageBase& other);
  CNMessageBase(CNMessageBase&& other) noexcept;
  CNMessageBase& operator=(const CNMessageBase& other);
  CNMessageBase& operator=(CNMessageBase&& other) noexcept;
  ~CNMessageBase();

  const SMessageClass& messageClass() const { return *m_class; }

  // --- The platform library's accessors -----------------------------------
  bool isSet(int presence, uint32_t classId, uint32_t fieldId) const;
  int64_t getint64(int slot, uint32_t classId, uint32_t fieldId) const;
  void setint64(int presence, int slot, int64_t value, uint32_t classId,
                uint32_t fieldId);
  std::string getstring(int presence, int slot, uint32_t classId,
                        uint32_t fieldId) const;
  const std::string& getstringByRef(int presence, int slot, uint32_t classId,
                                    uint32_t fieldId) const;
  void setstring(int presence, int slot, const std::string& value,
                 uint32_t classId, uint32_t fieldId);
  // The stored list, created empty when absent (create is accepted for the
  // library's signature; storage is always made).  Reading does not mark
  // the field present; setlistobject does.
  std::vector<CNMessageBase>& getlistobject(int presence, int slot,
                                            uint32_t classId, uint32_t fieldId,
                                            bool create);
  void setlistobject(int presence, int slot,
                     const std::vector<CNMessageBase>& list, uint32_t classId,
                     uint32_t fieldId);
  // The member object, created empty when absent.  markSet marks the field
  // present (for a caller about to write into it); create is accepted for
  // the library's signature.
  CNMessageBase& getObjectAccessor(bool create, bool markSet, int presence,
                                   int slot, uint32_t classId, uint32_t fieldId,
                                   int memberNamespace, int memberClass);

  // The message as XML text (MessageXml.cpp).
  void serialize(std::string& out) const;
  // Replaces this message by the one the XML text describes; the root
  // element must be of this message's class.  On failure the message is
  // unchanged and error says why.  Never throws.
  bool parse(const std::string& text, std::string& error);

  // --- The same accessors addressed by a field-table row ------------------
  bool isSet(const SMessageField& f) const {
    return isSet(f.nPresence, f.uClassId, f.uFieldId);
  }
  int64_t getint64(const SMessageField& f) const {
    return getint64(f.nSlot, f.uClassId, f.uFieldId);
  }
  // The low 32 bits: counts, buses, slots, sizes in MB and enumeration
  // values are 32-bit quantities carried in 64-bit fields.
  int32_t getint32(const SMessageField& f) const {
    return static_cast<int32_t>(static_cast<uint32_t>(getint64(f)));
  }
  void setint64(const SMessageField& f, int64_t value) {
    setint64(f.nPresence, f.nSlot, value, f.uClassId, f.uFieldId);
  }
  std::string getstring(const SMessageField& f) const {
    return getstring(f.nPresence, f.nSlot, f.uClassId, f.uFieldId);
  }
  const std::string& getstringByRef(const SMessageField& f) const {
    return getstringByRef(f.nPresence, f.nSlot, f.uClassId, f.uFieldId);
  }
  void setstring(const SMessageField& f, const std::string& value) {
    setstring(f.nPresence, f.nSlot, value, f.uClassId, f.uFieldId);
  }
  std::vector<CNMessageBase>& getlistobject(const SMessageField& f) {
    return getlistobject(f.nPresence, f.nSlot, f.uClassId, f.uFieldId, true);
  }
  CNMessageBase& getObjectAccessor(const SMessageField& f, bool markSet) {
    return getObjectAccessor(true, markSet, f.nPresence, f.nSlot, f.uClassId,
                             f.uFieldId, f.nMemberNamespace, f.nMemberClass);
  }

  // Typed copies of a list or member, for code that works on local copies.
  template <class T>
  std::vector<T> GetList(const SMessageField& f) const {
    std::vector<T> out;
    if (const auto* list = FindList(f)) {
      out.reserve(list->size());
      for (const auto& item : *list) out.emplace_back(item);
    }
    return out;
  }
  template <class T>
  void SetList(const SMessageField& f, const std::vector<T>& list) {
    setlistobject(f.nPresence, f.nSlot,
                  std::vector<CNMessageBase>(list.begin(), list.end()),
                  f.uClassId, f.uFieldId);
  }
  template <class T>
  T GetObject(const SMessageField& f) const {
    if (const CNMessageBase* member = FindObject(f)) return T(*member);
    return T();
  }
  void SetObject(const SMessageField& f, const CNMessageBase& value) {
    getObjectAccessor(f, true) = value;
  }

  // Messages are equal when their XML texts are.
  bool operator==(const CNMessageBase& other) const;
  bool operator!=(const CNMessageBase& other) const {
    return !(*this == other);
  }

 private:
  struct SEntry;

  const SMessageField* Field(int slot, int presence, uint32_t classId,
                             uint32_t fieldId, EMessageFieldKind kind) const;
  const SMessageField* FieldByPresence(int presence, uint32_t classId,
                                       uint32_t fieldId) const;
  const SEntry* Find(const SMessageField* field) const;
  SEntry& Touch(const SMessageField& field);
  const std::vector<CNMessageBase>* FindList(const SMessageField& f) const;
  const CNMessageBase* FindObject(const SMessageField& f) const;

  friend class CNMessageXml;

  const SMessageClass* m_class;
  // Only fields that were written or reached are stored, so an empty list
  // element costs little whatever its class's size.
  std::vector<SEntry> m_entries;
};
