//===- PathsTest.cpp - Platform path, folder and file operations ----------===//
#include "platform/support/FXPath.h"

#include "support/Golden.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>

TEST(Paths, NamePartsOfPosixAndWindowsStylePaths) {
  for (const auto& c : golden::Table("platform/path-names")) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(c.fields.size(), 3u);
    EXPECT_EQ(CQiPath::GetBaseName(c.fields[0]), c.fields[1]);
    EXPECT_EQ(CQiPath::GetExt(c.fields[0]), c.fields[2]);
  }
  EXPECT_EQ(CQiPath::Append("/tmp/", "x"), "/tmp/x");
  EXPECT_EQ(CQiPath::Append("", "x"), "x");
}

TEST(Paths, CreatesFoldersWithTheirParents) {
  TempDir dir;
  std::string deep = dir.File("a/b/Virtual Hard Disks");
  EXPECT_FALSE(CQiDirectory::Create(deep, true).IsError());
  EXPECT_TRUE(FXPath::DoesPathExist(deep));
  EXPECT_FALSE(CQiDirectory::Create(deep, true).IsError());
  EXPECT_TRUE(CQiDirectory::Create(dir.File("x/y"), false).IsError());
  std::string file = dir.Write("plain", "x");
  EXPECT_TRUE(CQiDirectory::Create(file + "/sub", true).IsError());
}

// A move to a free name, and one whose name is taken meanwhile: UniqueDiskName
// tests; across file systems: MoveAcrossFileSystemsTest.
TEST(Paths, MoveAndRemoveReportTheSystemErrorForAMissingFile) {
  TempDir dir;
  CQiError move = FXFile::ZyMoveFileEx(dir.File("none"), dir.File("x"), 1);
  EXPECT_EQ(FXErrorUtil::SystemErrorNumber(move), ENOENT);
  EXPECT_NE(move.AsString().find("No such file"), std::string::npos);
  EXPECT_EQ(
      FXErrorUtil::SystemErrorNumber(FXFile::RemoveFile(dir.File("none"))),
      ENOENT);
}
