//===- FXString.h - Platform string helpers -------------------------------===//
//
// Comparisons ignore case in the ASCII sense only.  Results of the Compare
// family are like strcmp (0 when equal); the Match and Find family return
// bool.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/ZyExport.h"

#include <cstddef>
#include <cstdint>
#include <string>

class ZY_PLATFORM_API FXString {
 public:
  // Exact comparison.
  static int Compare(const std::string& a, const std::string& b);
  // Whole texts, ignoring case.
  static int CompareNoCase(const std::string& a, const std::string& b);
  // The first len(b) characters of a against b, ignoring case.
  static int CompareLeftNoCase(const std::string& a, const std::string& b);
  // a ends with b, ignoring case; false when b is longer than a.
  static bool MatchRightNoCase(const std::string& a, const std::string& b);
  // b occurs in a; ignoring case when ignoreCase is true.
  static bool FindString(const std::string& a, const std::string& b,
                         bool ignoreCase);
  // printf into a string.
  static std::string Format(const char* format, ...)
      __attribute__((format(printf, 1, 2)));
  // ASCII letters only; other bytes (UTF-8 included) are kept.
  static std::string ToLower(const std::string& text);
  // Without the blanks (space, tab, CR, LF) at both ends.
  static std::string Trim(const std::string& text);
};

ZY_PLATFORM_API int _stricmp(const char* a, const char* b);
ZY_PLATFORM_API int _strnicmp(const char* a, const char* b, size_t count);

// Result codes of StringCbCopyA.
constexpr long ZY_S_OK = 0;
constexpr long ZY_STRSAFE_E_INVALID_PARAMETER = static_cast<long>(0x80070057);
constexpr long ZY_STRSAFE_E_INSUFFICIENT_BUFFER = static_cast<long>(0x8007007A);
// The largest buffer StringCbCopyA accepts, in bytes.
constexpr size_t ZY_STRSAFE_MAX_CB = 2147483647;

// Copies at most size - 1 characters of source into dest and always
// terminates it (when size is valid).  Returns 0, 0x80070057 for a zero or
// over-large size, or 0x8007007A when the text was cut.
ZY_PLATFORM_API long StringCbCopyA(char* dest, size_t size, const char* source);

// Writes the temporary folder ("/tmp") into buffer when it fits and returns
// its length; returns the size needed (with the terminator) when it does not.
ZY_PLATFORM_API uint32_t GetTempPathA(uint32_t size, char* buffer);
// The temporary folder as text.
ZY_PLATFORM_API std::string GetTempPathA();

// Decimal digits grouped by three with commas: 1073741824 -> "1,073,741,824".
ZY_PLATFORM_API std::string IntToCommaString(int64_t value);
