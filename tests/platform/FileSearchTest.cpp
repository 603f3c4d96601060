//===- FileSearchTest.cpp - Finding files in a folder ---------------------===//
#include "platform/support/FileSearch.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

TEST(FileSearch, FirstMatchingNameInByteOrderWins) {
  TempDir folder;
  folder.Write("b.zyf", "");
  folder.Write("a.ZYF", "");
  folder.Write("A.txt", "");
  folder.Write("C.zyf", "");
  std::string found;
  ASSERT_TRUE(GetFirstFileByExtension(folder.path(), "zyf", found));
  // Upper-case letters sort before lower-case ones.
  EXPECT_EQ(found, folder.File("C.zyf"));
  ASSERT_TRUE(GetFirstFileByExtension(folder.path(), "Txt", found));
  EXPECT_EQ(found, folder.File("A.txt"));
}

TEST(FileSearch, OnlyRegularFilesWithThatLastExtensionCount) {
  TempDir folder;
  fs::create_directory(folder.File("a.zyf"));
  folder.Write(".zyf", "");
  folder.Write("b.zyf.bak", "");
  folder.Write("c.xzyf", "");
  folder.Write("sub/d.zyf", "");
  std::string found = "unchanged";
  EXPECT_FALSE(GetFirstFileByExtension(folder.path(), "zyf", found));
  EXPECT_EQ(found, "unchanged");

  folder.Write("e.tar.zyf", "");
  ASSERT_TRUE(GetFirstFileByExtension(folder.path(), "zyf", found));
  EXPECT_EQ(found, folder.File("e.tar.zyf"));
}

TEST(FileSearch, LinksToFilesCountAndTheDotMayBeGiven) {
  TempDir folder;
  std::string target = folder.Write("data/VMConfig.json", "");
  fs::create_symlink(target, folder.File("link.zyf"));
  std::string found;
  ASSERT_TRUE(GetFirstFileByExtension(folder.path(), ".zyf", found));
  EXPECT_EQ(found, folder.File("link.zyf"));
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
