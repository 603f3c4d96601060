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
//   init-root   an empty folder platform
//   mount       a backed-up VM run on another kind over thin images;
//               unmount and promote end a mount
// Exit status 0 on success; otherwise one line on standard error and 1 (2
// for a command line that cannot be parsed); with --json the same failure
// is also {"error": ..., "exitCode": ...} on standard output.  SIGINT,
// SIGTERM and SIGHUP stop the run: its children are ended, what it made is
// removed, and it exits 128 + the signal (130, 143, 129) with one line
// saying so.
//
//===----------------------------------------------------------------------===//
#include "Commands.h"

#include "model/PlatformKinds.h"
#include "platform/support/StopRequest.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

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

// The failure's line on standard error, and with --json its object on the
// results' output; the exit status.
// A run a signal stopped says so, whatever failed on the way out.
int ReportError(std::string text, bool json, int status = 1) {
  zyjobs::SJobError stopped;
  if (zyjobs::StoppedError(stopped)) {
    text = stopped.text;
    status = stopped.exitCode;
  }
  std::string line = zytool::ForTheUser(text);
  if (json)
    std::fprintf(
        zytool::Out(), "%s\n",
        nlohmann::json{{"error", line}, {"exitCode", status}}.dump().c_str());
  std::fflush(zytool::Out());
  std::fprintf(stderr, "zyvmconvert: error: %s\n", line.c_str());
  return status;
}

// The first word of the command line that is neither an option nor an
// option's value: the subcommand the user meant; empty when there is none.
std::string TypedCommandWord(const CLI::App& app, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string word = argv[i];
    if (word.rfind("-", 0) != 0) return word;
    const CLI::Option* option = app.get_option_no_throw(word);
    if (option && option->get_expected_min() > 0 &&
        word.find('=') == std::string::npos)
      ++i;  // its value
  }
  return {};
}

// A command line CLI11 cannot parse, said in terms of what was typed.
std::string ParseFailure(const CLI::App& app, const CLI::ParseError& error,
                         int argc, char** argv) {
  std::string word = TypedCommandWord(app, argc, argv);
  if (word.empty()) return std::string(error.what()) + " (see --help)";
  std::string names;
  bool known = false;
  for (const CLI::App* command : app.get_subcommands({})) {
    known |= command->get_name() == word;
    names += (names.empty() ? "" : ", ") + command->get_name();
  }
  if (known) return std::string(error.what()) + " (see --help)";
  return "unknown command [" + word + "] (commands: " + names + ")";
}

bool AsksForJson(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--json") return true;
  return false;
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
                         AddBootCheckCommand, AddInitRootCommand,
                         AddMountCommands})
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
    return ReportError(ParseFailure(app, e, argc, argv),
                       AsksForJson(argc, argv), 2);
  }

  try {
    SetUpConsole(global);
    return run();
  } catch (const ToolError& e) {
    return ReportError(e.what(), global.json, e.exitCode);
  } catch (const std::exception& e) {
    return ReportError(std::string("unexpected failure: ") + e.what(),
                       global.json);
  }
}
