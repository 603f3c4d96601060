//===- ToolRun.h - Running the built zyvmconvert from a test --------------===//
//
// The tool runs as a separate process with its output kept in files of the
// test's temporary folder; Snapshot shows that a run left a folder as it was.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "support/TempDir.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace tool_test {

const std::string kTool = ZY_TOOL_PATH;
const std::string kExamples = ZY_EXAMPLES_DIR;

struct ToolResult {
  int status = -1;
  std::string out, err;
};

// Runs "<prefix><tool> <args>", every argument quoted.
inline ToolResult RunTool(const TempDir& dir,
                          const std::vector<std::string>& args,
                          const std::string& prefix = "") {
  std::string command = prefix + TempDir::Quoted(kTool);
  for (const std::string& arg : args) command += " " + TempDir::Quoted(arg);
  command += " > " + TempDir::Quoted(dir.File("tool.out")) + " 2> " +
             TempDir::Quoted(dir.File("tool.err"));
  int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1,
          TempDir::Read(dir.File("tool.out")),
          TempDir::Read(dir.File("tool.err"))};
}

// Starts the tool with args in the background, its standard output and
// error into the files out and err, SIGINT, SIGTERM and SIGHUP at their
// defaults (as a terminal delivers them, whatever the test runner
// ignores); env, when given, is its whole environment.  -1 when it cannot
// be started.
inline pid_t StartTool(std::vector<std::string> args, const std::string& out,
                       const std::string& err,
                       std::vector<std::string> env = {}) {
  args.insert(args.begin(), kTool);
  auto pointers = [](std::vector<std::string>& strings) {
    std::vector<char*> list;
    for (std::string& text : strings) list.push_back(text.data());
    list.push_back(nullptr);
    return list;
  };
  std::vector<char*> argv = pointers(args), envp = pointers(env);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  if (posix_spawn(&pid, kTool.c_str(), &actions, &attributes, argv.data(),
                  env.empty() ? environ : envp.data()) != 0)
    pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return pid;
}

// args for a run on the platform at root with the examples' configuration,
// logging into the temporary folder.
inline std::vector<std::string> OnPlatform(const TempDir& dir,
                                           const std::string& root,
                                           std::vector<std::string> args) {
  args.insert(args.begin(),
              {"--root", root, "--platform-config",
               kExamples + "/platform-config.json", "--log",
               dir.File("tool.log")});
  return args;
}

// Every entry under a folder, links as links, with file contents.
inline std::map<std::string, std::string> Snapshot(const std::string& folder) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    std::string name = fs::relative(entry.path(), folder).string();
    if (entry.is_symlink())
      entries[name] = "-> " + fs::read_symlink(entry.path()).string();
    else if (entry.is_regular_file())
      entries[name] = TempDir::Read(entry.path());
  }
  return entries;
}

}  // namespace tool_test
