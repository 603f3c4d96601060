//===- MoveAcrossFileSystemsTest.cpp - The no-replace move's copy path ----===//
//
// A move between two file systems copies the file and removes the source.
// The rename is made to answer EXDEV through the file-operations seam, so
// that path runs here on one file system.
//
//===----------------------------------------------------------------------===//
#include "platform/support/FXPath.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

int CrossDevice(const char*, const char*, unsigned) {
  errno = EXDEV;
  return -1;
}

}  // namespace

TEST(MoveAcrossFileSystems, CopiesRemovesTheSourceAndNeverReplaces) {
  ZyFileOperations saved = FileOperations();
  FileOperations().renameFiles = CrossDevice;
  TempDir dir;
  std::string from = dir.Write("disk.vmdk", "data");
  std::string to = dir.File("V.vmdk");
  EXPECT_FALSE(
      FXFile::ZyMoveFileEx(from, to, ZY_MOVEFILE_COPY_ALLOWED).IsError());
  EXPECT_FALSE(FXPath::DoesPathExist(from));
  EXPECT_EQ(TempDir::Read(to), "data");

  std::string other = dir.Write("other.vmdk", "new");
  CQiError taken = FXFile::ZyMoveFileEx(other, to, ZY_MOVEFILE_COPY_ALLOWED);
  EXPECT_EQ(FXErrorUtil::SystemErrorNumber(taken), EEXIST);
  EXPECT_EQ(TempDir::Read(to), "data");
  EXPECT_EQ(TempDir::Read(other), "new");
  // Without the flag a move across file systems is refused.
  CQiError refused = FXFile::ZyMoveFileEx(other, dir.File("W.vmdk"), 0);
  EXPECT_EQ(FXErrorUtil::SystemErrorNumber(refused), EXDEV);
  EXPECT_EQ(TempDir::Read(other), "new");
  FileOperations() = saved;
}
