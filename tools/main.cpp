//===- main.cpp - zyvmconvert, the command-line tool ----------------------===//
//
// zyvmconvert drives the converter over the folder platform:
//   restore     a restore to another platform kind, as the restore agent runs
//   it p2v         a physical machine's recovery request turned into a VM
//   convert     the standalone conversion of a VM between two kinds
//   clone-disk  a disk image copied through the disk image component
//   kinds       the platform kinds and their disk rules
//   demo        the main job, end to end, on the shipped examples
// Exit status 0 on success; otherwise one line on standard error and 1 (2
// for a command line that cannot be parsed).
//
//===----------------------------------------------------------------------===//
#include "Commands.h"
#include "RecordJson.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>

namespace {

constexpr char kEpilog[] =
    "Kinds: vmware, hyperv, amazon, azure, nutanix, rhev, openstack, oraclevm, "
    "or a kind's number (100, 103, 402, 403, 801, 1101, 1102, 1301, 1401).\n"
    "Log: --log, else ZY_LOG_FILE, else "
    "~/.local/state/zyvmconvert/zyvmconvert.log.";

int ReportError(const std::string& text) {
  std::fflush(zytool::Out());
  std::fprintf(stderr, "zyvmconvert: error: %s\n", text.c_str());
  return 1;
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
  CLI::App app{
      "zyvmconvert: converts virtual machines between hypervisor and "
      "cloud platforms, on a folder platform",
      "zyvmconvert"};
  app.footer(kEpilog);
  app.set_version_flag("--version", std::string("zyvmconvert ") + ZY_VERSION);
  app.require_subcommand(1);
  app.fallthrough();
  GlobalOptions global;
  AddGlobalOptions(app, global);

  RestoreOptions restore;
  CLI::App* restoreCmd = app.add_subcommand(
      "restore",
      "Restore a VM to another platform kind from a JSON restore request");
  restoreCmd
      ->add_option("request", restore.request,
                   "Restore request, JSON (- for standard input)")
      ->required();
  restoreCmd->add_option("--from", restore.from, "Source platform kind")
      ->required();
  restoreCmd->add_option("--to", restore.to, "Destination platform kind")
      ->required();
  restoreCmd->add_option(
      "--source", restore.sourceFolder,
      "Folder of the backed-up files (default: the source VM's "
      "folder on the platform)");

  P2VOptions p2v;
  CLI::App* p2vCmd = app.add_subcommand(
      "p2v",
      "Turn a physical machine's restore request (XML) into a VM description");
  p2vCmd
      ->add_option("request", p2v.request,
                   "Restore request with a recovery response, XML")
      ->required()
      ->check(CLI::ExistingFile);
  p2vCmd->add_option("--to", p2v.to, "Destination platform kind")->required();
  p2vCmd->add_option("--save-request", p2v.saveRequest,
                     "Write the restore request as JSON, ready for 'restore'");

  ConvertOptions convert;
  CLI::App* convertCmd = app.add_subcommand(
      "convert",
      "Convert a VM of the folder platform to another kind (standalone)");
  convertCmd->add_option("vm", convert.vm, "Name of the source VM")->required();
  convertCmd->add_option("--from", convert.from, "Source platform kind")
      ->required();
  convertCmd->add_option("--to", convert.to, "Destination platform kind")
      ->required();
  convertCmd->add_option("--name", convert.destinationName,
                         "Name of the destination VM (default: the source's)");

  CloneDiskOptions clone;
  CLI::App* cloneCmd = app.add_subcommand(
      "clone-disk", "Copy a disk image through the disk image component");
  cloneCmd->add_option("source", clone.source, "Source image")->required();
  cloneCmd
      ->add_option("destination", clone.destination,
                   "New image (must not exist)")
      ->required();
  cloneCmd->add_option(
      "--format", clone.format,
      "Disk format number (default: from the source's extension)");

  app.add_subcommand("kinds", "List the platform kinds and their disk rules");

  DemoOptions demo;
  CLI::App* demoCmd = app.add_subcommand(
      "demo", "Run the main job end to end on the shipped examples");
  demoCmd->add_option("--examples", demo.examples, "Examples folder");
  demoCmd->add_option("--into", demo.root,
                      "Build the demonstration platform in this folder (kept)");
  demoCmd->add_flag("--keep", demo.keep,
                    "Keep the temporary platform and say where");

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
    if (restoreCmd->parsed()) return RunRestore(global, restore);
    if (p2vCmd->parsed()) return RunP2V(global, p2v);
    if (convertCmd->parsed()) return RunConvert(global, convert);
    if (cloneCmd->parsed()) return RunCloneDisk(global, clone);
    if (demoCmd->parsed()) return RunDemo(global, demo);
    return RunKinds(global);
  } catch (const ToolError& e) {
    return ReportError(e.what());
  } catch (const RecordJsonError& e) {
    return ReportError(e.what());
  } catch (const std::exception& e) {
    return ReportError(std::string("unexpected failure: ") + e.what());
  }
}
