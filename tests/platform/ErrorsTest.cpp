//===- ErrorsTest.cpp - Platform error values -----------------------------===//
#include "platform/support/CQiError.h"

#include <gtest/gtest.h>

#include <cerrno>

TEST(Errors, VirtualServerNumbersMessageAndLocationRoundTrip) {
  EXPECT_FALSE(CQiError::Success().IsError());
  EXPECT_EQ(CQiError::Success().GetErrorCode(), 0);
  EXPECT_EQ(CQiError::Success().AsString(), "Success");
  for (int number : {1, 2, 4, 5, 7, 8, 10002, 0xFFFFFF}) {
    SCOPED_TRACE(number);
    CQiError error = FXErrorUtil::ErrorVS(
        FXCodeLocation("ZyVMConverter", "f()", 42), number, "Failed to convert");
    CQiError copy = error;
    EXPECT_TRUE(copy.IsError());
    EXPECT_LT(copy.GetErrorCode(), 0);
    EXPECT_TRUE(FXErrorUtil::IsVS(copy, number));
    EXPECT_FALSE(FXErrorUtil::IsVS(copy, number + 1));
    EXPECT_EQ(FXErrorUtil::NumberOf(copy.GetErrorCode()), number);
    EXPECT_EQ(copy.GetMessage(), "Failed to convert");
    EXPECT_EQ(copy.GetLocation().strFile, "ZyVMConverter");
    EXPECT_EQ(copy.GetLocation().nLine, 42);
    EXPECT_NE(copy.AsString().find("Failed to convert"), std::string::npos);
  }
}

TEST(Errors, SystemErrorsKeepTheirNumberAndAreNotVirtualServerErrors) {
  CQiError error = FXErrorUtil::ErrorSystem(FXCodeLocation(), ENOENT, "x");
  EXPECT_TRUE(error.IsError());
  EXPECT_EQ(FXErrorUtil::SystemErrorNumber(error), ENOENT);
  EXPECT_FALSE(FXErrorUtil::IsVS(error, ENOENT));
  EXPECT_FALSE(FXErrorUtil::IsVS(CQiError::Success(), 0));
}
