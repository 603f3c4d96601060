//===- main.cpp - zyvmconvert, the command-line tool ----------------------===//
//
// zyvmconvert drives the converter over the folder platform:
//   restore     a restore to another platform kind, as the restore agent
//               runs it
//   p2v         a physical machine's recovery request turned into a VM
//   convert     the standalone conversion of a VM between two kinds
//   clone-disk  a disk image copied through the disk image component
//   kinds       the platform kinds and their disk rules
//   demo        the main job, end to end, on the shipped examples
//   boot-check  a restored VM booted in qemu as its destination describes it
// Exit status 0 on success; otherwise one line on standard error and 1 (2
// for a command line that cannot be parsed).  SIGINT, SIGTERM and SIGHUP
// stop the run: its children are ended, what it made is removed, and it
// exits 128 + the signal (130, 143, 129) with one line saying so.
//
//===----------------------------------------------------------------------===//
#include "Commands.h"

#include "model/PlatformKinds.h"
#include "platform/support/StopRequest.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <string>

namespace {

// The kinds by the names and numbers the kind table gives them.
std::string Epilog() {
  std::string names, numbers;
  for (VirtualServerInstanceType kind : KnownPlatformKinds()) {
    std::string& list = zykinds::FactsOf(kind).name ? names : numbers;
    list += (list.empty() ? "" : ", ") + PlatformKindName(kind);
  }
  return "Kinds: " + names + ", or a kind's number (" + numbers +
         ").\nLog: --log, else ZY_LOG_FILE, else "
         "~/.local/state/zyvmconvert/zyvmconvert.log.";
}

// A run a signal stopped says so, whatever failed on the way out.
int ReportError(std::string text, int exitCode = 1) {
  zyjobs::SJobError stopped;
  if (zyjobs::StoppedError(stopped)) {
    text = stopped.text;
    exitCode = stopped.exitCode;
  }
  std::fflush(zytool::Out());
  std::fprintf(stderr, "zyvmconvert: error: %s\n", text.c_str());
  return exitCode;
}

void AddGlobalOptions(CLI::App& app, zytool::GlobalOptions& global) {
  app.add_option("--root", global.root,
                 "Folder platform root (default: ZY_PLATFORM_ROOT)");
  app.add_option(
      "--platform-config", global.platformConfig,
      "Platform settings and clients, JSON (default: ZY_PLATFORM_CONFIG)");
  app.add_option("--log", global.logFile,
                 "Append the platform log to this file");
  app.add_flag("--json", global.json, "Print results as JSON");
  app.add_flag(
      "-v,--verbose", global.verbose,
      "Show the platform log and the converter's progress on standard error");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zytool;
  StopOnSignals();
  CLI::App app{
      "zyvmconvert: converts virtual machines between hypervisor and "
      "cloud platforms, on a folder platform",
      "zyvmconvert"};
  app.footer(Epilog());
  app.set_version_flag("--version", std::string("zyvmconvert ") + ZY_VERSION);
  app.require_subcommand(1);
  app.fallthrough();
  GlobalOptions global;
  AddGlobalOptions(app, global);

  CommandRun run;
  for (AddCommand add : {AddRestoreCommand, AddP2VCommand, AddConvertCommand,
                         AddCloneDiskCommand, AddKindsCommand, AddDemoCommand,
                         AddBootCheckCommand})
    add(app, global, run);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "zyvmconvert: error: %s (see --help)\n", e.what());
    return 2;
  }

  try {
    SetUpConsole(global);
    return run();
  } catch (const ToolError& e) {
    return ReportError(e.what(), e.exitCode);
  } catch (const std::exception& e) {
    return ReportError(std::string("unexpected failure: ") + e.what());
  }
}
