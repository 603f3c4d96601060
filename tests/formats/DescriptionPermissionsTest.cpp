//===- DescriptionPermissionsTest.cpp - Saving without permissions --------===//
//
// fchmod is interposed for this test program: while armed it fails with
// EPERM, as it does on a file system that keeps no permissions.
//
//===----------------------------------------------------------------------===//
#include "formats/zyf/VMConfigFile.h"
#include "platform/support/EvDebug.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace {
bool g_failChmod = false;
}  // namespace

extern "C" int fchmod(int fd, mode_t mode) {
  if (!g_failChmod) return static_cast<int>(::syscall(SYS_fchmod, fd, mode));
  errno = EPERM;
  return -1;
}

TEST(DescriptionFile, SaveThatCannotSetThePermissionsFailsAndKeepsTheFile) {
  TempDir dir;
  std::string path = dir.Write("VMConfig.zyf", "old content");
  ScopedLogCapture capture;
  g_failChmod = true;
  const bool saved = VMConfigFile(path).Save(VMInfoStructs::SVMInfo());
  g_failChmod = false;
  EXPECT_FALSE(saved);
  EXPECT_EQ(TempDir::Read(path), "old content");
  auto entries = std::filesystem::directory_iterator(dir.path());
  EXPECT_EQ(std::distance(begin(entries), end(entries)), 1);
}
