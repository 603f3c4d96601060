//===- CmdConvert.cpp - zyvmconvert convert [VM] --from K --to K ----------===//
//
// A user who converts a VM expects a whole VM with its disks converted, so
// convert runs the restore-time conversion from the source VM, the same
// flow as restore: InitVMConversion, every disk copied through the disk
// image component under its destination name and format, then
// CompleteVMConversion.  The source is a VM of the folder platform, or a
// VM given as its own files (--vmx, --xen-cfg, --ec2-xml, --zyf); the
// destination VM goes to <root>/<kind>/<name>, or into --output.
//
// --library-convert runs the library's standalone conversion (ConvertVM)
// instead: the converter mounts the source VM from the folder platform,
// converts its configuration file and has the destination platform build
// the VM; it creates no disk images by design.  ConvertVM does not report a
// failure of that last step, so the tool checks that the platform built the
// VM.
//
//===----------------------------------------------------------------------===//
#include "Commands.h"
#include "Report.h"
#include "SourceOptions.h"

#include "converter/ZyVMConverter.h"
#include "platform/folder/FolderVMInfo.h"
#include "platform/support/FXPath.h"

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

int RunLibraryConvert(const GlobalOptions& global,
                      const ConvertOptions& options) {
  VirtualServerInstanceType source = KindFromText(options.from);
  VirtualServerInstanceType destination = DestinationKindFromText(options.to);
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
  converter.restoreCtx.strS3Bucket = options.s3Bucket;
  if (!converter.ConvertVM())
    throw ToolError("cannot convert " + options.vm + " to " +
                    PlatformKindName(destination) + " (ConvertVM): " +
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
  facts.s3Bucket = options.s3Bucket;
  const VMInfoStructs::SVMInfo& info = converter.restoreCtx.vmInfo;
  AddNativeDescription(facts, destination, info);
  if (global.json)
    Print("%s\n", DescriptionJson(info, facts).dump(2).c_str());
  else
    PrintDescription(info, facts);
  return 0;
}

int RunConvert(const GlobalOptions& global, const ConvertOptions& options) {
  SJobError error;
  Require(CheckFileSource(options.files, error), error);
  if (options.libraryConvert) {
    if (HasFileSource(options.files) || !options.files.output.empty())
      throw ToolError("--library-convert converts a VM of the platform root");
    if (options.vm.empty() || options.from.empty())
      throw ToolError("--library-convert needs the VM's name and --from");
    return RunLibraryConvert(global, options);
  }
  RestoreJob job;
  job.destination = DestinationKindFromText(options.to);
  if (options.vm.empty() == !HasFileSource(options.files))
    throw ToolError(
        "give the source VM: its name on the platform, or its files "
        "(--vmx, --xen-cfg, --ec2-xml or --zyf)");
  job.request.strVMName = options.destinationName;
  job.request.strS3Bucket = options.s3Bucket;
  job.verb = "converted";
  std::unique_ptr<IJobPlatform> platform;
  SetUpSource(global, options.files, options.from, options.vm, platform, job);
  return RunAndReport(global, job);
}

void AddConvertCommand(CLI::App& app, const GlobalOptions& global,
                       CommandRun& run) {
  auto options = std::make_shared<ConvertOptions>();
  CLI::App* cmd = app.add_subcommand(
      "convert",
      "Convert a VM, with its disks, to another platform kind: a VM of the "
      "folder platform, or one given as its files (--vmx FILE --output DIR)");
  cmd->add_option("vm", options->vm,
                  "Name of the source VM on the folder platform");
  cmd->add_option("--from", options->from,
                  "Source platform kind (default: the source file's)");
  cmd->add_option("--to", options->to, "Destination platform kind")->required();
  cmd->add_option("--name", options->destinationName,
                  "Name of the destination VM (default: the source's)");
  AddS3BucketOption(*cmd, options->s3Bucket);
  AddFileSourceOptions(*cmd, options->files);
  cmd->add_flag("--library-convert", options->libraryConvert,
                "Run the library's standalone ConvertVM instead (it creates "
                "no disk images)");
  cmd->callback([&run, &global, options] {
    run = [&global, options] { return RunConvert(global, *options); };
  });
}

}  // namespace zytool
