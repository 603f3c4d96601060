//===- RestoreJob.cpp - A restore to another platform, as the agent runs it
//===//
#include "RestoreJob.h"

#include "DiskCopy.h"
#include "RecordJson.h"
#include "ToolSupport.h"

#include "converter/ZyVMConverter.h"
#include "model/PlatformKinds.h"
#include "platform/folder/FolderVMInfo.h"
#include "platform/readers/VMConfigFile.h"
#include "platform/support/CQiError.h"
#include "platform/support/FXPath.h"
#include "platform/support/FXString.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace zytool {
namespace {

namespace fs = std::filesystem;
using VMInfoStructs::kDeviceTypeCdrom;
using VMInfoStructs::kFileTypeConfig;
using VMInfoStructs::kFileTypeDisk;
using VMInfoStructs::SDisk;

constexpr char kDescriptionName[] = "VMConfig.zyf";
constexpr char kCatalogName[] = "catalog";

// The file of the backup an entry of the request stands for.
std::string SourceNameOf(const SDisk& entry) {
  return entry.diskIndexName.empty() ? entry.strName : entry.diskIndexName;
}

bool HasData(const SDisk& entry) {
  return entry.nDeviceType != kDeviceTypeCdrom;
}

// Where the backed-up file of an index name is read from.
std::string SourcePath(const RestoreJob& job, const std::string& name) {
  auto named = job.sourceFiles.find(name);
  if (named != job.sourceFiles.end()) return named->second;
  return CQiPath::Append(job.sourceFolder, name);
}

// Names from a request become file names in the source and restore folders;
// a name with a folder in it could reach outside them.
std::string PlainFileName(const std::string& name, const char* what) {
  if (name.empty() || name == "." || name == ".." ||
      name.find_first_of("/\\") != std::string::npos ||
      name.find('\0') != std::string::npos)
    throw ToolError(std::string(what) + " [" + name + "] is not a file name");
  return name;
}

// A folder this job made; removed with everything in it at the end.
class TemporaryFolder {
 public:
  explicit TemporaryFolder(const std::string& parent) {
    std::string pattern = CQiPath::Append(parent, ".staging-XXXXXX");
    if (!::mkdtemp(pattern.data()))
      throw ToolError("cannot create a staging folder in [" + parent + "]");
    path_ = pattern;
  }
  ~TemporaryFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The destination's access object, opened as the agent opens it and
// released at the end.
class AccessObject {
 public:
  explicit AccessObject(const RestoreJob& job) : object_(OpenDestination(job)) {
    VirtualServerInstanceType kind = job.destination;
    if (!object_)
      throw ToolError("no access object for platform kind [" +
                      PlatformKindName(kind) + "]");
    if (!object_->Initialize(0) || !object_->Connect("", "", "")) {
      std::string reason = object_->GetLastErrorText();
      IVMInfo::DeleteObject(object_);
      throw ToolError("cannot open platform [" + PlatformKindName(kind) +
                      "]: " + reason);
    }
  }
  ~AccessObject() {
    object_->Disconnect();
    object_->Uninitialize(1);
    IVMInfo::DeleteObject(object_);
  }
  AccessObject(const AccessObject&) = delete;
  AccessObject& operator=(const AccessObject&) = delete;
  IVMInfo* get() const { return object_; }

 private:
  // The platform's access object, or a folder platform that builds the VM
  // in the output folder.
  static IVMInfo* OpenDestination(const RestoreJob& job) {
    if (job.outputFolder.empty()) return IVMInfo::CreateObject(job.destination);
    auto* folder = new FolderVMInfo(
        job.destination, job.root.empty() ? job.outputFolder : job.root);
    folder->BuildVMIn(job.outputFolder);
    return folder;
  }
  IVMInfo* object_;
};

// The output folder, made for this job and removed again when a failure
// leaves it empty.
class OutputFolder {
 public:
  explicit OutputFolder(const std::string& path) : path_(path) {
    if (path_.empty()) return;
    std::error_code ec;
    made_ = fs::create_directories(path_, ec);
    if (ec)
      throw ToolError("cannot create output folder [" + path_ +
                      "]: " + ec.message());
  }
  ~OutputFolder() {
    std::error_code ec;
    if (made_ && !kept_) fs::remove(path_, ec);  // only when empty
  }
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;
  void Keep() { kept_ = true; }

 private:
  std::string path_;
  bool made_ = false;
  bool kept_ = false;
};

// Why a conversion failed, for its one line: the library's last failure
// line, else the platform's last error, else what the error value means,
// else the value itself.  The error value always goes to the log.
std::string Reasons(const RestoreJob& job, const CQiError& error,
                    const FailureWatch& watch, IVMInfo* platform) {
  std::string reason = watch.LastFailure();
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' '))
    reason.pop_back();
  if (reason.empty() && platform) reason = platform->GetLastErrorText();
  if (reason.empty() && FXErrorUtil::IsVS(error, 4))
    reason =
        "the guest OS is unknown; give osName in the request or configure "
        "the client";
  if (reason.empty()) reason = error.AsString();
  return "cannot convert " + job.request.strSourceVMName + " to " +
         PlatformKindName(job.destination) + ": " + reason;
}

// The source VM's description when the request's source is a VM of the
// platform (or a folder holding its description).
void FindSourceDescription(RestoreJob& job) {
  if (job.haveSourceDescription) return;
  std::string path = CQiPath::Append(job.sourceFolder, kDescriptionName);
  std::error_code ec;
  if (!job.sourceFolder.empty() && fs::is_regular_file(path, ec)) {
    QuietLog quiet;  // a folder without a readable description is no VM
    job.haveSourceDescription = VMConfigFile(path).Load(job.sourceDescription);
  }
}

// What a platform knows of the source VM and the request leaves open: its
// network cards (with their MACs and networks) and the client its guest OS
// facts are asked from.
void TakeFromSource(RestoreJob& job) {
  FindSourceDescription(job);
  RestoreCtx& request = job.request;
  const VMInfoStructs::SVMInfo* source =
      job.haveSourceDescription ? &job.sourceDescription : nullptr;
  if (request.vNetworkCards.empty()) {
    request.vNetworkCards = request.vmInfo.vNetworkCards;
    if (request.vNetworkCards.empty() && source)
      request.vNetworkCards = source->vNetworkCards;
  }
  VMInfoStructs::SVMInfo facts = request.vmInfo;
  if (facts.guestOSInfo.GuestOSName.empty() && facts.strGuestOS.empty() &&
      source) {
    facts.guestOSInfo = source->guestOSInfo;
    facts.strGuestOS = source->strGuestOS;
  }
  if (facts.strVMName.empty()) facts.strVMName = request.strSourceVMName;
  request.vmInfo.nClientId =
      AnswerClientFromDescription(request.vmInfo.nClientId, facts);
}

// Step 1: fills the defaults the agent fills and checks that every file is
// there before anything is written.
void CheckRequest(RestoreJob& job) {
  RestoreCtx& request = job.request;
  if (request.strSourceVMName.empty())
    request.strSourceVMName = request.vmInfo.strVMName;
  if (request.strVMName.empty()) request.strVMName = request.strSourceVMName;
  if (request.strVMName.empty())
    throw ToolError("the request names no VM (strVMName or strSourceVMName)");
  CheckName(request.strVMName, "the VM name");
  if (!request.strSourceVMName.empty())
    CheckName(request.strSourceVMName, "the source VM name");
  if (job.sourceFolder.empty() && job.sourceFiles.empty()) {
    if (request.strSourceVMName.empty())
      throw ToolError(
          "the request names no source VM (strSourceVMName); "
          "give --source FOLDER");
    FolderVMInfo platform(job.source, job.root);
    job.sourceFolder = platform.VMFolder(request.strSourceVMName);
  }
  std::error_code ec;
  if (!job.sourceFolder.empty() && !fs::is_directory(job.sourceFolder, ec))
    throw ToolError("source folder [" + job.sourceFolder + "] does not exist");
  for (SDisk& entry : request.vDisks) {
    if (!HasData(entry)) continue;
    std::string name = SourceNameOf(entry);
    if (name.empty())
      throw ToolError("a restored file of the request has no diskIndexName");
    PlainFileName(name, "the backed-up file");
    CheckName(name, "the backed-up file name");
    std::string path = SourcePath(job, name);
    if (!fs::is_regular_file(path, ec))
      throw ToolError("backed-up file [" + path + "] does not exist");
    if (entry.strDisplayName.empty()) entry.strDisplayName = name;
    if (entry.nFileType != kFileTypeDisk) continue;
    if (entry.strMatchName.empty()) entry.strMatchName = name;
    if (entry.fileName.empty()) entry.fileName = name;
    if (entry.i64MaxSizeInBytes <= 0 || entry.i64CurrSizeInBytes <= 0) {
      auto size = static_cast<int64_t>(fs::file_size(path, ec));
      if (entry.i64MaxSizeInBytes <= 0) entry.i64MaxSizeInBytes = size;
      if (entry.i64CurrSizeInBytes <= 0) entry.i64CurrSizeInBytes = size;
    }
  }
  TakeFromSource(job);
}

void RestoreFile(const std::string& from, const std::string& to) {
  std::error_code ec;
  fs::copy_file(from, to, fs::copy_options::none, ec);
  if (ec)
    throw ToolError("cannot restore [" + from + "] to [" + to +
                    "]: " + ec.message());
}

// The catalog a backup keeps of a VMware VM's disks by controller position
// ("disk.scsi0:1.diskname"), written from the source VM's disks when the
// backup brought none: without it the converter cannot place a disk (or a
// CD-ROM drive) whose file name the description does not match.
void WriteCatalogIfMissing(const RestoreJob& job, const std::string& folder) {
  std::string path = CQiPath::Append(folder, kCatalogName);
  if (fs::exists(fs::symlink_status(path))) return;
  std::string text;
  auto add = [&text](const SDisk& disk, const std::string& name) {
    if (disk.strControllerType.empty() || name.empty()) return;
    text += "disk." + disk.strControllerType + std::to_string(disk.nBus) + ":" +
            std::to_string(disk.nSlot) +
            ".diskname = " + nlohmann::json(name).dump() + "\n";
  };
  for (const SDisk& entry : job.request.vDisks)
    if (entry.nFileType == kFileTypeDisk && HasData(entry))
      add(entry, entry.strMatchName);
  if (job.haveSourceDescription)
    for (const SDisk& disk : job.sourceDescription.vDisks)
      if (disk.nDeviceType == VMInfoStructs::kDeviceTypeHardDisk)
        add(disk, CQiPath::GetBaseName(disk.fileName));
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out.flush())
    throw ToolError("cannot write the disk catalog [" + path + "]");
}

// Step 3: what the agent writes between the two halves of the conversion.
void RestoreFiles(RestoreJob& job, const std::string& folder) {
  RestoreCtx& request = job.request;
  bool hasConfiguration = false;
  for (SDisk& entry : request.vDisks) {
    if (!HasData(entry)) continue;
    std::string from = SourcePath(job, SourceNameOf(entry));
    if (entry.nFileType != kFileTypeDisk) {
      hasConfiguration |= entry.nFileType == kFileTypeConfig;
      RestoreFile(from, CQiPath::Append(folder, entry.diskIndexName));
      continue;
    }
    std::string to = CQiPath::Append(
        folder,
        PlainFileName(DestinationDiskName(entry), "the restored disk name"));
    if (fs::exists(fs::symlink_status(to)))
      throw ToolError("two disks of the request restore to [" + to + "]");
    CopyDiskImage(from, DiskTypeOfFile(from), to,
                  static_cast<DiskType_t>(entry.eDiskType),
                  DestinationDiskName(entry));
    job.writtenFormats[CQiPath::GetBaseName(to)] =
        static_cast<DiskType_t>(entry.eDiskType);
    entry.fileName = to;
  }
  if (job.source == VS_VMWARE) WriteCatalogIfMissing(job, folder);
  if (hasConfiguration) return;
  std::string path = CQiPath::Append(folder, kDescriptionName);
  if (!VMConfigFile(path).Save(request.vmInfo))
    throw ToolError("cannot write the VM description [" + path + "]");
  SDisk description;
  description.nFileType = kFileTypeConfig;
  description.strDisplayName = description.diskIndexName = kDescriptionName;
  request.vDisks.insert(request.vDisks.begin(), description);
}

// Step 4, for Hyper-V and the Azure family: boot disk, networks and machine
// identifier, then the adjusted description replaces the one on the
// platform.
void AdjustOnDestination(ZyVMConverter& converter, RestoreJob& job,
                         IVMInfo* platform) {
  if (!zykinds::Has(job.destination, zykinds::kHyperVFamily)) return;
  converter.AdjustVMConfiguration(job.destination, platform,
                                  job.request.vmInfo);
  auto* folder = dynamic_cast<FolderVMInfo*>(platform);
  if (folder &&
      !folder->UpdateVMDescription(job.request.strVMName, job.request.vmInfo))
    throw ToolError("cannot update the adjusted VM: " +
                    folder->GetLastErrorText());
}

}  // namespace

RestoreCtx ReadRestoreRequest(const std::string& path) {
  std::string text = ReadInputFile(path, "restore request");
  nlohmann::json json;
  try {
    json = nlohmann::json::parse(text);
  } catch (const nlohmann::json::exception& e) {
    throw ToolError("restore request [" + path + "] is not JSON: " + e.what());
  }
  RestoreCtx request;
  try {
    RestoreCtxFromJson(json, request);
  } catch (const RecordJsonError& e) {
    throw ToolError("restore request [" + path + "]: " + e.what());
  }
  return request;
}

RestoreOutcome RunRestoreJob(RestoreJob& job) {
  CheckRequest(job);
  RestoreCtx& request = job.request;
  OutputFolder output(job.outputFolder);
  std::unique_ptr<TemporaryFolder> staging;
  if (request.strStagingPath.empty()) {
    staging = std::make_unique<TemporaryFolder>(
        job.outputFolder.empty() ? job.root : job.outputFolder);
    request.strStagingPath = staging->path();
  }
  const bool intoDestination =
      zykinds::Has(job.destination, zykinds::kRestoresIntoDestinationFolder);
  if (intoDestination && request.strDestinationPath.empty())
    request.strDestinationPath = request.strStagingPath;
  std::string folder =
      intoDestination ? request.strDestinationPath : request.strStagingPath;
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec)
    throw ToolError("cannot create restore folder [" + folder +
                    "]: " + ec.message());

  AccessObject platform(job);
  FailureWatch watch;
  ZyVMConverter converter;
  CQiError error = converter.InitVMConversion(job.source, job.destination,
                                              platform.get(), request, DT_NONE);
  if (error.IsError())
    throw ToolError(Reasons(job, error, watch, platform.get()));
  RestoreFiles(job, folder);
  error = converter.CompleteVMConversion(job.source, job.destination,
                                         platform.get(), request);
  if (error.IsError())
    throw ToolError(Reasons(job, error, watch, platform.get()));
  AdjustOnDestination(converter, job, platform.get());

  RestoreOutcome outcome;
  outcome.description = request.vmInfo;
  outcome.description.vDiskControllers = request.vmInfo.vDiskControllers;
  // What the folder platform built is what is shown: the converted
  // description with the disks' sizes from their files.
  if (dynamic_cast<FolderVMInfo*>(platform.get()))
    platform.get()->GetVMInfo(request.strVMName, "", "", 0, 0,
                              outcome.description);
  // The table shows each disk in the format its file was written in.
  for (SDisk& disk : outcome.description.vDisks) {
    auto written = job.writtenFormats.find(CQiPath::GetBaseName(disk.fileName));
    if (written != job.writtenFormats.end()) disk.eDiskType = written->second;
  }
  outcome.facts.title = request.strSourceVMName + " (" +
                        PlatformKindName(job.source) + ") " + job.verb +
                        " to " + PlatformKindName(job.destination);
  outcome.facts.vmId = request.strVMId;
  outcome.facts.location = request.strResultInfo;
  // The instance type and region are chosen in the converter's own copy of
  // the request.
  outcome.facts.instanceType = converter.restoreCtx.strVMSize;
  outcome.facts.osValue = converter.restoreCtx.osName;
  outcome.facts.region = converter.restoreCtx.strRegion;
  AddNativeDescription(outcome.facts, job.destination, outcome.description);
  output.Keep();
  return outcome;
}

}  // namespace zytool
