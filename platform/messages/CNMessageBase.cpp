//===- CNMessageBase.cpp - Field storage and addressed accessors ----------===//
//
// Fields are found in the class's table by slot (reads and writes) or by
// presence index (presence test); the identifiers passed along must be the
// table's.  Values live in a short list of entries, one per field written
// or reached, in no particular order.
//
//===----------------------------------------------------------------------===//
#include "platform/messages/CNMessageBase.h"
#include "platform/messages/CNMessageStorage.h"

#include <algorithm>
#include <utility>

namespace {

// The class of a message whose (namespace, class) pair is unknown: it has
// no fields, so every read gives the default and every write is ignored.
constexpr SMessageClass kUnknownClass = {"?", "Unknown", 0, 0, 0, nullptr, 0};

const std::string& EmptyString() {
  static const std::string empty;
  return empty;
}

}  // namespace

CNMessageBase::CNMessageBase(int nNamespace, int nClass)
    : m_class(FindMessageClass(nNamespace, nClass)) {
  assert(m_class && "unknown message class");
  if (!m_class) m_class = &kUnknownClass;
}

CNMessageBase::CNMessageBase(const CNMessageBase& other) = default;
CNMessageBase::CNMessageBase(CNMessageBase&& other) noexcept = default;
CNMessageBase& CNMessageBase::operator=(const CNMessageBase& other) = default;
CNMessageBase& CNMessageBase::operator=(CNMessageBase&& other) noexcept =
    default;
CNMessageBase::~CNMessageBase() = default;

const SMessageField* CNMessageBase::Field(int slot, int presence,
                                          uint32_t classId, uint32_t fieldId,
                                          EMessageFieldKind kind) const {
  assert(classId == m_class->uClassId && "class identifier of another class");
  if (classId != m_class->uClassId) return nullptr;
  for (size_t i = 0; i < m_class->nFieldCount; ++i) {
    const SMessageField& f = m_class->fields[i];
    if (f.nSlot != slot) continue;
    bool sameKind =
        f.eKind == kind || (kind == EMessageFieldKind::Integer &&
                            f.eKind == EMessageFieldKind::Enumeration);
    bool matches = f.uFieldId == fieldId && sameKind &&
                   (presence == f.nPresence || presence == kNoPresence - 1);
    assert(matches && "field identifier, kind or presence of another field");
    return matches ? &f : nullptr;
  }
  assert(!"no field in this slot");
  return nullptr;
}

const SMessageField* CNMessageBase::FieldByPresence(int presence,
                                                    uint32_t classId,
                                                    uint32_t fieldId) const {
  assert(classId == m_class->uClassId && "class identifier of another class");
  if (classId != m_class->uClassId || presence == kNoPresence) return nullptr;
  for (size_t i = 0; i < m_class->nFieldCount; ++i) {
    const SMessageField& f = m_class->fields[i];
    if (f.nPresence != presence) continue;
    assert(f.uFieldId == fieldId && "field identifier of another field");
    return f.uFieldId == fieldId ? &f : nullptr;
  }
  assert(!"no field with this presence index");
  return nullptr;
}

const CNMessageBase::SEntry* CNMessageBase::Find(
    const SMessageField* field) const {
  if (!field) return nullptr;
  for (const auto& e : m_entries)
    if (e.field == field) return &e;
  return nullptr;
}

CNMessageBase::SEntry& CNMessageBase::Touch(const SMessageField& field) {
  for (auto& e : m_entries)
    if (e.field == &field) return e;
  m_entries.emplace_back();
  m_entries.back().field = &field;
  return m_entries.back();
}

bool CNMessageBase::isSet(int presence, uint32_t classId,
                          uint32_t fieldId) const {
  const SEntry* e = Find(FieldByPresence(presence, classId, fieldId));
  return e && e->bSet;
}

// Getters pass a presence the table cannot hold (kNoPresence - 1) to say
// that the caller gave none: getint64 takes no presence index.
int64_t CNMessageBase::getint64(int slot, uint32_t classId,
                                uint32_t fieldId) const {
  const SEntry* e = Find(Field(slot, kNoPresence - 1, classId, fieldId,
                               EMessageFieldKind::Integer));
  return e ? e->i64Value : 0;
}

void CNMessageBase::setint64(int presence, int slot, int64_t value,
                             uint32_t classId, uint32_t fieldId) {
  const SMessageField* f =
      Field(slot, presence, classId, fieldId, EMessageFieldKind::Integer);
  if (!f) return;
  SEntry& e = Touch(*f);
  e.i64Value = value;
  e.bSet = true;
}

std::string CNMessageBase::getstring(int presence, int slot, uint32_t classId,
                                     uint32_t fieldId) const {
  return getstringByRef(presence, slot, classId, fieldId);
}

const std::string& CNMessageBase::getstringByRef(int presence, int slot,
                                                 uint32_t classId,
                                                 uint32_t fieldId) const {
  const SEntry* e =
      Find(Field(slot, presence, classId, fieldId, EMessageFieldKind::String));
  return e ? e->strValue : EmptyString();
}

void CNMessageBase::setstring(int presence, int slot, const std::string& value,
                              uint32_t classId, uint32_t fieldId) {
  const SMessageField* f =
      Field(slot, presence, classId, fieldId, EMessageFieldKind::String);
  if (!f) return;
  SEntry& e = Touch(*f);
  e.strValue = value;
  e.bSet = true;
}

std::vector<CNMessageBase>& CNMessageBase::getlistobject(int presence, int slot,
                                                         uint32_t classId,
                                                         uint32_t fieldId,
                                                         bool /*create*/) {
  const SMessageField* f =
      Field(slot, presence, classId, fieldId, EMessageFieldKind::List);
  if (!f) {
    // A misaddressed list reads as empty; what is written into it is lost.
    static thread_local std::vector<CNMessageBase> scratch;
    scratch.clear();
    return scratch;
  }
  return Touch(*f).list;
}

void CNMessageBase::setlistobject(int presence, int slot,
                                  const std::vector<CNMessageBase>& list,
                                  uint32_t classId, uint32_t fieldId) {
  const SMessageField* f =
      Field(slot, presence, classId, fieldId, EMessageFieldKind::List);
  if (!f) return;
  for (const auto& item : list) {
    assert(item.m_class->nNamespace == f->nMemberNamespace &&
           item.m_class->nClass == f->nMemberClass && "list of another class");
    if (item.m_class->nNamespace != f->nMemberNamespace ||
        item.m_class->nClass != f->nMemberClass)
      return;
  }
  SEntry& e = Touch(*f);
  e.list = list;
  e.bSet = true;
}

CNMessageBase& CNMessageBase::getObjectAccessor(
    bool /*create*/, bool markSet, int presence, int slot, uint32_t classId,
    uint32_t fieldId, int memberNamespace, int memberClass) {
  const SMessageField* f =
      Field(slot, presence, classId, fieldId, EMessageFieldKind::Object);
  assert((!f || (f->nMemberNamespace == memberNamespace &&
                 f->nMemberClass == memberClass)) &&
         "member of another class");
  if (!f || f->nMemberNamespace != memberNamespace ||
      f->nMemberClass != memberClass) {
    static thread_local std::unique_ptr<CNMessageBase> scratch;
    scratch = std::make_unique<CNMessageBase>(memberNamespace, memberClass);
    return *scratch;
  }
  SEntry& e = Touch(*f);
  if (!e.object)
    e.object = std::make_unique<CNMessageBase>(memberNamespace, memberClass);
  if (markSet) e.bSet = true;
  return *e.object;
}

const std::vector<CNMessageBase>* CNMessageBase::FindList(
    const SMessageField& f) const {
  const SEntry* e = Find(Field(f.nSlot, f.nPresence, f.uClassId, f.uFieldId,
                               EMessageFieldKind::List));
  return e ? &e->list : nullptr;
}

const CNMessageBase* CNMessageBase::FindObject(const SMessageField& f) const {
  const SEntry* e = Find(Field(f.nSlot, f.nPresence, f.uClassId, f.uFieldId,
                               EMessageFieldKind::Object));
  return e ? e->object.get() : nullptr;
}

bool CNMessageBase::operator==(const CNMessageBase& other) const {
  if (m_class != other.m_class) return false;
  std::string a;
  std::string b;
  serialize(a);
  other.serialize(b);
  return a == b;
}
