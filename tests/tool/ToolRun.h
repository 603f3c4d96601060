//===- ToolRun.h - Running the built zyvmconvert from a test --------------===//
//
// The tool runs as a separate process with its output kept in files of the
// test's temporary folder; Snapshot shows that a run left a folder as it was.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "support/TempDir.h"

#include <sys/wait.h>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

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
