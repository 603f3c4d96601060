//===- FolderVMInfo.cpp - The built-in folder platform --------------------===//
//
// Files are placed by hard link where the file system allows it and by copy
// otherwise, and never over an existing file: a VM's folder, a mount folder
// and a restore's staging folder only ever gain files, and only the files an
// operation placed itself are removed again.
//
//===----------------------------------------------------------------------===//
#include "platform/folder/FolderVMInfo.h"

#include "model/PlatformKinds.h"

#include "formats/common/FormatDrivers.h"
#include "formats/zyf/VMConfigFile.h"
#include "platform/diskimage/CArchiveVirtualDiskFile.h"
#include "platform/settings/PlatformConfig.h"
#include "platform/support/AtomicFile.h"
#include "platform/support/BoundedFile.h"
#include "platform/support/ConfinedPath.h"
#include "platform/support/FXPath.h"
#include "platform/support/FXString.h"

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;
using VMInfoStructs::SDisk;
using VMInfoStructs::SVMInfo;

namespace {

constexpr char kDescriptionName[] = "VMConfig.zyf";
constexpr char kHostsName[] = "hosts.json";
constexpr char kInstanceTypesName[] = "instance-types.json";
// The destination VM's lock: ".<vm>.lock" in the kind folder, or this name
// in a folder the VM is built in.
constexpr char kLockSuffix[] = ".lock";
constexpr char kBuildLockName[] = ".build.lock";

// How a file of a VM is presented in a mount, by its extension: the
// configuration files the formats read, and disk images.  Files a
// description names as disks are disk images whatever their extension
// (RHEV and Nutanix disks have none).
struct FileKind {
  const char* extension;
  DiskType_t format;
};

// clang-format off
constexpr FileKind kImageKinds[] = {
    {"vmdk", DT_VMDK}, {"vhd", DT_HYPERV_VHD}, {"vhdx", DT_VHDX_20},
    {"img", DT_NONE},  {"raw", DT_NONE},       {"qcow2", DT_NONE},
};
// clang-format on

// The file type (VMInfoStructs::kFileType*) of a name, and an image's format.
int FileTypeOf(const std::string& name, DiskType_t* format = nullptr) {
  std::string ext = CQiPath::GetExt(name);
  if (IsConfigExtension(ext)) return VMInfoStructs::kFileTypeConfig;
  for (const FileKind& row : kImageKinds)
    if (FXString::CompareNoCase(ext, row.extension) == 0) {
      if (format) *format = row.format;
      return VMInfoStructs::kFileTypeDisk;
    }
  return VMInfoStructs::kFileTypeOther;
}

std::string BaseName(const std::string& path) {
  return CQiPath::GetBaseName(path);
}

std::string Join(const std::string& folder, const std::string& name) {
  return CQiPath::Append(folder, name);
}

// A VM name becomes one folder name: nothing that leaves the kind folder.
bool IsSafeFolderName(const std::string& name) {
  return IsSingleComponent(name);
}

// Kinds whose finished description lists no disks (neither the restored
// disks nor, as Hyper-V, the configuration's): the platform keeps the
// restored disk images in the VM's folder all the same, so that nothing
// restored is lost, and names them in its report.
bool KeepsRestoredDisks(VirtualServerInstanceType kind) {
  return !zykinds::Has(kind, zykinds::kTakesRestoredDisks) && kind != VS_HYPERV;
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names)
    text += (text.empty() ? "" : ", ") + name;
  return text;
}

bool IsLink(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

// A regular file, not a link to one.
bool IsRegularFile(const std::string& path) {
  std::error_code ec;
  return fs::symlink_status(path, ec).type() == fs::file_type::regular;
}

// Places a copy of from at to (a new name), both below root and reached
// through no link: a hard link (which never follows one), else a byte copy.
// Returns false with error.
bool PlaceFile(const std::string& root, const std::string& from,
               const std::string& to, std::string& error) {
  if (!CheckBeneath(root, from, error) || !CheckBeneath(root, to, error))
    return false;
  if (::link(from.c_str(), to.c_str()) == 0) return true;
  if (errno == EEXIST || Exists(to)) {
    error = "[" + to + "] already exists";
    return false;
  }
  return CopyFileBeneath(root, from, root, to, error);
}

// The regular files of a folder, by name; link receives the first
// symbolic link found there (a link is never taken for the file it names).
std::vector<std::string> FilesOf(const std::string& folder,
                                 std::string* link = nullptr) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    std::error_code typeError;
    if (it->is_symlink(typeError) && link && link->empty())
      *link = it->path().string();
    else if (it->symlink_status(typeError).type() == fs::file_type::regular)
      names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool ReadJsonFile(const std::string& path, nlohmann::json& out,
                  std::string& error) {
  std::string text;
  if (!ReadBoundedFile(path, text, error)) {
    error = "Cannot read a platform file: " + error;
    return false;
  }
  try {
    out = nlohmann::json::parse(text);
    return true;
  } catch (const std::exception& e) {
    error = "Malformed [" + path + "]: " + e.what();
    return false;
  }
}

bool FillHost(const nlohmann::json& host, VMInfoStructs::SHostInfo& info) {
  if (!host.is_object() || !host.contains("name") || !host["name"].is_string())
    return false;
  VMInfoStructs::SHostInfo filled;
  filled.strHostName = host["name"].get<std::string>();
  if (host.contains("networks")) {
    if (!host["networks"].is_array()) return false;
    for (const auto& network : host["networks"]) {
      if (!network.is_string()) return false;
      VMInfoStructs::SNetworkInfo entry;
      entry.strName = network.get<std::string>();
      filled.vNetworks.push_back(entry);
    }
  }
  info = filled;
  return true;
}

bool FillSize(const nlohmann::json& row, VMInfoStructs::SVMSizeInfo& size) {
  if (!row.is_object()) return false;
  auto name = row.find("name");
  auto cpus = row.find("cpus");
  auto memory = row.find("memoryMB");
  if (name == row.end() || !name->is_string() || cpus == row.end() ||
      !cpus->is_number_integer() || memory == row.end() ||
      !memory->is_number_integer())
    return false;
  size.strInstanceType = name->get<std::string>();
  size.nNumCPUs = cpus->get<int32_t>();
  size.nMemoryMB = memory->get<int32_t>();
  return true;
}

// CPUs and memory of an instance type from the Amazon instance-type table
// under root (any region); false when the table does not list it.
bool AmazonInstanceSize(const std::string& root, const std::string& type,
                        VMInfoStructs::SVMSizeInfo& size) {
  nlohmann::json document;
  std::string error;
  std::string path = Join(Join(root, PlatformKindName(VS_AMAZON)),
                          kInstanceTypesName);
  if (type.empty() || !fs::exists(path) ||
      !ReadJsonFile(path, document, error) || !document.is_object())
    return false;
  for (const auto& region : document.items()) {
    if (!region.value().is_array()) continue;
    for (const auto& row : region.value())
      if (FillSize(row, size) && size.strInstanceType == type) return true;
  }
  return false;
}

// A description without a CPU count or memory size (an Amazon instance of
// a type no table lists) takes them from the Amazon instance-type table;
// without one there, the VM cannot be built and the fields are named.
bool CompleteMachineSize(const std::string& root, SVMInfo& description,
                         std::string& missing) {
  VMInfoStructs::SVMSizeInfo size;
  bool noCpus = description.i64NumCPUs <= 0;
  bool noMemory = description.i64MemoryMB <= 0;
  if ((noCpus || noMemory) &&
      AmazonInstanceSize(root, description.strVMSize, size)) {
    if (noCpus) description.i64NumCPUs = size.nNumCPUs;
    if (noMemory) description.i64MemoryMB = size.nMemoryMB;
  }
  missing.clear();
  // Only a description that names an instance type (a cloud instance) is
  // sized by one; others keep what their own platform gave.
  if (description.strVMSize.empty()) return true;
  if (description.i64NumCPUs <= 0) missing = "i64NumCPUs";
  if (description.i64MemoryMB <= 0)
    missing += std::string(missing.empty() ? "" : ", ") + "i64MemoryMB";
  return missing.empty();
}

// The name of the destination VM of a request.
std::string DestinationName(const RestoreCtx& ctx) {
  return ctx.strVMName.empty() ? ctx.vmInfo.strVMName : ctx.strVMName;
}

// Where a restored disk file is: by its name in the request's staging or
// destination folder, or already in the VM's folder.  A path named by a
// description is never followed elsewhere: a configuration file could name
// any file of the system.
// A symbolic link under a restored file's name is refused, not taken for
// the file it names; error tells which.
bool FindRestoredFile(const RestoreCtx& ctx, const SDisk& disk,
                      const std::string& vmFolder, std::string& path,
                      std::string& error) {
  std::string name = BaseName(disk.fileName);
  if (!IsSingleComponent(name)) {
    error = "Restored disk file [" + disk.fileName + "] is not a file name";
    return false;
  }
  for (const std::string& folder :
       {ctx.strStagingPath, ctx.strDestinationPath, vmFolder,
        Join(vmFolder, "Virtual Hard Disks")}) {
    if (folder.empty()) continue;
    std::string candidate = Join(folder, name);
    if (IsLink(candidate)) {
      error = "Restored disk file [" + candidate +
              "] is a symbolic link; links are not followed";
      return false;
    }
    if (IsRegularFile(candidate)) {
      path = candidate;
      return true;
    }
  }
  error = "Restored disk file [" + disk.fileName + "] not found";
  return false;
}

bool IsPlacedDisk(const SDisk& disk) {
  return disk.nFileType == VMInfoStructs::kFileTypeDisk &&
         disk.nDeviceType == VMInfoStructs::kDeviceTypeHardDisk &&
         !disk.fileName.empty();
}

// A description that names a disk without its sizes (a VMware configuration
// file does not carry them) gets them from the disk's file in the VM folder.
void FillSizesFromFiles(SVMInfo& info, const std::string& folder) {
  for (SDisk& disk : info.vDisks) {
    if (!IsPlacedDisk(disk)) continue;
    struct stat status {};
    std::string name = BaseName(disk.fileName);
    if (!IsSingleComponent(name) ||
        ::lstat(Join(folder, name).c_str(), &status) != 0 ||
        !S_ISREG(status.st_mode))
      continue;
    // A disk's size is the guest's: its image's virtual size, the file's
    // size only for a file no image format reads.
    if (disk.i64MaxSizeInBytes <= 0) {
      CArchiveVirtualDiskFile::ImageFacts_t image;
      disk.i64MaxSizeInBytes =
          CArchiveVirtualDiskFile::Inspect(Join(folder, name), DT_NONE, image)
                  .IsError()
              ? status.st_size
              : static_cast<int64_t>(image.virtualSize);
    }
    if (disk.i64CurrSizeInBytes <= 0)
      disk.i64CurrSizeInBytes =
          std::min<int64_t>(status.st_size, int64_t{status.st_blocks} * 512);
  }
}

}  // namespace

int AnswerClientFromDescription(int clientId, const SVMInfo& description) {
  ZyClientRecord configured;
  if (clientId > 0 && PlatformConfig::FindClientById(clientId, configured))
    return clientId;
  const auto& os = description.guestOSInfo;
  std::string name =
      os.GuestOSName.empty() ? description.strGuestOS : os.GuestOSName;
  if (name.empty()) return clientId;
  // Ids of clients answered for, above any a platform hands out.
  static int nextId = 0x7f000000;
  int id = clientId > 0 ? clientId : nextId++;
  ZyClientRecord client;
  client.nId = id;
  client.strName = description.strVMName;
  // A description made from a client's own OS text keeps it whole.
  client.strOSInfo = name.find(":-") != std::string::npos
                         ? name
                         : name + ":-" + os.OSVersion + ":-:-" +
                               (os.CPUArch.empty() ? "Any" : os.CPUArch);
  PlatformConfig::AddClient(client);
  return id;
}

void AnswerMachineClient(const std::string& clientName, bool windows,
                         bool is64Bit, const std::string& osText) {
  // Operating-system ids of a 64-bit Windows server (its guest refined by
  // the OS text) and of a 32-bit Windows machine.
  constexpr int kWindows64OSId = 211;
  constexpr int kWindows32OSId = 208;
  constexpr int kMachineClientId = 0x7e000000;
  ZyClientRecord client;
  if (clientName.empty() ||
      PlatformConfig::FindClientByName(clientName, client))
    return;
  std::string name = osText.empty() ? (windows ? "Windows" : "Linux") : osText;
  client.nId = kMachineClientId;
  client.strName = clientName;
  client.nOperatingSystemId =
      windows ? (is64Bit ? kWindows64OSId : kWindows32OSId) : 0;
  client.strOSInfo = name.find(":-") != std::string::npos
                         ? name
                         : name + ":-:-:-" + (is64Bit ? "x64" : "x86");
  PlatformConfig::AddClient(client);
}

Ec2InstanceSizes PlatformInstanceSizes(const std::string& root) {
  return [root](const std::string& type, int64_t& cpus, int64_t& memoryMB) {
    VMInfoStructs::SVMSizeInfo size;
    if (root.empty() || !AmazonInstanceSize(root, type, size)) return false;
    cpus = size.nNumCPUs;
    memoryMB = size.nMemoryMB;
    return true;
  };
}

std::string NativeDescriptionName(VirtualServerInstanceType kind,
                                  const std::string& vmName) {
  const SFormatDriver* format = FormatWrittenFor(kind);
  return format ? NativeFileName(*format, vmName) : std::string();
}

std::vector<std::string> NativeDescriptionNotes(VirtualServerInstanceType kind,
                                                const SVMInfo& info,
                                                const std::string& s3Bucket,
                                                const SNetworkMap& networks) {
  const SFormatDriver* format = FormatWrittenFor(kind);
  if (!format) return {};
  SNativeWriteInput input;
  input.strS3Bucket = s3Bucket;
  input.networks = networks;
  return format->write(info, input).vNotes;
}

IVMInfo* CreateFolderVMInfoFromEnvironment(VirtualServerInstanceType kind) {
  const char* root = std::getenv("ZY_PLATFORM_ROOT");
  if (!root || !*root) return nullptr;
  VMConfigFile::SetPlatformInstanceSizes(PlatformInstanceSizes(root));
  return new FolderVMInfo(kind, root);
}

void UseFolderPlatform(const std::string& root) {
  VMConfigFile::SetPlatformInstanceSizes(PlatformInstanceSizes(root));
  IVMInfo::RegisterDefaultFactory([root](VirtualServerInstanceType kind) {
    return static_cast<IVMInfo*>(new FolderVMInfo(kind, root));
  });
}

namespace {
// A caller that only loads the library (a restore agent) reaches the folder
// platform through ZY_PLATFORM_ROOT; this is the one place that reads it.
const bool kRegisteredFromEnvironment = [] {
  IVMInfo::RegisterBuiltInFactory(CreateFolderVMInfoFromEnvironment);
  return true;
}();
}  // namespace

FolderVMInfo::FolderVMInfo(VirtualServerInstanceType kind, std::string root)
    : kind_(kind), root_(std::move(root)) {}

FolderVMInfo::~FolderVMInfo() { UnlockVM(); }

int FolderVMInfo::Fail(const std::string& text) {
  lastError_ = text;
  return 0;
}

bool FolderVMInfo::Confined(const std::string& path) {
  std::string error;
  if (CheckBeneath(root_, path, error)) return true;
  Fail(error);
  return false;
}

std::string FolderVMInfo::KindFolder() const {
  return Join(root_, PlatformKindName(kind_));
}

std::string FolderVMInfo::VMFolder(const std::string& vmName) const {
  if (!vmFolder_.empty()) return vmFolder_;
  return Join(KindFolder(), vmName);
}

int FolderVMInfo::Initialize(int) {
  if (root_.empty()) return Fail("No platform root folder is configured");
  return 1;
}

int FolderVMInfo::Uninitialize(int) { return 1; }

int FolderVMInfo::Connect(const std::string&, const std::string&,
                          const std::string&) {
  std::error_code ec;
  if (!fs::is_directory(root_, ec))
    return Fail("Platform root [" + root_ + "] is not a folder");
  return 1;
}

int FolderVMInfo::Disconnect() { return 1; }

std::string FolderVMInfo::GetLastErrorText() { return lastError_; }

bool FolderVMInfo::FindVMFolder(const std::string& vmName,
                                const std::string& vmGuid,
                                std::string& folder) {
  if (!vmName.empty()) {
    if (!IsSafeFolderName(vmName)) {
      Fail("Invalid VM name [" + vmName + "]");
      return false;
    }
    folder = VMFolder(vmName);
    if (!Confined(Join(folder, kDescriptionName))) return false;
    if (IsRegularFile(Join(folder, kDescriptionName))) return true;
    Fail("No VM named [" + vmName + "] in [" + KindFolder() + "]");
    return false;
  }
  std::error_code ec;
  if (!Confined(KindFolder())) return false;
  for (fs::directory_iterator it(KindFolder(), ec), end; !ec && it != end;
       it.increment(ec)) {
    std::error_code typeError;
    if (it->symlink_status(typeError).type() != fs::file_type::directory)
      continue;  // a VM is a folder of its own, never a link to one
    std::string candidate = it->path().string();
    std::string description = Join(candidate, kDescriptionName);
    if (!IsRegularFile(description)) continue;
    SVMInfo info;
    if (!VMConfigFile(description).Load(info)) continue;
    std::string guid =
        info.strGUID.empty() ? BaseName(candidate) : info.strGUID;
    if (!vmGuid.empty() && guid == vmGuid) {
      folder = candidate;
      return true;
    }
  }
  Fail("No VM with GUID [" + vmGuid + "] in [" + KindFolder() + "]");
  return false;
}

int FolderVMInfo::GetVMInfo(const std::string& vmName,
                            const std::string& vmGuid, const std::string&, int,
                            int, SVMInfo& info) {
  std::string folder;
  if (!FindVMFolder(vmName, vmGuid, folder)) return 0;
  std::string description = Join(folder, kDescriptionName);
  SVMInfo loaded;
  if (!VMConfigFile(description).Load(loaded))
    return Fail("Cannot read the VM description [" + description + "]");
  if (loaded.strVMName.empty()) loaded.strVMName = BaseName(folder);
  // The mount folder is named after the GUID, so every VM needs one.
  if (loaded.strGUID.empty()) loaded.strGUID = BaseName(folder);
  info = loaded;
  info.vDiskControllers =
      loaded.vDiskControllers;  // the record's copy skips them
  return 1;
}

int FolderVMInfo::GetHostInfo(const std::string& hostName, uint64_t, int,
                              VMInfoStructs::SHostInfo& info) {
  std::string path = Join(KindFolder(), kHostsName);
  nlohmann::json document;
  std::string error;
  if (!Confined(path)) return 0;
  if (!ReadJsonFile(path, document, error)) return Fail(error);
  if (!document.is_object() || !document.contains("hosts") ||
      !document["hosts"].is_array())
    return Fail("Malformed [" + path + "]: no \"hosts\" list");
  for (const auto& host : document["hosts"]) {
    VMInfoStructs::SHostInfo filled;
    if (!FillHost(host, filled))
      return Fail("Malformed [" + path +
                  "]: a host needs a \"name\" and a "
                  "list of \"networks\" names");
    if (hostName.empty() ||
        FXString::CompareNoCase(filled.strHostName, hostName) == 0) {
      info = filled;
      return 1;
    }
  }
  return Fail("No host [" + hostName + "] in [" + path + "]");
}

int FolderVMInfo::GetLocalHostInfo(VMInfoStructs::SHostInfo& info,
                                   uint64_t propertyMask, int option) {
  return GetHostInfo("", propertyMask, option, info);
}

int FolderVMInfo::GetAvailableInstanceTypes(
    const std::string& key, std::vector<VMInfoStructs::SVMSizeInfo>& types, int,
    int) {
  std::string path = Join(KindFolder(), kInstanceTypesName);
  nlohmann::json document;
  std::string error;
  if (!Confined(path)) return 0;
  if (!ReadJsonFile(path, document, error)) return Fail(error);
  if (!document.is_object())
    return Fail("Malformed [" + path + "]: regions must map to lists");
  std::string region = key;
  if (!document.contains(region)) region = key.substr(0, key.find('|'));
  auto list = document.find(region);
  if (list == document.end())
    return Fail("No instance types for [" + key + "] in [" + path + "]");
  if (!list->is_array())
    return Fail("Malformed [" + path + "]: region [" + region + "] is no list");
  std::vector<VMInfoStructs::SVMSizeInfo> offered;
  for (const auto& row : *list) {
    VMInfoStructs::SVMSizeInfo size;
    if (!FillSize(row, size))
      return Fail("Malformed [" + path +
                  "]: an instance type needs \"name\", "
                  "\"cpus\" and \"memoryMB\"");
    offered.push_back(size);
  }
  types = offered;
  return 1;
}

int FolderVMInfo::MountVM(MountCtx& ctx) {
  std::string folder;
  if (!FindVMFolder(ctx.strVMName, ctx.strVMGuid, folder)) return 0;
  const std::string& mount = ctx.strMountPath;
  if (mount.empty()) return Fail("No mount folder given");
  if (!mountFolder_.empty())
    return Fail("A VM is already mounted in [" + mountFolder_ + "]");
  std::error_code ec;
  bool existed = fs::exists(mount, ec);
  if (existed && !fs::is_empty(mount, ec))
    return Fail("Mount folder [" + mount + "] is not empty");
  fs::create_directories(mount, ec);
  if (ec)
    return Fail("Cannot create mount folder [" + mount + "]: " + ec.message());
  std::string link;
  std::vector<std::string> files = FilesOf(folder, &link);
  if (!link.empty())
    return Fail("[" + link +
                "] is a symbolic link; links are not followed "
                "below [" +
                root_ + "]");
  mountFolder_ = mount;
  createdMountFolder_ = !existed;
  for (const std::string& name : files) {
    std::string target = Join(mount, name);
    std::string error;
    // The mount folder is the converter's own, outside the root: the file
    // is opened beneath the root and written beneath the mount folder.
    bool placed =
        CheckBeneath(root_, Join(folder, name), error) &&
        (::link(Join(folder, name).c_str(), target.c_str()) == 0 ||
         CopyFileBeneath(root_, Join(folder, name), mount, target, error));
    if (!placed) {
      std::string text = "Cannot mount [" + name + "] in [" + mount +
                         "]: " + (error.empty() ? std::strerror(errno) : error);
      UnmountVM(ctx);
      return Fail(text);
    }
    mountedFiles_.push_back(target);
  }
  return 1;
}

int FolderVMInfo::UnmountVM(MountCtx& ctx) {
  if (mountFolder_.empty() || ctx.strMountPath != mountFolder_)
    return Fail("Nothing is mounted in [" + ctx.strMountPath + "]");
  std::error_code ec;
  for (const std::string& file : mountedFiles_) fs::remove(file, ec);
  if (createdMountFolder_) fs::remove(mountFolder_, ec);  // only when empty
  mountedFiles_.clear();
  mountFolder_.clear();
  createdMountFolder_ = false;
  return 1;
}

int FolderVMInfo::GetFullMountInfo(
    MountCtx& ctx, std::vector<VMInfoStructs::SMountInfoFull>& info) {
  if (mountFolder_.empty() || ctx.strMountPath != mountFolder_)
    return Fail("Nothing is mounted in [" + ctx.strMountPath + "]");
  SVMInfo description;
  std::string descriptionPath = Join(mountFolder_, kDescriptionName);
  if (IsRegularFile(descriptionPath))
    VMConfigFile(descriptionPath).Load(description);

  VMInfoStructs::SMountInfoFull mounted;
  mounted.strVMName = ctx.strVMName;
  mounted.strVMGuid = ctx.strVMGuid;
  for (const std::string& name : FilesOf(mountFolder_)) {
    SDisk file;
    file.fileName = Join(mountFolder_, name);
    file.strDisplayName = name;
    file.diskIndexName = name;
    DiskType_t format = DT_NONE;
    file.nFileType = FileTypeOf(name, &format);
    if (file.nFileType != VMInfoStructs::kFileTypeOther)
      file.eDiskType = format;
    for (const SDisk& disk : description.vDisks) {
      if (disk.nFileType != VMInfoStructs::kFileTypeDisk ||
          BaseName(disk.fileName) != name)
        continue;
      file.nFileType = VMInfoStructs::kFileTypeDisk;
      file.eDiskType = disk.eDiskType;
      file.i64MaxSizeInBytes = disk.i64MaxSizeInBytes;
    }
    std::error_code ec;
    auto size = fs::file_size(file.fileName, ec);
    if (!ec) {
      file.i64CurrSizeInBytes = static_cast<int64_t>(size);
      if (file.i64MaxSizeInBytes == 0)
        file.i64MaxSizeInBytes = file.i64CurrSizeInBytes;
    }
    mounted.vFiles.push_back(file);
  }
  info.clear();
  info.push_back(mounted);
  return 1;
}

bool FolderVMInfo::CheckDestinationFree(const RestoreCtx& ctx,
                                        std::string& vmName) {
  vmName = DestinationName(ctx);
  if (!IsSafeFolderName(vmName)) {
    Fail("Invalid destination VM name [" + vmName + "]");
    return false;
  }
  if (!Confined(Join(VMFolder(vmName), kDescriptionName))) return false;
  if (Exists(Join(VMFolder(vmName), kDescriptionName))) {
    Fail("A VM named [" + vmName + "] already exists in [" +
         (vmFolder_.empty() ? KindFolder() : vmFolder_) + "]");
    return false;
  }
  return true;
}

std::string FolderVMInfo::LockPath(const std::string& vmName) const {
  if (!vmFolder_.empty()) return Join(vmFolder_, kBuildLockName);
  return Join(KindFolder(), "." + vmName + kLockSuffix);
}

bool FolderVMInfo::LockVM(const std::string& vmName) {
  if (lock_.Held()) return true;
  if (!IsSafeFolderName(vmName))
    return Fail("Invalid destination VM name [" + vmName + "]");
  std::string path = LockPath(vmName);
  if (!Confined(path)) return false;
  std::string error;
  pid_t holder = 0;
  // Another run's cleanup may remove the kind folder it made between our
  // making sure of it and the lock file's creation: then it is made again.
  // A kind folder is removed only when empty, so two runs that both think
  // they made it remove nothing of each other's.
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (vmFolder_.empty()) {
      bool existed = Exists(KindFolder());
      if (!CreateFoldersBeneath(root_, KindFolder(), error)) return Fail(error);
      createdKindFolder_ = createdKindFolder_ || !existed;
    }
    if (lock_.Take(path, holder, error)) return true;
    if (holder > 0 || error != std::strerror(ENOENT) || !vmFolder_.empty())
      break;
  }
  std::string where = vmFolder_.empty() ? KindFolder() : vmFolder_;
  if (holder > 0 || error == "held by another run")
    return Fail("VM [" + vmName + "] in [" + where +
                "] is being restored by another run (pid " +
                std::to_string(holder) + ")");
  return Fail("Cannot lock VM [" + vmName + "] in [" + where + "]: " + error);
}

void FolderVMInfo::UnlockVM() {
  lock_.Release();
  if (createdKindFolder_) ::rmdir(KindFolder().c_str());  // only when empty
  createdKindFolder_ = false;
}

std::vector<std::string> FolderVMInfo::NamesCreatedFor(
    const std::string& vmName) const {
  // WriteWholeFile's temporary names: ".tmp-" and a pid of up to 7 digits.
  const std::string temporary = ".tmp-1234567";
  std::vector<std::string> names = {
      CQiPath::GetBaseName(LockPath(vmName)), vmName,
      std::string(kDescriptionName) + temporary};
  std::string native = NativeDescriptionName(kind_, vmName);
  if (!native.empty()) names.push_back(native + temporary);
  return names;
}

int FolderVMInfo::PrepareRestoreConversion(RestoreCtx& ctx) {
  std::string vmName;
  return CheckDestinationFree(ctx, vmName) ? 1 : 0;
}

bool FolderVMInfo::StartPlatformConversion(RestoreCtx& ctx) {
  return PrepareRestoreConversion(ctx) != 0;
}

int FolderVMInfo::PrepareDestinationVM(RestoreCtx& ctx) {
  std::string vmName;
  if (!LockVM(DestinationName(ctx)) || !CheckDestinationFree(ctx, vmName))
    return 0;
  std::string folder = VMFolder(vmName);
  bool created = ::mkdir(folder.c_str(), 0777) == 0;
  if (!created && errno != EEXIST)
    return Fail("Cannot create VM folder [" + folder +
                "]: " + std::strerror(errno));
  if (!Confined(folder)) return 0;
  createdVMFolder_ = created ? folder : std::string();
  return 1;
}

void FolderVMInfo::RemoveCreatedVMFolder() {
  if (createdVMFolder_.empty()) return;
  std::error_code ec;
  fs::remove_all(createdVMFolder_, ec);
  createdVMFolder_.clear();
}

int FolderVMInfo::ConfigureDestinationVM(RestoreCtx& ctx) {
  std::string vmName = DestinationName(ctx);
  std::string folder = VMFolder(vmName);
  std::error_code ec;
  if (!IsSafeFolderName(vmName) || !fs::is_directory(folder, ec))
    return Fail("No destination VM folder [" + folder + "] prepared");
  for (const std::string& restoreFolder :
       {folder, ctx.strStagingPath, ctx.strDestinationPath})
    if (!restoreFolder.empty() && !Confined(restoreFolder)) {
      RemoveCreatedVMFolder();
      return 0;
    }
  SVMInfo description = ctx.vmInfo;
  description.vDiskControllers = ctx.vmInfo.vDiskControllers;
  description.strVMName = vmName;
  std::vector<std::string> kept = KeepRestoredDisks(ctx, description);
  std::vector<std::string> placed;
  auto undo = [&](const std::string& text) {
    for (const std::string& file : placed) fs::remove(file, ec);
    RemoveCreatedVMFolder();
    return Fail(text);
  };
  for (SDisk& disk : description.vDisks) {
    if (!IsPlacedDisk(disk)) continue;
    std::string from;
    std::string error;
    if (!FindRestoredFile(ctx, disk, folder, from, error)) return undo(error);
    std::string name = BaseName(disk.fileName);
    std::string to = Join(folder, name);
    bool inPlace = from == to ||
                   std::find(placed.begin(), placed.end(), to) != placed.end();
    if (!inPlace) {
      if (!PlaceFile(root_, from, to, error))
        return undo("Cannot place disk [" + name + "] in [" + folder +
                    "]: " + error);
      placed.push_back(to);
    }
    disk.fileName = name;
  }
  // The instance type a cloud destination chose ("AUTO" is no choice).
  if (description.strVMSize.empty() && !ctx.strVMSize.empty() &&
      FXString::CompareNoCase(ctx.strVMSize, "AUTO") != 0)
    description.strVMSize = ctx.strVMSize;
  FillSizesFromFiles(description, folder);
  std::string missing;
  if (!CompleteMachineSize(root_, description, missing))
    return undo("The VM description gives no " + missing + " (instance type [" +
                description.strVMSize + "] is in no instance-type table); "
                "give them in the request's vmInfo");
  std::string descriptionPath = Join(folder, kDescriptionName);
  if (!VMConfigFile(descriptionPath).Save(description)) {
    placed.push_back(descriptionPath);
    return undo("Cannot write the VM description [" + descriptionPath + "]");
  }
  placed.push_back(descriptionPath);
  SNativeWriteInput input;
  input.strS3Bucket = ctx.strS3Bucket;
  if (!WriteNativeDescription(vmName, description, input, false))
    return undo(lastError_);
  if (!kept.empty())
    ctx.strResultDetail =
        "restored disk images kept in the VM folder: " + JoinNames(kept);
  return 1;
}

std::vector<std::string> FolderVMInfo::KeepRestoredDisks(
    const RestoreCtx& ctx, SVMInfo& description) const {
  std::vector<std::string> kept;
  if (!KeepsRestoredDisks(kind_)) return kept;
  for (const SDisk& disk : description.vDisks)
    if (IsPlacedDisk(disk)) return kept;
  for (const SDisk& file : ctx.vDisks) {
    if (!IsPlacedDisk(file)) continue;
    description.vDisks.push_back(file);
    kept.push_back(BaseName(file.fileName));
  }
  return kept;
}

bool FolderVMInfo::WriteNativeDescription(const std::string& vmName,
                                          const SVMInfo& description,
                                          SNativeWriteInput input,
                                          bool replace) {
  const SFormatDriver* format = FormatWrittenFor(kind_);
  if (!format) return true;
  std::error_code ec;
  input.strDiskFolder = fs::absolute(VMFolder(vmName), ec).string();
  input.networks = networks_;
  SNativeDescription native = format->write(description, input);
  if (!native.error.empty()) return Fail(native.error);
  std::string path =
      Join(VMFolder(vmName), NativeDescriptionName(kind_, vmName));
  int err = WriteFileAtomically(
      path, native.text, replace ? ExistingFile::kReplace : ExistingFile::kKeep);
  if (err)
    return Fail("Cannot write the native VM description [" + path +
                "]: " + std::strerror(err));
  return true;
}

int FolderVMInfo::CompleteDestinationVM(RestoreCtx& ctx) {
  std::string vmName = DestinationName(ctx);
  if (!IsSafeFolderName(vmName) ||
      !IsRegularFile(Join(VMFolder(vmName), kDescriptionName)))
    return Fail("Destination VM [" + vmName + "] was not configured");
  createdVMFolder_.clear();  // the VM stands; it is no longer ours to remove
  ctx.strVMId = PlatformKindName(kind_) + "/" + vmName;
  ctx.bResultFlag = true;
  ctx.strResultInfo = VMFolder(vmName);
  return 1;
}

bool FolderVMInfo::FinalizeConvertedVM(RestoreCtx& ctx) {
  return PrepareDestinationVM(ctx) && ConfigureDestinationVM(ctx) &&
         CompleteDestinationVM(ctx);
}

int FolderVMInfo::RunVMOperation(OperationCtx&) { return 1; }

bool FolderVMInfo::UpdateVMDescription(const std::string& vmName,
                                       const SVMInfo& info) {
  if (!IsSafeFolderName(vmName))
    return Fail("Invalid VM name [" + vmName + "]");
  std::string path = Join(VMFolder(vmName), kDescriptionName);
  if (!Confined(path)) return false;
  if (!IsRegularFile(path)) return Fail("No VM named [" + vmName + "]");
  SVMInfo description = info;
  description.vDiskControllers = info.vDiskControllers;
  description.strVMName = vmName;
  for (SDisk& disk : description.vDisks)
    if (IsPlacedDisk(disk)) disk.fileName = BaseName(disk.fileName);
  FillSizesFromFiles(description, VMFolder(vmName));
  std::string missing;
  if (!CompleteMachineSize(root_, description, missing))
    return Fail("The VM description gives no " + missing);
  if (!VMConfigFile(path).Save(description))
    return Fail("Cannot write the VM description [" + path + "]");
  // The native description follows the adjusted description; it is the
  // VM's own file, written by ConfigureDestinationVM.
  return WriteNativeDescription(vmName, description, SNativeWriteInput(), true);
}
