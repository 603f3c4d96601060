//===- ZyfTest.cpp - The generalised description and its file -------------===//
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>

#include "platform/support/EvDebug.h"
#include "formats/zyf/VMConfigFile.h"
#include "formats/common/FormatText.h"
#include "support/TempDir.h"

using namespace VMInfoStructs;

namespace {

// A description with every member away from its default, nested records
// included, so a member the format forgets cannot survive the round trip.
SVMInfo Populated() {
  SVMInfo vm;
  std::string error;
  EXPECT_TRUE(ParseZyf(TempDir::Read(std::string(ZY_TEST_DATA_DIR) +
                                     "/readers/zyf/"
                                     "every-member-away-from-default.zyf"),
                       vm, error))
      << error;
  return vm;
}

}  // namespace

TEST(Zyf, EveryMemberSurvivesAWriteAndARead) {
  SVMInfo original = Populated();
  SVMInfo read;
  std::string error;
  ASSERT_TRUE(ParseZyf(WriteZyf(original), read, error)) << error;
  EXPECT_EQ(WriteZyf(read), WriteZyf(original));
  // What the reader makes of the file: ReadersGoldenTest's
  // every-member-away-from-default.expected.
}

TEST(Zyf, MembersTheFileDoesNotNameKeepTheirValues) {
  SVMInfo info = Populated();
  std::string error;
  ASSERT_TRUE(ParseZyf(R"({"format":"ZyVMConfig","version":1,
      "vm":{"strVMName":"renamed","vDisks":[{"fileName":"only.vmdk"}]}})",
                       info, error))
      << error;
  EXPECT_EQ(info.strVMName, "renamed");
  EXPECT_EQ(info.strRegion, "eu-west-1");
  EXPECT_EQ(info.vDiskControllers.size(), 1u);
  // A list the file names replaces the list; its elements start as defaults.
  ASSERT_EQ(info.vDisks.size(), 1u);
  EXPECT_EQ(info.vDisks[0].fileName, "only.vmdk");
  EXPECT_EQ(info.vDisks[0].nDeviceType, 1);
  EXPECT_FALSE(info.vDisks[0].isOSDisk);
}

TEST(Zyf, WrongTextsAreRefusedAndLeaveTheDescriptionAlone) {
  struct Row {
    int line;
    std::string text;
    const char* error;
  };
  // A file of the current version whose "vm" object is vm.
  auto file = [](const std::string& vm) {
    return R"({"format":"ZyVMConfig","version":1,"vm":)" + vm + "}";
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, "[]", "not a JSON object"},
      {__LINE__, R"({"format":"ZyVMConfig","version":1})", "\"vm\" is missing"},
      {__LINE__, R"({"format":"ZyVMConfig","version":"1","vm":{}})", "\"version\""},
      {__LINE__, file(R"({"i64MemoryMB":1.5})"), "vm.i64MemoryMB must be an integer"},
      {__LINE__, file(R"({"strGUID":7})"), "vm.strGUID must be a string"},
      {__LINE__, file(R"({"vDisks":[1]})"), "vm.vDisks[0] must be an object"},
      {__LINE__, file(R"({"vNetworkCards":[{"nVlanId":40000}]})"),
       "vm.vNetworkCards[0].nVlanId is out of range"},
      {__LINE__, file(R"({"nClientId":-2147483649})"), "vm.nClientId is out of range"},
      {__LINE__, file(R"({"guestOSInfo":{"OSType":null}})"),
       "vm.guestOSInfo.OSType must be a string"},
      {__LINE__, file(R"({"vDisks":[{"nBuss":1}]})"), "vm.vDisks[0].nBuss is not a member"},
      {__LINE__, file(R"({},"extra":1)"), "extra is not a member"},
      {__LINE__, file(R"({"fileLayout":{"vFiles":[{"properties":{"a":1}}]}})"),
       "vm.fileLayout.vFiles[0].properties must be an object of strings"},
      {__LINE__, file("{\"strVMName\":\"\xff\"}"), "invalid"},
      {__LINE__, std::string(100000, '[') + std::string(100000, ']'),
       "nest deeper than 576 levels"},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    SVMInfo info = Populated();
    std::string error;
    EXPECT_FALSE(ParseZyf(row.text, info, error));
    EXPECT_NE(error.find(row.error), std::string::npos) << error;
    EXPECT_EQ(WriteZyf(info), WriteZyf(Populated()));
  }
}

TEST(Zyf, TextsThatAreNotUtf8AreWrittenWithReplacementCharacters) {
  SVMInfo info;
  info.strVMName = "caf\xe9";  // Latin-1, not UTF-8
  SVMInfo read;
  std::string error;
  ASSERT_TRUE(ParseZyf(WriteZyf(info), read, error)) << error;
  EXPECT_EQ(read.strVMName, "caf\xef\xbf\xbd");
}

TEST(DescriptionFile, SaveReplacesAnEarlierFileAndLoadReadsItByItsContent) {
  TempDir dir;
  std::string path = dir.Write("VMConfig.zyf", "old content");
  ASSERT_TRUE(VMConfigFile(path).Save(Populated()));
  EXPECT_EQ(std::filesystem::directory_iterator(dir.path())->path().filename(),
            "VMConfig.zyf")
      << "no temporary file is left beside the description";
  // The content and not the name chooses the format.
  std::string renamed = dir.File("description.xml");
  std::filesystem::rename(path, renamed);
  SVMInfo read;
  ASSERT_TRUE(VMConfigFile(renamed).Load(read));
  EXPECT_EQ(WriteZyf(read), WriteZyf(Populated()));
}

// Files that cannot be read at all: InputFileTest.cpp.
TEST(DescriptionFile, FailuresAreOneErrorLineNamingTheFile) {
  TempDir dir;
  struct Row {
    int line;
    bool save;  // else load
    std::string path;
    const char* says;
  };
  const Row rows[] = {
      {__LINE__, true, dir.File("missing/VMConfig.zyf"), ""},
      {__LINE__, false, dir.Write("empty.zyf", ""),
       "neither a generalised description"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    ScopedLogCapture capture;
    SVMInfo info;
    EXPECT_FALSE(row.save ? VMConfigFile(row.path).Save(Populated())
                          : VMConfigFile(row.path).Load(info));
    ASSERT_EQ(capture.sink().Records().size(), 1u);
    const LogRecord record = capture.sink().Records()[0];
    EXPECT_EQ(record.kind, LogKind::Error);
    EXPECT_NE(record.message.find(row.path), std::string::npos) << record.message;
    EXPECT_NE(record.message.find(row.says), std::string::npos) << record.message;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing/VMConfig.zyf")));
}
