//===- VmxReaderTest.cpp - VM descriptions from VMware files --------------===//
#include <gtest/gtest.h>

#include "platform/support/EvDebug.h"
#include "platform/readers/VMXFile.h"

using namespace VMInfoStructs;

namespace {

bool Read(const std::string& text, SVMInfo& info) {
  VMXFile file;
  return file.LoadText("config.version = \"8\"\n" + text, "test.vmx") &&
         file.GetVMInfo(info);
}

}  // namespace

TEST(VmxDescription, ValuesAreConvertedFromTheFilesEncoding) {
  struct Row {
    int line;
    const char* text;
    const char* name;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, ".encoding = \"UTF-8\"\ndisplayName = \"Caf\xc3\xa9\"\n",
       "Caf\xc3\xa9"},
      {__LINE__,
       ".encoding = \"windows-1252\"\ndisplayName = \"Caf\xe9 \x80\"\n",
       "Caf\xc3\xa9 \xe2\x82\xac"},
      {__LINE__,
       ".encoding = \"Shift_JIS\"\ndisplayName = "
       "\"\x83\x65\x83\x58\x83\x67\"\n",
       "\xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88"},
      // No .encoding: valid UTF-8 stays, anything else is the Windows code
      // page.
      {__LINE__, "displayName = \"Caf\xc3\xa9\"\n", "Caf\xc3\xa9"},
      {__LINE__, "displayName = \"Caf\xe9\"\n", "Caf\xc3\xa9"},
      // Escapes give the file's bytes, decoded like any other.
      {__LINE__, ".encoding = \"windows-1252\"\ndisplayName = \"a|E9|7Cb\"\n",
       "a\xc3\xa9|b"},
      {__LINE__, ".encoding = \"UTF-8\"\ndisplayName = \"bad \xff byte\"\n",
       "bad \xef\xbf\xbd byte"},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    SVMInfo info;
    ASSERT_TRUE(Read(row.text, info));
    EXPECT_EQ(info.strVMName, row.name);
  }
}

TEST(VmxDescription, AnUnknownEncodingFailsTheRead) {
  ScopedLogCapture capture;
  SVMInfo info;
  EXPECT_FALSE(
      Read(".encoding = \"no-such-charset\"\ndisplayName = \"x\"\n", info));
  EXPECT_EQ(info.strVMName, "");
  EXPECT_TRUE(
      capture.sink().Contains(LogKind::Error,
                              "Invalid VMware configuration: key .encoding: "
                              "\"no-such-charset\" is not a known "
                              "character set"));
}

TEST(VmxDescription, IdentifiersTakeTheFormVSphereReports) {
  struct Row {
    int line;
    const char* keys;
    const char* guid;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__,
       "uuid.bios = \"42 1E b4 58 54 48 fc 12-20 74 83 d5 e4 19 e1 38\"",
       "421eb458-5448-fc12-2074-83d5e419e138"},
      {__LINE__,
       "uuid.bios = \"42 1e b4 58 54 48 fc 12-20 74 83 d5 e4 19 e1 38\"\n"
       "vc.uuid = \"50 2e 11 22 33 44 55 66-77 88 99 aa bb cc dd ee\"",
       "502e1122-3344-5566-7788-99aabbccddee"},
      {__LINE__,
       "vc.uuid = \"\"\nuuid.bios = \"42 1e b4 58 54 48 fc 12-20 74 83 d5 e4 "
       "19 e1 38\"",
       "421eb458-5448-fc12-2074-83d5e419e138"},
      {__LINE__, "uuid.bios = \"not a uuid\"", "not a uuid"},
      {__LINE__, "uuid.bios = \"42 1e b4 58\"", "42 1e b4 58"},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    SVMInfo info;
    ASSERT_TRUE(Read(row.keys, info));
    EXPECT_EQ(info.strGUID, row.guid);
  }
}

TEST(VmxDescription, GuestIdentifiersGiveTheGuestFamilyAndArchitecture) {
  struct Row {
    int line;
    const char* guestOS;
    const char* osType;
    const char* name;
    const char* arch;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, "windows9-64", "Windows", "Windows", "x64"},
      {__LINE__, "winXPPro", "Windows", "Windows", "x86"},
      {__LINE__, "rhel7-64", "Unix", "Linux", "x64"},
      {__LINE__, "other4xlinux-64", "Unix", "Linux", "x64"},
      {__LINE__, "solaris11-64", "Unix", "Solaris", "x64"},
      {__LINE__, "darwin19-64", "Unix", "Apple macOS", "x64"},
      {__LINE__, "arm-ubuntu-64", "Unix", "Linux", "arm64"},
      {__LINE__, "other-64", "", "", ""},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    SVMInfo info;
    ASSERT_TRUE(Read(std::string("guestOS = \"") + row.guestOS + "\"", info));
    EXPECT_EQ(info.strGuestOS, row.guestOS);
    EXPECT_EQ(info.guestOSInfo.OSType, row.osType);
    EXPECT_EQ(info.guestOSInfo.GuestOSName, row.name);
    EXPECT_EQ(info.guestOSInfo.CPUArch, row.arch);
  }
}

TEST(VmxDescription, ADeviceCountsOnlyWhenItAndItsControllerArePresent) {
  struct Row {
    int line;
    const char* keys;
    size_t disks;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__,
       "scsi0.present = \"TRUE\"\nscsi0:0.present = \"TRUE\"\nscsi0:0.fileName "
       "= \"a.vmdk\"",
       1},
      {__LINE__, "scsi0:0.present = \"TRUE\"\nscsi0:0.fileName = \"a.vmdk\"",
       0},
      {__LINE__, "scsi0.present = \"TRUE\"\nscsi0:0.fileName = \"a.vmdk\"", 0},
      {__LINE__, "ide0:1.present = \"TRUE\"\nide0:1.fileName = \"a.vmdk\"", 1},
      {__LINE__,
       "ide0.present = \"FALSE\"\nide0:1.present = \"TRUE\"\nide0:1.fileName = "
       "\"a.vmdk\"",
       0},
      {__LINE__,
       "scsi0.present = \"yes\"\nscsi0:0.present = \"1\"\nscsi0:0.fileName = "
       "\"a.vmdk\"",
       1},
      {__LINE__,
       "scsi0.present = \"TRUE\"\nscsi0:0.present = \"TRUE\"\nscsi0:0.fileName "
       "= \"a.vmdk\"\n"
       "scsi0:0.present = \"FALSE\"",
       0},
      {__LINE__,
       "scsi00012.present = \"TRUE\"\nscsi00012:0.present = "
       "\"TRUE\"\nscsi00012:0.fileName = \"a\"",
       0},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    SVMInfo info;
    ASSERT_TRUE(Read(row.keys, info));
    EXPECT_EQ(info.vDisks.size(), row.disks);
  }
}

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
