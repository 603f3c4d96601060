//===- CmdBootCheck.cpp - zyvmconvert boot-check DIR ----------------------===//
//
// Boots a restored VM in qemu's x86 emulator as its destination describes
// it: reads the native description in DIR, puts each disk on the controller,
// bus and unit it names, with the firmware it names, and reports whether
// the guest on the boot disk reached its report on the serial port.  A
// libvirt domain is started by libvirt's own QEMU driver (a note says so
// where libvirt is not installed and qemu stands in).  Made
// for VMs whose boot disk holds one of the boot checks' test guests: where
// it holds the Linux guest, the OS check follows (every disk seen by the
// OS, with its marker, on its controller).
// Exit status: 0 booted, 1 failed (or an error), 3 cannot be checked (a
// controller or firmware qemu has no model of, or a controller the guest's
// kernel cannot bring up on qemu).
//
//===----------------------------------------------------------------------===//
#include "Commands.h"
#include "jobs/BootRunner.h"

#include <nlohmann/json.hpp>

#include <CLI/CLI.hpp>
#include <memory>

namespace zytool {
namespace {

constexpr int kBootLimitSeconds = 60;

}  // namespace

int RunBootCheck(const GlobalOptions& global, const std::string& folder) {
  BootCheck check;
  SJobError error;
  if (!CheckBoot(folder, kBootLimitSeconds, check, error))
    throw ToolError(error.text);
  const BootPlan& plan = check.plan;
  const BootResult& result = check.result;
  std::string os = OsCheckText(result);
  if (global.json) {
    nlohmann::json disks = nlohmann::json::array();
    for (const BootDisk& disk : plan.disks) disks.push_back(BootDiskText(disk));
    nlohmann::json out{{"description", plan.description},
                       {"firmware", plan.efi ? "EFI" : "BIOS"},
                       {"disks", disks},
                       {"result", BootOutcomeText(result.outcome)},
                       {"detail", result.detail},
                       {"osCheck", os},
                       {"seen", result.seen},
                       {"seconds", result.seconds},
                       {"startedBy", result.runner},
                       {"note", result.note}};
    Print("%s\n", out.dump(2).c_str());
    return BootExitStatus(result);
  }
  Print("Boot check of %s (%s, %s firmware%s%s)\n", folder.c_str(),
        plan.description.c_str(), plan.efi ? "EFI" : "BIOS",
        result.runner.empty() ? "" : ", started by ", result.runner.c_str());
  if (!result.note.empty()) Print("Note: %s\n", result.note.c_str());
  for (const BootDisk& disk : plan.disks)
    Print("  %s\n", BootDiskText(disk).c_str());
  Print("%s%s%s\n", BootOutcomeText(result.outcome),
        result.detail.empty() ? "" : ": ", result.detail.c_str());
  if (!os.empty()) Print("%s\n", os.c_str());
  for (const std::string& line : result.seen) Print("  %s\n", line.c_str());
  return BootExitStatus(result);
}

void AddBootCheckCommand(CLI::App& app, const GlobalOptions& global,
                         CommandRun& run) {
  auto folder = std::make_shared<std::string>();
  CLI::App* cmd = app.add_subcommand(
      "boot-check",
      "Boot a restored VM's disks in qemu as its destination describes them "
      "and, where it holds the Linux test guest, check that the OS sees every "
      "disk (exit 0 booted, 1 failed, 3 cannot be checked)");
  cmd->add_option("folder", *folder, "The VM's folder")->required();
  cmd->callback([&run, &global, folder] {
    run = [&global, folder] { return RunBootCheck(global, *folder); };
  });
}

}  // namespace zytool
