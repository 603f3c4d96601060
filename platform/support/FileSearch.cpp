//===- FileSearch.cpp - Finding files in a folder -------------------------===//
//
// Folder listings come in no particular order, so the names are sorted
// (byte order) and the first match taken: the same folder always yields the
// same file.  Only regular files (or links to them) count; a folder named
// "x.zyf" is not a configuration file.  The extension is the text after the
// last dot of the name; a name whose only dot leads it (".zyf") has none.
//
//===----------------------------------------------------------------------===//
#include "platform/support/FileSearch.h"

#include "platform/support/FXString.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool HasExtension(const std::string& name, const std::string& extension) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return false;
  return FXString::CompareNoCase(name.substr(dot + 1), extension) == 0;
}

}  // namespace

bool GetFirstFileByExtension(const std::string& folder,
                             const std::string& extension, std::string& found) {
  if (folder.empty()) return false;
  // Callers may write the extension with its dot.
  std::string wanted = extension;
  if (!wanted.empty() && wanted.front() == '.') wanted.erase(0, 1);
  if (wanted.empty()) return false;

  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) return false;

  std::vector<std::string> names;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) return false;
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    std::string name = it->path().filename().string();
    if (HasExtension(name, wanted)) names.push_back(std::move(name));
  }
  if (ec || names.empty()) return false;

  found = (fs::path(folder) / *std::min_element(names.begin(), names.end()))
              .string();
  return true;
}
