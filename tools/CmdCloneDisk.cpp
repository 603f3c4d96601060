//===- CmdCloneDisk.cpp - zyvmconvert clone-disk SRC DST ------------------===//
//
// Copies one disk image into a new image: the source's format recognised
// from its content, the destination's from --to-format, else from its
// extension, else raw.  The destination appears only when whole.
//
//===----------------------------------------------------------------------===//
#include "Commands.h"

#include "jobs/DiskCopy.h"

#include "platform/support/FXPath.h"

#include <nlohmann/json.hpp>

#include <CLI/CLI.hpp>
#include <memory>

namespace zytool {
int RunCloneDisk(const GlobalOptions& global, const CloneDiskOptions& options) {
  ImageFormat_t format = ImageFormat_t::kRaw;
  SJobError error;
  Require(ChooseImageFormat(options.toFormat, options.destination, format,
                            error),
          error);
  DiskCopyStats stats;
  ConsoleObserver observer;
  Require(CopyDiskImage(options.source, options.destination, format, 0,
                        CQiPath::GetBaseName(options.destination), observer,
                        stats, error, options.verify),
          error);
  double rate = stats.BytesPerSecond();
  if (global.json) {
    nlohmann::json result{{"source", options.source},
                          {"sourceFormat", stats.sourceFormat},
                          {"destination", options.destination},
                          {"format", stats.format},
                          {"virtualBytes", stats.diskSize},
                          {"bytesRead", stats.bytesRead},
                          {"dataBytes", stats.dataBytes},
                          {"allocatedBytes", stats.allocatedBytes},
                          {"seconds", stats.seconds},
                          {"bytesPerSecond", rate}};
    if (options.verify) result["verified"] = stats.verified;
    Print("%s\n", result.dump(2).c_str());
    return 0;
  }
  Print("Cloned %s (%s) to %s (%s)\n", options.source.c_str(),
        stats.sourceFormat.c_str(), options.destination.c_str(),
        stats.format.c_str());
  Print("  Virtual size: %s (%llu bytes)\n", HumanBytes(stats.diskSize).c_str(),
        static_cast<unsigned long long>(stats.diskSize));
  Print("  Read:         %s in %.2f s, %s/s\n",
        HumanBytes(stats.bytesRead).c_str(), stats.seconds,
        HumanBytes(static_cast<uint64_t>(rate)).c_str());
  Print("  Data copied:  %s (%llu bytes)\n", HumanBytes(stats.dataBytes).c_str(),
        static_cast<unsigned long long>(stats.dataBytes));
  Print("  Allocated:    %s (%llu bytes)\n",
        HumanBytes(stats.allocatedBytes).c_str(),
        static_cast<unsigned long long>(stats.allocatedBytes));
  if (stats.verified)
    Print("  Verified:     the guest data equal the source's\n");
  return 0;
}

void AddCloneDiskCommand(CLI::App& app, const GlobalOptions& global,
                         CommandRun& run) {
  auto options = std::make_shared<CloneDiskOptions>();
  CLI::App* cmd = app.add_subcommand(
      "clone-disk", "Copy a disk image into a new image of any format");
  cmd->add_option("source", options->source,
                  "Source image (raw, VMDK, VHD, VHDX or qcow2)")
      ->required();
  cmd->add_option("destination", options->destination,
                  "New image (must not exist)")
      ->required();
  cmd->add_option("--to-format", options->toFormat,
                  "vmdk, vhd, vhd-fixed, vhdx, qcow2 or raw (default: from "
                  "the destination's extension, else raw)");
  cmd->add_flag("--verify", options->verify,
                "Compare the copy's guest data with the source's; a "
                "difference fails the copy and removes it");
  cmd->callback([&run, &global, options] {
    run = [&global, options] { return RunCloneDisk(global, *options); };
  });
}

}  // namespace zytool
