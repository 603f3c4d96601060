//===- RestoreJob.cpp - A restore to another platform, as the agent runs it
//===//
#include "RestoreJob.h"

#include "DiskCopy.h"
#include "RecordJson.h"
#include "RequestChecks.h"
#include "Staging.h"
#include "ToolSupport.h"

#include "converter/ZyVMConverter.h"
#include "model/PlatformKinds.h"
#include "platform/support/BoundedFile.h"
#include "platform/folder/FolderVMInfo.h"
#include "platform/readers/VMConfigFile.h"
#include "platform/support/ConfinedPath.h"
#include "platform/support/FXPath.h"
#include "platform/support/FXString.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

namespace zytool {
namespace {

namespace fs = std::filesystem;
using VMInfoStructs::kDeviceTypeCdrom;
using VMInfoStructs::kDeviceTypeHardDisk;
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
  if (!IsSingleComponent(name))
    throw ToolError(std::string(what) + " [" + name + "] is not a file name");
  return name;
}

// Throws unless path lies in root and is reached through no symbolic link.
void RequireConfined(const std::string& root, const std::string& path) {
  std::string error;
  if (!CheckBeneath(root, path, error)) throw ToolError(error);
}

void Warn(const std::string& line) {
  std::fprintf(stderr, "zyvmconvert: warning: %s\n", line.c_str());
}

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
  CheckRequestFigures(request);
  for (const std::string& line : RequestCountMismatches(request)) Warn(line);
  job.sourceRoot = job.sourceFolder.empty() ? job.root : job.sourceFolder;
  if (job.sourceFolder.empty()) {
    if (request.strSourceVMName.empty())
      throw ToolError(
          "the request names no source VM (strSourceVMName); "
          "give --source FOLDER");
    PlainFileName(request.strSourceVMName, "the source VM name");
    FolderVMInfo platform(job.source, job.root);
    job.sourceFolder = platform.VMFolder(request.strSourceVMName);
  }
  RequireConfined(job.sourceRoot, job.sourceFolder);
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
    RequireConfined(job.sourceRoot, path);
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

// Every configuration file of the request must be readable by the reader
// the conversion will use: a VM is never built from what is left when one
// cannot be read.
void CheckConfigurationFiles(const RestoreJob& job) {
  for (const SDisk& entry : job.request.vDisks) {
    if (!HasData(entry) || entry.nFileType != kFileTypeConfig) continue;
    std::string path = CQiPath::Append(job.sourceFolder, SourceNameOf(entry));
    FailureWatch watch;
    ZyVMConverter reader;
    reader.eSourceInstType = job.source;
    VMInfoStructs::SVMInfo ignored;
    if (reader.ConvertConfigFile(path, ignored)) continue;
    std::string reason = watch.LastFailure();
    while (!reason.empty() && reason.back() == '\n') reason.pop_back();
    throw ToolError("cannot read the configuration file [" + path + "]" +
                    (reason.empty() ? std::string() : ": " + reason));
  }
}

// Copies a restored file (never through a link, never over a file).
void RestoreFile(const RestoreJob& job, const std::string& from,
                 const std::string& to) {
  std::string error;
  if (!CopyFileBeneath(job.sourceRoot, from, job.root, to, error))
    throw ToolError("cannot restore [" + from + "]: " + error);
}

// The description the agent writes when the request carries no
// configuration file: the request's own, its disks naming the files they
// were restored to (by the name the conversion matches them with).
VMInfoStructs::SVMInfo DescriptionOfRequest(const RestoreCtx& request) {
  VMInfoStructs::SVMInfo description = request.vmInfo;
  description.vDiskControllers = request.vmInfo.vDiskControllers;
  description.vDisks.clear();
  for (const SDisk& entry : request.vDisks) {
    if (entry.nFileType != kFileTypeDisk) continue;
    SDisk disk = entry;
    if (HasData(entry)) disk.fileName = entry.strMatchName;
    description.vDisks.push_back(disk);
  }
  return description;
}

// A description the job writes itself names each hard disk by the file
// restored for it (paired by the disk's name in the request), as a
// configuration file names its disks: Hyper-V looks the restored disks up
// by those names, and drops a disk it cannot find.
void NameDescribedDisks(RestoreCtx& request) {
  for (SDisk& disk : request.vmInfo.vDisks) {
    if (!HasData(disk) || !disk.fileName.empty() || disk.strName.empty())
      continue;
    for (const SDisk& entry : request.vDisks)
      if (entry.nFileType == 1 && HasData(entry) &&
          entry.strName == disk.strName)
        disk.fileName = entry.strMatchName;
  }
}

// Step 3: what the agent writes between the two halves of the conversion.
void RestoreFiles(RestoreJob& job, const std::string& folder,
                  StagedFiles& staged) {
  RestoreCtx& request = job.request;
  bool hasConfiguration = false;
  for (SDisk& entry : request.vDisks) {
    if (!HasData(entry)) continue;
    std::string from = CQiPath::Append(job.sourceFolder, SourceNameOf(entry));
    if (entry.nFileType != kFileTypeDisk) {
      hasConfiguration |= entry.nFileType == kFileTypeConfig;
      std::string to = CQiPath::Append(
          folder, PlainFileName(entry.diskIndexName, "the restored file"));
      RestoreFile(job, from, to);
      staged.Add(to);
      continue;
    }
    std::string to = CQiPath::Append(
        folder,
        PlainFileName(DestinationDiskName(entry), "the restored disk name"));
    if (fs::exists(fs::symlink_status(to)))
      throw ToolError("two disks of the request restore to [" + to + "]");
    RequireConfined(job.sourceRoot, from);
    RequireConfined(job.root, to);
    staged.Add(to);
    CopyDiskImage(from, DiskTypeOfFile(from), to,
                  static_cast<DiskType_t>(entry.eDiskType),
                  DestinationDiskName(entry));
    entry.fileName = to;
  }
  if (hasConfiguration) return;
  NameDescribedDisks(request);
  std::string path = CQiPath::Append(folder, kDescriptionName);
  RequireConfined(job.root, path);
  staged.Add(path);
  if (!VMConfigFile(path).Save(DescriptionOfRequest(request)))
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

size_t CountDataDisks(const std::vector<SDisk>& entries) {
  size_t count = 0;
  for (const SDisk& entry : entries)
    if (entry.nFileType == kFileTypeDisk && HasData(entry)) ++count;
  return count;
}

// A restore folder the request names: in the platform root, made when
// missing (and then removed again at the end, with what is staged in it).
void CreateRestoreFolder(const std::string& root, const std::string& folder,
                         StagedFiles& staged) {
  std::vector<std::string> missing;
  std::string base = AbsoluteNormalPath(root);
  for (fs::path p = AbsoluteNormalPath(folder); p.string() != base;
       p = p.parent_path()) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(p, ec))) break;
    missing.push_back(p.string());
  }
  std::string error;
  if (!CreateFoldersBeneath(root, folder, error)) throw ToolError(error);
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) staged.Add(*it);
}

// The destination VM's folder when this run makes it: removed again unless
// the run succeeds.
class NewVMFolder {
 public:
  explicit NewVMFolder(std::string folder) {
    std::error_code ec;
    if (!folder.empty() && !fs::exists(fs::symlink_status(folder, ec)))
      folder_ = std::move(folder);
  }
  ~NewVMFolder() {
    std::error_code ec;
    if (!folder_.empty()) fs::remove_all(folder_, ec);
  }
  NewVMFolder(const NewVMFolder&) = delete;
  NewVMFolder& operator=(const NewVMFolder&) = delete;
  void Keep() { folder_.clear(); }

 private:
  std::string folder_;
};

// A restore is done only when the VM built holds every data disk of the
// request, each a file in the VM's own folder, and a description with
// processors and memory.
void CheckRestoredVM(const VMInfoStructs::SVMInfo& built,
                     const std::string& vmFolder, size_t dataDisks) {
  std::vector<std::string> files;
  for (const SDisk& disk : built.vDisks) {
    if (disk.nFileType != kFileTypeDisk ||
        disk.nDeviceType != kDeviceTypeHardDisk || disk.fileName.empty())
      continue;
    std::string path =
        CQiPath::Append(vmFolder, CQiPath::GetBaseName(disk.fileName));
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
      throw ToolError("the restored VM names the disk [" + disk.fileName +
                      "], which is not a file in [" + vmFolder + "]");
    if (std::find(files.begin(), files.end(), path) == files.end())
      files.push_back(path);
  }
  if (files.size() < dataDisks)
    throw ToolError("the restored VM in [" + vmFolder + "] holds " +
                    std::to_string(files.size()) + " of the " +
                    std::to_string(dataDisks) + " disks of the request");
  if (built.i64NumCPUs < 1 || built.i64MemoryMB < 1)
    throw ToolError("the restored VM in [" + vmFolder +
                    "] has no processor count or memory size: no "
                    "configuration file of the request described them");
}

}  // namespace

RestoreCtx ReadRestoreRequest(const std::string& path) {
  std::string text;
  if (path == "-") {
    text.assign(std::istreambuf_iterator<char>(std::cin), {});
  } else {
    std::string error;
    if (!ReadBoundedFile(path, text, error))
      throw ToolError("cannot read restore request: " + error);
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
  RemoveAbandonedStaging(job.root);
  CheckRequest(job);
  CheckConfigurationFiles(job);
  RestoreCtx& request = job.request;
  const size_t dataDisks = CountDataDisks(request.vDisks);
  StagedFiles staged;  // removed last: declared before the staging folder
  std::unique_ptr<StagingFolder> staging;
  for (const std::string* named :
       {&request.strStagingPath, &request.strDestinationPath})
    if (!named->empty() && !IsBeneath(job.root, *named))
      throw ToolError("the request's folder [" + *named +
                      "] is outside the platform root [" + job.root + "]");
  if (request.strStagingPath.empty()) {
    staging = std::make_unique<StagingFolder>(job.root);
    request.strStagingPath = staging->path();
  }
  const bool intoDestination =
      zykinds::Has(job.destination, zykinds::kRestoresIntoDestinationFolder);
  if (intoDestination && request.strDestinationPath.empty())
    request.strDestinationPath = request.strStagingPath;
  std::string folder =
      intoDestination ? request.strDestinationPath : request.strStagingPath;
  if (!staging || folder != staging->path())
    CreateRestoreFolder(job.root, folder, staged);

  AccessObject platform(job.destination);
  auto* folderPlatform = dynamic_cast<FolderVMInfo*>(platform.get());
  std::string vmFolder =
      folderPlatform ? folderPlatform->VMFolder(request.strVMName) : "";
  NewVMFolder made(vmFolder);
  FailureWatch watch;
  ZyVMConverter converter;
  CQiError error = converter.InitVMConversion(job.source, job.destination,
                                              platform.get(), request, DT_NONE);
  if (error.IsError())
    throw ToolError(
        Reasons("InitVMConversion failed", error, watch, platform.get()));
  RestoreFiles(job, folder, staged);
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
  if (folderPlatform) {
    platform.get()->GetVMInfo(request.strVMName, "", "", 0, 0,
                              outcome.description);
    CheckRestoredVM(outcome.description, vmFolder, dataDisks);
  }
  made.Keep();
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
  if (!request.strResultDetail.empty())
    outcome.facts.title += "; " + request.strResultDetail;
  AddNativeDescription(outcome.facts, job.destination, outcome.description);
  return outcome;
}

}  // namespace zytool
