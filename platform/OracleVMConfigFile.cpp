//===- OracleVMConfigFile.cpp - Oracle VM and Xen domain files ---===//
// Not built yet: loading always fails.
#include "platform/OracleVMConfigFile.h"

struct OracleVMConfigFile::Impl {};
OracleVMConfigFile::OracleVMConfigFile() : impl_(new Impl) {}
OracleVMConfigFile::~OracleVMConfigFile() { delete impl_; }
bool OracleVMConfigFile::LoadFile(const std::string&) { return false; }
bool OracleVMConfigFile::GetVMInfo(VMInfoStructs::SVMInfo&) { return false; }
