//===- FXString.cpp - Platform string helpers -----------------------------===//
#include "platform/support/FXString.h"

#include "platform/support/EvDebug.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

namespace {

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

int CompareRange(const char* a, size_t la, const char* b, size_t lb,
                 bool ignoreCase) {
  size_t n = std::min(la, lb);
  for (size_t i = 0; i < n; ++i) {
    unsigned char ca =
        static_cast<unsigned char>(ignoreCase ? Lower(a[i]) : a[i]);
    unsigned char cb =
        static_cast<unsigned char>(ignoreCase ? Lower(b[i]) : b[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (la == lb) return 0;
  return la < lb ? -1 : 1;
}

}  // namespace

int FXString::Compare(const std::string& a, const std::string& b) {
  return CompareRange(a.data(), a.size(), b.data(), b.size(), false);
}

int FXString::CompareNoCase(const std::string& a, const std::string& b) {
  return CompareRange(a.data(), a.size(), b.data(), b.size(), true);
}

int FXString::CompareLeftNoCase(const std::string& a, const std::string& b) {
  return CompareRange(a.data(), std::min(a.size(), b.size()), b.data(),
                      b.size(), true);
}

bool FXString::MatchRightNoCase(const std::string& a, const std::string& b) {
  if (b.size() > a.size()) return false;
  return CompareRange(a.data() + a.size() - b.size(), b.size(), b.data(),
                      b.size(), true) == 0;
}

bool FXString::FindString(const std::string& a, const std::string& b,
                          bool ignoreCase) {
  if (!ignoreCase) return a.find(b) != std::string::npos;
  return ToLower(a).find(ToLower(b)) != std::string::npos;
}

std::string FXString::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = VFormatString(format, args);
  va_end(args);
  return text;
}

std::string FXString::ToLower(const std::string& text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), Lower);
  return lower;
}

std::string FXString::Trim(const std::string& text) {
  const char* blanks = " \t\r\n";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

int _stricmp(const char* a, const char* b) {
  return CompareRange(a, std::strlen(a), b, std::strlen(b), true);
}

int _strnicmp(const char* a, const char* b, size_t count) {
  size_t la = strnlen(a, count);
  size_t lb = strnlen(b, count);
  return CompareRange(a, la, b, lb, true);
}

long StringCbCopyA(char* dest, size_t size, const char* source) {
  if (size == 0 || size > ZY_STRSAFE_MAX_CB || dest == nullptr)
    return ZY_STRSAFE_E_INVALID_PARAMETER;
  if (source == nullptr) source = "";
  size_t length = strnlen(source, size);
  if (length < size) {
    std::memcpy(dest, source, length + 1);
    return ZY_S_OK;
  }
  std::memcpy(dest, source, size - 1);
  dest[size - 1] = '\0';
  return ZY_STRSAFE_E_INSUFFICIENT_BUFFER;
}

uint32_t GetTempPathA(uint32_t size, char* buffer) {
  static constexpr char kTemp[] = "/tmp";
  constexpr uint32_t kLength = sizeof kTemp - 1;
  if (buffer == nullptr || size <= kLength) return kLength + 1;
  std::memcpy(buffer, kTemp, sizeof kTemp);
  return kLength;
}

std::string GetTempPathA() { return "/tmp"; }

std::string IntToCommaString(int64_t value) {
  // Work on the magnitude as unsigned so INT64_MIN does not overflow.
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value)
                                 : static_cast<uint64_t>(value);
  std::string digits = std::to_string(magnitude);
  std::string grouped;
  grouped.reserve(digits.size() + digits.size() / 3 + 1);
  // A comma goes before every digit that starts a group of three.
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return value < 0 ? "-" + grouped : grouped;
}
