//===- VMConfigFile.cpp - Generalised and Amazon VM descriptions ---===//
// Not built yet: loading always fails.
#include "platform/VMConfigFile.h"

VMConfigFile::VMConfigFile(const std::string& path) : path_(path) {}
bool VMConfigFile::Load(VMInfoStructs::SVMInfo&) { return false; }
bool VMConfigFile::Save(const VMInfoStructs::SVMInfo&) { return false; }
