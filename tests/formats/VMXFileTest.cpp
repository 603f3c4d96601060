//===- VMXFileTest.cpp - VMware configuration file reader -----------------===//
#include "formats/vmx/VMXFile.h"

#include "platform/support/EvDebug.h"
#include "support/Golden.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

// tests/data/readers/vmx-lines/<case>.vmx holds a text, <case>.entries the
// entries read from it in their order and the lines logged.
TEST(VMXFile, ReadsValuesAsVMwareWritesThem) {
  auto cases = golden::Files(golden::Data("readers/vmx-lines"), ".vmx");
  for (const auto& input : cases) {
    SCOPED_TRACE(input.filename().string());
    ScopedLogCapture capture;
    VMXFile file;
    EXPECT_TRUE(file.LoadText(TempDir::Read(input.string()),
                              input.filename().string()));
    std::string actual;
    for (const auto& [key, value] : file.Entries())
      actual += key + " = [" + value + "]\n";
    golden::Check(std::filesystem::path(input).replace_extension(".entries"),
                  actual + golden::Lines(capture.sink().Records()));
  }
  EXPECT_GE(cases.size(), 20u);
}

TEST(VMXFile, KeysAreFoundInAnyLetterCaseAndOnlyInTheLastFileLoaded) {
  VMXFile file;
  ASSERT_TRUE(file.LoadText("DisplayName=\"web01\"\nscsi0:1.fileName = \"w\"",
                            "test.vmx"));
  EXPECT_EQ(file.GetValue("DISPLAYNAME"), "web01");
  EXPECT_TRUE(file.HasKey("SCSI0:1.FILENAME"));
  EXPECT_FALSE(file.HasKey("web01"));
  ASSERT_TRUE(file.LoadText("b = \"2\"\n", "two"));
  EXPECT_FALSE(file.HasKey("displayName"));
  EXPECT_EQ(file.Entries().size(), 1u);
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
  EXPECT_FALSE(file.LoadText(std::string(16 * 1024 * 1024 + 1, '#'), "big"));
}
