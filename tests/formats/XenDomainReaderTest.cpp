//===- XenDomainReaderTest.cpp - Oracle VM and Xen domain files -----------===//
//
// The domain files' syntax, disk entries and refusals are golden cases in
// tests/data/readers/xen/ (ReadersGoldenTest); this file keeps what a file
// on disk cannot show.
//
//===----------------------------------------------------------------------===//
#include <gtest/gtest.h>

#include "platform/support/EvDebug.h"
#include "formats/xen/OracleVMConfigFile.h"

using namespace VMInfoStructs;

TEST(XenDomainFile, NothingIsFilledBeforeAFileIsLoaded) {
  ScopedLogCapture capture;
  OracleVMConfigFile file;
  SVMInfo info;
  EXPECT_FALSE(file.LoadFile("/nonexistent/vm.cfg"));
  EXPECT_FALSE(file.GetVMInfo(info));
  EXPECT_EQ(capture.sink().Records().size(), 2u);
}
