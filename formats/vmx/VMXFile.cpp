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
#include "formats/vmx/VMXFile.h"

#include "platform/support/BoundedFile.h"
#include "platform/support/EvDebug.h"
#include "platform/support/FXString.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <cstdint>

namespace {

const char kLoadFile[] = "bool VMXFile::LoadFile(const string&, const bool&)";
const char kLoadText[] = "bool VMXFile::LoadText(const string&, const string&)";

// Unreadable lines logged one by one per file; beyond that only a count, so
// a file that is not a configuration file at all cannot flood the log.
constexpr size_t kMaxLoggedLines = 20;
const char kBlanks[] = " \t";
const char kUtf8Bom[] = "\xEF\xBB\xBF";

// An entry as it stands in the text: the key, and the value with its
// escapes still in.
struct Entry {
  std::string_view key;
  std::string_view raw;
};

// The parser works on views into the text: a file of a million short lines
// must not make a million strings.
std::string_view Trim(std::string_view text) {
  size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Appends raw to text, undoing VMware's "|XX" escapes; a bar not followed
// by two hexadecimal digits stands for itself.
void AppendUnescaped(std::string_view raw, std::string& text) {
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
}

bool IsValidKey(std::string_view key) {
  return !key.empty() && key.find_first_of(" \t\"#") == std::string_view::npos;
}

// One line of the file: false when it holds no entry (blank or comment);
// bad is set when it is neither an entry nor blank nor a comment.
bool ParseLine(std::string_view line, Entry& entry, bool& bad) {
  bad = false;
  std::string_view text = Trim(line);
  if (text.empty() || text[0] == '#') return false;
  size_t equals = text.find('=');
  std::string_view key = equals == std::string_view::npos
                             ? std::string_view()
                             : Trim(text.substr(0, equals));
  if (!IsValidKey(key)) {
    bad = true;
    return false;
  }
  std::string_view rest = Trim(text.substr(equals + 1));
  std::string_view raw;
  if (!rest.empty() && rest[0] == '"') {
    size_t close = rest.find('"', 1);
    if (close == std::string_view::npos) {
      bad = true;
      return false;
    }
    std::string_view after = Trim(rest.substr(close + 1));
    if (!after.empty() && after[0] != '#') {
      bad = true;
      return false;
    }
    raw = rest.substr(1, close - 1);
  } else {
    raw = Trim(rest.substr(0, rest.find('#')));
  }
  entry = {key, raw};
  return true;
}

}  // namespace

// The entries take little more memory than the text they come from: keys
// (as written, then in lower case) and values sit back to back in one
// buffer, an entry is four offsets, and the index by lower-case key is an
// open-addressing table of entry numbers.  A map of strings would take some
// 200 bytes for a 15-byte line.
struct VMXFile::Impl {
  struct Span {
    uint32_t offset = 0;
    uint32_t length = 0;
  };
  struct Stored {
    Span key;  // as written; the lower-case key follows it
    Span value;
  };
  std::string arena;
  std::vector<Stored> entries;
  // Entry number + 1 per slot, 0 for a free slot; a power of two in size,
  // at most half full.
  std::vector<uint32_t> slots;

  void Clear() {
    arena.clear();
    arena.shrink_to_fit();
    entries.clear();
    entries.shrink_to_fit();
    slots.clear();
    slots.shrink_to_fit();
  }

  std::string_view View(Span span) const {
    return std::string_view(arena.data() + span.offset, span.length);
  }
  std::string_view LowerKey(const Stored& stored) const {
    return std::string_view(arena.data() + stored.key.offset +
                                stored.key.length,
                            stored.key.length);
  }

  // Appends the key as written and in lower case.
  Span AppendKey(std::string_view key) {
    Span span{static_cast<uint32_t>(arena.size()),
              static_cast<uint32_t>(key.size())};
    arena += key;
    arena += key;
    for (size_t i = span.offset + span.length; i < arena.size(); ++i)
      if (arena[i] >= 'A' && arena[i] <= 'Z')
        arena[i] = static_cast<char>(arena[i] - 'A' + 'a');
    return span;
  }

  Span AppendValue(std::string_view raw) {
    size_t start = arena.size();
    AppendUnescaped(raw, arena);
    return {static_cast<uint32_t>(start),
            static_cast<uint32_t>(arena.size() - start)};
  }

  // FNV-1a, its high bits folded into the low ones that pick the slot
  // (FNV's low bits alone cluster similar keys).
  static size_t Hash(std::string_view lower) {
    uint64_t hash = 14695981039346656037ull;
    for (char c : lower) {
      hash ^= static_cast<unsigned char>(c);
      hash *= 1099511628211ull;
    }
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdull;
    hash ^= hash >> 33;
    return static_cast<size_t>(hash);
  }

  // The slot holding the key, or the free slot where it would go.
  size_t SlotOf(std::string_view lower) const {
    size_t mask = slots.size() - 1;
    for (size_t slot = Hash(lower) & mask;; slot = (slot + 1) & mask) {
      uint32_t held = slots[slot];
      if (held == 0 || LowerKey(entries[held - 1]) == lower) return slot;
    }
  }

  const Stored* Find(const std::string& key) const {
    if (slots.empty()) return nullptr;
    uint32_t held = slots[SlotOf(FXString::ToLower(key))];
    return held == 0 ? nullptr : &entries[held - 1];
  }

  void Grow() {
    std::vector<uint32_t> old;
    old.swap(slots);
    slots.assign(old.empty() ? 64 : old.size() * 2, 0);
    for (uint32_t held : old)
      if (held != 0) slots[SlotOf(LowerKey(entries[held - 1]))] = held;
  }

  void Set(const Entry& entry) {
    if ((entries.size() + 1) * 2 > slots.size()) Grow();
    // The key goes into the buffer first; a key already there leaves it.
    size_t mark = arena.size();
    Span key = AppendKey(entry.key);
    size_t slot = SlotOf(LowerKey(Stored{key, {}}));
    if (slots[slot] != 0) {
      // A later entry replaces an earlier one in its place.
      Stored& stored = entries[slots[slot] - 1];
      arena.resize(mark);
      stored.key = AppendKey(entry.key);
      stored.value = AppendValue(entry.raw);
      return;
    }
    entries.push_back({key, AppendValue(entry.raw)});
    slots[slot] = static_cast<uint32_t>(entries.size());
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
  // Keys twice and values are never longer than twice the text.
  impl_->arena.reserve(text.size() + text.size() / 2);
  size_t start = text.compare(0, 3, kUtf8Bom) == 0 ? 3 : 0;
  size_t lineNumber = 0;
  size_t badLines = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++lineNumber;
    start = end + 1;

    Entry entry;
    bool bad = false;
    if (ParseLine(line, entry, bad)) {
      impl_->Set(entry);
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
  const Impl::Stored* found = impl_->Find(key);
  return found ? std::string(impl_->View(found->value)) : std::string();
}

bool VMXFile::HasKey(const std::string& key) const {
  return impl_->Find(key) != nullptr;
}

std::vector<std::pair<std::string, std::string>> VMXFile::Entries() const {
  std::vector<std::pair<std::string, std::string>> all;
  for (size_t i = 0; i < EntryCount(); ++i)
    all.emplace_back(std::string(KeyAt(i)), std::string(ValueAt(i)));
  return all;
}

size_t VMXFile::EntryCount() const { return impl_->entries.size(); }

std::string_view VMXFile::KeyAt(size_t index) const {
  return impl_->View(impl_->entries.at(index).key);
}

std::string_view VMXFile::ValueAt(size_t index) const {
  return impl_->View(impl_->entries.at(index).value);
}
