//===- ConcurrentRunsTest.cpp - zyvmconvert runs racing for one VM name ---===//
//
// Two or three runs of the built tool, started together, build a VM of the
// same name: a restore into the platform root and a conversion into one
// --output folder.  Every round exactly one run succeeds, the others are
// refused (another run holds the VM, or it exists by then), and the VM that
// stands is whole: qemu-img compare finds the guest's bytes in its disk.
//
//===----------------------------------------------------------------------===//
#include "tests/tool/ToolRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/wait.h>

#include <fstream>

namespace fs = std::filesystem;
using namespace tool_test;

namespace {

constexpr int kRounds = 20;

int Wait(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Row {
  int line;
  const char* command;  // "restore" into the root, "convert" into --output
  int runs;
};

TEST(ConcurrentRuns, ExactlyOneRunBuildsTheVMAndItStaysWhole) {
  TempDir dir;
  // A Xen guest with one small raw disk, data at its start and end.
  std::string disk = dir.File("db.img");
  {
    std::ofstream out(disk, std::ios::binary);
    out << "first block" << std::string(4085, 'x');
    out.seekp((1 << 20) - 4096);
    out << "last block" << std::string(4086, 'y');
  }
  std::string cfg = dir.Write("db01.cfg",
                              "name = \"db01\"\nmemory = 512\nvcpus = 1\n"
                              "disk = ['file:/vm/db.img,xvda,w']\n");
  const Row rows[] = {
      {__LINE__, "restore", 2},
      {__LINE__, "restore", 3},
      {__LINE__, "convert", 2},
      {__LINE__, "convert", 3},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    int roundsWithOneWinner = 0;
    for (int round = 0; round < kRounds; ++round) {
      SCOPED_TRACE(round);
      std::string root = dir.File("root");
      std::string output = dir.File("output");
      fs::remove_all(root);
      fs::remove_all(output);
      fs::create_directories(root);
      std::vector<std::string> args =
          OnPlatform(dir, root,
                     {row.command, "--xen-cfg", cfg, "--disk", disk, "--to",
                      "801", "--json"});
      std::string vm = root + "/801/db01";
      if (std::string(row.command) == "convert") {
        args.insert(args.end(), {"--output", output});
        vm = output;
      }
      std::vector<pid_t> pids;
      for (int i = 0; i < row.runs; ++i)
        pids.push_back(StartTool(args, dir.File("out" + std::to_string(i)),
                                 dir.File("err" + std::to_string(i))));
      int winners = 0;
      std::string built;  // the winner's disk
      for (int i = 0; i < row.runs; ++i) {
        ASSERT_GT(pids[i], 0);
        int status = Wait(pids[i]);
        std::string err = TempDir::Read(dir.File("err" + std::to_string(i)));
        if (status == 0) {
          ++winners;
          auto result = nlohmann::json::parse(
              TempDir::Read(dir.File("out" + std::to_string(i))));
          for (const auto& file : result["disks"])
            if (file["kind"] == "disk") built = vm + "/" + file["name"].get<std::string>();
          continue;
        }
        EXPECT_EQ(status, 1) << err;
        EXPECT_TRUE(err.find("is being restored by another run (pid ") !=
                        std::string::npos ||
                    err.find("already exists") != std::string::npos)
            << err;
      }
      EXPECT_EQ(winners, 1);
      ASSERT_FALSE(built.empty());
      roundsWithOneWinner += winners == 1;
      std::string compare = "qemu-img compare -q -f raw -F raw " +
                            TempDir::Quoted(disk) + " " +
                            TempDir::Quoted(built);
      EXPECT_EQ(std::system(compare.c_str()), 0) << compare;
      // Nothing of the losers' is left: no lock, no staging folder.
      for (const auto& entry : fs::recursive_directory_iterator(root))
        EXPECT_EQ(entry.path().filename().string().rfind('.', 0), std::string::npos)
            << entry.path();
    }
    EXPECT_EQ(roundsWithOneWinner, kRounds);
  }
}

}  // namespace
