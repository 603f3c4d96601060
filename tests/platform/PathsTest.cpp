//===- PathsTest.cpp - Platform path, folder and file operations ----------===//
#include "platform/support/FXPath.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>

TEST(Paths, NamePartsOfPosixAndWindowsStylePaths) {
  struct Row {
    int line;
    const char* path;
    const char* base;
    const char* ext;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, "/vm/web/web.vmdk", "web.vmdk", "vmdk"},
      {__LINE__, "C:\\DevVSCS3.vmx", "DevVSCS3.vmx", "vmx"},
      {__LINE__, "VMConfig.ZYF", "VMConfig.ZYF", "ZYF"},
      {__LINE__, "/vm/noext", "noext", ""},
      {__LINE__, "/vm.d/noext", "noext", ""},
      {__LINE__, "archive.tar.gz", "archive.tar.gz", "gz"},
      {__LINE__, "/vm/folder/", "folder", ""},
      {__LINE__, "", "", ""},
  };
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    EXPECT_EQ(CQiPath::GetBaseName(row.path), row.base);
    EXPECT_EQ(CQiPath::GetExt(row.path), row.ext);
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
