//===- CompleteConversionTest.cpp - Completing a restore-time conversion --===//
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "converter/ZyVMConverter.h"
#include "formats/zyf/VMConfigFile.h"
#include "support/RecordingVMInfo.h"
#include "support/TempDir.h"

using VMInfoStructs::SDisk;

namespace {

SDisk RestoredDisk(const std::string& file, const std::string& matchName = "") {
  SDisk disk;
  disk.nFileType = 1;
  disk.fileName = file;
  disk.diskIndexName = file;
  disk.strDisplayName = file;
  disk.strMatchName = matchName;
  return disk;
}

SDisk RestoredConfig(const std::string& file) {
  SDisk config = RestoredDisk(file);
  config.nFileType = 0;
  return config;
}

SDisk ConfigDisk(const std::string& file, const std::string& controller,
                 int bus, int slot, int deviceType = 1) {
  SDisk disk;
  disk.fileName = file;
  disk.strDisplayName = file;
  disk.strControllerType = controller;
  disk.nBus = bus;
  disk.nSlot = slot;
  disk.nDeviceType = deviceType;
  return disk;
}

std::vector<std::string> FileNames(const std::vector<SDisk>& disks) {
  std::vector<std::string> names;
  for (const auto& disk : disks) names.push_back(disk.fileName);
  return names;
}

class CompleteConversion : public testing::Test {
 protected:
  CompleteConversion() {
    request.strVMName = "web-restored";
    request.strSourceVMName = "web";
    request.strSourceVMGUID = "4211-aa";
    request.strStagingPath = dir.File("staging");
    request.strDestinationPath = dir.File("dest");
  }

  // Each call on a fresh converter.
  CQiError Complete(VirtualServerInstanceType source,
                    VirtualServerInstanceType destination, bool lend = true) {
    return ZyVMConverter().CompleteVMConversion(
        source, destination, lend ? &destinationVM : nullptr, request);
  }

  // Writes the generalised description into the staging folder and lists it
  // among the restored files.
  void RestoreGeneralizedConfig(const VMInfoStructs::SVMInfo& description) {
    dir.Write("staging/keep", "");
    ASSERT_TRUE(
        VMConfigFile(dir.File("staging/VMConfig.zyf")).Save(description));
    request.vDisks.insert(request.vDisks.begin(),
                          RestoredConfig("VMConfig.zyf"));
  }

  TempDir dir;
  ScopedLogCapture capture;
  std::shared_ptr<VMInfoScript> script = std::make_shared<VMInfoScript>();
  RecordingVMInfo destinationVM{script};
  RestoreCtx request;
};

}  // namespace

TEST_F(CompleteConversion, HyperVFromVMwareFindsDisksByNameParentAndCatalog) {
  VMInfoStructs::SVMInfo description;
  description.strVMName = "web";
  description.vDisks = {
      ConfigDisk("web.vmdk", "scsi", 0, 0),
      ConfigDisk("web_1-000002.vmdk", "scsi", 0, 1),
      ConfigDisk("data.vmdk", "scsi", 0, 2),
      ConfigDisk("gone.vmdk", "scsi", 0, 3),
      ConfigDisk("ubuntu.iso", "ide", 1, 0, 2),
  };
  request.vDisks = {RestoredDisk("W.vhd", "web.vmdk"),
                    RestoredDisk("W_1.vhd", "web_1.vmdk"),
                    RestoredDisk("W_2.vhd", "scsi0-2-data.vmdk")};
  RestoreGeneralizedConfig(description);
  dir.Write("staging/catalog",
            "disk.scsi0:2.diskname = \"scsi0-2-data.vmdk\"\n"
            "disk.scsi0:3.diskname = \"scsi0-3-gone.vmdk\"\n");

  Complete(VS_VMWARE, VS_HYPERV);

  const auto& disks = request.vmInfo.vDisks;
  ASSERT_EQ(FileNames(disks),
            (std::vector<std::string>{"W.vhd", "W_1.vhd", "W_2.vhd", ""}));
  // The CD-ROM drive stays without its media.
  EXPECT_EQ(disks[3].nDeviceType, 2);
}

TEST_F(CompleteConversion, HyperVFromVMwareStopsWhenTheCatalogIsMissing) {
  VMInfoStructs::SVMInfo description;
  description.vDisks = {ConfigDisk("data.vmdk", "scsi", 0, 2)};
  request.vDisks = {RestoredDisk("W.vhd", "scsi0-2-data.vmdk")};
  RestoreGeneralizedConfig(description);
  request.vmInfo.strVMName = "untouched";

  CQiError result = Complete(VS_VMWARE, VS_HYPERV);

  EXPECT_TRUE(FXErrorUtil::IsVS(result, 1));
  EXPECT_TRUE(capture.sink().ContainsAtLevel(
      "Failed to get Disk name from catalog file", -1));
  EXPECT_TRUE(script->calls.empty());
  EXPECT_EQ(request.vmInfo.strVMName, "untouched");
}

TEST_F(CompleteConversion,
       HyperVFromOtherSourcesDropsDisksThatWereNotRestored) {
  VMInfoStructs::SVMInfo description;
  description.vDisks = {ConfigDisk("web.vmdk", "scsi", 0, 0),
                        ConfigDisk("web_1-000001.vmdk", "scsi", 0, 1),
                        ConfigDisk("cd.iso", "ide", 1, 0, 2),
                        ConfigDisk("", "ide", 1, 1, 2)};
  request.vDisks = {RestoredDisk("W.vhd", "web.vmdk"),
                    RestoredDisk("W_1.vhd", "web_1.vmdk"),
                    RestoredDisk("W_2.vhd", "")};
  RestoreGeneralizedConfig(description);

  Complete(VS_RHEV, VS_HYPERV);

  // Delta-disk parents and the catalog belong to VMware backups only; an
  // empty drive never takes a restored disk that has no match name.  Hyper-V
  // keeps CD-ROM drives: both stay, without a medium.
  EXPECT_EQ(FileNames(request.vmInfo.vDisks),
            (std::vector<std::string>{"W.vhd", "", ""}));
}

TEST_F(CompleteConversion, HyperVFromAzureTakesVhdFilesWhateverTheirType) {
  const VirtualServerInstanceType sources[] = {VS_AZURE_1, VS_AZURE_2};
  for (auto source : sources) {
    SCOPED_TRACE(source);
    request.vDisks = {RestoredConfig("a.VHD"), RestoredDisk("b.vhdx"),
                      RestoredDisk("c.vmdk"), RestoredDisk("d.vhd.bak"),
                      RestoredDisk("e.Vhdx")};
    Complete(source, VS_HYPERV);
    EXPECT_EQ(FileNames(request.vmInfo.vDisks),
              (std::vector<std::string>{"a.VHD", "b.vhdx", "e.Vhdx"}));
  }
}

TEST_F(CompleteConversion,
       VMwareToHyperVWithRestoreType4LeavesControllersOpen) {
  request.nRestoreType = 4;
  request.vDisks = {RestoredDisk("W.vhd"), RestoredConfig("web.vmx"),
                    RestoredDisk("W_1.vhd")};
  request.vDisks[0].strControllerType = "scsi";
  request.vDisks[0].nSlot = 3;
  request.vDisks[2].strControllerType = "ide";

  Complete(VS_VMWARE, VS_HYPERV);

  const auto& disks = request.vmInfo.vDisks;
  ASSERT_EQ(FileNames(disks), (std::vector<std::string>{"W.vhd", "W_1.vhd"}));
  for (const auto& disk : disks) EXPECT_EQ(disk.strControllerType, "");
  EXPECT_EQ(disks[0].nSlot, 3);
}

TEST_F(CompleteConversion, DiskListPerDestinationKind) {
  struct Row {
    int line;
    VirtualServerInstanceType destination;
    bool takesDisks;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, VS_VMWARE, true},
      {__LINE__, VS_KIND_1301, false},
      {__LINE__, static_cast<VirtualServerInstanceType>(9999), false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    request.vDisks = {RestoredDisk("a.vmdk"), RestoredConfig("web.cfg"),
                      RestoredDisk("b.vmdk")};
    request.vDisks[1].nSlot = 7;
    request.vDisks[2].nSlot = 9;
    Complete(VS_KIND_801, row.destination);
    const auto& disks = request.vmInfo.vDisks;
    if (!row.takesDisks) {
      EXPECT_TRUE(disks.empty());
      continue;
    }
    // Slots count the disks only; the renumbering is kept in the request's
    // own list too.
    ASSERT_EQ(FileNames(disks), (std::vector<std::string>{"a.vmdk", "b.vmdk"}));
    EXPECT_EQ(disks[1].nSlot, 1);
    EXPECT_EQ(request.vDisks[1].nSlot, 7);
    EXPECT_EQ(request.vDisks[2].nSlot, 1);
  }
}

TEST_F(CompleteConversion, CloudDestinationsMarkTheFirstRestoredDiskAsOSDisk) {
  struct Row {
    int line;
    VirtualServerInstanceType destination;
    bool markOSDisk;
    int restoreType;
    bool marked;
  };
  const Row rows[] = {
      {__LINE__, VS_AZURE_1, true, 4, true},
      {__LINE__, VS_AMAZON, true, 4, true},
      {__LINE__, VS_AZURE_1, false, 4, false},
      {__LINE__, VS_AZURE_1, true, 0, false},
      {__LINE__, VS_VMWARE, true, 4, false},
  };
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    ScopedLogCapture capture;
    request.bMarkOSDisk = row.markOSDisk;
    request.nRestoreType = row.restoreType;
    request.vDisks = {RestoredConfig("web.cfg"), RestoredDisk("a.vhd"),
                      RestoredDisk("b.vhd")};
    Complete(VS_KIND_801, row.destination);
    EXPECT_FALSE(request.vDisks[0].isOSDisk);
    EXPECT_EQ(request.vDisks[1].isOSDisk, row.marked);
    EXPECT_FALSE(request.vDisks[2].isOSDisk);
    EXPECT_EQ(capture.sink().Contains(LogKind::Debug, "OS Disk is set."),
              row.marked);
  }
}

TEST_F(CompleteConversion, AMissingGeneralizedConfigStopsTheRestore) {
  request.vDisks = {RestoredDisk("a.vmdk"), RestoredConfig("VMConfig.zyf")};
  request.vDisks[1].strDisplayName = "vmconfig.ZYF";
  request.vmInfo.strVMName = "untouched";

  CQiError result = Complete(VS_VMWARE, VS_VMWARE);

  EXPECT_TRUE(FXErrorUtil::IsVS(result, 2));
  EXPECT_EQ(result.GetMessage(), "Failed to convert VM configuration file");
  EXPECT_TRUE(capture.sink().ContainsAtLevel(
      "Converting Generalized config file [vmconfig.ZYF] [" +
          dir.File("staging/VMConfig.zyf") + "]",
      0));
  EXPECT_TRUE(
      capture.sink().ContainsAtLevel("Failed to convert config file", -1));
  EXPECT_TRUE(script->calls.empty());
  EXPECT_EQ(request.vmInfo.strVMName, "untouched");
}

TEST_F(CompleteConversion, GeneralizedConfigIsReadBeforeTheOtherFiles) {
  VMInfoStructs::SVMInfo description;
  description.strVMName = "web";
  description.strGuestOS = "ubuntu64Guest";
  description.i64MemoryMB = 2048;
  description.i64NumCPUs = 2;
  // A hypervisor file listed before the generalised one adds to what the
  // generalised description holds.
  dir.Write("staging/web.vmx",
            "displayName = \"web\"\nguestOS = \"windows9-64\"\n"
            "memSize = \"2048\"\nnumvcpus = \"2\"\n");
  request.vDisks = {RestoredConfig("web.vmx"), RestoredDisk("a.vmdk")};
  RestoreGeneralizedConfig(description);
  std::swap(request.vDisks[0], request.vDisks[1]);
  request.strVMName = "";

  Complete(VS_VMWARE, VS_VMWARE);

  EXPECT_TRUE(capture.sink().ContainsAtLevel("Name: web\t\tGuid: \n", 1));
  EXPECT_TRUE(capture.sink().ContainsAtLevel("Memory: 2048    CPUs: 2\n", 1));
  EXPECT_TRUE(capture.sink().ContainsAtLevel(
      "Converted config file [web.vmx] [" + dir.File("staging/web.vmx") + "]",
      0));
  EXPECT_EQ(request.vmInfo.strVMName, "web");
  EXPECT_EQ(request.vmInfo.strGuestOS, "windows9-64");
}

TEST_F(CompleteConversion, OracleVMDisksTakeTheOSMarkOfTheirConfigurationDisk) {
  // The domain file boots from its first disk.
  dir.Write("staging/vm.cfg",
            "name = 'db1'\nmemory = 4096\nvcpus = 2\n"
            "disk = ['file:/OVS/VirtualDisks/b1.img,xvda,w',\n"
            "        'file:/OVS/VirtualDisks/b2.img,xvdb,w']\n");
  request.vDisks = {RestoredConfig("vm.cfg"), RestoredDisk("b2.img"),
                    RestoredDisk("B1.img"), RestoredDisk("b1.img")};
  request.vDisks[1].isOSDisk = true;

  Complete(VS_ORACLE_VM, VS_VMWARE);

  const auto& disks = request.vmInfo.vDisks;
  ASSERT_EQ(FileNames(disks),
            (std::vector<std::string>{"b2.img", "B1.img", "b1.img"}));
  EXPECT_FALSE(disks[0].isOSDisk);
  EXPECT_FALSE(disks[1].isOSDisk);  // names match with case
  EXPECT_TRUE(disks[2].isOSDisk);
  EXPECT_TRUE(request.vDisks[3].isOSDisk);
}

TEST_F(CompleteConversion, RequestedNetworkCardsReplaceTheConfiguredOnes) {
  struct Row {
    int line;
    VirtualServerInstanceType destination;
    bool requested;
  };
  const Row rows[] = {{__LINE__, VS_AZURE_3, true},
                      {__LINE__, VS_AZURE_1, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    request.vNetworkCards.resize(2);
    request.vNetworkCards[0].strNetworkName = "prod";
    request.vNetworkCards[1].strNetworkName = "backup";
    request.vmInfo.vNetworkCards.assign(1, {});
    Complete(VS_AZURE_1, row.destination);
    const auto& cards = request.vmInfo.vNetworkCards;
    if (!row.requested) {
      EXPECT_TRUE(cards.empty());
      continue;
    }
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_EQ(cards[1].strNetworkName, "backup");
  }
}

TEST_F(CompleteConversion, SuccessHandsTheResultsBack) {
  request.vmInfo.nClientId = 17;
  request.vmInfo.strGuestOS = "from the request";
  request.vDisks = {RestoredDisk("a.vmdk")};
  script->onRestoreCall = [](const std::string& op, RestoreCtx& ctx) {
    if (op != "PrepareDestinationVM") return;
    ctx.strVMId = "vm-42";
    ctx.strResultDetail = "detail";
    ctx.vFailures.resize(1);
  };

  CQiError result = Complete(VS_AZURE_1, VS_VMWARE);

  EXPECT_FALSE(result.IsError());
  EXPECT_TRUE(capture.sink().ContainsAtLevel(
      "VM is converted successfully, VM name [web-restored] Vm Id [vm-42]", 0));
  EXPECT_EQ(request.strResultDetail, "detail");
  EXPECT_EQ(request.vFailures.size(), 1u);
  // Without configuration files the description holds only what the request
  // gives it: its client, its guest OS.
  EXPECT_EQ(request.vmInfo.strDestinationPath, dir.File("dest"));
  EXPECT_EQ(request.vmInfo.nClientId, 17);
  EXPECT_EQ(request.vmInfo.strGuestOS, "from the request");
}

TEST_F(CompleteConversion, FailedFinalisationReportsThePlatformText) {
  struct Row {
    int line;
    bool withObject;
    const char* lastError;
    const char* message;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, true, "Datastore [ds1] is full", "Datastore [ds1] is full"},
      {__LINE__, true, "", ""},
      {__LINE__, false, "not asked", ""},
  };
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    ScopedLogCapture capture;
    script->lastErrorText = row.lastError;
    script->results["PrepareDestinationVM"] = 0;
    script->onRestoreCall = [](const std::string&, RestoreCtx& ctx) {
      ctx.strVMId = "vm-9";
    };
    request.strVMId.clear();
    request.vmInfo.strVMName.clear();
    CQiError result = Complete(VS_VMWARE, VS_VMWARE, row.withObject);
    EXPECT_TRUE(FXErrorUtil::IsVS(result, 1));
    EXPECT_EQ(result.GetMessage(), row.message);
    EXPECT_TRUE(capture.sink().ContainsAtLevel(
        "Failed to convert VM [web], GUID [4211-aa]", -1));
    // The results are handed back all the same.
    EXPECT_EQ(request.vmInfo.strVMName, "web-restored");
    EXPECT_EQ(request.strVMId, row.withObject ? "vm-9" : "");
  }
}
