//===- VmxReaderTest.cpp - VM descriptions from VMware files --------------===//
//
// Encodings, identifiers, guest families and device presence are golden
// cases in tests/data/readers/vmx/ (ReadersGoldenTest); this file keeps the
// dump and the refusal of a disk descriptor.
//
//===----------------------------------------------------------------------===//
#include <gtest/gtest.h>

#include "platform/support/EvDebug.h"
#include "formats/vmx/VMXFile.h"

using namespace VMInfoStructs;

TEST(VmxDescription, DumpWritesEveryEntry) {
  VMXFile file;
  ASSERT_TRUE(file.LoadText("a = \"1\"\nB = \"two words\"\n", "dump.vmx"));
  ScopedLogCapture capture;
  file.Dump();
  EXPECT_TRUE(capture.sink().Contains(LogKind::Debug, "a = \"1\""));
  EXPECT_TRUE(capture.sink().Contains(LogKind::Debug, "B = \"two words\""));
}

TEST(VmxDescription, OnlyAVmConfigurationGivesADescription) {
  ScopedLogCapture capture;
  VMXFile file;
  SVMInfo info;
  EXPECT_FALSE(file.GetVMInfo(info));
  ASSERT_TRUE(
      file.LoadText("# Disk DescriptorFile\nversion=1\nCID=fffffffe\n"
                    "createType=\"vmfs\"\nddb.adapterType = \"lsilogic\"\n",
                    "disk.vmdk"));
  EXPECT_FALSE(file.GetVMInfo(info));
  EXPECT_EQ(capture.sink().Records().size(), 2u);
  EXPECT_EQ(info.strBootFirmware, "");
}
