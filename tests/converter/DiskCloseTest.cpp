//===- DiskCloseTest.cpp - A copy whose destination fails to close --------===//
//
// close is interposed for this test program: while armed, closing the test
// copy's destination image closes it and reports EIO, as a file system does
// when written data could not be stored.
//
//===----------------------------------------------------------------------===//
#include "converter/ZyVMConverter.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

bool g_failDestinationClose = false;
const char kDestination[] = "C:\\test10G-snap-restore.vhdx";

bool NamesDestination(int fd) {
  char target[4096];
  std::string link = "/proc/self/fd/" + std::to_string(fd);
  ssize_t size = readlink(link.c_str(), target, sizeof target);
  std::string path(target, size > 0 ? static_cast<size_t>(size) : 0);
  std::string tail = std::string("/") + kDestination;
  return path.size() >= tail.size() &&
         path.compare(path.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

extern "C" int close(int fd) {
  const bool fail = g_failDestinationClose && NamesDestination(fd);
  const long result = syscall(SYS_close, fd);
  if (fail && result == 0) {
    errno = EIO;
    return -1;
  }
  return static_cast<int>(result);
}

TEST(TestCloneDisk, ACopyWhoseDestinationFailsToCloseFails) {
  TempDir dir;
  std::string raw = dir.Write("source.raw", std::string(10000, 'x'));
  std::string make = "qemu-img convert -q -f raw -O vhdx '" + raw + "' '" +
                     dir.File("C:\\test10G-snap.vhdx") + "'";
  ASSERT_EQ(std::system(make.c_str()), 0) << make;
  char* previous = getcwd(nullptr, 0);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  ScopedLogCapture capture;
  ZyVMConverter converter;
  testing::internal::CaptureStdout();
  g_failDestinationClose = true;
  const bool copied = converter.TestCloneDisk();
  g_failDestinationClose = false;
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(chdir(previous), 0);
  free(previous);
  EXPECT_FALSE(copied);
  ASSERT_FALSE(capture.sink().Records().empty());
  const std::string line = capture.sink().Records().back().message;
  EXPECT_EQ(line.rfind("Failed to close destination disk error=", 0), 0u);
}
