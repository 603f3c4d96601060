//===- CmdCloneDisk.cpp - zyvmconvert clone-disk SRC DST ------------------===//
#include "Commands.h"
#include "DiskCopy.h"

#include "platform/support/FXPath.h"

#include <nlohmann/json.hpp>

#include <filesystem>

#include <CLI/CLI.hpp>
#include <memory>

namespace zytool {

int RunCloneDisk(const GlobalOptions& global, const CloneDiskOptions& options) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(options.source, ec) &&
      !std::filesystem::is_block_file(options.source, ec))
    throw ToolError("no disk image [" + options.source + "]");
  if (std::filesystem::exists(
          std::filesystem::symlink_status(options.destination, ec)))
    throw ToolError("[" + options.destination +
                    "] exists; clone-disk never replaces a file");
  DiskType_t format = options.format >= 0
                          ? static_cast<DiskType_t>(options.format)
                          : DiskTypeOfFile(options.source);
  DiskCopyStats stats =
      CopyDiskImage(options.source, format, options.destination, format,
                    CQiPath::GetBaseName(options.destination));
  double rate = stats.seconds > 0
                    ? static_cast<double>(stats.bytesRead) / stats.seconds
                    : 0;
  if (global.json) {
    nlohmann::json result{{"source", options.source},
                          {"destination", options.destination},
                          {"format", static_cast<int>(format)},
                          {"diskBytes", stats.diskSize},
                          {"bytesRead", stats.bytesRead},
                          {"dataBytes", stats.dataBytes},
                          {"holeBytes", stats.holeBytes},
                          {"seconds", stats.seconds},
                          {"bytesPerSecond", rate}};
    Print("%s\n", result.dump(2).c_str());
    return 0;
  }
  Print("Cloned %s to %s\n", options.source.c_str(),
        options.destination.c_str());
  Print("  Disk size:   %s (%llu bytes)\n", HumanBytes(stats.diskSize).c_str(),
        static_cast<unsigned long long>(stats.diskSize));
  Print("  Read:        %s in %.2f s, %s/s\n",
        HumanBytes(stats.bytesRead).c_str(), stats.seconds,
        HumanBytes(static_cast<uint64_t>(rate)).c_str());
  Print("  Data copied: %s (%llu bytes)\n", HumanBytes(stats.dataBytes).c_str(),
        static_cast<unsigned long long>(stats.dataBytes));
  Print("  Holes kept:  %s (%llu bytes)\n", HumanBytes(stats.holeBytes).c_str(),
        static_cast<unsigned long long>(stats.holeBytes));
  return 0;
}

void AddCloneDiskCommand(CLI::App& app, const GlobalOptions& global,
                         CommandRun& run) {
  auto options = std::make_shared<CloneDiskOptions>();
  CLI::App* cmd = app.add_subcommand(
      "clone-disk", "Copy a disk image through the disk image component");
  cmd->add_option("source", options->source, "Source image")->required();
  cmd->add_option("destination", options->destination,
                  "New image (must not exist)")
      ->required();
  cmd->add_option("--format", options->format,
                  "Disk format number (default: from the source's extension)");
  cmd->callback([&run, &global, options] {
    run = [&global, options] { return RunCloneDisk(global, *options); };
  });
}

}  // namespace zytool
