//===- VMXFileVMInfo.cpp - VM descriptions from VMware configuration files ---===//
// Not built yet: filling a description always fails.
#include "platform/VMXFile.h"

bool VMXFile::GetVMInfo(VMInfoStructs::SVMInfo&) { return false; }
void VMXFile::Dump() const {}
