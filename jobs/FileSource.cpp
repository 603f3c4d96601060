//===- FileSource.cpp - A source VM given as its own files ----------------===//
#include "FileSource.h"

#include "Ec2InstanceChoice.h"
#include "JobSupport.h"

#include "model/PlatformKinds.h"
#include "formats/common/FormatDrivers.h"
#include "formats/common/GuestOSIds.h"
#include "platform/support/BoundedFile.h"
#include "platform/support/ConfinedPath.h"
#include "platform/support/FXPath.h"

#include <filesystem>
#include <set>

namespace zyjobs {
namespace {

namespace fs = std::filesystem;
using VMInfoStructs::SDisk;
using VMInfoStructs::SVMInfo;

// The option of each kind of file, what it is, its format (whose reader
// reads it) and the source kind it implies.
struct SourceFileKind {
  std::string FileSource::*option;
  const char* what;
  const char* format;  // a driver of formats/common/FormatDrivers.h
  VirtualServerInstanceType kind;
};

// clang-format off
const SourceFileKind kSourceFileKinds[] = {
    {&FileSource::vmx, "VMware configuration", "vmx", VS_VMWARE},
    {&FileSource::xenCfg, "domain file", "xen", VS_ORACLE_VM},
    {&FileSource::ec2Xml, "EC2 description", "ec2", VS_AMAZON},
    {&FileSource::zyf, "VM description", "zyf", VS_NONE},
};
// clang-format on

const SourceFileKind* ChosenKind(const FileSource& options) {
  const SourceFileKind* chosen = nullptr;
  for (const SourceFileKind& row : kSourceFileKinds) {
    if ((options.*row.option).empty()) continue;
    if (chosen)
      throw JobFailure("give one source: --vmx, --xen-cfg, --ec2-xml or --zyf");
    chosen = &row;
  }
  return chosen;
}

bool IsHardDisk(const SDisk& disk) {
  return disk.nDeviceType != VMInfoStructs::kDeviceTypeCdrom &&
         disk.nFileType == VMInfoStructs::kFileTypeDisk;
}

// The file a description names, inside folder: a relative name without
// "..", or an absolute one that lies in the folder, reached through no
// symbolic link.
std::string ConfinedPath(const std::string& name, const std::string& folder,
                         const std::string& described) {
  fs::path path(name);
  if (path.is_relative()) path = fs::path(folder) / path;
  std::string normal = AbsoluteNormalPath(path.string());
  std::string relative;
  if (!IsBeneath(folder, normal, &relative) || relative.empty())
    throw JobFailure("disk [" + name + "] named by [" + described +
                     "] is outside its folder; give the image with --disk");
  std::string error;
  if (!CheckBeneath(folder, normal, error)) throw JobFailure(error);
  std::error_code ec;
  if (!fs::is_regular_file(normal, ec))
    throw JobFailure("disk image [" + normal + "] named by [" + described +
                     "] does not exist; give the images with --disk");
  return normal;
}

// One restored-file entry for a disk of the description: read from path,
// restored under its file name, matched with the description's disk by the
// name the description gives it.
SDisk DiskEntry(const SDisk& disk, const std::string& path) {
  SDisk entry = disk;
  entry.nFileType = VMInfoStructs::kFileTypeDisk;
  entry.diskIndexName = CQiPath::GetBaseName(path);
  entry.strDisplayName = entry.diskIndexName;
  entry.strMatchName =
      disk.fileName.empty() ? entry.diskIndexName : disk.fileName;
  entry.fileName.clear();
  return entry;
}

void NameDisks(const FileSource& options, const std::string& described,
               RestoreJob& job) {
  fs::path folder =
      fs::weakly_canonical(fs::absolute(fs::path(described)).parent_path());
  job.sourceFolder = folder.string();
  std::vector<const SDisk*> disks;
  for (const SDisk& disk : job.sourceDescription.vDisks)
    if (IsHardDisk(disk)) disks.push_back(&disk);
  if (!options.disks.empty() && options.disks.size() != disks.size())
    throw JobFailure("[" + described + "] names " +
                     std::to_string(disks.size()) + " disks, --disk gives " +
                     std::to_string(options.disks.size()));
  std::set<std::string> names;
  for (size_t i = 0; i < disks.size(); ++i) {
    std::string path;
    if (!options.disks.empty()) {
      std::error_code ec;
      path = options.disks[i];
      if (!fs::is_regular_file(path, ec))
        throw JobFailure("disk image [" + path + "] does not exist");
      // Named on the command line: taken as the user gave it, from the
      // current folder.
      path = fs::absolute(path, ec).lexically_normal().string();
    } else {
      path = ConfinedPath(disks[i]->fileName, folder, described);
    }
    SDisk entry = DiskEntry(*disks[i], path);
    if (!names.insert(entry.diskIndexName).second)
      throw JobFailure("two disks of [" + described + "] are named [" +
                       entry.diskIndexName + "]");
    job.sourceFiles[entry.diskIndexName] = path;
    job.request.vDisks.push_back(entry);
  }
}

void NameVM(const std::string& described, RestoreJob& job) {
  RestoreCtx& request = job.request;
  job.describedBy = fs::path(described).filename().string();
  if (job.sourceDescription.strVMName.empty())
    job.sourceDescription.strVMName = fs::path(described).stem().string();
  if (request.strSourceVMName.empty())
    request.strSourceVMName = job.sourceDescription.strVMName;
  if (request.strSourceVMGUID.empty())
    request.strSourceVMGUID = job.sourceDescription.strGUID;
  if (request.strVMName.empty()) request.strVMName = request.strSourceVMName;
  CopyVMInfoWhole(job.sourceDescription, request.vmInfo);
  request.vmInfo.nClientId = job.sourceDescription.nClientId;
  request.vDisks.clear();
}

void LoadFileSource(const FileSource& options, RestoreJob& job,
                    IJobObserver& observer) {
  const SourceFileKind* kind = ChosenKind(options);
  if (!kind) throw JobFailure("no source file given");
  const std::string& path = options.*kind->option;
  std::string text, error;
  if (!ReadBoundedFile(path, text, error))
    throw JobFailure("cannot read the " + std::string(kind->what) + ": " +
                     error);
  SVMInfo description;
  // An EC2 description is read as the instance chosen among those it lists.
  if (std::string(kind->format) == "ec2")
    description.strGUID =
        ChooseListedInstance(path, text, "", options.instanceId, observer);
  const SFormatReadInput input{path, job.platform->InstanceSizes()};
  if (!FindFormat(kind->format)->read(text, input, description, error))
    throw JobFailure(std::string(kind->what) + " [" + path +
                     "] cannot be read" + (error.empty() ? "" : ": " + error));
  job.sourceDescription = description;
  job.sourceDescription.vDiskControllers = description.vDiskControllers;
  job.haveSourceDescription = true;
  NameVM(path, job);
  NameDisks(options, path, job);
}

void LoadPlatformSource(const std::string& vmName, RestoreJob& job) {
  CheckName(vmName, "the VM name");
  SVMInfo description;
  std::string error;
  if (!job.platform->ReadSourceVM(job.source, vmName, description, error))
    throw JobFailure(error);
  const std::string folder = job.platform->SourceVMFolder(job.source, vmName);
  FileSource options;
  options.zyf = CQiPath::Append(folder, "VMConfig.zyf");
  job.sourceDescription = description;
  job.haveSourceDescription = true;
  NameVM(options.zyf, job);
  NameDisks(options, options.zyf, job);
  // The backup's catalog of the VM's disks travels with them.
  std::string catalog = CQiPath::Append(folder, "catalog");
  std::error_code ec;
  if (fs::is_regular_file(catalog, ec)) {
    SDisk entry;
    entry.nFileType = VMInfoStructs::kFileTypeOther;
    entry.diskIndexName = entry.strDisplayName = "catalog";
    job.sourceFiles["catalog"] = catalog;
    job.request.vDisks.push_back(entry);
  }
}

// A source read here takes the destination's default guest OS value: a
// kind with OS values of its own (VMware's guest ids) gets the source's
// guest OS in those values, whatever words the source gives it, and none
// when the source gives none; every other kind asks for AUTO.
std::string DefaultOSName(const RestoreJob& job) {
  if (!zykinds::Has(job.destination, zykinds::kOwnGuestOSValues)) return "AUTO";
  const SVMInfo& source = job.sourceDescription;
  if (source.strGuestOS.empty() && source.guestOSInfo.OSType.empty())
    return std::string();
  return VmwareGuestId(source);
}

// "SRC=DST" maps the source network SRC, "DST" every other one; the first
// '=' ends the source's name.
void AddMappings(const std::vector<std::string>& texts, bool bridge,
                 SNetworkMap& map) {
  const char* option = bridge ? "--bridge" : "--network";
  for (const std::string& text : texts) {
    size_t equals = text.find('=');
    SNetworkMapping rule;
    rule.bBridge = bridge;
    rule.strTarget = equals == std::string::npos ? text : text.substr(equals + 1);
    if (equals != std::string::npos) rule.strSource = text.substr(0, equals);
    if (rule.strTarget.empty() ||
        (equals != std::string::npos && rule.strSource.empty()))
      throw JobFailure(std::string(option) + " [" + text +
                       "]: give SOURCE=DESTINATION, or DESTINATION for every "
                       "source network");
    map.vMappings.push_back(rule);
  }
}

// Before the source is read: the instance and the network rules.
void ApplyChoices(const FileSource& files, const SourceChoices& choices,
                  RestoreJob& job) {
  if (!files.instanceId.empty() &&
      !zykinds::Has(job.source, zykinds::kListsInstances))
    throw JobFailure("--instance-id is for a VM from amazon");
  if (!HasFileSource(files)) job.ec2InstanceId = files.instanceId;
  AddMappings(choices.networks, false, job.networks);
  AddMappings(choices.bridges, true, job.networks);
}

// The VM is built from the description the job writes of the request, so
// the sizes given here reach the destination.
void FillMissingSizes(const SourceChoices& choices, SVMInfo& vm) {
  if (choices.cpus > 0 && vm.i64NumCPUs <= 0) vm.i64NumCPUs = choices.cpus;
  if (choices.memoryMB > 0 && vm.i64MemoryMB <= 0)
    vm.i64MemoryMB = choices.memoryMB;
}

}  // namespace

bool HasFileSource(const FileSource& files) {
  for (const SourceFileKind& row : kSourceFileKinds)
    if (!(files.*row.option).empty()) return true;
  return false;
}

bool CheckFileSource(const FileSource& files, SJobError& error) {
  return AtBoundary(error, [&] { ChosenKind(files); });
}

VirtualServerInstanceType FileSourceKind(const FileSource& files) {
  for (const SourceFileKind& row : kSourceFileKinds)
    if (!(files.*row.option).empty()) return row.kind;
  return VS_NONE;
}

bool PrepareSource(const FileSource& files, const std::string& vmName,
                   const std::string& osName, IJobObserver& observer,
                   RestoreJob& job, SJobError& error) {
  return AtBoundary(error, [&] {
    if (!job.platform) throw JobFailure("the job names no platform");
    bool fromFiles = HasFileSource(files);
    if (fromFiles)
      LoadFileSource(files, job, observer);
    else if (!vmName.empty())
      LoadPlatformSource(vmName, job);
    RestoreCtx& request = job.request;
    if (!osName.empty()) request.osName = osName;
    if (request.osName.empty() && (fromFiles || !vmName.empty()))
      request.osName = DefaultOSName(job);
  });
}

bool PrepareChosenSource(const FileSource& files, const SourceChoices& choices,
                         const std::string& vmName, const std::string& osName,
                         IJobObserver& observer, RestoreJob& job,
                         SJobError& error) {
  if (!AtBoundary(error, [&] { ApplyChoices(files, choices, job); }) ||
      !PrepareSource(files, vmName, osName, observer, job, error))
    return false;
  FillMissingSizes(choices, job.request.vmInfo);
  return true;
}

}  // namespace zyjobs
