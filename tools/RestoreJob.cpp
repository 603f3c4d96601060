//===- RestoreJob.cpp - A restore to another platform, as the agent runs it
//===//
#include "RestoreJob.h"

#include "DiskCopy.h"
#include "Ec2InstanceChoice.h"
#include "RecordJson.h"
#include "ToolSupport.h"

#include "converter/ZyVMConverter.h"
#include "model/PlatformKinds.h"
#include "platform/folder/FolderVMInfo.h"
#include "platform/readers/VMConfigFile.h"
#include "platform/support/FXPath.h"
#include "platform/support/FXString.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

namespace zytool {
namespace {

namespace fs = std::filesystem;
using VMInfoStructs::kDeviceTypeCdrom;
using VMInfoStructs::kFileTypeConfig;
using VMInfoStructs::kFileTypeDisk;
using VMInfoStructs::SDisk;

constexpr char kDescriptionName[] = "VMConfig.zyf";

// The file of the backup an entry of the request stands for.
std::string SourceNameOf(const SDisk& entry) {
  return entry.diskIndexName.empty() ? entry.strName : entry.diskIndexName;
}

bool HasData(const SDisk& entry) {
  return entry.nDeviceType != kDeviceTypeCdrom;
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
  explicit AccessObject(VirtualServerInstanceType kind)
      : object_(IVMInfo::CreateObject(kind)) {
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
  IVMInfo* object_;
};

// The error value, the converter's last failure line and the platform's
// last failure, as far as there are any.
std::string Reasons(const std::string& what, const CQiError& error,
                    const FailureWatch& watch, IVMInfo* platform) {
  std::string text = what + ": " + error.AsString();
  std::string line = watch.LastFailure();
  while (!line.empty() && line.back() == '\n') line.pop_back();
  if (!line.empty()) text += "; " + line;
  std::string reason = platform ? platform->GetLastErrorText() : std::string();
  if (!reason.empty() && reason != line) text += "; platform: " + reason;
  return text;
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
  if (job.sourceFolder.empty()) {
    if (request.strSourceVMName.empty())
      throw ToolError(
          "the request names no source VM (strSourceVMName); "
          "give --source FOLDER");
    FolderVMInfo platform(job.source, job.root);
    job.sourceFolder = platform.VMFolder(request.strSourceVMName);
  }
  std::error_code ec;
  if (!fs::is_directory(job.sourceFolder, ec))
    throw ToolError("source folder [" + job.sourceFolder + "] does not exist");
  for (SDisk& entry : request.vDisks) {
    if (!HasData(entry)) continue;
    std::string name = SourceNameOf(entry);
    if (name.empty())
      throw ToolError("a restored file of the request has no diskIndexName");
    PlainFileName(name, "the backed-up file");
    std::string path = CQiPath::Append(job.sourceFolder, name);
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
}

void RestoreFile(const std::string& from, const std::string& to) {
  std::error_code ec;
  fs::copy_file(from, to, fs::copy_options::none, ec);
  if (ec)
    throw ToolError("cannot restore [" + from + "] to [" + to +
                    "]: " + ec.message());
}

// Step 3: what the agent writes between the two halves of the conversion.
void RestoreFiles(RestoreJob& job, const std::string& folder) {
  RestoreCtx& request = job.request;
  bool hasConfiguration = false;
  for (SDisk& entry : request.vDisks) {
    if (!HasData(entry)) continue;
    std::string from = CQiPath::Append(job.sourceFolder, SourceNameOf(entry));
    if (entry.nFileType != kFileTypeDisk) {
      hasConfiguration |= entry.nFileType == kFileTypeConfig;
      std::string to = CQiPath::Append(folder, entry.diskIndexName);
      if (!job.ec2InstanceId.empty() && entry.nFileType == kFileTypeConfig &&
          FXString::CompareNoCase(CQiPath::GetExt(to), "xml") == 0)
        RestoreEc2Description(from, to, job.ec2InstanceId);
      else
        RestoreFile(from, to);
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
    entry.fileName = to;
  }
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
  std::string text;
  if (path == "-") {
    text.assign(std::istreambuf_iterator<char>(std::cin), {});
  } else {
    std::ifstream in(path);
    if (!in) throw ToolError("cannot read restore request [" + path + "]");
    text.assign(std::istreambuf_iterator<char>(in), {});
  }
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
  std::unique_ptr<TemporaryFolder> staging;
  if (request.strStagingPath.empty()) {
    staging = std::make_unique<TemporaryFolder>(job.root);
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

  AccessObject platform(job.destination);
  FailureWatch watch;
  ZyVMConverter converter;
  CQiError error = converter.InitVMConversion(job.source, job.destination,
                                              platform.get(), request, DT_NONE);
  if (error.IsError())
    throw ToolError(
        Reasons("InitVMConversion failed", error, watch, platform.get()));
  RestoreFiles(job, folder);
  error = converter.CompleteVMConversion(job.source, job.destination,
                                         platform.get(), request);
  if (error.IsError())
    throw ToolError(
        Reasons("CompleteVMConversion failed", error, watch, platform.get()));
  AdjustOnDestination(converter, job, platform.get());

  RestoreOutcome outcome;
  outcome.description = request.vmInfo;
  outcome.description.vDiskControllers = request.vmInfo.vDiskControllers;
  // What the folder platform built is what is shown: the converted
  // description with the disks' sizes from their files.
  if (dynamic_cast<FolderVMInfo*>(platform.get()))
    platform.get()->GetVMInfo(request.strVMName, "", "", 0, 0,
                              outcome.description);
  outcome.facts.title = request.strSourceVMName + " (" +
                        PlatformKindName(job.source) + ") restored to " +
                        PlatformKindName(job.destination);
  outcome.facts.vmId = request.strVMId;
  outcome.facts.location = request.strResultInfo;
  // The instance type and region are chosen in the converter's own copy of
  // the request.
  outcome.facts.instanceType = converter.restoreCtx.strVMSize;
  outcome.facts.osValue = converter.restoreCtx.osName;
  outcome.facts.region = converter.restoreCtx.strRegion;
  return outcome;
}

}  // namespace zytool
