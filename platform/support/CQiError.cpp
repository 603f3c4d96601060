//===- CQiError.cpp - Platform error values -------------------------------===//
#include "platform/support/CQiError.h"

#include "platform/support/EvDebug.h"

#include <climits>
#include <cstdarg>
#include <cstring>

namespace {

constexpr int32_t kNumberMask = 0x00FFFFFF;

const CQiError::Detail& EmptyDetail() {
  static const CQiError::Detail detail;
  return detail;
}

}  // namespace

CQiError::CQiError(int32_t code, std::string message, FXCodeLocation location)
    : code_(code),
      detail_(std::make_shared<const Detail>(
          Detail{std::move(message), std::move(location)})) {}

const std::string& CQiError::GetMessage() const {
  return detail_ ? detail_->message : EmptyDetail().message;
}

const FXCodeLocation& CQiError::GetLocation() const {
  return detail_ ? detail_->location : EmptyDetail().location;
}

std::string CQiError::AsString() const {
  if (!IsError()) return "Success";
  std::string text;
  int family = FXErrorUtil::FamilyOf(code_);
  int number = FXErrorUtil::NumberOf(code_);
  if (family == FXErrorUtil::kFamilyVS) {
    text = "virtual server error " + std::to_string(number);
  } else if (family == FXErrorUtil::kFamilySystem) {
    text = "system error " + std::to_string(number);
  } else {
    text = "error " + std::to_string(code_);
  }
  if (!GetMessage().empty()) text = GetMessage() + " (" + text + ")";
  const FXCodeLocation& where = GetLocation();
  if (!where.strFile.empty())
    text += " at " + where.strFile + ":" + std::to_string(where.nLine);
  return text;
}

int32_t FXErrorUtil::MakeCode(int family, int number) {
  uint32_t code = 0x80000000u | (static_cast<uint32_t>(family & 0x7F) << 24) |
                  (static_cast<uint32_t>(number) & kNumberMask);
  return static_cast<int32_t>(code);
}

int FXErrorUtil::FamilyOf(int32_t code) {
  if (code >= 0) return 0;
  return static_cast<int>((static_cast<uint32_t>(code) >> 24) & 0x7F);
}

int FXErrorUtil::NumberOf(int32_t code) {
  int family = FamilyOf(code);
  if (family != kFamilyVS && family != kFamilySystem) return -1;
  return static_cast<int>(static_cast<uint32_t>(code) & kNumberMask);
}

CQiError FXErrorUtil::ErrorVS(const FXCodeLocation& location, int number) {
  return CQiError(MakeCode(kFamilyVS, number), std::string(), location);
}

CQiError FXErrorUtil::ErrorVS(const FXCodeLocation& location, int number,
                              const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string message = VFormatString(format, args);
  va_end(args);
  return CQiError(MakeCode(kFamilyVS, number), std::move(message), location);
}

bool FXErrorUtil::IsVS(const CQiError& error, int number) {
  return error.IsError() && error.GetErrorCode() == MakeCode(kFamilyVS, number);
}

CQiError FXErrorUtil::ErrorSystem(const FXCodeLocation& location, int errnum,
                                  const std::string& context) {
  char buffer[256];
  const char* text = strerror_r(errnum, buffer, sizeof buffer);
  std::string message = context.empty() ? text : context + ": " + text;
  return CQiError(MakeCode(kFamilySystem, errnum), std::move(message),
                  location);
}

int FXErrorUtil::SystemErrorNumber(const CQiError& error) {
  if (FamilyOf(error.GetErrorCode()) != kFamilySystem) return 0;
  return NumberOf(error.GetErrorCode());
}
