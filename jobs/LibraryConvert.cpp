//===- LibraryConvert.cpp - The library's standalone conversion of a VM ---===//
#include "LibraryConvert.h"

#include "BootDiskCheck.h"
#include "JobSupport.h"

#include "converter/ZyVMConverter.h"
#include "model/PlatformKinds.h"
#include "platform/folder/FolderVMInfo.h"
#include "platform/support/FXPath.h"

#include <filesystem>

namespace zyjobs {
namespace {

namespace fs = std::filesystem;

// Folders that the converter makes for a Hyper-V destination before the
// conversion; removed again when they stay empty because it failed, and
// with what they hold when the VM built there is refused.
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
    if (whole_) fs::remove_all(vmFolder_, ec);
    fs::remove(CQiPath::Append(vmFolder_, "Virtual Hard Disks"),
               ec);             // if empty
    fs::remove(vmFolder_, ec);  // if empty
  }
  RemoveIfLeftEmpty(const RemoveIfLeftEmpty&) = delete;
  RemoveIfLeftEmpty& operator=(const RemoveIfLeftEmpty&) = delete;
  // The VM this run built there goes too unless Keep follows.
  void RemoveWhole() { whole_ = true; }
  void Keep() { whole_ = false; }

 private:
  std::string vmFolder_;
  bool existed_ = false;
  bool whole_ = false;
};

std::string FailureText(const FailureWatch& watch, IVMInfo* platform,
                        const std::string& logPath) {
  std::string text = watch.LastFailure();
  while (!text.empty() && text.back() == '\n') text.pop_back();
  std::string reason = platform ? platform->GetLastErrorText() : std::string();
  if (!reason.empty() && reason != text)
    text += (text.empty() ? "" : "; platform: ") + reason;
  if (!text.empty()) return text;
  return logPath.empty() ? "see the platform log" : "see the log " + logPath;
}

// The VM ConvertVM built, as the job finishes it: its OS disk where its
// firmware looks (moved to IDE 0:0 where the destination allows, else
// refused), its import description naming the S3 bucket given.  The note
// of a move, else empty.
std::string FinishBuiltVM(FolderVMInfo& platform,
                          VirtualServerInstanceType destination,
                          const std::string& name, const std::string& bucket) {
  VMInfoStructs::SVMInfo built;
  if (!platform.GetVMInfo(name, "", "", 0, 0, built))
    throw JobFailure(platform.GetLastErrorText());
  std::string note;
  bool moved = PlaceOSDiskForFirmware(destination, built, note);
  platform.SetS3Bucket(bucket);
  if ((moved || !bucket.empty()) && !platform.UpdateVMDescription(name, built))
    throw JobFailure(platform.GetLastErrorText());
  return note;
}

void Convert(const LibraryConvertRequest& options, ResultFacts& facts,
             VMInfoStructs::SVMInfo& info) {
  VirtualServerInstanceType source = options.source;
  VirtualServerInstanceType destination = options.destination;
  const std::string& root = options.root;
  std::string name =
      options.destinationName.empty() ? options.vm : options.destinationName;

  FolderVMInfo sourcePlatform(source, root),
      destinationPlatform(destination, root);
  if (!fs::exists(
          CQiPath::Append(sourcePlatform.VMFolder(options.vm), "VMConfig.zyf")))
    throw JobFailure("no VM [" + options.vm + "] in [" +
                    sourcePlatform.KindFolder() + "]");
  RestoreCtx probe;
  probe.strVMName = name;
  if (!destinationPlatform.PrepareRestoreConversion(probe))
    throw JobFailure(destinationPlatform.GetLastErrorText());

  RemoveIfLeftEmpty cleanup(destinationPlatform.VMFolder(name));
  FailureWatch watch;
  ZyVMConverter converter;
  converter.SetSourceInstance(source, "", "", "");
  converter.SetDestinationInstance(destination, "", "", "");
  converter.SetSourceVM(options.vm, "", false);
  converter.SetDestinationVM(name, "", destinationPlatform.KindFolder(), false);
  converter.restoreCtx.strVMName = name;
  if (!converter.ConvertVM())
    throw JobFailure("cannot convert " + options.vm + " to " +
                    PlatformKindName(destination) + " (ConvertVM): " +
                    FailureText(watch, converter.pSourceVMInfo
                                           ? converter.pSourceVMInfo
                                           : converter.pDestVMInfo,
                                       options.logPath));
  if (converter.restoreCtx.strVMId.empty())
    throw JobFailure("the destination platform did not build the VM: " +
                    FailureText(watch, converter.pDestVMInfo, options.logPath));
  cleanup.RemoveWhole();
  std::string note = FinishBuiltVM(destinationPlatform, destination, name,
                                   options.s3Bucket);
  cleanup.Keep();

  facts.title = name + " (" + PlatformKindName(destination) +
                "), converted from " + options.vm + " (" +
                PlatformKindName(source) + ")";
  facts.vmId = converter.restoreCtx.strVMId;
  facts.location = converter.restoreCtx.strResultInfo;
  facts.instanceType = converter.restoreCtx.strVMSize;
  facts.s3Bucket = options.s3Bucket;
  info = converter.restoreCtx.vmInfo;
  // A moved OS disk is shown where the platform now has it.
  if (!note.empty()) destinationPlatform.GetVMInfo(name, "", "", 0, 0, info);
  AddNativeDescription(facts, destination, info);
  if (!note.empty()) facts.nativeNotes.push_back(note);
}

}  // namespace

bool RunLibraryConvert(const LibraryConvertRequest& request,
                       ResultFacts& facts, VMInfoStructs::SVMInfo& info,
                       SJobError& error) {
  return AtBoundary(error, [&] { Convert(request, facts, info); });
}

}  // namespace zyjobs

