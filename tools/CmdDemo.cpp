//===- CmdDemo.cpp - zyvmconvert demo: the main job, end to end -----------===//
//
// Runs the demonstration (jobs/DemoJob.h) on the shipped examples and
// prints each step as it ends: the VM's description, the disk images or
// thin images it wrote, and the outcome of its boot check with the disks
// qemu attached, on which controllers.
//
//===----------------------------------------------------------------------===//
#include "Commands.h"
#include "Report.h"

#include "jobs/DemoJob.h"

#include <nlohmann/json.hpp>

#include <CLI/CLI.hpp>
#include <memory>

namespace zytool {
namespace {

void PrintStep(const DemoStep& step, size_t index, size_t count) {
  Print("== %zu/%zu %s ==\n", index + 1, count, step.title.c_str());
  PrintDescription(step.description, step.facts);
  if (!step.diskImages.empty()) Print("Disk images written:\n");
  for (const DemoDiskImage& image : step.diskImages)
    Print("  %-28s %-6s %10s virtual %10s allocated\n", image.name.c_str(),
          image.format.c_str(), HumanBytes(image.virtualBytes).c_str(),
          HumanBytes(image.allocatedBytes).c_str());
  PrintThinImages(step.thinImages);
  if (!step.boot.result.empty())
    Print("  Boot check:    %s\n", step.boot.result.c_str());
  for (const std::string& disk : step.boot.disks)
    Print("                 %s\n", disk.c_str());
  Print("\n");
}

nlohmann::json StepJson(const DemoStep& step) {
  nlohmann::json result = DescriptionJson(step.description, step.facts);
  result["step"] = step.title;
  if (!step.boot.result.empty())
    result["bootCheck"] = {{"result", step.boot.result},
                           {"disks", step.boot.disks}};
  if (!step.thinImages.empty()) result["thinImages"] = step.thinImages;
  return result;
}

int RunDemo(const GlobalOptions& global, DemoRequest request) {
  SJobError error;
  Require(FindDemoExamples(request.examples, error), error);
  request.examplesConfig = global.platformConfig.empty();
  ConsoleObserver observer;
  nlohmann::json results = nlohmann::json::array();
  auto show = [&](const DemoStep& step, size_t index, size_t count) {
    if (global.json)
      results.push_back(StepJson(step));
    else
      PrintStep(step, index, count);
  };
  DemoOutcome outcome;
  Require(RunDemoJob(request, observer, show, outcome, error), error);
  if (global.json) {
    Print("%s\n", results.dump(2).c_str());
    return 0;
  }
  if (outcome.kept)
    Print("The demonstration platform is in %s\n", outcome.root.c_str());
  else
    Print(
        "The demonstration platform was temporary and is removed "
        "(--keep keeps it).\n");
  if (!LogPath().empty()) Print("The platform log is %s\n", LogPath().c_str());
  return 0;
}

}  // namespace

void AddDemoCommand(CLI::App& app, const GlobalOptions& global,
                    CommandRun& run) {
  auto request = std::make_shared<DemoRequest>();
  CLI::App* cmd = app.add_subcommand(
      "demo", "Run the main job end to end on the shipped examples");
  cmd->add_option("--examples", request->examples, "Examples folder");
  cmd->add_option("--into", request->root,
                  "Build the demonstration platform in this folder (kept)");
  cmd->add_flag("--keep", request->keep,
                "Keep the temporary platform and say where");
  cmd->callback([&run, &global, request] {
    run = [&global, request] { return RunDemo(global, *request); };
  });
}

}  // namespace zytool
