//===- MountJob.cpp - A backed-up VM run on another platform, nothing copied
//===//
//
// The mount record, the one fact that makes a VM folder a mounted VM:
//   {"format": "ZyMount", "version": 1, "source": "vmware/web01",
//    "mountId": 1, "overlay": "qcow2",
//    "disks": [{"file": "web01.vmdk", "backing":
//    "/root/vmware/web01/web01.vmdk",
//               "backingFormat": "vmdk"}],
//    "files": ["web01.vmdk", "VMConfig.zyf", "web01.xml"]}
// "files" are what the mount placed in the folder besides the record.
//
//===----------------------------------------------------------------------===//
#include "MountJob.h"

#include "JobSupport.h"
#include "Staging.h"

#include "converter/ZyVMConverter.h"
#include "model/ImageFormats.h"
#include "model/PlatformKinds.h"
#include "platform/diskimage/CArchiveVirtualDiskFile.h"
#include "platform/diskimage/OverlayImages.h"
#include "platform/folder/FolderVMInfo.h"
#include "platform/support/ConfinedPath.h"
#include "platform/support/FXPath.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

namespace zyjobs {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using VMInfoStructs::SDisk;
using VMInfoStructs::SVMInfo;

constexpr char kDescriptionName[] = "VMConfig.zyf";
constexpr char kRecordFormat[] = "ZyMount";
constexpr char kPromoteSuffix[] = ".promoting";

bool IsHardDisk(const SDisk& disk) {
  return disk.nFileType == VMInfoStructs::kFileTypeDisk &&
         disk.nDeviceType == VMInfoStructs::kDeviceTypeHardDisk;
}

std::string KindAndName(VirtualServerInstanceType kind,
                        const std::string& name) {
  return PlatformKindName(kind) + "/" + name;
}

std::string Why(const CQiError& error) {
  std::string text = error.GetMessage();
  return text.empty() ? error.AsString() : text;
}

void RequireConfined(const std::string& root, const std::string& path) {
  std::string error;
  if (!CheckBeneath(root, path, error)) throw JobFailure(error);
}

void RequireFileName(const std::string& name, const char* what) {
  if (!IsSingleComponent(name))
    throw JobFailure(std::string(what) + " [" + name + "] is not a file name");
}

ImageFormat_t OverlayImageFormat(zykinds::Overlay overlay) {
  return overlay == zykinds::Overlay::kVmdkDelta ? ImageFormat_t::kVmdk
                                                 : ImageFormat_t::kQcow2;
}

// The disk type a mounted disk is described with: one the native
// descriptions name in the thin image's format (the kind's own when it is
// written so, else the first that is).
DiskType_t OverlayDiskType(VirtualServerInstanceType kind) {
  ImageFormat_t format = OverlayImageFormat(zykinds::FactsOf(kind).overlay);
  DiskType_t own = zykinds::FactsOf(kind).diskFormat;
  if (zykinds::WrittenFormatOf(own) == format) return own;
  for (const zykinds::WrittenFormat& row : zykinds::kWrittenFormats)
    if (row.format == format) return row.type;
  return own;
}

// The format the source's description states for a disk's image (Xen
// reads an image in the format stated), or empty.
std::string StatedFormat(VirtualServerInstanceType source, const SDisk& disk) {
  return zykinds::Has(source, zykinds::kStatesImageFormats)
             ? disk.strPlatformRef1
             : std::string();
}

// The source VM mounted through its access object, unmounted at the end.
class SourceMount {
 public:
  SourceMount(IVMInfo* access, MountCtx context)
      : access_(access), context_(std::move(context)) {
    if (!access_->MountVM(context_))
      throw JobFailure("cannot mount " + context_.strVMName + ": " +
                       access_->GetLastErrorText());
  }
  ~SourceMount() { access_->UnmountVM(context_); }
  SourceMount(const SourceMount&) = delete;
  SourceMount& operator=(const SourceMount&) = delete;
  const MountCtx& context() const { return context_; }
  std::vector<SDisk> Files() {
    std::vector<VMInfoStructs::SMountInfoFull> info;
    if (!access_->GetFullMountInfo(context_, info) || info.empty())
      throw JobFailure("cannot list the mounted files of " +
                       context_.strVMName + ": " + access_->GetLastErrorText());
    return info.front().vFiles;
  }

 private:
  IVMInfo* access_;
  MountCtx context_;
};

// The destination VM's folder (and its kind's folder when this run makes
// it), removed again unless the mount succeeds.
class NewFolder {
 public:
  explicit NewFolder(const std::string& folder) : folder_(folder) {
    std::error_code ec;
    std::string kind = fs::path(folder).parent_path().string();
    if (!fs::exists(fs::symlink_status(kind, ec))) kindFolder_ = kind;
  }
  ~NewFolder() {
    std::error_code ec;
    if (!kept_) fs::remove_all(folder_, ec);
    if (!kept_ && !kindFolder_.empty()) fs::remove(kindFolder_, ec);
  }
  NewFolder(const NewFolder&) = delete;
  NewFolder& operator=(const NewFolder&) = delete;
  void Keep() { kept_ = true; }

 private:
  std::string folder_;
  std::string kindFolder_;
  bool kept_ = false;
};

// The disk list the agent hands ConvertVMForLiveMount: the description's
// devices in order, each hard disk with the mounted file of its name (the
// platform lists files; the description places them).
std::vector<SDisk> MountedDisks(const SVMInfo& description,
                                const std::vector<SDisk>& files) {
  std::vector<SDisk> disks;
  for (const SDisk& device : description.vDisks) {
    if (device.nFileType != VMInfoStructs::kFileTypeDisk) continue;
    SDisk disk = device;
    if (!IsHardDisk(device)) {
      disks.push_back(disk);
      continue;
    }
    std::string name = CQiPath::GetBaseName(device.fileName);
    const SDisk* file = nullptr;
    for (const SDisk& candidate : files)
      if (candidate.nFileType == VMInfoStructs::kFileTypeDisk &&
          candidate.strDisplayName == name)
        file = &candidate;
    if (!file)
      throw JobFailure("the backed-up VM names the disk [" + device.fileName +
                       "], which its backup does not hold");
    disk.fileName = file->fileName;
    if (disk.strDisplayName.empty()) disk.strDisplayName = name;
    if (disk.diskIndexName.empty()) disk.diskIndexName = file->diskIndexName;
    disk.i64CurrSizeInBytes = file->i64CurrSizeInBytes;
    disks.push_back(disk);
  }
  return disks;
}

// Writes the record as a new file, whole, synced.
void WriteRecord(const std::string& path, const json& record) {
  std::string text = record.dump(2) + "\n";
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0)
    throw JobFailure("cannot write the mount record [" + path +
                     "]: " + std::strerror(errno));
  bool written = ::write(fd, text.data(), text.size()) ==
                     static_cast<ssize_t>(text.size()) &&
                 ::fsync(fd) == 0;
  int err = errno;
  ::close(fd);
  if (!written) {
    ::unlink(path.c_str());
    throw JobFailure("cannot write the mount record [" + path +
                     "]: " + std::strerror(err));
  }
}

void SyncFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// One backed-up image for each hard disk of the list (by position), checked
// before anything is written.
std::vector<SOverlayBacking> InspectBackings(const MountJob& job,
                                             const std::string& sourceFolder,
                                             const std::vector<SDisk>& disks) {
  zykinds::Overlay overlay = zykinds::FactsOf(job.destination).overlay;
  std::vector<SOverlayBacking> backings(disks.size());
  for (size_t i = 0; i < disks.size(); ++i) {
    if (!IsHardDisk(disks[i])) continue;
    std::string name = CQiPath::GetBaseName(disks[i].fileName);
    RequireFileName(name, "the backed-up disk");
    // The backup's own image, not the mount folder's link to it: the thin
    // image names it for as long as the mount lives.
    std::string path = CQiPath::Append(sourceFolder, name);
    RequireConfined(job.root, path);
    CQiError error = InspectBackingImage(
        path, StatedFormat(job.source, disks[i]), backings[i]);
    if (error.IsError())
      throw JobFailure("cannot mount " + job.sourceVM + ": " + Why(error));
    if (overlay == zykinds::Overlay::kVmdkDelta &&
        backings[i].format != ImageFormat_t::kVmdk)
      throw JobFailure(PlatformKindName(job.destination) +
                       " mounts VMDK images only (qemu writes VMDK delta "
                       "disks over VMDK parents); [" +
                       path + "] is a " +
                       CArchiveVirtualDiskFile::FormatName(backings[i].format) +
                       " image");
  }
  return backings;
}

void RequireFree(const std::string& folder, VirtualServerInstanceType kind,
                 const std::string& name) {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(folder, ec))) return;
  if (fs::exists(CQiPath::Append(folder, kMountRecordName), ec))
    throw JobFailure("[" + KindAndName(kind, name) + "] is already mounted");
  throw JobFailure("a VM named [" + KindAndName(kind, name) +
                   "] already exists");
}

MountOutcome Mount(const MountJob& job, IJobObserver& observer) {
  if (!job.platform) throw JobFailure("the job names no platform");
  std::string refusal = MountRefusal(job.destination);
  if (!refusal.empty()) throw JobFailure(refusal);
  if (job.mountId < kSmallestMountId || job.mountId > kLargestMountId)
    throw JobFailure("mount id [" + std::to_string(job.mountId) + "] out of [" +
                     std::to_string(kSmallestMountId) + ".." +
                     std::to_string(kLargestMountId) + "] range");
  CheckName(job.sourceVM, "the source VM name");
  RequireFileName(job.sourceVM, "the source VM name");
  if (!job.name.empty()) {
    CheckName(job.name, "the mounted VM's name");
    RequireFileName(job.name, "the mounted VM's name");
  }
  SVMInfo source;
  std::string reason;
  if (!job.platform->ReadSourceVM(job.source, job.sourceVM, source, reason))
    throw JobFailure(reason);
  std::string sourceFolder =
      job.platform->SourceVMFolder(job.source, job.sourceVM);
  RequireConfined(job.root, sourceFolder);
  PlatformAccess destination(*job.platform, job.destination);
  if (!job.name.empty())
    RequireFree(job.platform->BuiltVMFolder(destination.get(), job.name),
                job.destination, job.name);

  RemoveAbandonedStaging(job.root, observer);
  StagingFolder staging(job.root);
  MountCtx context;
  context.strVMName = job.sourceVM;
  context.strVMGuid = source.strGUID;
  context.strMountPath = CQiPath::Append(staging.path(), "mount");
  context.nMountId = job.mountId;
  PlatformAccess sourceAccess(*job.platform, job.source);
  SourceMount mounted(sourceAccess.get(), context);
  std::vector<SDisk> disks = MountedDisks(source, mounted.Files());
  {
    ZyVMConverter rules;
    RestoreCtx filter;
    filter.vDisks = disks;
    rules.RemoveUnsupportedDisks(filter, job.destination);
    disks = filter.vDisks;
  }
  std::vector<SOverlayBacking> backings =
      InspectBackings(job, sourceFolder, disks);

  // The mounted VM's name is the caller's, else the library's.
  MountCtx naming = context;
  naming.strVMName = job.name;
  SVMInfo description;
  FailureWatch watch;
  ZyVMConverter converter;
  if (!converter.ConvertVMForLiveMount(job.source, job.destination, naming,
                                       description, disks))
    throw JobFailure("cannot mount " + job.sourceVM + " to " +
                     PlatformKindName(job.destination) + ": " +
                     watch.LastFailure());
  const std::string name = naming.strVMName;
  CheckName(name, "the mounted VM's name");
  RequireFileName(name, "the mounted VM's name");
  // One run per destination VM: a restore or another mount of this name
  // waits for nothing and touches nothing of ours, nor we of theirs.
  std::string lockError;
  if (!job.platform->ReserveDestination(destination.get(), name, lockError))
    throw JobFailure(lockError);
  std::string vmFolder = job.platform->BuiltVMFolder(destination.get(), name);
  RequireFree(vmFolder, job.destination, name);

  ImageFormat_t format =
      OverlayImageFormat(zykinds::FactsOf(job.destination).overlay);
  MountOutcome outcome;
  json record = {{"format", kRecordFormat},
                 {"version", 1},
                 {"source", KindAndName(job.source, job.sourceVM)},
                 {"mountId", job.mountId},
                 {"overlay", CArchiveVirtualDiskFile::FormatName(format)},
                 {"disks", json::array()},
                 {"files", json::array()}};
  for (size_t i = 0; i < description.vDisks.size(); ++i) {
    SDisk& disk = description.vDisks[i];
    if (!IsHardDisk(disk)) continue;
    // Kinds that keep the backed-up names (1102, 1401) name qcow2 images.
    std::string file = NameTellingFormat(
        DestinationDiskName(disk), format,
        zykinds::FormatFactsOf(zykinds::FactsOf(job.destination).diskFormat)
            .extension);
    RequireFileName(file, "the mounted disk name");
    std::string path = CQiPath::Append(staging.path(), file);
    std::error_code ec;
    if (fs::exists(fs::symlink_status(path, ec)))
      throw JobFailure("two disks of " + job.sourceVM + " mount as [" + file +
                       "]");
    uint64_t size =
        static_cast<uint64_t>(std::max<int64_t>(disk.i64MaxSizeInBytes, 0));
    CQiError error = CreateOverlayImage(path, format, backings[i], size);
    if (error.IsError())
      throw JobFailure("cannot mount " + job.sourceVM + ": " + Why(error));
    outcome.overlays.push_back(
        file + ": " + CArchiveVirtualDiskFile::FormatName(format) + " over " +
        backings[i].path + " (" +
        CArchiveVirtualDiskFile::FormatName(backings[i].format) + ")");
    disk.fileName = file;
    disk.eDiskType = OverlayDiskType(job.destination);
    disk.i64MaxSizeInBytes =
        static_cast<int64_t>(format == ImageFormat_t::kQcow2
                                 ? std::max(size, backings[i].virtualSize)
                                 : backings[i].virtualSize);
    disk.i64CurrSizeInBytes = 0;  // the thin image's, from its file
    record["disks"].push_back(
        {{"file", file},
         {"backing", backings[i].path},
         {"backingFormat",
          zykinds::ImageFormatFactsOf(backings[i].format).shortName}});
    record["files"].push_back(file);
  }

  NewFolder made(vmFolder);
  RestoreCtx build;
  build.strVMName = name;
  build.vmInfo = description;
  build.vmInfo.vDiskControllers = description.vDiskControllers;
  build.vDisks = description.vDisks;
  build.strStagingPath = staging.path();
  if (!destination.get()->FinalizeConvertedVM(build))
    throw JobFailure("cannot build " + KindAndName(job.destination, name) +
                     ": " + destination.get()->GetLastErrorText());
  record["files"].push_back(kDescriptionName);
  std::string native = NativeDescriptionName(job.destination, name);
  if (!native.empty()) record["files"].push_back(native);
  WriteRecord(CQiPath::Append(vmFolder, kMountRecordName), record);
  SyncFolder(vmFolder);

  outcome.description = description;
  destination.get()->GetVMInfo(name, "", "", 0, 0, outcome.description);
  made.Keep();
  outcome.facts.title = job.sourceVM + " (" + PlatformKindName(job.source) +
                        ") mounted to " + PlatformKindName(job.destination) +
                        " as " + name;
  outcome.facts.vmId = build.strVMId;
  outcome.facts.location = vmFolder;
  AddNativeDescription(outcome.facts, job.destination, outcome.description);
  return outcome;
}

// ---- A mounted VM: its record, unmount and promote -----------------------

struct RecordDisk {
  std::string file;
  SOverlayBacking backing;
};

struct Record {
  std::string folder;
  ImageFormat_t overlay = ImageFormat_t::kQcow2;
  std::vector<RecordDisk> disks;
  std::vector<std::string> files;
  int lock = -1;  // held on the record while the run lives
};

// The mounted VM's record, locked for this run.  A VM that is not mounted
// (none, or a restored or promoted one) is refused.
class MountRecord {
 public:
  MountRecord(const MountedVM& vm, const char* verb) {
    CheckName(vm.name, "the VM name");
    RequireFileName(vm.name, "the VM name");
    if (!vm.platform) throw JobFailure("the job names no platform");
    record_.folder = vm.platform->SourceVMFolder(vm.kind, vm.name);
    RequireConfined(vm.root, record_.folder);
    std::string path = CQiPath::Append(record_.folder, kMountRecordName);
    std::error_code ec;
    std::string what = KindAndName(vm.kind, vm.name);
    if (!fs::is_regular_file(fs::symlink_status(path, ec)))
      throw JobFailure(
          fs::exists(CQiPath::Append(record_.folder, kDescriptionName), ec)
              ? "[" + what + "] is not mounted; " + verb + " takes a mounted VM"
              : "no VM [" + what + "]");
    Parse(path, ReadInputFile(path, "mount record"));
    record_.lock = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (record_.lock < 0 || ::flock(record_.lock, LOCK_EX | LOCK_NB) != 0)
      throw JobFailure("[" + what +
                       "] is being unmounted or promoted by "
                       "another run");
  }
  ~MountRecord() {
    if (record_.lock >= 0) ::close(record_.lock);
  }
  MountRecord(const MountRecord&) = delete;
  MountRecord& operator=(const MountRecord&) = delete;
  const Record& get() const { return record_; }

 private:
  void Parse(const std::string& path, const std::string& text) {
    json doc = json::parse(text, nullptr, false);
    auto bad = [&path](const std::string& why) {
      return JobFailure("mount record [" + path + "] " + why);
    };
    if (!doc.is_object() || doc.value("format", "") != kRecordFormat ||
        !doc["disks"].is_array() || !doc["files"].is_array() ||
        !doc["overlay"].is_string())
      throw bad("is not a mount record");
    if (!CArchiveVirtualDiskFile::FormatByShortName(doc["overlay"],
                                                    record_.overlay))
      throw bad("names no thin image format");
    for (const json& file : doc["files"]) {
      if (!file.is_string() || !IsSingleComponent(file))
        throw bad("lists a file that is not a file name");
      record_.files.push_back(file);
    }
    for (const json& disk : doc["disks"]) {
      RecordDisk entry;
      if (!disk.is_object() || !disk["file"].is_string() ||
          !disk["backing"].is_string() || !disk["backingFormat"].is_string() ||
          !IsSingleComponent(disk["file"]) ||
          !CArchiveVirtualDiskFile::FormatByShortName(disk["backingFormat"],
                                                      entry.backing.format))
        throw bad("has a disk without file, backing and backingFormat");
      entry.file = disk["file"];
      entry.backing.path = disk["backing"];
      record_.disks.push_back(entry);
    }
  }
  Record record_;
};

void Unmount(const MountedVM& vm, IJobObserver& observer) {
  MountRecord locked(vm, "unmount");
  const Record& record = locked.get();
  std::error_code ec;
  for (const std::string& file : record.files) {
    fs::remove(CQiPath::Append(record.folder, file), ec);
    if (ec)
      throw JobFailure("cannot remove [" + file + "] of " +
                       KindAndName(vm.kind, vm.name) + ": " + ec.message());
  }
  for (const RecordDisk& disk : record.disks)  // a stopped promote's
    fs::remove(CQiPath::Append(record.folder, "." + disk.file + kPromoteSuffix),
               ec);
  fs::remove(CQiPath::Append(record.folder, kMountRecordName), ec);
  if (ec)
    throw JobFailure("cannot remove the mount record of " +
                     KindAndName(vm.kind, vm.name) + ": " + ec.message());
  if (!fs::remove(record.folder, ec))
    observer.OnNote("kept [" + record.folder +
                    "]: it holds files the mount did not place");
}

// A disk already written in the kind's own format (by a promote stopped
// while it renamed): an image without a backing file, in that format.
bool IsPromoted(const std::string& path, ImageFormat_t own) {
  CArchiveVirtualDiskFile::ImageFacts_t facts;
  QuietLog quiet;
  return !CArchiveVirtualDiskFile::Inspect(path, DT_NONE, facts).IsError() &&
         facts.format == CArchiveVirtualDiskFile::FormatName(own);
}

MountOutcome Promote(const MountedVM& vm, IJobObserver& observer) {
  MountRecord locked(vm, "promote");
  const Record& record = locked.get();
  DiskType_t ownType = zykinds::FactsOf(vm.kind).diskFormat;
  ImageFormat_t own = zykinds::WrittenFormatOf(ownType);
  // Written beside each disk; only when all are whole are they swapped in.
  std::vector<std::pair<std::string, std::string>> swaps;
  struct Temporaries {
    std::vector<std::string> paths;
    ~Temporaries() {
      for (const std::string& path : paths) ::unlink(path.c_str());
    }
  } temporaries;
  for (const RecordDisk& disk : record.disks) {
    std::string path = CQiPath::Append(record.folder, disk.file);
    std::string temporary =
        CQiPath::Append(record.folder, "." + disk.file + kPromoteSuffix);
    RequireConfined(vm.root, path);
    if (::unlink(temporary.c_str()) == 0)
      observer.OnNote("removed [" + temporary + "] left by a stopped promote");
    if (IsPromoted(path, own)) continue;
    std::string backingFile;
    CQiError error = OverlayBackingFile(path, record.overlay, backingFile);
    if (error.IsError()) throw JobFailure(Why(error));
    if (backingFile != disk.backing.path)
      throw JobFailure("[" + path + "] no longer reads through to [" +
                       disk.backing.path + "]");
    SOverlayBacking backing;
    error = InspectBackingImage(
        disk.backing.path,
        zykinds::ImageFormatFactsOf(disk.backing.format).shortName, backing);
    if (error.IsError()) throw JobFailure(Why(error));
    temporaries.paths.push_back(temporary);
    error = FlattenOverlayImage(path, record.overlay, backing, temporary, own);
    if (error.IsError()) throw JobFailure(Why(error));
    observer.OnDiskDone(disk.file);
    swaps.emplace_back(temporary, path);
  }
  for (const auto& swap : swaps)
    if (::rename(swap.first.c_str(), swap.second.c_str()) != 0)
      throw JobFailure("cannot replace [" + swap.second +
                       "]: " + std::strerror(errno));
  temporaries.paths.clear();
  SyncFolder(record.folder);

  PlatformAccess platform(*vm.platform, vm.kind);
  SVMInfo description;
  if (!platform.get()->GetVMInfo(vm.name, "", "", 0, 0, description))
    throw JobFailure("cannot read " + KindAndName(vm.kind, vm.name) + ": " +
                     platform.get()->GetLastErrorText());
  for (SDisk& disk : description.vDisks) {
    if (!IsHardDisk(disk)) continue;
    for (const RecordDisk& promoted : record.disks)
      if (CQiPath::GetBaseName(disk.fileName) == promoted.file) {
        disk.eDiskType = ownType;
        disk.i64CurrSizeInBytes = 0;  // from the new file
      }
  }
  std::string error;
  if (!vm.platform->UpdateDescription(platform.get(), vm.name, description,
                                      error))
    throw JobFailure("cannot rewrite the description of " +
                     KindAndName(vm.kind, vm.name) + ": " + error);
  std::error_code ec;
  fs::remove(CQiPath::Append(record.folder, kMountRecordName), ec);
  SyncFolder(record.folder);

  MountOutcome outcome;
  outcome.description = description;
  platform.get()->GetVMInfo(vm.name, "", "", 0, 0, outcome.description);
  outcome.facts.title = KindAndName(vm.kind, vm.name) +
                        " promoted: its disks no longer need the backup";
  outcome.facts.vmId = KindAndName(vm.kind, vm.name);
  outcome.facts.location = record.folder;
  AddNativeDescription(outcome.facts, vm.kind, outcome.description);
  return outcome;
}

}  // namespace

std::string MountRefusal(VirtualServerInstanceType destination) {
  if (zykinds::FactsOf(destination).overlay != zykinds::Overlay::kNone)
    return "";
  std::string kind = PlatformKindName(destination);
  if (!zykinds::MayBeDestination(destination))
    return "[" + kind + "] is no destination";
  ImageFormat_t own =
      zykinds::WrittenFormatOf(zykinds::FactsOf(destination).diskFormat);
  if (own == ImageFormat_t::kVhdFixed) own = ImageFormat_t::kVhd;
  return kind + " cannot run a live mount: it would need " +
         CArchiveVirtualDiskFile::FormatName(own) +
         " differencing disks over the backup, and qemu writes none; "
         "restore it instead";
}

bool RunMountJob(const MountJob& job, IJobObserver& observer,
                 MountOutcome& outcome, SJobError& error) {
  return AtBoundary(error, [&] { outcome = Mount(job, observer); });
}

bool RunUnmountJob(const MountedVM& vm, IJobObserver& observer,
                   SJobError& error) {
  return AtBoundary(error, [&] { Unmount(vm, observer); });
}

bool RunPromoteJob(const MountedVM& vm, IJobObserver& observer,
                   MountOutcome& outcome, SJobError& error) {
  return AtBoundary(error, [&] { outcome = Promote(vm, observer); });
}

}  // namespace zyjobs
