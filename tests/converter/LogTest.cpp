//===- LogTest.cpp - The converter's Log operation ------------------------===//
#include "converter/ZyVMConverter.h"

#include <gtest/gtest.h>

#include <string>

namespace {
const char kFunction[] = "bool ZyVMConverter::ConvertVM()";
}

// Messages are cut at 4095 characters, arguments are text, and only levels
// up to 0 reach standard output.
TEST(ConverterLog, CutsTakesArgumentsAsTextAndPrintsUpToLevelZero) {
  ScopedLogCapture capture;
  ZyVMConverter converter;
  testing::internal::CaptureStdout();
  converter.Log(kFunction, 1, "%s", std::string(5000, 'x').c_str());
  converter.Log(kFunction, 2, "Converting [%s]", "disk%s%n.vmdk");
  converter.Log(kFunction, -1, "below");
  converter.Log(kFunction, 0, "Mount done.");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "below\nMount done.\n");
  auto records = capture.sink().Records();
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].message.size(), 4095u);
  EXPECT_EQ(records[0].function, kFunction);
  EXPECT_EQ(records[0].kind, LogKind::DebugLvl);
  EXPECT_EQ(records[1].message, "Converting [disk%s%n.vmdk]");
  const int levels[] = {1, 2, -1, 0};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(records[i].level, levels[i]);
}
