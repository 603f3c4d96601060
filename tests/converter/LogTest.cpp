//===- LogTest.cpp - The converter's Log operation ------------------------===//
#include "converter/ZyVMConverter.h"

#include <gtest/gtest.h>

#include <string>

namespace {
const char kFunction[] = "bool ZyVMConverter::ConvertVM()";
}

TEST(ConverterLog, CutsMessagesAt4095CharactersAndTakesArgumentsAsText) {
  ScopedLogCapture capture;
  ZyVMConverter converter;
  converter.Log(kFunction, 1, "%s", std::string(5000, 'x').c_str());
  converter.Log(kFunction, 2, "Converting [%s]", "disk%s%n.vmdk");
  auto records = capture.sink().Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].message.size(), 4095u);
  EXPECT_EQ(records[0].function, kFunction);
  EXPECT_EQ(records[0].level, 1);
  EXPECT_EQ(records[0].kind, LogKind::DebugLvl);
  EXPECT_EQ(records[1].message, "Converting [disk%s%n.vmdk]");
}

TEST(ConverterLog, PrintsOnStandardOutputForLevelZeroOrLess) {
  struct Row {
    int line;
    int level;
    bool printed;
  };
  const Row rows[] = {{__LINE__, -1, true},
                      {__LINE__, 0, true},
                      {__LINE__, 1, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    ScopedLogCapture capture;
    ZyVMConverter converter;
    testing::internal::CaptureStdout();
    converter.Log(kFunction, row.level, "Mount done.");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, row.printed ? "Mount done.\n" : "");
    EXPECT_TRUE(capture.sink().ContainsAtLevel("Mount done.", row.level));
  }
}
