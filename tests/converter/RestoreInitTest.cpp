//===- RestoreInitTest.cpp - Conversion at restore ------------------------===//
#include "converter/ZyVMConverter.h"
#include "platform/readers/VMConfigFile.h"
#include "support/RecordingVMInfo.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using VMInfoStructs::SDisk;

namespace {

constexpr int64_t kTiB = 1099511627776LL;

SDisk Entry(const char* name, int fileType, int deviceType, int64_t size = 0) {
  SDisk disk;
  disk.strDisplayName = name;
  disk.fileName = name;
  disk.nFileType = fileType;
  disk.nDeviceType = deviceType;
  disk.i64MaxSizeInBytes = size;
  return disk;
}

// A request with a configuration file, a disk and a CD-ROM drive, whose
// guest OS is given so that every kind accepts it.
RestoreCtx Request() {
  RestoreCtx request;
  request.strVMName = "web01";
  request.strSourceVMGUID = "guid-1";
  request.osName = "Windows Server 2016 x64";
  request.vDisks = {Entry("web01.vmx", 0, 1), Entry("web01.vmdk", 1, 1, kTiB),
                    Entry("cd.iso", 1, 2)};
  return request;
}

int CdromCount(const RestoreCtx& request) {
  int count = 0;
  for (const SDisk& disk : request.vDisks) count += disk.nDeviceType == 2;
  return count;
}

struct InitFixture {
  std::shared_ptr<VMInfoScript> script = std::make_shared<VMInfoScript>();
  RecordingVMInfo destination{script};
  ScopedLogCapture capture;
  ZyVMConverter converter;
  RestoreCtx request = Request();

  CQiError Init(int source, int target, bool withAccess = true) {
    return converter.InitVMConversion(
        static_cast<VirtualServerInstanceType>(source),
        static_cast<VirtualServerInstanceType>(target),
        withAccess ? &destination : nullptr, request, DT_NONE);
  }
};

void ExpectInitError(const CQiError& error, int number) {
  EXPECT_TRUE(FXErrorUtil::IsVS(error, number)) << error.AsString();
  EXPECT_EQ(error.GetLocation().strFile, "ZyVMConverter");
  EXPECT_GT(error.GetLocation().nLine, 0);
}

}  // namespace

TEST(InitVMConversion, SnapshotConversionIsRefusedBeforeAnythingElse) {
  for (int destination : {101, 301, 1401}) {
    SCOPED_TRACE(destination);
    InitFixture f;
    f.request.bSnapConversion = true;
    f.request.osName = "";
    ExpectInitError(f.Init(401, destination), 7);
    EXPECT_EQ(f.request.vDisks.size(), 3u);
    EXPECT_TRUE(f.script->calls.empty());
    EXPECT_TRUE(
        f.capture.sink().Contains(LogKind::Debug, "Starting VM Conversion.."));
    EXPECT_EQ(f.capture.sink().Records().size(), 1u);
  }
}

TEST(InitVMConversion, AzureSourcesWithAnEncryptionKeyAreRefused) {
  struct Row {
    int line;
    int source;
    const char* name;
    int fileType;
    bool refused;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, 401, "dek.bkp", 0, true},   {__LINE__, 402, "DEK.BKP", 1, true},
      {__LINE__, 401, "Dek.Bkp", 2, true},   {__LINE__, 403, "dek.bkp", 0, false},
      {__LINE__, 101, "dek.bkp", 0, false},  {__LINE__, 401, "dek.bkp.1", 0, false},
      {__LINE__, 401, "xdek.bkp", 0, false},
  };
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    InitFixture f;
    f.request.vDisks.push_back(Entry(row.name, row.fileType, 1));
    CQiError result = f.Init(row.source, 1101);
    if (row.refused) {
      ExpectInitError(result, 8);
      EXPECT_EQ(CdromCount(f.request), 1);
      EXPECT_FALSE(f.capture.sink().Contains(
          "Given OS name = [Windows Server 2016 x64]"));
    } else {
      EXPECT_FALSE(result.IsError()) << result.AsString();
      EXPECT_EQ(f.script->Count("PrepareRestoreConversion"), 1);
    }
  }
}

TEST(InitVMConversion, GuestOsFailureIsPassedOnUnchanged) {
  InitFixture f;
  f.request.osName = "CentOS 7 x64";
  CQiError result = f.Init(101, 401);
  EXPECT_TRUE(FXErrorUtil::IsVS(result, 4));
  // Nothing after the guest OS ran: the CD-ROM is still listed.
  EXPECT_EQ(CdromCount(f.request), 1);
  EXPECT_TRUE(f.script->calls.empty());
}

TEST(InitVMConversion, OversizedDiskFailsAfterCdromsAreDropped) {
  InitFixture f;
  f.request.vDisks[1].i64MaxSizeInBytes = kTiB + 1;
  ExpectInitError(f.Init(101, 401), 5);
  EXPECT_EQ(f.request.osName, "Windows");
  EXPECT_EQ(f.request.vDisks.size(), 2u);
  EXPECT_EQ(CdromCount(f.request), 0);
  EXPECT_TRUE(f.script->calls.empty());
  EXPECT_TRUE(f.capture.sink().Contains(
      LogKind::Error,
      "Disk size [1099511627777] has exceeded the maximum allowed disk size "
      "[1099511627776]"));
}

TEST(InitVMConversion, DestinationLibraryDecidesTheLastStep) {
  struct Row {
    int line;
    bool platformConversion;
    bool withAccess;
    const char* failing;  // operation scripted to fail, or null
    const char* called;   // operation expected, or null
    int error;            // 0: success
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, false, true, nullptr, "PrepareRestoreConversion", 0},
      {__LINE__, false, true, "PrepareRestoreConversion",
       "PrepareRestoreConversion", 1},
      {__LINE__, true, true, nullptr, "StartPlatformConversion", 0},
      {__LINE__, true, true, "StartPlatformConversion",
       "StartPlatformConversion", 1},
      {__LINE__, true, false, nullptr, nullptr, 0},
      {__LINE__, false, false, nullptr, nullptr, 1},
  };
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    InitFixture f;
    f.request.bPlatformConversion = row.platformConversion;
    if (row.failing) f.script->results[row.failing] = 0;
    CQiError result = f.Init(101, 1101, row.withAccess);
    if (row.error) {
      ExpectInitError(result, row.error);
    } else {
      EXPECT_FALSE(result.IsError()) << result.AsString();
    }
    EXPECT_EQ(f.script->Names(), row.called
                                     ? std::vector<std::string>{row.called}
                                     : std::vector<std::string>{});
    // Every earlier step ran.
    EXPECT_EQ(CdromCount(f.request), 0);
    if (row.called) {
      EXPECT_EQ(f.script->lastRestoreCtx.vDisks.size(),
                f.request.vDisks.size());
    }
  }
}

TEST(CheckDiskSize, EachLimitedDestinationHasItsLimit) {
  struct Row {
    int line;
    int destination;
    int64_t size;
    int fileType;
    bool ok;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, 401, kTiB, 1, true},
      {__LINE__, 401, kTiB + 1, 1, false},
      {__LINE__, 401, kTiB + 1, 0, true},
      {__LINE__, 401, kTiB + 1, 2, true},
      {__LINE__, 402, 8795019280384LL, 1, true},
      {__LINE__, 402, 8795019280385LL, 1, false},
      {__LINE__, 403, 1098437885952LL, 1, true},
      {__LINE__, 403, 1098437885953LL, 1, false},
      {__LINE__, 1101, 2 * kTiB, 1, true},
      {__LINE__, 1101, 2 * kTiB + 1, 1, false},
      {__LINE__, 301, 100 * kTiB, 1, true},
      {__LINE__, 102, INT64_MAX, 1, true},
      {__LINE__, 401, -1, 1, true},
  };
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    ScopedLogCapture capture;
    ZyVMConverter converter;
    RestoreCtx request;
    request.vDisks = {Entry("small", 1, 1, 1),
                      Entry("big", row.fileType, 1, row.size)};
    EXPECT_EQ(
        converter.CheckDiskSize(
            request, static_cast<VirtualServerInstanceType>(row.destination)),
        row.ok);
    EXPECT_EQ(capture.sink().Records().size(), row.ok ? 0u : 1u);
  }
}

TEST(RemoveUnsupportedDisks, CloudDestinationsLoseTheirCdroms) {
  for (int destination : {101, 102, 301, 401, 402, 403, 501, 1101, 1401}) {
    SCOPED_TRACE(destination);
    ScopedLogCapture capture;
    ZyVMConverter converter;
    RestoreCtx request = Request();
    request.vDisks.insert(request.vDisks.begin(), Entry("boot.iso", 0, 2));
    converter.RemoveUnsupportedDisks(
        request, static_cast<VirtualServerInstanceType>(destination));
    const bool drops = destination == 301 ||
                       (destination >= 401 && destination <= 403) ||
                       destination == 1101;
    std::vector<std::string> names;
    for (const SDisk& disk : request.vDisks)
      names.push_back(disk.strDisplayName);
    const std::vector<std::string> expected =
        drops ? std::vector<std::string>{"web01.vmx", "web01.vmdk"}
              : std::vector<std::string>{"boot.iso", "web01.vmx", "web01.vmdk",
                                         "cd.iso"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(capture.sink().Contains(
                  LogKind::Debug,
                  "Removing Disk [cd.iso] from the disk list as it is of "
                  "unsupported type [CDROM]"),
              drops);
  }
}

TEST(LiveMount, MissingDisksOrConfigurationFail) {
  TempDir folder;
  ScopedLogCapture capture;
  ZyVMConverter converter;
  MountCtx mount;
  mount.strVMName = "web01";
  mount.strMountPath = folder.path();
  VMInfoStructs::SVMInfo description;
  std::vector<SDisk> disks;

  EXPECT_FALSE(converter.ConvertVMForLiveMount(VS_VMWARE, VS_HYPERV, mount,
                                               description, disks));
  EXPECT_TRUE(
      capture.sink().Contains(LogKind::Error, "No disk found for VM [web01]"));

  disks.push_back(Entry("disk0.vmdk", 1, 1));
  folder.Write("VMConfig.xml", "x");
  std::filesystem::create_directory(folder.File("folder.zyf"));
  EXPECT_FALSE(converter.ConvertVMForLiveMount(VS_VMWARE, VS_HYPERV, mount,
                                               description, disks));
  EXPECT_TRUE(capture.sink().Contains(
      LogKind::Error, "Could not find any config file with extension zyf in [" +
                          folder.path() + "]"));

  std::string path =
      folder.Write("VMConfig.zyf", std::string("\x01\x02\xff", 3));
  EXPECT_FALSE(converter.ConvertVMForLiveMount(VS_VMWARE, VS_HYPERV, mount,
                                               description, disks));
  EXPECT_TRUE(capture.sink().Contains(
      LogKind::Error, "Failed to convert VM from config file [" + path + "]"));
  EXPECT_EQ(mount.strVMName, "web01");
}

TEST(LiveMount, UnnamedMountIsNamedAfterVmMountAndProcess) {
  TempDir folder;
  VMInfoStructs::SVMInfo saved;
  saved.strVMName = "web01";
  saved.strGUID = "guid-1";
  if (!VMConfigFile(folder.File("VMConfig.zyf")).Save(saved))
    GTEST_SKIP() << "generalised descriptions are not written by this build";

  ScopedLogCapture capture;
  ZyVMConverter converter;
  MountCtx mount;
  mount.strMountPath = folder.path();
  mount.nMountId = 4294967301LL;
  VMInfoStructs::SVMInfo description;
  std::vector<SDisk> disks = {Entry("disk0.vmdk", 1, 1),
                              Entry("disk1.vmdk", 1, 1)};
  ASSERT_TRUE(converter.ConvertVMForLiveMount(VS_VMWARE, VS_KIND_1101, mount,
                                              description, disks));
  const std::string name = "web01_4294967301_" + std::to_string(getpid());
  EXPECT_EQ(mount.strVMName, name);
  EXPECT_EQ(description.strVMName, name);
  ASSERT_EQ(description.vDisks.size(), 2u);
  EXPECT_EQ(description.vDisks[1].fileName, disks[1].fileName);

  // A named mount keeps its name.
  MountCtx named = mount;
  named.strVMName = "chosen";
  ASSERT_TRUE(converter.ConvertVMForLiveMount(VS_VMWARE, VS_KIND_1101, named,
                                              description, disks));
  EXPECT_EQ(named.strVMName, "chosen");
  EXPECT_EQ(description.strVMName, "chosen");
}
