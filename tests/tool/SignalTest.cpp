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

// A process that is gone or a zombie waiting for its new parent.  A
// SIGKILL is acted on at once, yet not within the kill call, so a process
// killed as the tool ended gets a while.
bool Ended(pid_t pid) {
  for (int tries = 0; tries < 100; ++tries, usleep(50 * 1000)) {
    std::string stat = TempDir::Read("/proc/" + std::to_string(pid) + "/stat");
    size_t close = stat.rfind(')');
    if (stat.empty() || (close != std::string::npos &&
                         close + 2 < stat.size() && stat[close + 2] == 'Z'))
      return true;
  }
  return false;
}

// The text of /proc/<pid>/<what>, NULs as spaces.
std::string ProcText(const std::string& pid, const char* what) {
  std::string text = TempDir::Read("/proc/" + pid + "/" + what);
  for (char& c : text)
    if (c == '\0') c = ' ';
  return text;
}

// qemu-img on PATH: convert starts a grandchild of its own and waits;
// everything else is the real qemu-img.  The children run confined to the
// image folders, so the test finds them in /proc rather than by a file.
constexpr const char* kGrandchild = "sleep 613 ";
std::string FakeQemuFolder(const TempDir& dir) {
  std::string script =
      "#!/bin/sh\n"
      "if [ \"$1\" = convert ]; then\n"
      "  sleep 613 &\n"
      "  wait\n"
      "  exit 1\n"
      "fi\n"
      "exec /usr/bin/qemu-img \"$@\"\n";
  std::string path = dir.Write("bin/qemu-img", script);
  fs::permissions(path, fs::perms::owner_all);
  return dir.File("bin");
}

// The fake convert's process and its grandchild, once both run.
bool FindConvert(pid_t& child, pid_t& grandchild) {
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
    std::string pid = entry.path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    if (ProcText(pid, "cmdline") != kGrandchild) continue;
    std::istringstream stat(ProcText(pid, "stat").substr(
        ProcText(pid, "stat").rfind(')') + 2));
    std::string state;
    pid_t parent = 0;
    stat >> state >> parent;
    if (ProcText(std::to_string(parent), "cmdline").find(" convert ") ==
        std::string::npos)
      continue;
    child = parent;
    grandchild = static_cast<pid_t>(std::stol(pid));
    return true;
  }
  return false;
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
    pid_t child = 0, grandchild = 0;
    bool found = false;
    while (!(found = FindConvert(child, grandchild)) &&
           waitpid(tool, &status, WNOHANG) == 0)
      usleep(10000);
    ASSERT_TRUE(found) << TempDir::Read(dir.File("err"));
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
