//===- CQiError.h - Platform error values ---------------------------------===//
//
// A CQiError holds a signed 32-bit code and a shared detail record (message,
// code location).  Code 0 is success; a negative code is an error.
//
// Error codes are built from a family and a number:
//   code = INT32_MIN | family << 24 | number       (number < 2^24)
// so that a caller can ask "is this the virtual-server error 7?" with
// FXErrorUtil::IsVS.  Families: 1 virtual server (VS), 2 system error number
// (errno).  The virtual-server number 10002 is the end of a data stream.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/ZyExport.h"

#include <cstdint>
#include <memory>
#include <string>

struct ZY_PLATFORM_API FXCodeLocation {
  FXCodeLocation() = default;
  FXCodeLocation(std::string file, std::string function, int line)
      : strFile(std::move(file)),
        strFunction(std::move(function)),
        nLine(line) {}
  std::string strFile;
  std::string strFunction;
  int nLine = 0;
};

class ZY_PLATFORM_API CQiError {
 public:
  struct Detail {
    std::string message;
    FXCodeLocation location;
  };

  CQiError() = default;  // success
  CQiError(int32_t code, std::string message, FXCodeLocation location = {});

  static CQiError Success() { return CQiError(); }

  bool IsError() const { return code_ < 0; }
  bool IsSuccess() const { return code_ >= 0; }
  int32_t GetErrorCode() const { return code_; }
  const std::string& GetMessage() const;
  const FXCodeLocation& GetLocation() const;
  // "Success", or the error's message with its code and location.
  std::string AsString() const;

 private:
  int32_t code_ = 0;
  std::shared_ptr<const Detail> detail_;
};

// Builds and recognises the platform's error codes.
class ZY_PLATFORM_API FXErrorUtil {
 public:
  static constexpr int kFamilyVS = 1;
  static constexpr int kFamilySystem = 2;
  static constexpr int kVSEndOfData = 10002;

  static int32_t MakeCode(int family, int number);
  // The family of an error code, or 0 for success and foreign codes.
  static int FamilyOf(int32_t code);
  // The number inside an error code of a known family, or -1.
  static int NumberOf(int32_t code);

  // A virtual-server error with the given number, optionally with a
  // printf-style message.
  static CQiError ErrorVS(const FXCodeLocation& location, int number);
  static CQiError ErrorVS(const FXCodeLocation& location, int number,
                          const char* format, ...)
      __attribute__((format(printf, 3, 4)));
  static bool IsVS(const CQiError& error, int number);

  // An error from a system error number, with the system's text.
  static CQiError ErrorSystem(const FXCodeLocation& location, int errnum,
                              const std::string& context = {});
  // The system error number of an ErrorSystem value, or 0.
  static int SystemErrorNumber(const CQiError& error);
};

#define ZY_HERE(file, function) FXCodeLocation((file), (function), __LINE__)
