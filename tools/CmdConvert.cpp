//===- CmdConvert.cpp - zyvmconvert convert VM --from K --to K ------------===//
//
// The standalone conversion: the converter mounts the source VM from the
// folder platform, converts its configuration file and disk images, and
// has the destination platform build the VM.  The destination VM goes to
// <root>/<kind>/<name>.  ConvertVM does not report a failure of that last
// step, so the tool checks that the platform built the VM.
//
//===----------------------------------------------------------------------===//
#include "Commands.h"
#include "Report.h"

#include "converter/ZyVMConverter.h"
#include "platform/support/FXPath.h"
#include "platform/folder/FolderVMInfo.h"

#include <filesystem>

#include <CLI/CLI.hpp>
#include <memory>

namespace zytool {
namespace {

namespace fs = std::filesystem;

// Folders that the converter makes for a Hyper-V destination before the
// conversion; removed again when they stay empty because it failed.
class RemoveIfLeftEmpty {
 public:
  explicit RemoveIfLeftEmpty(std::string vmFolder)
      : vmFolder_(std::move(vmFolder)) {
    std::error_code ec;
    existed_ = fs::exists(vmFolder_, ec);
  }
  ~RemoveIfLeftEmpty() {
    if (existed_) return;
    std::error_code ec;
    fs::remove(CQiPath::Append(vmFolder_, "Virtual Hard Disks"),
               ec);             // if empty
    fs::remove(vmFolder_, ec);  // if empty
  }
  RemoveIfLeftEmpty(const RemoveIfLeftEmpty&) = delete;
  RemoveIfLeftEmpty& operator=(const RemoveIfLeftEmpty&) = delete;

 private:
  std::string vmFolder_;
  bool existed_ = false;
};

std::string FailureText(const FailureWatch& watch, IVMInfo* platform) {
  std::string text = watch.LastFailure();
  while (!text.empty() && text.back() == '\n') text.pop_back();
  std::string reason = platform ? platform->GetLastErrorText() : std::string();
  if (!reason.empty() && reason != text)
    text += (text.empty() ? "" : "; platform: ") + reason;
  if (!text.empty()) return text;
  return LogPath().empty() ? "see the platform log"
                           : "see the log " + LogPath();
}

}  // namespace

int RunConvert(const GlobalOptions& global, const ConvertOptions& options) {
  VirtualServerInstanceType source = KindFromText(options.from);
  VirtualServerInstanceType destination = KindFromText(options.to);
  std::string root = RequirePlatformRoot(global);
  std::string name =
      options.destinationName.empty() ? options.vm : options.destinationName;

  FolderVMInfo sourcePlatform(source, root),
      destinationPlatform(destination, root);
  if (!fs::exists(
          CQiPath::Append(sourcePlatform.VMFolder(options.vm), "VMConfig.zyf")))
    throw ToolError("no VM [" + options.vm + "] in [" +
                    sourcePlatform.KindFolder() + "]");
  RestoreCtx probe;
  probe.strVMName = name;
  if (!destinationPlatform.PrepareRestoreConversion(probe))
    throw ToolError(destinationPlatform.GetLastErrorText());

  RemoveIfLeftEmpty cleanup(destinationPlatform.VMFolder(name));
  FailureWatch watch;
  ZyVMConverter converter;
  converter.SetSourceInstance(source, "", "", "");
  converter.SetDestinationInstance(destination, "", "", "");
  converter.SetSourceVM(options.vm, "", false);
  converter.SetDestinationVM(name, "", destinationPlatform.KindFolder(), false);
  converter.restoreCtx.strVMName = name;
  if (!converter.ConvertVM())
    throw ToolError("ConvertVM failed: " +
                    FailureText(watch, converter.pSourceVMInfo
                                           ? converter.pSourceVMInfo
                                           : converter.pDestVMInfo));
  if (converter.restoreCtx.strVMId.empty())
    throw ToolError("the destination platform did not build the VM: " +
                    FailureText(watch, converter.pDestVMInfo));

  ResultFacts facts;
  facts.title = options.vm + " (" + PlatformKindName(source) +
                ") converted to " + PlatformKindName(destination);
  facts.vmId = converter.restoreCtx.strVMId;
  facts.location = converter.restoreCtx.strResultInfo;
  facts.instanceType = converter.restoreCtx.strVMSize;
  const VMInfoStructs::SVMInfo& info = converter.restoreCtx.vmInfo;
  AddNativeDescription(facts, destination, info);
  if (global.json)
    Print("%s\n", DescriptionJson(info, facts).dump(2).c_str());
  else
    PrintDescription(info, facts);
  return 0;
}

void AddConvertCommand(CLI::App& app, const GlobalOptions& global,
                       CommandRun& run) {
  auto options = std::make_shared<ConvertOptions>();
  CLI::App* cmd = app.add_subcommand(
      "convert",
      "Convert a VM of the folder platform to another kind (standalone)");
  cmd->add_option("vm", options->vm, "Name of the source VM")->required();
  cmd->add_option("--from", options->from, "Source platform kind")->required();
  cmd->add_option("--to", options->to, "Destination platform kind")->required();
  cmd->add_option("--name", options->destinationName,
                  "Name of the destination VM (default: the source's)");
  cmd->callback([&run, &global, options] {
    run = [&global, options] { return RunConvert(global, *options); };
  });
}

}  // namespace zytool
