//===- NamedDisks.cpp - The disks a cloud import file names ---------------===//
#include "formats/common/DiskPlacement.h"
#include "platform/support/FXString.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <utility>

namespace {

using Json = nlohmann::ordered_json;

// Where a file name stands alone in a text: at its start or after a path
// separator or quote, and at its end or before a quote or parenthesis.
size_t FindFileName(const std::string& text, const std::string& name) {
  for (size_t at = text.find(name); at != std::string::npos;
       at = text.find(name, at + 1)) {
    size_t end = at + name.size();
    bool starts = at == 0 ||
                  std::string("/\\'\"").find(text[at - 1]) != std::string::npos;
    bool ends = end == text.size() ||
                std::string("'\")").find(text[end]) != std::string::npos;
    if (starts && ends) return at;
  }
  return std::string::npos;
}

// The folder's files the document's texts name, in document order; with
// osOnly, only those under an "osDisk" key (any case).
void CollectFileNames(const Json& value, const std::vector<std::string>& files,
                      bool osOnly, std::vector<std::string>& found) {
  if (value.is_string() && !osOnly) {
    std::string text = value.get<std::string>();
    std::vector<std::pair<size_t, std::string>> named;
    for (const std::string& file : files) {
      size_t at = FindFileName(text, file);
      if (at != std::string::npos) named.emplace_back(at, file);
    }
    std::sort(named.begin(), named.end());
    for (const auto& item : named)
      if (std::find(found.begin(), found.end(), item.second) == found.end())
        found.push_back(item.second);
  } else if (value.is_object()) {
    for (const auto& item : value.items())
      CollectFileNames(item.value(), files,
                       osOnly && FXString::ToLower(item.key()) != "osdisk",
                       found);
  } else if (value.is_array()) {
    for (const auto& item : value) CollectFileNames(item, files, osOnly, found);
  }
}

// Whether the document has key (any case) with the text value (any case)
// anywhere.
bool HasSetting(const Json& value, const char* key, const char* setting) {
  if (!value.is_structured()) return false;
  for (auto item = value.begin(); item != value.end(); ++item) {
    if (value.is_object() && FXString::ToLower(item.key()) == key &&
        item->is_string() &&
        FXString::ToLower(item->get<std::string>()) == setting)
      return true;
    if (HasSetting(*item, key, setting)) return true;
  }
  return false;
}

}  // namespace

bool ReadNamedDisks(const std::string& text,
                    const std::vector<std::string>& files,
                    SDiskPlacement& placement, std::string& error) {
  Json document = Json::parse(text, nullptr, false);
  if (document.is_discarded()) {
    error = "the description is not JSON";
    return false;
  }
  std::vector<std::string> names;
  CollectFileNames(document, files, true, names);
  CollectFileNames(document, files, false, names);
  placement.efi = HasSetting(document, "hypervgeneration", "v2");
  for (const std::string& name : names) {
    SPlacedDisk disk;
    disk.file = name;
    placement.disks.push_back(disk);
  }
  return true;
}
