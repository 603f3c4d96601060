//===- VMXFile.cpp - VMware configuration files ---===//
// Not built yet: loading always fails.
#include "platform/VMXFile.h"

struct VMXFile::Impl {
  std::vector<std::pair<std::string, std::string>> entries;
};
VMXFile::VMXFile() : impl_(new Impl) {}
VMXFile::~VMXFile() { delete impl_; }
bool VMXFile::LoadFile(const std::string&, const bool&) { return false; }
bool VMXFile::LoadText(const std::string&, const std::string&) { return false; }
std::string VMXFile::GetValue(const std::string&) const { return {}; }
bool VMXFile::HasKey(const std::string&) const { return false; }
const std::vector<std::pair<std::string, std::string>>& VMXFile::Entries() const { return impl_->entries; }
