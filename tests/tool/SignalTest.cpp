//===- SignalTest.cpp - zyvmconvert stopped by a signal mid-copy ----------===//
//
// A run copying a large sparse disk is stopped by SIGTERM, SIGINT or SIGHUP
// while qemu-img works for it.  The qemu-img found on PATH here is a script
// that starts a grandchild and waits, so the copy is in progress when the
// signal comes, whatever the machine's speed.  The run must exit 128 + the
// signal with one line, end its child and grandchild (their process group),
// and leave nothing: no staging folder, no partial image, no lock, no
// folder it made.
//
//===----------------------------------------------------------------------===//
#include "tests/tool/ToolRun.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using namespace tool_test;

namespace {

// A process that is gone or a zombie waiting for its new parent.
bool Ended(pid_t pid) {
  std::string stat = TempDir::Read("/proc/" + std::to_string(pid) + "/stat");
  if (stat.empty()) return true;
  size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() &&
         stat[close + 2] == 'Z';
}

// qemu-img on PATH: convert records its pid and its grandchild's, then
// waits; everything else is the real qemu-img.
std::string FakeQemuFolder(const TempDir& dir) {
  std::string marker = dir.File("converting");
  std::string script =
      "#!/bin/sh\n"
      "if [ \"$1\" = convert ]; then\n"
      "  sleep 600 &\n"
      "  echo $$ $! > " + TempDir::Quoted(marker + ".new") + "\n"
      "  mv " + TempDir::Quoted(marker + ".new") + " " +
      TempDir::Quoted(marker) + "\n"
      "  wait\n"
      "  exit 1\n"
      "fi\n"
      "exec /usr/bin/qemu-img \"$@\"\n";
  std::string path = dir.Write("bin/qemu-img", script);
  fs::permissions(path, fs::perms::owner_all);
  return dir.File("bin");
}

struct Row {
  int line;
  int signal;
  bool intoOutput;  // convert into --output, else restore into the root
  const char* named;
};

TEST(Signals, AStoppedRunEndsItsChildrenAndLeavesNothing) {
  TempDir dir;
  std::string bin = FakeQemuFolder(dir);
  // 64 GiB, nearly all hole, copied to qcow2 by qemu-img.
  std::string disk = dir.File("big.img");
  {
    std::ofstream out(disk, std::ios::binary);
    out << "boot sector";
  }
  fs::resize_file(disk, 64ull << 30);
  std::string cfg = dir.Write("big01.cfg",
                              "name = \"big01\"\nmemory = 512\nvcpus = 1\n"
                              "disk = ['file:/vm/big.img,xvda,w']\n");
  const Row rows[] = {
      {__LINE__, SIGTERM, false, "SIGTERM"},
      {__LINE__, SIGINT, true, "SIGINT"},
      {__LINE__, SIGHUP, false, "SIGHUP"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    std::string root = dir.File("root");
    std::string output = dir.File("output");
    fs::remove_all(root);
    fs::create_directories(root);
    fs::remove(dir.File("converting"));
    std::vector<std::string> args = OnPlatform(
        dir, root,
        {row.intoOutput ? "convert" : "restore", "--xen-cfg", cfg, "--disk",
         disk, "--to", "openstack"});
    if (row.intoOutput) args.insert(args.end(), {"--output", output});
    pid_t tool = StartTool(args, "/dev/null", dir.File("err"),
                           {"PATH=" + bin + ":/usr/bin:/bin"});
    ASSERT_GT(tool, 0);
    // Waits for the copy to be under way (or the run to end early).
    int status = 0;
    while (!fs::exists(dir.File("converting")) &&
           waitpid(tool, &status, WNOHANG) == 0)
      usleep(10000);
    ASSERT_TRUE(fs::exists(dir.File("converting")))
        << TempDir::Read(dir.File("err"));
    std::istringstream pids(TempDir::Read(dir.File("converting")));
    pid_t child = 0, grandchild = 0;
    pids >> child >> grandchild;
    ASSERT_EQ(kill(tool, row.signal), 0);
    ASSERT_EQ(waitpid(tool, &status, 0), tool);
    std::string err = TempDir::Read(dir.File("err"));
    ASSERT_TRUE(WIFEXITED(status)) << err;
    EXPECT_EQ(WEXITSTATUS(status), 128 + row.signal) << err;
    EXPECT_EQ(err, "zyvmconvert: error: stopped by " + std::string(row.named) +
                       "; the files and folders this run made are removed\n");
    EXPECT_TRUE(Ended(child));
    EXPECT_TRUE(Ended(grandchild));
    EXPECT_TRUE(Snapshot(root).empty());
    EXPECT_TRUE(fs::is_empty(root));
    EXPECT_FALSE(fs::exists(fs::symlink_status(output)));
  }
}

}  // namespace
