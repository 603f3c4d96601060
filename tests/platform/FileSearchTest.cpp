//===- FileSearchTest.cpp - Finding files in a folder ---------------------===//
#include "platform/support/FileSearch.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

// Upper-case letters sort before lower-case ones; folders, hidden names
// with nothing before the dot, other last extensions and subfolders never
// count; links to files do, and the dot may be given.
TEST(FileSearch, FirstRegularFileWithThatLastExtensionInByteOrderWins) {
  TempDir folder;
  fs::create_directory(folder.File("a.zyf"));
  for (const char* name : {".zyf", "b.zyf.bak", "c.xzyf", "sub/d.zyf", "A.txt"})
    folder.Write(name, "");
  std::string found = "unchanged";
  EXPECT_FALSE(GetFirstFileByExtension(folder.path(), "zyf", found));
  EXPECT_EQ(found, "unchanged");
  ASSERT_TRUE(GetFirstFileByExtension(folder.path(), "Txt", found));
  EXPECT_EQ(found, folder.File("A.txt"));
  fs::create_symlink(folder.Write("data/VMConfig.json", ""),
                     folder.File("link.zyf"));
  ASSERT_TRUE(GetFirstFileByExtension(folder.path(), ".zyf", found));
  EXPECT_EQ(found, folder.File("link.zyf"));
  folder.Write("e.tar.zyf", "");
  ASSERT_TRUE(GetFirstFileByExtension(folder.path(), "zyf", found));
  EXPECT_EQ(found, folder.File("e.tar.zyf"));
  for (const char* name : {"b.zyf", "a.ZYF", "C.zyf"}) folder.Write(name, "");
  ASSERT_TRUE(GetFirstFileByExtension(folder.path(), "zyf", found));
  EXPECT_EQ(found, folder.File("C.zyf"));
}

TEST(FileSearch, MissingOrUnusableFoldersFindNothing) {
  TempDir folder;
  std::string file = folder.Write("VMConfig.zyf", "");
  std::string found;
  EXPECT_FALSE(GetFirstFileByExtension(folder.File("absent"), "zyf", found));
  EXPECT_FALSE(GetFirstFileByExtension(file, "zyf", found));
  EXPECT_FALSE(GetFirstFileByExtension("", "zyf", found));
  EXPECT_FALSE(GetFirstFileByExtension(folder.path(), "", found));
  EXPECT_FALSE(GetFirstFileByExtension(folder.path(), ".", found));
  EXPECT_TRUE(found.empty());
}
