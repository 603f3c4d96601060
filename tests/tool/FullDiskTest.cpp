//===- FullDiskTest.cpp - zyvmconvert clone-disk onto a full file system --===//
//
// Runs the built tool in a private user and mount namespace whose only
// writable folder is a tmpfs too small for the copy: the copy must be
// refused before writing, with an error naming the destination, the space
// it needs and the space free, leave nothing in that folder and keep the
// source's bytes.  Skipped where the kernel refuses unprivileged user
// namespaces or their tmpfs mounts.
//
//===----------------------------------------------------------------------===//
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

const auto Quoted = &TempDir::Quoted;
constexpr char kUnshare[] = "unshare --user --map-root-user --mount ";
constexpr int kNoMount = 99;

int Shell(const std::string& command) {
  int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// 16 MiB that neither reads as zeros nor compresses, for an 8 MiB tmpfs.
std::string WriteSource(const TempDir& dir) {
  std::string path = dir.File("source.img");
  std::ofstream out(path, std::ios::binary);
  for (uint32_t i = 0; i < (16u << 20) / 4; ++i) {
    uint32_t word = (i * 2654435761u) | 1;
    out.write(reinterpret_cast<const char*>(&word), sizeof word);
  }
  return path;
}

struct FullRow {
  int line;
  const char* format;  // raw is copied in the kernel, the rest by qemu-img
};

TEST(FullDisk, CopyFailsNamingTheDestinationAndLeavesNothing) {
  if (Shell(std::string(kUnshare) + "true >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "unprivileged user namespaces are refused here";
  TempDir dir;
  std::string source = WriteSource(dir);
  std::string before = TempDir::Read(source);
  std::string folder = dir.File("small");
  std::filesystem::create_directory(folder);
  const FullRow rows[] = {
      {__LINE__, "raw"},  {__LINE__, "qcow2"},     {__LINE__, "vhdx"},
      {__LINE__, "vmdk"}, {__LINE__, "vhd-fixed"},
  };
  for (const FullRow& row : rows) {
    SCOPED_TRACE(row.line);
    std::string destination = folder + "/copy." + row.format;
    std::string script =
        "mount -t tmpfs -o size=8m zy-full " + Quoted(folder) + " || exit " +
        std::to_string(kNoMount) + "; " + Quoted(ZY_TOOL_PATH) + " --log " +
        Quoted(dir.File("tool.log")) + " clone-disk " + Quoted(source) + " " +
        Quoted(destination) + " --to-format " + row.format + " >/dev/null 2>" +
        Quoted(dir.File("err")) + "; echo $? >" + Quoted(dir.File("status")) +
        "; ls -A " + Quoted(folder) + " >" + Quoted(dir.File("left"));
    if (Shell(kUnshare + std::string("sh -c ") + Quoted(script)) == kNoMount)
      GTEST_SKIP() << "tmpfs cannot be mounted in a user namespace here";
    std::string err = TempDir::Read(dir.File("err"));
    EXPECT_EQ(TempDir::Read(dir.File("status")), "1\n") << err;
    EXPECT_NE(err.find("[" + destination + "] needs 16."), std::string::npos)
        << err;
    EXPECT_NE(err.find(" MiB free on [" + folder + "]\n"), std::string::npos)
        << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(TempDir::Read(dir.File("left")), "");
    EXPECT_EQ(TempDir::Read(source), before);
  }
}

// A conversion whose disks cannot fit is refused before anything is
// written: the space qemu-img measures against what the file system has.
TEST(FullDisk, AConversionThatCannotFitIsRefusedBeforeWriting) {
  if (Shell(std::string(kUnshare) + "true >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "unprivileged user namespaces are refused here";
  TempDir dir;
  std::string source = WriteSource(dir);
  std::string cfg = dir.Write("db01.cfg",
                              "name = \"db01\"\nmemory = 512\nvcpus = 1\n"
                              "disk = ['file:/vm/db.img,xvda,w']\n");
  std::string folder = dir.File("small");
  std::filesystem::create_directory(folder);
  std::string output = folder + "/db01";
  std::string script =
      "mount -t tmpfs -o size=8m zy-full " + Quoted(folder) + " || exit " +
      std::to_string(kNoMount) + "; " + Quoted(ZY_TOOL_PATH) + " --log " +
      Quoted(dir.File("tool.log")) + " convert --xen-cfg " + Quoted(cfg) +
      " --disk " + Quoted(source) + " --to 801 --output " + Quoted(output) +
      " >/dev/null 2>" + Quoted(dir.File("err")) + "; echo $? >" +
      Quoted(dir.File("status")) + "; ls -A " + Quoted(folder) + " >" +
      Quoted(dir.File("left"));
  if (Shell(kUnshare + std::string("sh -c ") + Quoted(script)) == kNoMount)
    GTEST_SKIP() << "tmpfs cannot be mounted in a user namespace here";
  std::string err = TempDir::Read(dir.File("err"));
  EXPECT_EQ(TempDir::Read(dir.File("status")), "1\n") << err;
  EXPECT_EQ(err.rfind("zyvmconvert: error: the disks need 16.", 0), 0u) << err;
  EXPECT_NE(err.find(" MiB free on [" + output + "]\n"),
            std::string::npos)
      << err;
  EXPECT_EQ(TempDir::Read(dir.File("left")), "");
}

}  // namespace
