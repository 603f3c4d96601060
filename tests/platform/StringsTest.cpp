//===- StringsTest.cpp - Platform string helpers --------------------------===//
#include "platform/support/FXString.h"
#include "support/Golden.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

TEST(Strings, CaseRulesOfTheComparisons) {
  EXPECT_EQ(FXString::Compare("abc", "abc"), 0);
  EXPECT_NE(FXString::Compare("abc", "ABC"), 0);
  EXPECT_EQ(FXString::CompareNoCase("VMConfig.zyf", "vmconfig.ZYF"), 0);
  EXPECT_NE(FXString::CompareNoCase("abc", "abcd"), 0);
  EXPECT_EQ(FXString::CompareLeftNoCase("SCSI0:1", "scsi"), 0);
  EXPECT_NE(FXString::CompareLeftNoCase("sc", "scsi"), 0);
  EXPECT_TRUE(FXString::MatchRightNoCase("disk.VHDX", ".vhdx"));
  EXPECT_FALSE(FXString::MatchRightNoCase("disk.vhdx", ".vhd"));
  EXPECT_FALSE(FXString::MatchRightNoCase(".vhd", "a.vhd"));
  EXPECT_TRUE(FXString::MatchRightNoCase("x", ""));
  EXPECT_TRUE(FXString::FindString("Ubuntu Linux x86", "X86", true));
  EXPECT_FALSE(FXString::FindString("Ubuntu Linux x86", "X86", false));
  EXPECT_EQ(_stricmp("Windows", "WINDOWS"), 0);
  EXPECT_LT(_stricmp("a", "B"), 0);
  EXPECT_EQ(_strnicmp("scsi0:1", "SCSI1:0", 4), 0);
  EXPECT_NE(_strnicmp("scsi0:1", "SCSI1:0", 5), 0);
}

TEST(Strings, StringCbCopyAResultCodes) {
  struct Row {
    int line;
    size_t size;
    const char* source;
    long result;
    const char* copied;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, 4, "abc", 0, "abc"},
      {__LINE__, 3, "abc", static_cast<long>(0x8007007A), "ab"},
      {__LINE__, 1, "abc", static_cast<long>(0x8007007A), ""},
  };
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    char buffer[16];
    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_EQ(StringCbCopyA(buffer, row.size, row.source), row.result);
    EXPECT_STREQ(buffer, row.copied);
  }
  char buffer[4] = "xyz";
  EXPECT_EQ(StringCbCopyA(buffer, 0, "abc"), static_cast<long>(0x80070057));
  EXPECT_STREQ(buffer, "xyz");
  EXPECT_EQ(StringCbCopyA(buffer, size_t{INT_MAX} + 1, "abc"),
            static_cast<long>(0x80070057));
}

TEST(Strings, IntToCommaStringGroupsDigits) {
  for (const auto& c : golden::Table("platform/comma-strings")) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(IntToCommaString(std::stoll(c.fields.at(0))), c.fields.at(1));
  }
}
