//===- XenDomainReaderTest.cpp - Oracle VM and Xen domain files -----------===//
#include <gtest/gtest.h>

#include "platform/support/EvDebug.h"
#include "platform/readers/OracleVMConfigFile.h"
#include "platform/readers/VMConfigFormat.h"
#include "support/TempDir.h"

using namespace VMInfoStructs;

TEST(XenDomainFile, DiskEntriesOfBothSyntaxesGiveTheirDevices) {
  struct Row {
    int line;
    const char* entry;
    const char* fileName;
    const char* controller;
    int bus;
    int slot;
    int deviceType;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, "phy:/dev/vg/a,hda,w", "/dev/vg/a", "ide", 0, 0, 1},
      {__LINE__, "phy:sdb,hdd,w", "/dev/sdb", "ide", 1, 1, 1},
      {__LINE__, "file:/img/a.img,xvdb,w", "/img/a.img", "xen", 0, 1, 1},
      {__LINE__, "tap:aio:/img/b.img,xvdaa,r", "/img/b.img", "xen", 0, 26, 1},
      {__LINE__, "tap2:tapdisk:aio:/img/c.img,sdc1,w", "/img/c.img", "scsi", 0,
       2, 1},
      {__LINE__, "qcow2:/img/d.qcow2,vdd,w", "/img/d.qcow2", "virtio", 0, 3, 1},
      {__LINE__, "file:/iso/x.iso,hdc:cdrom,r", "/iso/x.iso", "ide", 1, 0, 2},
      {__LINE__, ",hdc:cdrom,r", "", "ide", 1, 0, 2},
      {__LINE__, "/dev/vg/guest-volume,,hda", "/dev/vg/guest-volume", "ide", 0,
       0, 1},
      {__LINE__, "/dev/vg/guest-volume,raw,hda,rw", "/dev/vg/guest-volume",
       "ide", 0, 0, 1},
      {__LINE__, "/root/image.iso,,hdc,,cdrom", "/root/image.iso", "ide", 1, 0,
       2},
      {__LINE__, "/root/image.iso,raw,hdc,devtype=cdrom", "/root/image.iso",
       "ide", 1, 0, 2},
      {__LINE__, " format=raw , vdev=hdb, access=ro, target=/a b/c,d.img",
       "/a b/c,d.img", "ide", 0, 1, 1},
      {__LINE__, "target=/img/e.img,vdev=xvde", "/img/e.img,vdev=xvde", "", 0,
       0, 1},
      {__LINE__, "/img/f.img,raw,51712", "/img/f.img", "", 0, 0, 1},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    SVMInfo info;
    std::string error;
    // The last two rows name no vdev the reader decodes; the second of them
    // is refused below, so give it a well-formed neighbour.
    std::string text = std::string("disk = [ '") + row.entry + "' ]\n";
    bool ok = ParseXenDomainConfig(text, info, error);
    if (std::string(row.entry).compare(0, 7, "target=") == 0) {
      // "target=" swallows the rest, so this entry names no vdev at all.
      EXPECT_FALSE(ok);
      EXPECT_NE(error.find("names no virtual device"), std::string::npos)
          << error;
      continue;
    }
    ASSERT_TRUE(ok) << error;
    ASSERT_EQ(info.vDisks.size(), 1u);
    const SDisk& disk = info.vDisks[0];
    EXPECT_EQ(disk.fileName, row.fileName);
    EXPECT_EQ(disk.strControllerType, row.controller);
    EXPECT_EQ(disk.nBus, row.bus);
    EXPECT_EQ(disk.nSlot, row.slot);
    EXPECT_EQ(disk.nDeviceType, row.deviceType);
    EXPECT_EQ(disk.isOSDisk, row.deviceType == 1);
  }
}

TEST(XenDomainFile, TheBootDiskIsTheFirstHardDiskInDeviceOrder) {
  SVMInfo info;
  std::string error;
  ASSERT_TRUE(
      ParseXenDomainConfig("disk = ['file:/i/data.img,xvdc,w', "
                           "',xvda:cdrom,r', 'file:/i/root.img,xvdb,w']\n",
                           info, error))
      << error;
  ASSERT_EQ(info.vDisks.size(), 3u);
  EXPECT_FALSE(info.vDisks[0].isOSDisk);
  EXPECT_FALSE(info.vDisks[1].isOSDisk);
  EXPECT_TRUE(info.vDisks[2].isOSDisk);
  EXPECT_EQ(info.vDisks[2].strConfigDiskName, "root.img");
}

TEST(XenDomainFile, PythonValuesReadAsPythonWouldGiveThem) {
  struct Row {
    int line;
    const char* text;
    const char* name;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, "name = 'a\\'b\\x41\\n'", "a'bA\n"},
      {__LINE__, "name = \"\"\"multi\nline\"\"\"", "multi\nline"},
      {__LINE__, "name = 'a' 'b' + \"c\"", "abc"},
      {__LINE__, "name = 'x' # 'y'", "x"},
      {__LINE__, "name = 'first'; name = 'second'", "second"},
      {__LINE__, "name = 'keep\\q'", "keep\\q"},
      {__LINE__, "name = 'a#b'", "a#b"},
      {__LINE__, "name = ('t')", ""},  // a tuple is not a string: refused below
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    SVMInfo info;
    std::string error;
    bool ok = ParseXenDomainConfig(row.text, info, error);
    if (*row.name == '\0') {
      EXPECT_FALSE(ok);
      continue;
    }
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(info.strVMName, row.name);
  }
}

TEST(XenDomainFile, BrokenSyntaxNamesItsLine) {
  struct Row {
    int line;
    const char* text;
    const char* error;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, "name = 'x'\nvif = [ 'a' )\n",
       "line 2: ')' does not close '[' of line 2"},
      {__LINE__, "name = 'x'\n\n]\n", "line 3: ']' closes nothing"},
      {__LINE__, "name = $x\n", "line 1: unexpected character 0x24"},
      {__LINE__, "name = 'x'\n'''never\nclosed",
       "line 2: string is never closed"},
      {__LINE__, "123 = 4\n", "line 1: expected a setting name"},
      {__LINE__, "disk = [ 'phy:/dev/a,,w' ]\n",
       "disk entry 1 'phy:/dev/a,,w' names no"},
      {__LINE__, "vif = [ 'bridge=a', 3 ]\n",
       "line 1: 'vif' must be a list of strings"},
      {__LINE__, "uuid = None\n", "line 1: 'uuid' must be a string"},
      {__LINE__, "memory = '12 GB'\n",
       "line 1: 'memory' must be a whole number"},
      {__LINE__, "vcpus = 5000\n",
       "line 1: 'vcpus' is out of range (5000 is not in 1..4096)"},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    SVMInfo info;
    std::string error;
    EXPECT_FALSE(ParseXenDomainConfig(row.text, info, error));
    EXPECT_NE(error.find(row.error), std::string::npos) << error;
  }
}

TEST(XenDomainFile, TheFileReaderLogsOneErrorNamingTheFileAndLine) {
  TempDir dir;
  std::string path = dir.Write("vm.cfg", "name = 'ok'\nmemory = 'lots'\n");
  ScopedLogCapture capture;
  OracleVMConfigFile file;
  ASSERT_TRUE(file.LoadFile(path));
  SVMInfo info;
  info.strVMName = "before";
  EXPECT_FALSE(file.GetVMInfo(info));
  EXPECT_EQ(info.strVMName, "before");
  ASSERT_EQ(capture.sink().Records().size(), 1u);
  const LogRecord record = capture.sink().Records()[0];
  EXPECT_EQ(record.kind, LogKind::Error);
  EXPECT_EQ(record.message, "Invalid Oracle VM configuration [" + path +
                                "]: line 2: 'memory' must be a whole number");
}

TEST(XenDomainFile, NothingIsFilledBeforeAFileIsLoaded) {
  ScopedLogCapture capture;
  OracleVMConfigFile file;
  SVMInfo info;
  EXPECT_FALSE(file.LoadFile("/nonexistent/vm.cfg"));
  EXPECT_FALSE(file.GetVMInfo(info));
  EXPECT_EQ(capture.sink().Records().size(), 2u);
}
