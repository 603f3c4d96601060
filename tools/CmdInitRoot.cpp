//===- CmdInitRoot.cpp - zyvmconvert init-root DIR: an empty platform -----===//
//
// A folder platform is a root folder with one folder per platform kind
// (<root>/<kind>/), each holding that kind's VMs; hosts.json and
// instance-types.json are added by hand where a kind needs them.  init-root
// makes that layout in a folder that does not exist yet or is empty, so
// that a VM's folder copied under <root>/<kind>/ can be converted.
//
//===----------------------------------------------------------------------===//
#include "Commands.h"

#include "jobs/PlatformSetup.h"

#include <nlohmann/json.hpp>

#include <CLI/CLI.hpp>
#include <memory>

namespace zytool {
namespace {

int RunInitRoot(const GlobalOptions& global, const std::string& root) {
  std::vector<std::string> kinds;
  SJobError error;
  Require(MakeFolderPlatform(root, kinds, error), error);
  if (global.json) {
    Print("%s\n",
          nlohmann::json{{"root", root}, {"kinds", kinds}}.dump(2).c_str());
    return 0;
  }
  Print(
      "Folder platform %s: a folder for each of the %zu kinds; copy a VM's "
      "folder to %s/<kind>/<vm>/ and give --root %s\n",
      root.c_str(), kinds.size(), root.c_str(), root.c_str());
  return 0;
}

}  // namespace

void AddInitRootCommand(CLI::App& app, const GlobalOptions& global,
                        CommandRun& run) {
  auto root = std::make_shared<std::string>();
  CLI::App* cmd = app.add_subcommand(
      "init-root", "Make an empty folder platform: a folder for each kind");
  cmd->add_option("folder", *root, "The new platform's root folder")
      ->required();
  cmd->callback([&run, &global, root] {
    run = [&global, root] { return RunInitRoot(global, *root); };
  });
}

}  // namespace zytool
