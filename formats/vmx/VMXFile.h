//===- VMXFile.h - VMware configuration files ---===//
#pragma once

#include "model/VMInfoStructs.h"
#include "model/ZyExport.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A VMware configuration file: key = "value" lines.
class ZY_PLATFORM_API VMXFile {
 public:
  VMXFile();
  ~VMXFile();
  VMXFile(const VMXFile&) = delete;
  VMXFile& operator=(const VMXFile&) = delete;

  // Reads and parses the file; false when it is missing, unreadable or too
  // large.  flag is accepted for compatibility and not used.
  bool LoadFile(const std::string& path, const bool& flag);
  // Parses configuration text already in memory.
  bool LoadText(const std::string& text, const std::string& origin);
  // The value of a key (keys compare without regard to case); empty when
  // absent.
  std::string GetValue(const std::string& key) const;
  bool HasKey(const std::string& key) const;
  // Every entry in file order, keys as written, values unescaped.
  std::vector<std::pair<std::string, std::string>> Entries() const;
  // The same entries one by one, without copies; valid until the next load.
  size_t EntryCount() const;
  std::string_view KeyAt(size_t index) const;
  std::string_view ValueAt(size_t index) const;
  // Fills a VM description from the loaded file.
  bool GetVMInfo(VMInfoStructs::SVMInfo& info);
  // Writes the entries to the platform log.
  void Dump() const;

 private:
  struct Impl;
  Impl* impl_;
};
