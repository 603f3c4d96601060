//===- CmdBootCheck.cpp - zyvmconvert boot-check DIR ----------------------===//
//
// Boots a restored VM in qemu's x86 emulator as its destination describes
// it: reads the native description in DIR, puts each disk on the controller,
// bus and unit it names, with the firmware it names, and reports whether
// the guest on the boot disk reached its report on the serial port.  Made
// for VMs whose boot disk holds the boot checks' test guest.
// Exit status: 0 booted, 1 failed (or an error), 3 cannot be checked (a
// controller or firmware qemu has no model of).
//
//===----------------------------------------------------------------------===//
#include "BootPlan.h"
#include "BootRunner.h"
#include "Commands.h"

#include "platform/support/BoundedFile.h"

#include <nlohmann/json.hpp>

#include <filesystem>

#include <CLI/CLI.hpp>
#include <memory>

namespace zytool {
namespace {

namespace fs = std::filesystem;

constexpr int kCannotCheckStatus = 3;

const char* OutcomeText(BootOutcome outcome) {
  switch (outcome) {
    case BootOutcome::kBooted: return "booted";
    case BootOutcome::kCannotCheck: return "cannot check";
    default: return "failed boot";
  }
}

std::string DiskText(const BootDisk& disk) {
  return disk.file + " on " + disk.controllerName + " " +
         std::to_string(disk.bus) + ":" + std::to_string(disk.unit) +
         (disk.boot ? " (boot)" : "") +
         (disk.controller == BootController::kNone ? " (not attached)" : "");
}

BootPlan ReadPlan(const std::string& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec))
    throw ToolError("[" + folder + "] is not a folder");
  std::string kind, file;
  if (!FindNativeDescription(folder, kind, file))
    throw ToolError("no native description of the VM in [" + folder + "]");
  std::string text, error;
  if (!ReadBoundedFile(folder + "/" + file, text, error)) throw ToolError(error);
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (entry.is_regular_file(ec)) files.push_back(entry.path().filename());
  BootPlan plan;
  try {
    plan = PlanFromDescription(kind, text, files);
  } catch (const ToolError& e) {
    throw ToolError("[" + file + "]: " + e.what());
  }
  plan.description = file;
  return plan;
}

}  // namespace

int RunBootCheck(const GlobalOptions& global, const std::string& folder) {
  BootPlan plan = ReadPlan(folder);
  BootResult result = RunBootPlan(plan, folder);
  if (global.json) {
    nlohmann::json disks = nlohmann::json::array();
    for (const BootDisk& disk : plan.disks) disks.push_back(DiskText(disk));
    nlohmann::json out{{"description", plan.description},
                       {"firmware", plan.efi ? "efi" : "bios"},
                       {"disks", disks},
                       {"result", OutcomeText(result.outcome)},
                       {"detail", result.detail}};
    Print("%s\n", out.dump(2).c_str());
  } else {
    Print("Boot check of %s (%s, %s firmware)\n", folder.c_str(),
          plan.description.c_str(), plan.efi ? "EFI" : "BIOS");
    for (const BootDisk& disk : plan.disks)
      Print("  %s\n", DiskText(disk).c_str());
    Print("%s%s%s\n", OutcomeText(result.outcome),
          result.detail.empty() ? "" : ": ", result.detail.c_str());
  }
  if (result.outcome == BootOutcome::kBooted) return 0;
  return result.outcome == BootOutcome::kCannotCheck ? kCannotCheckStatus : 1;
}

void AddBootCheckCommand(CLI::App& app, const GlobalOptions& global,
                         CommandRun& run) {
  auto folder = std::make_shared<std::string>();
  CLI::App* cmd = app.add_subcommand(
      "boot-check",
      "Boot a restored VM's disks in qemu as its destination describes them "
      "(exit 0 booted, 1 failed, 3 cannot be checked)");
  cmd->add_option("folder", *folder, "The VM's folder")->required();
  cmd->callback([&run, &global, folder] {
    run = [&global, folder] { return RunBootCheck(global, *folder); };
  });
}

}  // namespace zytool
