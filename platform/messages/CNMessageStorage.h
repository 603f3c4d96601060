//===- CNMessageStorage.h - Stored value of one message field -------------===//
//
// Internal to the message library (CNMessageBase.cpp, MessageXml.cpp).
//
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/messages/CNMessageBase.h"

#include <utility>

struct CNMessageBase::SEntry {
  const SMessageField* field = nullptr;
  bool bSet = false;
  int64_t i64Value = 0;
  std::string strValue;
  std::unique_ptr<CNMessageBase> object;
  std::vector<CNMessageBase> list;

  SEntry() = default;
  SEntry(const SEntry& o)
      : field(o.field),
        bSet(o.bSet),
        i64Value(o.i64Value),
        strValue(o.strValue),
        object(o.object ? std::make_unique<CNMessageBase>(*o.object) : nullptr),
        list(o.list) {}
  SEntry(SEntry&&) noexcept = default;
  SEntry& operator=(const SEntry& o) {
    SEntry copy(o);
    return *this = std::move(copy);
  }
  SEntry& operator=(SEntry&&) noexcept = default;
};
