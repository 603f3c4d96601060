//===- XMLDecoder.h - Names and display texts of message enumerations -----===//
//
// An enumeration field of a message holds an integer; its class definition
// names each value and gives the text shown to a person.  The recovery
// response uses two:
//
//   563900252  SCSI controller model     DiskInfo::scsiControllerType
//   564127803  network adapter model     Interface::adapterType
//
// The value names are what descriptions carry (a controller's
// strControllerType); the display texts are what an adapter's
// strAdapterType carries.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/ZyExport.h"

#include <cstddef>
#include <cstdint>
#include <string>

class CNMessageBase;

struct SEnumValue {
  int64_t value;
  const char* name;
  const char* displayText;  // may be empty: the name is shown instead
};

struct SEnumClassDef {
  uint32_t id;
  const char* name;
  const SEnumValue* values;
  size_t nValueCount;
};

class ZY_PLATFORM_API XMLDecoder {
 public:
  // The enumeration's class definition; null for an unknown id.
  static const SEnumClassDef* GetClassDef(uint32_t classDefId);
  // The value's name; empty for a value the enumeration does not name or a
  // null definition.
  static std::string getEnumString(const SEnumClassDef* def, int64_t value);
  // Sets the text of an Annotation::Text to the display text of the value
  // named name (empty when the name is unknown).
  static void FillAnnotation(const SEnumClassDef* def,
                             CNMessageBase& annotation,
                             const std::string& name);
};
