//===- FolderPlatformTest.cpp - The built-in folder platform --------------===//
#include "platform/folder/FolderVMInfo.h"
#include "formats/zyf/VMConfigFile.h"
#include "support/Golden.h"
#include "support/RecordingVMInfo.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using VMInfoStructs::SDisk;
using VMInfoStructs::SVMInfo;

namespace {

// Sets ZY_PLATFORM_ROOT for one test and restores what was there.
class ScopedPlatformRoot {
 public:
  explicit ScopedPlatformRoot(const char* root)
      : had_(std::getenv("ZY_PLATFORM_ROOT") != nullptr),
        old_(had_ ? std::getenv("ZY_PLATFORM_ROOT") : "") {
    Set(root);
  }
  ~ScopedPlatformRoot() { Set(had_ ? old_.c_str() : nullptr); }

 private:
  static void Set(const char* root) {
    if (root) ::setenv("ZY_PLATFORM_ROOT", root, 1);
    if (!root) ::unsetenv("ZY_PLATFORM_ROOT");
  }
  bool had_;
  std::string old_;
};

SDisk DiskNamed(const std::string& fileName) {
  SDisk disk;
  disk.fileName = fileName;
  disk.strDisplayName = fileName;
  disk.i64MaxSizeInBytes = 4096;
  return disk;
}

// A VMware VM "web01" with its description, a configuration file, a disk
// with an extension and one (a RHEV-style disk) without.
class FolderPlatformVM : public ::testing::Test {
 protected:
  void SetUp() override {
    SVMInfo info;
    info.strVMName = "web01";
    info.strGUID = "guid-web01";
    info.i64NumCPUs = 2;
    info.vDisks.push_back(DiskNamed("web01.vmdk"));
    info.vDisks.push_back(DiskNamed("web01_Disk2"));
    vmFolder = dir.File("vmware/web01");
    fs::create_directories(vmFolder);
    ASSERT_TRUE(VMConfigFile(vmFolder + "/VMConfig.zyf").Save(info));
    dir.Write("vmware/web01/web01.vmx", "displayName = \"web01\"\n");
    dir.Write("vmware/web01/web01.vmdk", std::string(4096, 'a'));
    dir.Write("vmware/web01/web01_Disk2", std::string(4096, 'b'));
    dir.Write("vmware/web01/web01.nvram", "x");
  }

  TempDir dir;
  std::string vmFolder;
  FolderVMInfo vmware{VS_VMWARE, dir.path()};
};

// A restore request whose disk has been written to the staging folder.
RestoreCtx StagedRequest(const TempDir& dir, const std::string& vmName) {
  RestoreCtx request;
  request.strVMName = vmName;
  request.strStagingPath = dir.File("staging");
  dir.Write("staging/" + vmName + ".vhd", std::string(8192, 'd'));
  request.vmInfo.strVMName = vmName;
  request.vmInfo.i64MemoryMB = 2048;
  request.vmInfo.i64NumCPUs = 2;
  SDisk disk = DiskNamed(vmName + ".vhd");
  disk.eDiskType = DT_HYPERV_VHD;
  disk.i64MaxSizeInBytes = 0;  // as a VMware configuration file leaves it
  request.vmInfo.vDisks.push_back(disk);
  SDisk cdrom;
  cdrom.nDeviceType = 2;  // no file: stays in the description only
  request.vmInfo.vDisks.push_back(cdrom);
  return request;
}

}  // namespace

TEST(FolderPlatform, CreateObjectServesTheFolderPlatformOnlyWhenARootIsSet) {
  TempDir dir;
  {
    ScopedPlatformRoot unset(nullptr);
    EXPECT_EQ(IVMInfo::CreateObject(VS_HYPERV), nullptr);
  }
  {
    ScopedPlatformRoot empty("");
    EXPECT_EQ(IVMInfo::CreateObject(VS_HYPERV), nullptr);
  }
  ScopedPlatformRoot root(dir.path().c_str());
  std::unique_ptr<IVMInfo> folder(IVMInfo::CreateObject(VS_HYPERV));
  auto* platform = dynamic_cast<FolderVMInfo*>(folder.get());
  ASSERT_NE(platform, nullptr);
  EXPECT_EQ(platform->KindFolder(), dir.File("hyperv"));
  // A registered factory still comes first.
  ScopedFakeVMInfoFactory fake;
  std::unique_ptr<IVMInfo> registered(IVMInfo::CreateObject(VS_HYPERV));
  EXPECT_EQ(dynamic_cast<FolderVMInfo*>(registered.get()), nullptr);
}

TEST_F(FolderPlatformVM, ReadsADescriptionByNameOrByGuid) {
  SVMInfo byName, byGuid;
  ASSERT_EQ(vmware.GetVMInfo("web01", "", "", 0, 0, byName), 1);
  EXPECT_EQ(byName.strGUID, "guid-web01");
  EXPECT_EQ(byName.i64NumCPUs, 2);
  ASSERT_EQ(vmware.GetVMInfo("", "guid-web01", "", 0, 0, byGuid), 1);
  EXPECT_EQ(byGuid.strVMName, "web01");

  SVMInfo untouched;
  untouched.strVMName = "kept";
  EXPECT_EQ(vmware.GetVMInfo("db01", "", "", 0, 0, untouched), 0);
  EXPECT_EQ(untouched.strVMName, "kept");
  EXPECT_NE(vmware.GetLastErrorText().find("db01"), std::string::npos);
  EXPECT_EQ(vmware.GetVMInfo("../vmware/web01", "", "", 0, 0, untouched), 0);
}

TEST_F(FolderPlatformVM,
       MountPresentsEveryFileByTypeAndUnmountLeavesTheVMAsItWas) {
  MountCtx mount;
  mount.strVMName = "web01";
  mount.strMountPath = dir.File("mnt/guid-web01");
  ASSERT_EQ(vmware.MountVM(mount), 1) << vmware.GetLastErrorText();
  std::vector<VMInfoStructs::SMountInfoFull> info;
  ASSERT_EQ(vmware.GetFullMountInfo(mount, info), 1);
  ASSERT_EQ(info.size(), 1u);

  struct Row {
    int line;
    const char* name;
    int fileType;
  } rows[] = {
      {__LINE__, "VMConfig.zyf", 0}, {__LINE__, "web01.nvram", 2},
      {__LINE__, "web01.vmdk", 1},   {__LINE__, "web01.vmx", 0},
      {__LINE__, "web01_Disk2", 1},  // a disk by the description
  };
  ASSERT_EQ(info[0].vFiles.size(), std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].line);
    const SDisk& file = info[0].vFiles[i];
    EXPECT_EQ(file.strDisplayName, rows[i].name);
    EXPECT_EQ(file.fileName, mount.strMountPath + "/" + rows[i].name);
    EXPECT_EQ(file.nFileType, rows[i].fileType);
    EXPECT_TRUE(fs::exists(file.fileName));
  }
  EXPECT_EQ(info[0].vFiles[2].i64CurrSizeInBytes, 4096);

  vmware.UnmountVM(mount);
  EXPECT_FALSE(fs::exists(mount.strMountPath));
  EXPECT_TRUE(fs::exists(dir.File("mnt")));
  EXPECT_EQ(TempDir::Read(vmFolder + "/web01.vmdk"), std::string(4096, 'a'));
  EXPECT_EQ(
      std::distance(fs::directory_iterator(vmFolder), fs::directory_iterator()),
      5);
}

TEST_F(FolderPlatformVM,
       MountIntoAFolderThatHoldsFilesIsRefusedAndTheFilesStay) {
  MountCtx mount;
  mount.strVMName = "web01";
  mount.strMountPath = dir.File("busy");
  dir.Write("busy/web01.vmdk", "someone else's");
  EXPECT_EQ(vmware.MountVM(mount), 0);
  EXPECT_NE(vmware.GetLastErrorText().find("not empty"), std::string::npos);
  EXPECT_EQ(TempDir::Read(dir.File("busy/web01.vmdk")), "someone else's");
  // Unmounting what was never mounted removes nothing.
  vmware.UnmountVM(mount);
  EXPECT_TRUE(fs::exists(dir.File("busy/web01.vmdk")));
}

TEST(FolderPlatform, HostsAndTheirNetworksComeFromHostsJson) {
  TempDir dir;
  dir.Write("hyperv/hosts.json",
            R"({"hosts": [{"name": "hv01", "networks": ["LAN", "DMZ"]},
                          {"name": "hv02", "networks": ["Backup"]}]})");
  FolderVMInfo hyperv(VS_HYPERV, dir.path());
  VMInfoStructs::SHostInfo local, named;
  ASSERT_EQ(hyperv.GetLocalHostInfo(local, VM_PROP_HOST_NW_LIST, 0), 1);
  EXPECT_EQ(local.strHostName, "hv01");
  ASSERT_EQ(local.vNetworks.size(), 2u);
  EXPECT_EQ(local.vNetworks[1].strName, "DMZ");
  ASSERT_EQ(hyperv.GetHostInfo("HV02", VM_PROP_HOST_NW_LIST, 0, named), 1);
  ASSERT_EQ(named.vNetworks.size(), 1u);
  EXPECT_EQ(named.vNetworks[0].strName, "Backup");
  EXPECT_EQ(hyperv.GetHostInfo("hv03", VM_PROP_HOST_NW_LIST, 0, named), 0);
}

// A missing hosts.json: InputFileTest.
TEST(FolderPlatform, MalformedOrMissingPlatformFilesAreFailuresWithAReason) {
  for (const auto& c : golden::Table("platform/bad-hosts")) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(c.fields.size(), 2u);
    TempDir dir;
    dir.Write("hyperv/hosts.json", c.fields[0]);
    FolderVMInfo hyperv(VS_HYPERV, dir.path());
    VMInfoStructs::SHostInfo info;
    info.strHostName = "kept";
    EXPECT_EQ(hyperv.GetLocalHostInfo(info, VM_PROP_HOST_NW_LIST, 0), 0);
    EXPECT_EQ(info.strHostName, "kept");
    EXPECT_NE(hyperv.GetLastErrorText().find(c.fields[1]), std::string::npos)
        << hyperv.GetLastErrorText();
  }
}

TEST(FolderPlatform, InstanceTypesAreListedByRegionAlsoForARegionAndHostKey) {
  TempDir dir;
  dir.Write("1401/instance-types.json",
            R"({"r1": [{"name": "s.small", "cpus": 1, "memoryMB": 1024},
                       {"name": "s.large", "cpus": 4, "memoryMB": 8192}],
                "r1|h2": [{"name": "h.only", "cpus": 2, "memoryMB": 2048}],
                "r2": [{"name": "broken", "cpus": "two", "memoryMB": 1}]})");
  FolderVMInfo cloud(VS_KIND_1401, dir.path());
  struct Row {
    int line;
    const char* key;
    int result;
    const char* first;
  } rows[] = {
      {__LINE__, "r1", 1, "s.small"},   {__LINE__, "r1|h1", 1, "s.small"},
      {__LINE__, "r1|h2", 1, "h.only"}, {__LINE__, "r3", 0, ""},
      {__LINE__, "r2", 0, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    std::vector<VMInfoStructs::SVMSizeInfo> types;
    ASSERT_EQ(cloud.GetAvailableInstanceTypes(row.key, types, 0, 0),
              row.result);
    if (!row.result) continue;
    ASSERT_FALSE(types.empty());
    EXPECT_EQ(types[0].strInstanceType, row.first);
  }
  std::vector<VMInfoStructs::SVMSizeInfo> types;
  ASSERT_EQ(cloud.GetAvailableInstanceTypes("r1", types, 0, 0), 1);
  EXPECT_EQ(types[1].nNumCPUs, 4);
  EXPECT_EQ(types[1].nMemoryMB, 8192);
}

TEST(FolderPlatform, FinalisationBuildsTheDestinationVMFromTheRestoredDisks) {
  TempDir dir;
  FolderVMInfo hyperv(VS_HYPERV, dir.path());
  RestoreCtx request = StagedRequest(dir, "web01");
  request.strVMSize = "Standard_A2";
  ASSERT_EQ(hyperv.PrepareRestoreConversion(request), 1);
  ASSERT_EQ(hyperv.PrepareDestinationVM(request), 1);
  ASSERT_EQ(hyperv.ConfigureDestinationVM(request), 1)
      << hyperv.GetLastErrorText();
  ASSERT_EQ(hyperv.CompleteDestinationVM(request), 1);

  std::string vm = dir.File("hyperv/web01");
  EXPECT_EQ(request.strVMId, "hyperv/web01");
  EXPECT_EQ(request.strResultInfo, vm);
  EXPECT_EQ(TempDir::Read(vm + "/web01.vhd"), std::string(8192, 'd'));
  EXPECT_TRUE(fs::exists(request.strStagingPath + "/web01.vhd"));
  SVMInfo written;
  ASSERT_TRUE(VMConfigFile(vm + "/VMConfig.zyf").Load(written));
  EXPECT_EQ(written.strVMName, "web01");
  EXPECT_EQ(written.i64MemoryMB, 2048);
  ASSERT_EQ(written.vDisks.size(), 2u);
  EXPECT_EQ(written.vDisks[0].fileName, "web01.vhd");
  EXPECT_EQ(written.vDisks[0].i64MaxSizeInBytes, 8192);
  EXPECT_EQ(written.vDisks[1].i64MaxSizeInBytes, 0);  // the CD-ROM has no file
  EXPECT_EQ(written.strVMSize, "Standard_A2");
  // A second restore under this name: ARestoreOntoAnExistingVMIsRefused (tool).
}

TEST(FolderPlatform,
     AFailedFinalisationRemovesTheVMFolderItMadeAndKeepsTheRestoredFiles) {
  struct Row {
    int line;
    const char* disk;  // a disk the description names that was not restored
  } rows[] = {
      {__LINE__, "missing.vhd"},
      // A file outside the restore folders is never taken, whatever names it.
      {__LINE__, "elsewhere/secret.vhd"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    TempDir dir;
    dir.Write("elsewhere/secret.vhd", "not a restored disk");
    FolderVMInfo amazon(VS_AMAZON, dir.path());
    RestoreCtx request = StagedRequest(dir, "web01");
    request.vmInfo.vDisks.push_back(DiskNamed(dir.File(row.disk)));
    EXPECT_FALSE(amazon.FinalizeConvertedVM(request));
    EXPECT_NE(amazon.GetLastErrorText().find("not found"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.File("amazon/web01")));
    EXPECT_TRUE(fs::exists(dir.File("staging/web01.vhd")));
    EXPECT_TRUE(request.strVMId.empty());
  }
}

TEST(FolderPlatform, DestinationNamesThatWouldLeaveTheKindFolderAreRefused) {
  for (const char* name : {"", ".", "..", "a/b", "..\\up"}) {
    SCOPED_TRACE(name);
    TempDir dir;
    FolderVMInfo vmware(VS_VMWARE, dir.path());
    RestoreCtx request;
    request.strVMName = name;
    EXPECT_EQ(vmware.PrepareRestoreConversion(request), 0);
    EXPECT_EQ(vmware.PrepareDestinationVM(request), 0);
    EXPECT_FALSE(vmware.FinalizeConvertedVM(request));
    EXPECT_NE(vmware.GetLastErrorText().find("Invalid destination VM name"),
              std::string::npos);
  }
}
