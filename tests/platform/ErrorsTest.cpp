//===- ErrorsTest.cpp - Platform error values -----------------------------===//
#include "platform/support/CQiError.h"

#include <gtest/gtest.h>

#include <cerrno>

TEST(Errors, SuccessIsNotAnError) {
  CQiError ok = CQiError::Success();
  EXPECT_FALSE(ok.IsError());
  EXPECT_EQ(ok.GetErrorCode(), 0);
  EXPECT_EQ(ok.AsString(), "Success");
}

TEST(Errors, VirtualServerNumbersRoundTrip) {
  for (int number : {1, 2, 4, 5, 7, 8, 10002, 0xFFFFFF}) {
    SCOPED_TRACE(number);
    CQiError error = FXErrorUtil::ErrorVS(
        FXCodeLocation("ZyVMConverter", "f()", 12), number);
    EXPECT_TRUE(error.IsError());
    EXPECT_LT(error.GetErrorCode(), 0);
    EXPECT_TRUE(FXErrorUtil::IsVS(error, number));
    EXPECT_FALSE(FXErrorUtil::IsVS(error, number + 1));
    EXPECT_EQ(FXErrorUtil::NumberOf(error.GetErrorCode()), number);
  }
}

TEST(Errors, MessageAndLocationTravelWithCopies) {
  CQiError error = FXErrorUtil::ErrorVS(
      FXCodeLocation("ZyVMConverter", "CQiError ZyVMConverter::f()", 42), 2,
      "Failed to convert VM configuration file");
  CQiError copy = error;
  EXPECT_EQ(copy.GetMessage(), "Failed to convert VM configuration file");
  EXPECT_EQ(copy.GetLocation().strFile, "ZyVMConverter");
  EXPECT_EQ(copy.GetLocation().nLine, 42);
  EXPECT_NE(copy.AsString().find("Failed to convert VM configuration file"),
            std::string::npos);
}

TEST(Errors, SystemErrorsKeepTheirNumberAndAreNotVirtualServerErrors) {
  CQiError error = FXErrorUtil::ErrorSystem(FXCodeLocation(), ENOENT, "x");
  EXPECT_TRUE(error.IsError());
  EXPECT_EQ(FXErrorUtil::SystemErrorNumber(error), ENOENT);
  EXPECT_FALSE(FXErrorUtil::IsVS(error, ENOENT));
  EXPECT_FALSE(FXErrorUtil::IsVS(CQiError::Success(), 0));
}
