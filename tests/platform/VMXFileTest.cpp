//===- VMXFileTest.cpp - VMware configuration file reader -----------------===//
#include "platform/readers/VMXFile.h"

#include "platform/support/EvDebug.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

struct ValueRow {
  int line;
  const char* text;
  const char* key;
  bool present;
  const char* value;
};

// clang-format off
const ValueRow kValues[] = {
    {__LINE__, "displayName = \"web01\"\n", "displayName", true, "web01"},
    {__LINE__, "displayName = \"web01\"\n", "DISPLAYNAME", true, "web01"},
    {__LINE__, "DisplayName=\"web01\"", "displayname", true, "web01"},
    {__LINE__, "  memsize   =   \"4096\"   \n", "memsize", true, "4096"},
    {__LINE__, "memsize = 4096\n", "memsize", true, "4096"},
    {__LINE__, "memsize = 4096 # MiB\n", "memsize", true, "4096"},
    {__LINE__, "a = \"x # y\" # comment\n", "a", true, "x # y"},
    {__LINE__, "a = \"\"\n", "a", true, ""},
    {__LINE__, "a =\n", "a", true, ""},
    {__LINE__, "a = \"b=c\"\n", "a", true, "b=c"},
    {__LINE__, "a = \"say |22hi|22\"\n", "a", true, "say \"hi\""},
    {__LINE__, "a = \"x|7Cy\"\n", "a", true, "x|y"},
    {__LINE__, "a = \"x|7cy|23\"\n", "a", true, "x|y#"},
    {__LINE__, "a = \"x|zzy|\"\n", "a", true, "x|zzy|"},
    {__LINE__, "a = \"x|2\"\n", "a", true, "x|2"},
    {__LINE__, "a = \"first\"\na = \"second\"\n", "A", true, "second"},
    {__LINE__, "a = \"v\"\r\nb = \"w\"\r\n", "a", true, "v"},
    {__LINE__, "a = \"v\"\r\nb = \"w\"\r\n", "b", true, "w"},
    {__LINE__, "\xEF\xBB\xBF.encoding = \"UTF-8\"\n", ".encoding", true,
     "UTF-8"},
    {__LINE__, "#!/usr/bin/vmware\nconfig.version = \"8\"\n", "config.version",
     true, "8"},
    {__LINE__, "# a = \"b\"\n", "a", false, ""},
    {__LINE__, "  # a = \"b\"\n", "a", false, ""},
    {__LINE__, "a = \"unterminated\n", "a", false, ""},
    {__LINE__, "a = \"v\" trailing\n", "a", false, ""},
    {__LINE__, "no equals sign\n", "no equals sign", false, ""},
    {__LINE__, "two words = \"v\"\n", "two words", false, ""},
    {__LINE__, " = \"v\"\n", "", false, ""},
    {__LINE__, "scsi0:1.fileName = \"web_1.vmdk\"", "SCSI0:1.FILENAME", true,
     "web_1.vmdk"},
    {__LINE__, "a = \"caf\xC3\xA9\"\n", "a", true, "caf\xC3\xA9"},
};
// clang-format on

std::vector<std::pair<std::string, std::string>> Parse(
    const std::string& text) {
  VMXFile file;
  EXPECT_TRUE(file.LoadText(text, "test.vmx"));
  return file.Entries();
}

}  // namespace

TEST(VMXFile, ReadsValuesAsVMwareWritesThem) {
  ScopedLogCapture capture;
  for (const auto& row : kValues) {
    SCOPED_TRACE(row.line);
    VMXFile file;
    EXPECT_TRUE(file.LoadText(row.text, "test.vmx"));
    EXPECT_EQ(file.HasKey(row.key), row.present);
    EXPECT_EQ(file.GetValue(row.key), row.value);
  }
}

TEST(VMXFile, LaterDuplicateReplacesTheEarlierInItsPlace) {
  auto entries = Parse("a = \"1\"\nb = \"2\"\nA = \"3\"\n");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].first, "A");
  EXPECT_EQ(entries[0].second, "3");
  EXPECT_EQ(entries[1].first, "b");
  EXPECT_EQ(entries[1].second, "2");
}

TEST(VMXFile, EntriesKeepFileOrderAndSkipCommentsAndBadLines) {
  ScopedLogCapture capture;
  auto entries = Parse(
      "#!/usr/bin/vmware\n"
      ".encoding = \"UTF-8\"\n"
      "\n"
      "garbage line\n"
      "guestOS = \"windows9-64\"\n"
      "  # comment\n"
      "scsi0.present = TRUE\n");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].first, ".encoding");
  EXPECT_EQ(entries[1].first, "guestOS");
  EXPECT_EQ(entries[2].first, "scsi0.present");
  EXPECT_EQ(entries[2].second, "TRUE");
}

TEST(VMXFile, BadLinesAreLoggedWithFileAndLineNumber) {
  ScopedLogCapture capture;
  VMXFile file;
  EXPECT_TRUE(file.LoadText("a = \"1\"\n\nbroken\nb = \"2\"\n", "/vm/web.vmx"));
  auto records = capture.sink().Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].kind, LogKind::Error);
  EXPECT_EQ(records[0].message,
            "Skipped line 3 of [/vm/web.vmx]: not a key = \"value\" entry");
  EXPECT_EQ(file.GetValue("b"), "2");
}

TEST(VMXFile, AFileOfJunkLogsOnlyAFewLines) {
  ScopedLogCapture capture;
  std::string junk;
  for (int i = 0; i < 1000; ++i) junk += "junk\n";
  VMXFile file;
  EXPECT_TRUE(file.LoadText(junk, "junk"));
  EXPECT_TRUE(file.Entries().empty());
  EXPECT_LE(capture.sink().Records().size(), 21u);
  EXPECT_TRUE(capture.sink().Contains("Skipped 1000 lines of [junk] in all"));
}

TEST(VMXFile, LoadingAgainForgetsThePreviousFile) {
  VMXFile file;
  ASSERT_TRUE(file.LoadText("a = \"1\"\n", "one"));
  ASSERT_TRUE(file.LoadText("b = \"2\"\n", "two"));
  EXPECT_FALSE(file.HasKey("a"));
  EXPECT_EQ(file.Entries().size(), 1u);
}

TEST(VMXFile, LoadsAFileFromDisk) {
  TempDir dir;
  std::string path =
      dir.Write("web.vmx", "displayName = \"web\"\r\nmemsize = \"2048\"\r\n");
  VMXFile file;
  ASSERT_TRUE(file.LoadFile(path, false));
  EXPECT_EQ(file.GetValue("displayname"), "web");
  EXPECT_EQ(file.GetValue("memSize"), "2048");
}

TEST(VMXFile, AFileOfTheSizeLimitIsReadAndOneByteMoreIsRefused) {
  ScopedLogCapture capture;
  TempDir dir;
  VMXFile file;
  ASSERT_TRUE(file.LoadText("a = \"1\"\n", "old"));
  EXPECT_FALSE(file.LoadFile(dir.File("absent.vmx"), false));
  EXPECT_FALSE(file.HasKey("a"));

  // A sparse file one byte over 16 MiB.
  std::string big = dir.Write("big.vmx", "a = \"1\"\n");
  ASSERT_EQ(::truncate(big.c_str(), 16 * 1024 * 1024 + 1), 0);
  EXPECT_FALSE(file.LoadFile(big, false));
  ASSERT_EQ(::truncate(big.c_str(), 16 * 1024 * 1024), 0);
  EXPECT_TRUE(file.LoadFile(big, false));
  EXPECT_EQ(file.GetValue("a"), "1");
}

TEST(VMXFile, OversizedTextIsRefused) {
  ScopedLogCapture capture;
  VMXFile file;
  EXPECT_FALSE(file.LoadText(std::string(16 * 1024 * 1024 + 1, '#'), "big"));
}
