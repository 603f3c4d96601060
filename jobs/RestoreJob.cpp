//===- RestoreJob.cpp - A restore to another platform, as the agent runs it
//===//
#include "RestoreJob.h"

#include "BootDiskCheck.h"
#include "DiskCopy.h"
#include "Ec2InstanceChoice.h"
#include "JobSupport.h"
#include "RecordJson.h"
#include "RequestChecks.h"
#include "Staging.h"
#include "formats/zyf/RecordJsonCodec.h"

#include "converter/ZyVMConverter.h"
#include "formats/common/FormatDrivers.h"
#include "model/PlatformKinds.h"
#include "formats/zyf/VMConfigFile.h"
#include "platform/support/AtomicFile.h"
#include "platform/support/CQiError.h"
#include "platform/support/ConfinedPath.h"
#include "platform/support/FXPath.h"
#include "platform/support/FXString.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <tuple>

namespace zyjobs {
namespace {

namespace fs = std::filesystem;
using VMInfoStructs::kDeviceTypeCdrom;
using VMInfoStructs::kDeviceTypeHardDisk;
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

// The folder that read stays in: a file named on the command line's own
// folder, else the source root.
std::string SourceRootOf(const RestoreJob& job, const std::string& name) {
  auto named = job.sourceFiles.find(name);
  if (named != job.sourceFiles.end())
    return fs::path(named->second).parent_path().string();
  return job.sourceRoot;
}

// Where everything this job writes stays: the output folder, else the
// platform root.
const std::string& WriteRoot(const RestoreJob& job) {
  return job.outputFolder.empty() ? job.root : job.outputFolder;
}

// Names from a request become file names in the source and restore folders;
// a name with a folder in it could reach outside them.
std::string PlainFileName(const std::string& name, const char* what) {
  if (!IsSingleComponent(name))
    throw JobFailure(std::string(what) + " [" + name + "] is not a file name");
  return name;
}

// Throws unless path lies in root and is reached through no symbolic link.
void RequireConfined(const std::string& root, const std::string& path) {
  std::string error;
  if (!CheckBeneath(root, path, error)) throw JobFailure(error);
}

// The output folder, made for this job and removed again when a failure
// leaves it empty.
class OutputFolder {
 public:
  explicit OutputFolder(const std::string& path) : path_(path) {
    if (path_.empty()) return;
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(path_, ec)) &&
        !fs::exists(path_, ec))
      throw JobFailure("output folder [" + path_ +
                       "] is a symbolic link to [" +
                       fs::read_symlink(path_, ec).string() +
                       "], which does not exist");
    made_ = fs::create_directories(path_, ec);
    if (ec)
      throw JobFailure("cannot create output folder [" + path_ +
                       "]: " + ec.message());
  }
  ~OutputFolder() {
    std::error_code ec;
    if (made_ && !kept_) fs::remove(path_, ec);  // only when empty
  }
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;
  void Keep() { kept_ = true; }
  bool Made() const { return made_; }

 private:
  std::string path_;
  bool made_ = false;
  bool kept_ = false;
};

// Why a conversion failed, for its one line: the reason the error value
// carries (a platform that refused to build the VM says why there), else the
// library's last failure line, else the platform's last error, else what the
// error value means, else the value itself.  The error value always goes to
// the log.
std::string Reasons(const RestoreJob& job, const CQiError& error,
                    const FailureWatch& watch, IVMInfo* platform) {
  std::string reason = error.GetMessage();
  if (reason.empty()) reason = watch.LastFailure();
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' '))
    reason.pop_back();
  // The converter's last line may only say that the conversion failed;
  // the platform's own text says why.
  std::string why = platform ? platform->GetLastErrorText() : std::string();
  if (!why.empty() && reason.find(why) == std::string::npos)
    reason = reason.empty() ? why : reason + ": " + why;
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
      job.platform->AnswerClient(request.vmInfo.nClientId, facts);
}

// Step 1: fills the defaults the agent fills and checks that every file is
// there before anything is written.
void CheckRequest(RestoreJob& job, IJobObserver& observer) {
  RestoreCtx& request = job.request;
  if (request.strSourceVMName.empty())
    request.strSourceVMName = request.vmInfo.strVMName;
  if (request.strVMName.empty()) request.strVMName = request.strSourceVMName;
  if (request.strVMName.empty())
    throw JobFailure("the request names no VM (strVMName or strSourceVMName)");
  CheckName(request.strVMName, "the VM name");
  if (!request.strSourceVMName.empty())
    CheckName(request.strSourceVMName, "the source VM name");
  for (const std::string& line : RequestCountMismatches(request))
    observer.OnWarning(line);
  job.sourceRoot = job.sourceFolder.empty() ? job.root : job.sourceFolder;
  if (job.sourceFolder.empty() && job.sourceFiles.empty()) {
    if (request.strSourceVMName.empty())
      throw JobFailure(
          "the request names no source VM (strSourceVMName); "
          "give --source FOLDER");
    PlainFileName(request.strSourceVMName, "the source VM name");
    job.sourceFolder =
        job.platform->SourceVMFolder(job.source, request.strSourceVMName);
  }
  RequireConfined(job.sourceRoot, job.sourceFolder);
  std::error_code ec;
  if (!fs::is_directory(job.sourceFolder, ec))
    throw JobFailure("source folder [" + job.sourceFolder + "] does not exist");
  for (SDisk& entry : request.vDisks) {
    if (!HasData(entry)) continue;
    std::string name = SourceNameOf(entry);
    if (name.empty())
      throw JobFailure("a restored file of the request has no diskIndexName");
    PlainFileName(name, "the backed-up file");
    CheckName(name, "the backed-up file name");
    std::string path = SourcePath(job, name);
    RequireConfined(SourceRootOf(job, name), path);
    if (!fs::is_regular_file(path, ec))
      throw JobFailure("backed-up file [" + path + "] does not exist");
    if (entry.strDisplayName.empty()) entry.strDisplayName = name;
    if (entry.nFileType != kFileTypeDisk) continue;
    if (entry.strMatchName.empty()) entry.strMatchName = name;
    if (entry.fileName.empty()) entry.fileName = name;
    // The disk's size is the guest's (an image's virtual size), its
    // current size what the file holds.
    if (entry.i64MaxSizeInBytes <= 0)
      entry.i64MaxSizeInBytes =
          static_cast<int64_t>(detail::InspectDiskImage(path).virtualSize);
    if (entry.i64CurrSizeInBytes <= 0)
      entry.i64CurrSizeInBytes = static_cast<int64_t>(fs::file_size(path, ec));
  }
  TakeFromSource(job);
}

// Every configuration file of the request must be readable by the reader
// the conversion will use: a VM is never built from what is left when one
// cannot be read.
// The networks their cards are on are added to networks; a request that
// lists no disk controllers takes the first file's.
void CheckConfigurationFiles(RestoreJob& job,
                             std::vector<std::string>& networks) {
  auto& controllers = job.request.vmInfo.vDiskControllers;
  for (const SDisk& entry : job.request.vDisks) {
    if (!HasData(entry) || entry.nFileType != kFileTypeConfig) continue;
    std::string path = SourcePath(job, SourceNameOf(entry));
    FailureWatch watch;
    ZyVMConverter reader;
    reader.eSourceInstType = job.source;
    VMInfoStructs::SVMInfo read;
    if (reader.ConvertConfigFile(path, read)) {
      if (controllers.empty()) controllers = read.vDiskControllers;
      for (const auto& card : read.vNetworkCards)
        networks.push_back(card.strNetworkName);
      continue;
    }
    std::string reason = watch.LastFailure();
    while (!reason.empty() && reason.back() == '\n') reason.pop_back();
    throw JobFailure("cannot read the configuration file [" + path + "]" +
                     (reason.empty() ? std::string() : ": " + reason));
  }
}

// The user's network mapping names only networks the source VM's cards are
// on: those of its configuration files (networks), of the request and of
// the source VM's own description.
void CheckNetworkMapping(RestoreJob& job, std::vector<std::string> networks) {
  job.networks.bSourceBridges = SourceNamesBridges(job.source);
  for (const auto* cards :
       {&job.request.vmInfo.vNetworkCards, &job.request.vNetworkCards,
        &job.sourceDescription.vNetworkCards})
    for (const auto& card : *cards) networks.push_back(card.strNetworkName);
  std::string problem = CheckNetworkMap(job.networks, networks);
  if (!problem.empty()) throw JobFailure(problem);
}

// Copies a restored file (never through a link, never over a file).
void RestoreFile(const RestoreJob& job, const std::string& name,
                 const std::string& to) {
  std::string error;
  std::string from = SourcePath(job, name);
  if (!CopyFileBeneath(SourceRootOf(job, name), from, WriteRoot(job), to,
                       error))
    throw JobFailure("cannot restore [" + from + "]: " + error);
}

// The description the agent writes when the request carries no
// configuration file: the request's own, its disks naming the files they
// were restored to (by the name the conversion matches them with).
// A CD-ROM drive has no file to restore: the description's own drives stay
// when the request lists none.
VMInfoStructs::SVMInfo DescriptionOfRequest(const RestoreCtx& request) {
  VMInfoStructs::SVMInfo description = request.vmInfo;
  description.vDiskControllers = request.vmInfo.vDiskControllers;
  description.vDisks.clear();
  bool listsDrives = false;
  for (const SDisk& entry : request.vDisks) {
    if (entry.nFileType != kFileTypeDisk) continue;
    SDisk disk = entry;
    if (HasData(entry)) disk.fileName = entry.strMatchName;
    listsDrives |= !HasData(entry);
    description.vDisks.push_back(disk);
  }
  for (const SDisk& disk : request.vmInfo.vDisks)
    if (!listsDrives && disk.nFileType == kFileTypeDisk && !HasData(disk))
      description.vDisks.push_back(disk);
  return description;
}

// The catalog a backup keeps of a VMware VM's disks by controller position
// ("disk.scsi0:1.diskname"), written from the source VM's disks when the
// backup brought none: without it the converter cannot place a disk (or a
// CD-ROM drive) whose file name the description does not match.
void WriteCatalogIfMissing(const RestoreJob& job, const std::string& folder,
                           StagedFiles& staged) {
  std::string path = CQiPath::Append(folder, kCatalogName);
  if (fs::exists(fs::symlink_status(path))) return;
  RequireConfined(WriteRoot(job), path);
  staged.Add(path);
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
  if (int err = WriteFileAtomically(path, text, ExistingFile::kReplace))
    throw JobFailure("cannot write the disk catalog [" + path +
                     "]: " + std::strerror(err));
}

// Step 3: what the agent writes between the two halves of the conversion.
// Each disk is written in its destination's format (WrittenDiskType), under
// a name that tells that format: the names the converter gave are set so.
void NameDisksForWrittenFormats(RestoreJob& job) {
  for (SDisk& entry : job.request.vDisks) {
    if (entry.nFileType != kFileTypeDisk || !HasData(entry)) continue;
    std::string& field =
        entry.newDiskName.empty() ? entry.strDisplayName : entry.newDiskName;
    if (!field.empty()) field = WrittenDiskName(job.destination, entry);
  }
}

// The image format a Xen domain file states for a disk (its reader keeps it
// in strPlatformRef1), or empty: Xen reads an image in the format stated,
// whatever its content looks like.
std::string StatedImageFormat(const RestoreJob& job, const SDisk& entry) {
  constexpr const char* kXenFormats[] = {"raw", "qcow", "qcow2", "vhd", "qed"};
  if (!zykinds::Has(job.source, zykinds::kStatesImageFormats))
    return std::string();
  for (const char* format : kXenFormats)
    if (entry.strPlatformRef1 == format) return format;
  return std::string();
}

// The copy of a disk entry of the request into folder: checked, and
// staged so that a failed run removes it.
DiskCopyTask DiskTask(const RestoreJob& job, const SDisk& entry,
                      const std::string& folder, StagedFiles& staged) {
  DiskCopyTask task;
  task.from = SourcePath(job, SourceNameOf(entry));
  task.label = DestinationDiskName(entry);
  task.to = CQiPath::Append(
      folder, PlainFileName(task.label, "the restored disk name"));
  if (fs::exists(fs::symlink_status(task.to)))
    throw JobFailure("two disks of the request restore to [" + task.to + "]");
  RequireConfined(SourceRootOf(job, SourceNameOf(entry)), task.from);
  RequireConfined(WriteRoot(job), task.to);
  staged.Add(task.to);
  // In the destination's format, at least as large as its disk record
  // says (whole GiB, a kind's smallest disk), never smaller than the source.
  task.format = CArchiveVirtualDiskFile::FormatForDiskType(
      WrittenDiskType(job.destination, entry));
  task.minimumSize =
      static_cast<uint64_t>(std::max<int64_t>(entry.i64MaxSizeInBytes, 0));
  task.statedFormat = StatedImageFormat(job, entry);
  task.verify = job.verify;
  return task;
}

void RestoreFiles(RestoreJob& job, const std::string& folder,
                  StagedFiles& staged, IJobObserver& observer) {
  RestoreCtx& request = job.request;
  bool hasConfiguration = false;
  std::vector<SDisk*> disks;
  std::vector<DiskCopyTask> tasks;
  for (SDisk& entry : request.vDisks) {
    if (!HasData(entry)) continue;
    StopIfAsked();
    if (entry.nFileType == kFileTypeDisk) {
      // Two entries restoring to one name are told apart before any copy.
      for (const DiskCopyTask& task : tasks)
        if (task.label == DestinationDiskName(entry))
          throw JobFailure("two disks of the request restore to [" + task.to +
                           "]");
      tasks.push_back(DiskTask(job, entry, folder, staged));
      disks.push_back(&entry);
      continue;
    }
    std::string from = SourcePath(job, SourceNameOf(entry));
    hasConfiguration |= entry.nFileType == kFileTypeConfig;
    std::string to = CQiPath::Append(
        folder, PlainFileName(entry.diskIndexName, "the restored file"));
    if (!job.ec2InstanceId.empty() && entry.nFileType == kFileTypeConfig &&
        FXString::CompareNoCase(CQiPath::GetExt(to), "xml") == 0)
      RestoreEc2Description(from, to, job.ec2InstanceId);
    else
      RestoreFile(job, SourceNameOf(entry), to);
    staged.Add(to);
  }
  std::vector<DiskCopyStats> copied =
      detail::CopyDisks(tasks, job.copyJobs, observer);
  for (size_t i = 0; i < disks.size(); ++i) {
    std::string name = CQiPath::GetBaseName(tasks[i].to);
    job.writtenFormats[name] = WrittenDiskType(job.destination, *disks[i]);
    if (copied[i].verified) job.verifiedDisks.push_back(name);
    disks[i]->fileName = tasks[i].to;
  }
  if (zykinds::Has(job.source, zykinds::kKeepsDiskCatalog))
    WriteCatalogIfMissing(job, folder, staged);
  if (hasConfiguration) return;
  std::string path = CQiPath::Append(folder, kDescriptionName);
  RequireConfined(WriteRoot(job), path);
  staged.Add(path);
  if (!VMConfigFile(path).Save(DescriptionOfRequest(request)))
    throw JobFailure("cannot write the VM description [" + path + "]");
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
  std::string error;
  if (!job.platform->UpdateDescription(platform, job.request.strVMName,
                                       job.request.vmInfo, error))
    throw JobFailure("cannot update the adjusted VM: " + error);
}

// The built VM's description: the platform's, where it keeps one in the
// VM's folder (true), else the request's.
bool ReadBuilt(RestoreJob& job, IVMInfo* platform, const std::string& vmFolder,
               VMInfoStructs::SVMInfo& built) {
  built = job.request.vmInfo;
  built.vDiskControllers = job.request.vmInfo.vDiskControllers;
  return !vmFolder.empty() &&
         platform->GetVMInfo(job.request.strVMName, "", "", 0, 0, built);
}

// The built VM's description rewritten on the platform (and in the request,
// where the platform keeps none); what names the change in a failure.
void StoreBuilt(RestoreJob& job, IVMInfo* platform,
                const VMInfoStructs::SVMInfo& built, bool fromPlatform,
                const char* what) {
  std::string error;
  if (!job.platform->UpdateDescription(platform, job.request.strVMName, built,
                                       error))
    throw JobFailure(std::string("cannot update the VM with ") + what + ": " +
                     error);
  if (fromPlatform) return;
  job.request.vmInfo = built;
  job.request.vmInfo.vDiskControllers = built.vDiskControllers;
}

// Where each restored disk sat on its source, by the file it was restored
// from.
struct SourceAddress {
  std::string controller;  // lower case
  int32_t bus;
  int32_t slot;
};
using SourceAddresses = std::map<std::string, SourceAddress>;

SourceAddresses SourceAddressesOf(const RestoreCtx& request) {
  SourceAddresses addresses;
  for (const SDisk& entry : request.vDisks)
    if (entry.nFileType == kFileTypeDisk && HasData(entry))
      addresses[SourceNameOf(entry)] = {
          FXString::ToLower(entry.strControllerType), entry.nBus, entry.nSlot};
  return addresses;
}

std::tuple<std::string, int32_t, int32_t> AddressOf(const SDisk& disk) {
  return {FXString::ToLower(disk.strControllerType), disk.nBus, disk.nSlot};
}

// The converter numbers the restored disks by their place among them (the
// rule its callers that place disks themselves rely on).  On a destination
// that keeps the source's controller models, a disk still on its source's
// controller goes back to its source's unit unless another device ends up
// there: the native description keeps it where the controller model has
// that unit (PVSCSI 0-63) and places it by the destination's rules
// otherwise, as any other.  Elsewhere a "scsi" controller is another model
// (Xen's emulated LSI has 7 ids), and the numbering stays.
void KeepSourceUnits(RestoreJob& job, IVMInfo* platform,
                     const std::string& vmFolder,
                     const SourceAddresses& source) {
  if (!zykinds::Has(job.destination, zykinds::kKeepsControllerModels)) return;
  VMInfoStructs::SVMInfo built;
  const bool fromPlatform = ReadBuilt(job, platform, vmFolder, built);
  std::vector<std::tuple<std::string, int32_t, int32_t>> targets;
  std::vector<bool> moves;
  for (const SDisk& disk : built.vDisks) {
    targets.push_back(AddressOf(disk));
    auto found = source.find(SourceNameOf(disk));
    bool same = found != source.end() && disk.nFileType == kFileTypeDisk &&
                found->second.controller == std::get<0>(targets.back()) &&
                found->second.bus == disk.nBus;
    moves.push_back(same && found->second.slot != disk.nSlot);
    if (moves.back()) std::get<2>(targets.back()) = found->second.slot;
  }
  bool moved = false;
  for (size_t i = 0; i < built.vDisks.size(); ++i) {
    if (!moves[i] ||
        std::count(targets.begin(), targets.end(), targets[i]) != 1)
      continue;
    built.vDisks[i].nSlot = std::get<2>(targets[i]);
    moved = true;
  }
  if (moved)
    StoreBuilt(job, platform, built, fromPlatform,
               "its disks at their source units");
}

// After the converter's rules, the built VM's firmware must find its OS disk
// where it looks: moved to IDE 0:0 where the destination allows (the
// platform's description rewritten, and a note), else the run fails and
// what it built is removed.
void PlaceBootDisk(RestoreJob& job, IVMInfo* platform,
                   const std::string& vmFolder, IJobObserver& observer) {
  VMInfoStructs::SVMInfo built;
  const bool fromPlatform = ReadBuilt(job, platform, vmFolder, built);
  std::string note;
  if (!PlaceOSDiskForFirmware(job.destination, built, note)) return;
  StoreBuilt(job, platform, built, fromPlatform, "its OS disk moved");
  observer.OnNote(note);
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
  if (!CreateFoldersBeneath(root, folder, error)) throw JobFailure(error);
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) staged.Add(*it);
}

// The destination VM's folder when this run makes it: removed again unless
// the run succeeds.  Judged while the run holds the VM's lock, so a folder
// missing now can only be made by this run, and what is in it is this
// run's.  (The platform removes the kind's folder it made with its lock.)
// An output folder this run made is the VM's folder the same way, as long
// as it holds nothing but hidden entries (the lock) now: another run may
// have found it made, built its VM in it and gone before this run got the
// lock, and that VM is not this run's to remove.
class NewVMFolder {
 public:
  NewVMFolder(std::string folder, bool madeByThisRun) {
    std::error_code ec;
    if (folder.empty()) return;
    if (madeByThisRun ? HoldsVisibleEntries(folder)
                      : fs::exists(fs::symlink_status(folder, ec)))
      return;
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
  static bool HoldsVisibleEntries(const std::string& folder) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec))
      if (it->path().filename().string().rfind('.', 0) != 0) return true;
    return bool(ec);  // unreadable: not judged this run's
  }

  std::string folder_;
};

// The file names the disks of the request become in the restore and VM
// folders, with the disk copy's temporary names: "." NAME ".XXXXXX"
// ".zy-partial"; the folders lie on the file system of the write root.
void CheckDiskNameLengths(const RestoreJob& job) {
  for (const SDisk& entry : job.request.vDisks) {
    if (!HasData(entry)) continue;
    std::string name = entry.nFileType == kFileTypeDisk
                           ? DestinationDiskName(entry)
                           : entry.diskIndexName;
    CheckNameLengths(WriteRoot(job),
                     "the disk name of [" + SourceNameOf(entry) + "]",
                     {name, "." + name + ".XXXXXX.zy-partial"});
  }
}

// What the disks take on the restore folder's file system (bound: at most),
// summed.
uint64_t DisksNeed(const RestoreJob& job, bool bound) {
  uint64_t needed = 0;
  for (const SDisk& entry : job.request.vDisks) {
    if (!HasData(entry) || entry.nFileType != kFileTypeDisk) continue;
    DiskType_t format = WrittenDiskType(job.destination, entry);
    needed += detail::RequiredBytes(
        SourcePath(job, SourceNameOf(entry)),
        CArchiveVirtualDiskFile::FormatForDiskType(format),
        static_cast<uint64_t>(std::max<int64_t>(entry.i64MaxSizeInBytes, 0)),
        StatedImageFormat(job, entry), bound);
  }
  return needed;
}

// What the disks take against what the restore folder's file system has
// free: a restore that cannot fit writes nothing.  The disks are measured
// only when what they take at most does not fit.
void CheckFreeSpace(const RestoreJob& job, const std::string& folder) {
  if (detail::HasFreeSpace(folder, DisksNeed(job, true))) return;
  detail::RequireFreeSpace(folder, WriteRoot(job), DisksNeed(job, false));
}

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
      throw JobFailure("the restored VM names the disk [" + disk.fileName +
                       "], which is not a file in [" + vmFolder + "]");
    if (std::find(files.begin(), files.end(), path) == files.end())
      files.push_back(path);
  }
  if (files.size() < dataDisks)
    throw JobFailure("the restored VM in [" + vmFolder + "] holds " +
                     std::to_string(files.size()) + " of the " +
                     std::to_string(dataDisks) + " disks of the request");
  if (built.i64NumCPUs < 1 || built.i64MemoryMB < 1)
    throw JobFailure("the restored VM in [" + vmFolder +
                     "] has no processor count or memory size: no "
                     "configuration file of the request described them");
}

RestoreCtx ReadRequest(const std::string& path) {
  std::string text = ReadInputFile(path, "restore request");
  nlohmann::json json;
  std::string shapeError;
  if (!ZyRecordJson::CheckJsonShape(text, shapeError))
    throw JobFailure("restore request [" + path + "]: " + shapeError);
  try {
    json = nlohmann::json::parse(text);
  } catch (const nlohmann::json::exception& e) {
    throw JobFailure("restore request [" + path + "] is not JSON: " + e.what());
  }
  RestoreCtx request;
  std::string error;
  if (!RestoreCtxFromJson(json, request, error))
    throw JobFailure("restore request [" + path + "]: " + error);
  return request;
}

RestoreOutcome Run(RestoreJob& job, IJobObserver& observer) {
  if (!job.platform) throw JobFailure("the job names no platform");
  // The source images are read and checked once: by the request's check,
  // the space check and the copy.
  CArchiveVirtualDiskFile::CheckOncePerRun checkOnce;
  OutputFolder output(job.outputFolder);
  const std::string& root = WriteRoot(job);
  RemoveAbandonedStaging(root, observer);
  CheckRequest(job, observer);
  std::vector<std::string> networks;
  CheckConfigurationFiles(job, networks);
  // A disk's units are its controller model's: the request's, else its
  // configuration file's, else the source description's.
  auto& controllers = job.request.vmInfo.vDiskControllers;
  if (controllers.empty() && job.haveSourceDescription)
    controllers = job.sourceDescription.vDiskControllers;
  CheckRequestFigures(job.request, job.source, job.describedBy);
  CheckNetworkMapping(job, networks);
  if (zykinds::Has(job.source, zykinds::kListsInstances))
    job.ec2InstanceId = ChooseEc2Instance(
        job.request,
        [&job](const std::string& name) { return SourcePath(job, name); },
        job.ec2InstanceId, observer);
  RestoreCtx& request = job.request;
  const size_t dataDisks = CountDataDisks(request.vDisks);
  for (const std::string* named :
       {&request.strStagingPath, &request.strDestinationPath})
    if (!named->empty() && !IsBeneath(root, *named))
      throw JobFailure("the request's folder [" + *named +
                       "] is outside the platform root [" + root + "]");
  StopIfAsked();

  // One run builds a VM at a time: its lock is taken before anything is
  // made for it and held until the VM is whole or what the run made is
  // removed (the objects below go first).
  PlatformAccess platform(*job.platform, job.destination, job.outputFolder,
                          job.s3Bucket);
  job.platform->MapNetworks(platform.get(), job.networks);
  CheckNameLengths(
      root, "the VM name",
      job.platform->NamesCreatedFor(platform.get(), request.strVMName));
  std::string lockError;
  if (!job.platform->ReserveDestination(platform.get(), request.strVMName,
                                        lockError))
    throw JobFailure(lockError);
  std::string vmFolder =
      job.platform->BuiltVMFolder(platform.get(), request.strVMName);
  NewVMFolder made(vmFolder,
                   vmFolder == job.outputFolder && output.Made());
  StagedFiles staged;  // removed last: declared before the staging folder
  std::unique_ptr<StagingFolder> staging;
  if (request.strStagingPath.empty()) {
    staging = std::make_unique<StagingFolder>(root);
    request.strStagingPath = staging->path();
  }
  const bool intoDestination =
      zykinds::Has(job.destination, zykinds::kRestoresIntoDestinationFolder);
  if (intoDestination && request.strDestinationPath.empty())
    request.strDestinationPath = request.strStagingPath;
  std::string folder =
      intoDestination ? request.strDestinationPath : request.strStagingPath;
  if (!staging || folder != staging->path())
    CreateRestoreFolder(root, folder, staged);

  FailureWatch watch;
  ZyVMConverter converter;
  const SourceAddresses sourceAddresses = SourceAddressesOf(request);
  CQiError error = converter.InitVMConversion(job.source, job.destination,
                                              platform.get(), request, DT_NONE);
  if (error.IsError())
    throw JobFailure(Reasons(job, error, watch, platform.get()));
  NameDisksForWrittenFormats(job);
  CheckDiskNameLengths(job);
  CheckFreeSpace(job, folder);
  StopIfAsked();
  RestoreFiles(job, folder, staged, observer);
  StopIfAsked();
  error = converter.CompleteVMConversion(job.source, job.destination,
                                         platform.get(), request);
  if (error.IsError())
    throw JobFailure(Reasons(job, error, watch, platform.get()));
  AdjustOnDestination(converter, job, platform.get());
  KeepSourceUnits(job, platform.get(), vmFolder, sourceAddresses);
  PlaceBootDisk(job, platform.get(), vmFolder, observer);
  StopIfAsked();

  RestoreOutcome outcome;
  outcome.description = request.vmInfo;
  outcome.description.vDiskControllers = request.vmInfo.vDiskControllers;
  // What a platform keeping files built is what is shown: the converted
  // description with the disks' sizes from their files.
  if (!vmFolder.empty()) {
    platform.get()->GetVMInfo(request.strVMName, "", "", 0, 0,
                              outcome.description);
    CheckRestoredVM(outcome.description, vmFolder, dataDisks);
  }
  StopIfAsked();
  made.Keep();
  // The table shows each disk in the format its file was written in.
  for (SDisk& disk : outcome.description.vDisks) {
    auto written = job.writtenFormats.find(CQiPath::GetBaseName(disk.fileName));
    if (written != job.writtenFormats.end()) disk.eDiskType = written->second;
  }
  outcome.facts.title = request.strVMName + " (" +
                        PlatformKindName(job.destination) + "), " + job.verb +
                        " from " + request.strSourceVMName + " (" +
                        PlatformKindName(job.source) + ")";
  outcome.facts.vmId = request.strVMId;
  outcome.facts.location = request.strResultInfo;
  // The instance type and region are chosen in the converter's own copy of
  // the request.
  outcome.facts.instanceType = converter.restoreCtx.strVMSize;
  outcome.facts.osValue = converter.restoreCtx.osName;
  outcome.facts.region = converter.restoreCtx.strRegion;
  outcome.facts.s3Bucket = job.s3Bucket;
  outcome.facts.verifyAsked = job.verify;
  outcome.facts.verifiedDisks = job.verifiedDisks;
  if (!request.strResultDetail.empty())
    outcome.facts.title += "; " + request.strResultDetail;
  AddNativeDescription(outcome.facts, job.destination, outcome.description,
                       job.networks);
  // What is shown names the networks the mapping chose; an unmapped card
  // keeps its source network's name (the writers' notes tell where a
  // platform puts it on one of its own).
  for (auto& card : outcome.description.vNetworkCards)
    card.strNetworkName = MapNetwork(job.networks, card.strNetworkName).strName;
  output.Keep();
  return outcome;
}

}  // namespace

bool ReadRestoreRequest(const std::string& path, RestoreCtx& request,
                        SJobError& error) {
  return AtBoundary(error, [&] { request = ReadRequest(path); });
}

bool WriteRestoreRequest(const std::string& path, const RestoreCtx& request,
                         SJobError& error) {
  return AtBoundary(error, [&] {
    nlohmann::json json;
    std::string why;
    if (!RestoreCtxToJson(request, json, why)) throw JobFailure(why);
    if (int err = WriteFileAtomically(path, json.dump(2) + "\n",
                                      ExistingFile::kReplace))
      throw JobFailure("cannot write restore request [" + path +
                       "]: " + std::strerror(err));
  });
}

bool RunRestoreJob(RestoreJob& job, IJobObserver& observer,
                   RestoreOutcome& outcome, SJobError& error) {
  return AtBoundary(error, [&] { outcome = Run(job, observer); });
}

}  // namespace zyjobs
