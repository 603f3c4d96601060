//===- VmxReaderTest.cpp - VM descriptions from VMware and domain files ---===//
//
// Encodings, identifiers, guest families and device presence are golden
// cases in tests/data/readers/vmx/ (ReadersGoldenTest), as are the domain
// files'; this file keeps the refusal of a disk descriptor and of a
// description asked for before a file is loaded.
//
//===----------------------------------------------------------------------===//
#include <gtest/gtest.h>

#include "platform/support/EvDebug.h"
#include "formats/vmx/VMXFile.h"
#include "formats/xen/OracleVMConfigFile.h"

using namespace VMInfoStructs;

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
  OracleVMConfigFile domain;
  EXPECT_FALSE(domain.LoadFile("/nonexistent/vm.cfg"));
  EXPECT_FALSE(domain.GetVMInfo(info));
  EXPECT_EQ(capture.sink().Records().size(), 4u);
}
