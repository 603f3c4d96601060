//===- XenSyntax.h - The xm / xl domain file language -----------*- C++ -*-===//
//
// A Xen domain file (vm.cfg) read into its settings: name = value
// statements whose values are literals (strings, numbers, True/False/None,
// lists); a value computed by Python code is kept as Computed.  What the
// settings mean is read by OracleVMConfigFile.cpp.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <map>
#include <string>
#include <vector>

namespace xen {

enum class ValueKind { String, Number, Bool, None, List, Computed };

struct Value {
  ValueKind kind = ValueKind::Computed;
  std::string text;  // string value, number as written
  std::vector<Value> items;
};

struct Setting {
  Value value;
  int line = 0;
};

using Settings = std::map<std::string, Setting>;

// Reads the settings a VM description is filled from (name, uuid, memory,
// vcpus, OVM_*, firmware, bios, builder, type, disk, vif); the others are
// checked for syntax only.  False with "line N: ..." in error for broken
// syntax.
bool ParseSettings(const std::string& text, Settings& settings,
                   std::string& error);

// "line 12: ", the start of an error about that line.
std::string LineText(int line);
// A value as shown in an error line: long values are cut, so one bad value
// cannot flood the log.
std::string Shown(const std::string& value);

}  // namespace xen
