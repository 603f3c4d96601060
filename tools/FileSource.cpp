//===- FileSource.cpp - A source VM given as its own files ----------------===//
#include "FileSource.h"

#include "Commands.h"
#include "Ec2InstanceChoice.h"
#include "ToolSupport.h"

#include "platform/folder/FolderVMInfo.h"
#include "formats/common/FormatDrivers.h"
#include "platform/support/BoundedFile.h"
#include "platform/support/ConfinedPath.h"
#include "platform/support/FXPath.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <set>

namespace zytool {
namespace {

namespace fs = std::filesystem;
using VMInfoStructs::SDisk;
using VMInfoStructs::SVMInfo;

// The option of each kind of file, what it is, its format (whose reader
// reads it) and the source kind it implies.
struct SourceFileKind {
  std::string FileSourceOptions::*option;
  const char* what;
  const char* format;  // a driver of formats/common/FormatDrivers.h
  VirtualServerInstanceType kind;
};

// clang-format off
const SourceFileKind kSourceFileKinds[] = {
    {&FileSourceOptions::vmx, "VMware configuration", "vmx", VS_VMWARE},
    {&FileSourceOptions::xenCfg, "domain file", "xen", VS_ORACLE_VM},
    {&FileSourceOptions::ec2Xml, "EC2 description", "ec2", VS_AMAZON},
    {&FileSourceOptions::zyf, "VM description", "zyf", VS_NONE},
};
// clang-format on

const SourceFileKind* ChosenKind(const FileSourceOptions& options) {
  const SourceFileKind* chosen = nullptr;
  for (const SourceFileKind& row : kSourceFileKinds) {
    if ((options.*row.option).empty()) continue;
    if (chosen)
      throw ToolError("give one source: --vmx, --xen-cfg, --ec2-xml or --zyf");
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
    throw ToolError("disk [" + name + "] named by [" + described +
                    "] is outside its folder; give the image with --disk");
  std::string error;
  if (!CheckBeneath(folder, normal, error)) throw ToolError(error);
  std::error_code ec;
  if (!fs::is_regular_file(normal, ec))
    throw ToolError("disk image [" + normal + "] named by [" + described +
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

void NameDisks(const FileSourceOptions& options, const std::string& described,
               RestoreJob& job) {
  fs::path folder =
      fs::weakly_canonical(fs::absolute(fs::path(described)).parent_path());
  job.sourceFolder = folder.string();
  std::vector<const SDisk*> disks;
  for (const SDisk& disk : job.sourceDescription.vDisks)
    if (IsHardDisk(disk)) disks.push_back(&disk);
  if (!options.disks.empty() && options.disks.size() != disks.size())
    throw ToolError("[" + described + "] names " +
                    std::to_string(disks.size()) + " disks, --disk gives " +
                    std::to_string(options.disks.size()));
  std::set<std::string> names;
  for (size_t i = 0; i < disks.size(); ++i) {
    std::string path;
    if (!options.disks.empty()) {
      std::error_code ec;
      path = options.disks[i];
      if (!fs::is_regular_file(path, ec))
        throw ToolError("disk image [" + path + "] does not exist");
      // Named on the command line: taken as the user gave it, from the
      // current folder.
      path = fs::absolute(path, ec).lexically_normal().string();
    } else {
      path = ConfinedPath(disks[i]->fileName, folder, described);
    }
    SDisk entry = DiskEntry(*disks[i], path);
    if (!names.insert(entry.diskIndexName).second)
      throw ToolError("two disks of [" + described + "] are named [" +
                      entry.diskIndexName + "]");
    job.sourceFiles[entry.diskIndexName] = path;
    job.request.vDisks.push_back(entry);
  }
}

void NameVM(const std::string& described, RestoreJob& job) {
  RestoreCtx& request = job.request;
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

}  // namespace

bool HasFileSource(const FileSourceOptions& options) {
  return ChosenKind(options) != nullptr;
}

VirtualServerInstanceType FileSourceKind(const FileSourceOptions& options) {
  const SourceFileKind* kind = ChosenKind(options);
  return kind ? kind->kind : VS_NONE;
}

void LoadFileSource(const FileSourceOptions& options, RestoreJob& job) {
  const SourceFileKind* kind = ChosenKind(options);
  if (!kind) throw ToolError("no source file given");
  const std::string& path = options.*kind->option;
  std::string text, error;
  if (!ReadBoundedFile(path, text, error))
    throw ToolError("cannot read the " + std::string(kind->what) + ": " +
                    error);
  SVMInfo description;
  // An EC2 description is read as the instance chosen among those it lists.
  if (kind->kind == VS_AMAZON)
    description.strGUID =
        ChooseListedInstance(path, text, "", options.instanceId);
  const SFormatReadInput input{path, PlatformInstanceSizes(job.root)};
  if (!FindFormat(kind->format)->read(text, input, description, error))
    throw ToolError(std::string(kind->what) + " [" + path + "] cannot be read" +
                    (error.empty() ? "" : ": " + error));
  job.sourceDescription = description;
  job.sourceDescription.vDiskControllers = description.vDiskControllers;
  job.haveSourceDescription = true;
  NameVM(path, job);
  NameDisks(options, path, job);
}

void AddS3BucketOption(CLI::App& command, std::string& bucket) {
  // S3's rule: 3 to 63 lower-case letters, digits, dots and hyphens, a
  // letter or digit first and last.
  auto valid = [](std::string& name) -> std::string {
    auto plain = [](char c) {
      return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    };
    bool ok = name.size() >= 3 && name.size() <= 63 && plain(name.front()) &&
              plain(name.back());
    for (char c : name) ok = ok && (plain(c) || c == '.' || c == '-');
    return ok ? "" : "[" + name + "] is not an S3 bucket name";
  };
  command
      .add_option("--s3-bucket", bucket,
                  "Amazon destination: the S3 bucket the disk images are "
                  "uploaded to, for import-image.json")
      ->check(CLI::Validator(valid, "BUCKET"));
}

void AddFileSourceOptions(CLI::App& command, FileSourceOptions& options) {
  command.add_option("--vmx", options.vmx,
                     "Source VM: a VMware configuration file; its disks are "
                     "the files it names beside it");
  command.add_option("--xen-cfg", options.xenCfg,
                     "Source VM: a Xen or Oracle VM domain file");
  command.add_option("--ec2-xml", options.ec2Xml,
                     "Source VM: an EC2 instance description (give its "
                     "volumes' images with --disk)");
  command.add_option("--zyf", options.zyf,
                     "Source VM: a VMConfig.zyf description (with --from)");
  command.add_option("--disk", options.disks,
                     "A disk image of the source VM, in the description's "
                     "order (repeat for each disk)");
  command.add_option("--output", options.output,
                     "Build the destination VM in this folder (created; "
                     "existing files are never replaced)");
  command.add_option("--os", options.osName,
                     "Guest OS value for the destination (default: AUTO, "
                     "from the VM's client; a VMware source's guestOS for "
                     "VMware)");
}

void SetUpSource(const GlobalOptions& global, const FileSourceOptions& options,
                 const std::string& fromText, const std::string& vmName,
                 RestoreJob& job) {
  bool fromFiles = HasFileSource(options);
  VirtualServerInstanceType implied = FileSourceKind(options);
  if (!fromText.empty())
    job.source = KindFromText(fromText);
  else if (fromFiles && implied != VS_NONE)
    job.source = implied;
  else
    throw ToolError("give the source platform kind with --from");
  job.outputFolder = options.output;
  job.root = fromFiles && !options.output.empty() ? OptionalPlatformRoot(global)
                                                  : RequirePlatformRoot(global);
  if (fromFiles) {
    if (options.output.empty() && job.root.empty())
      throw ToolError("give --output FOLDER for the converted VM");
    LoadFileSource(options, job);
  } else if (!vmName.empty()) {
    if (!options.disks.empty())
      throw ToolError("--disk goes with a source file (--vmx, --ec2-xml, ...)");
    LoadPlatformSource(vmName, job);
  }
  RestoreCtx& request = job.request;
  if (!options.osName.empty()) request.osName = options.osName;
  if (request.osName.empty() && (fromFiles || !vmName.empty()))
    request.osName =
        job.destination == VS_VMWARE
            ? (job.source == VS_VMWARE ? job.sourceDescription.strGuestOS
                                       : std::string())
            : std::string("AUTO");
}

int RunAndReport(const GlobalOptions& global, RestoreJob& job) {
  RestoreOutcome outcome = RunRestoreJob(job);
  if (global.json)
    Print("%s\n",
          DescriptionJson(outcome.description, outcome.facts).dump(2).c_str());
  else
    PrintDescription(outcome.description, outcome.facts);
  return 0;
}

void LoadPlatformSource(const std::string& vmName, RestoreJob& job) {
  CheckName(vmName, "the VM name");
  FolderVMInfo platform(job.source, job.root);
  SVMInfo description;
  if (!platform.GetVMInfo(vmName, "", "", 0, 0, description))
    throw ToolError(platform.GetLastErrorText());
  FileSourceOptions options;
  options.zyf = CQiPath::Append(platform.VMFolder(vmName), "VMConfig.zyf");
  job.sourceDescription = description;
  job.haveSourceDescription = true;
  NameVM(options.zyf, job);
  NameDisks(options, options.zyf, job);
  // The backup's catalog of the VM's disks travels with them.
  std::string catalog = CQiPath::Append(platform.VMFolder(vmName), "catalog");
  std::error_code ec;
  if (fs::is_regular_file(catalog, ec)) {
    SDisk entry;
    entry.nFileType = VMInfoStructs::kFileTypeOther;
    entry.diskIndexName = entry.strDisplayName = "catalog";
    job.sourceFiles["catalog"] = catalog;
    job.request.vDisks.push_back(entry);
  }
}

}  // namespace zytool
