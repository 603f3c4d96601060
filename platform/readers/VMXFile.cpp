//===- VMXFile.cpp - VMware configuration files ---------------------------===//
//
// Reads the key = "value" text of VMware configuration files (.vmx, .vmtx,
// the backup catalog) as VMware writes and reads it:
//   * one entry per line; blank lines and lines starting with "#" are
//     skipped, so a "#!" first line is a comment too;
//   * keys compare without regard to case (scsi0:0.fileName and
//     SCSI0:0.FILENAME are one key); a later entry replaces an earlier one,
//     keeping the earlier one's place;
//   * values are quoted; an unquoted value runs to the end of the line or to
//     a "#"; after a closing quote only a "#" comment may follow;
//   * inside values VMware escapes characters as "|" and two hexadecimal
//     digits: |22 is a double quote, |7C a bar, |23 a "#";
//   * CRLF line ends and a UTF-8 byte order mark are accepted.
// A line that is none of these is skipped and logged with its number.
// The parser works on text (LoadText); LoadFile only reads the file, and
// refuses what ReadBoundedFile refuses (a FIFO, a device, over 16 MiB).
//
//===----------------------------------------------------------------------===//
#include "platform/readers/VMXFile.h"

#include "platform/support/BoundedFile.h"
#include "platform/support/EvDebug.h"
#include "platform/support/FXString.h"

#include <unordered_map>

namespace {

const char kLoadFile[] = "bool VMXFile::LoadFile(const string&, const bool&)";
const char kLoadText[] = "bool VMXFile::LoadText(const string&, const string&)";

// Unreadable lines logged one by one per file; beyond that only a count, so
// a file that is not a configuration file at all cannot flood the log.
constexpr size_t kMaxLoggedLines = 20;
const char kUtf8Bom[] = "\xEF\xBB\xBF";

using Entry = std::pair<std::string, std::string>;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Undoes VMware's "|XX" escapes; a bar not followed by two hexadecimal
// digits stands for itself.
std::string Unescape(const std::string& raw) {
  std::string text;
  text.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '|' && i + 2 < raw.size()) {
      int high = HexDigit(raw[i + 1]);
      int low = HexDigit(raw[i + 2]);
      if (high >= 0 && low >= 0) {
        text += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    text += raw[i];
  }
  return text;
}

bool IsValidKey(const std::string& key) {
  return !key.empty() && key.find_first_of(" \t\"#") == std::string::npos;
}

// One line of the file: false when it holds no entry (blank or comment);
// bad is set when it is neither an entry nor blank nor a comment.
bool ParseLine(const std::string& line, Entry& entry, bool& bad) {
  bad = false;
  std::string text = FXString::Trim(line);
  if (text.empty() || text[0] == '#') return false;
  size_t equals = text.find('=');
  std::string key =
      equals == std::string::npos ? "" : FXString::Trim(text.substr(0, equals));
  if (!IsValidKey(key)) {
    bad = true;
    return false;
  }
  std::string rest = FXString::Trim(text.substr(equals + 1));
  std::string raw;
  if (!rest.empty() && rest[0] == '"') {
    size_t close = rest.find('"', 1);
    if (close == std::string::npos) {
      bad = true;
      return false;
    }
    std::string after = FXString::Trim(rest.substr(close + 1));
    if (!after.empty() && after[0] != '#') {
      bad = true;
      return false;
    }
    raw = rest.substr(1, close - 1);
  } else {
    raw = FXString::Trim(rest.substr(0, rest.find('#')));
  }
  entry = {key, Unescape(raw)};
  return true;
}

}  // namespace

struct VMXFile::Impl {
  std::vector<Entry> entries;
  // Lower-case key -> index into entries.
  std::unordered_map<std::string, size_t> index;

  void Clear() {
    entries.clear();
    index.clear();
  }

  void Set(Entry entry) {
    std::string lower = FXString::ToLower(entry.first);
    auto found = index.find(lower);
    if (found != index.end()) {
      entries[found->second] = std::move(entry);
      return;
    }
    index.emplace(std::move(lower), entries.size());
    entries.push_back(std::move(entry));
  }
};

VMXFile::VMXFile() : impl_(new Impl) {}

VMXFile::~VMXFile() { delete impl_; }

bool VMXFile::LoadFile(const std::string& path, const bool& /*flag*/) {
  impl_->Clear();
  std::string text;
  std::string error;
  if (!ReadBoundedFile(path, text, error)) {
    EvDebug().Error(kLoadFile, "%s", error.c_str());
    return false;
  }
  return LoadText(text, path);
}

bool VMXFile::LoadText(const std::string& text, const std::string& origin) {
  impl_->Clear();
  EvDebug log;
  if (text.size() > kMaxInputFileBytes) {
    log.Error(kLoadText, "[%s] is too large for a configuration file",
              origin.c_str());
    return false;
  }
  size_t start = text.compare(0, 3, kUtf8Bom) == 0 ? 3 : 0;
  size_t lineNumber = 0;
  size_t badLines = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ++lineNumber;
    start = end + 1;

    Entry entry;
    bool bad = false;
    if (ParseLine(line, entry, bad)) {
      impl_->Set(std::move(entry));
    } else if (bad && ++badLines <= kMaxLoggedLines) {
      log.Error(kLoadText,
                "Skipped line %zu of [%s]: not a key = \"value\" entry",
                lineNumber, origin.c_str());
    }
  }
  if (badLines > kMaxLoggedLines)
    log.Error(kLoadText, "Skipped %zu lines of [%s] in all", badLines,
              origin.c_str());
  return true;
}

std::string VMXFile::GetValue(const std::string& key) const {
  auto found = impl_->index.find(FXString::ToLower(key));
  return found == impl_->index.end() ? std::string()
                                     : impl_->entries[found->second].second;
}

bool VMXFile::HasKey(const std::string& key) const {
  return impl_->index.count(FXString::ToLower(key)) != 0;
}

const std::vector<std::pair<std::string, std::string>>& VMXFile::Entries()
    const {
  return impl_->entries;
}
