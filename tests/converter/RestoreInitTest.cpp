//===- RestoreInitTest.cpp - Conversion at restore ------------------------===//
#include "converter/ZyVMConverter.h"
#include "formats/zyf/VMConfigFile.h"
#include "support/Golden.h"
#include "support/RecordingVMInfo.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <sstream>
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

struct InitFixture {
  std::shared_ptr<VMInfoScript> script = std::make_shared<VMInfoScript>();
  RecordingVMInfo destination{script};
  ScopedLogCapture capture;
  ZyVMConverter converter;
  RestoreCtx request = Request();
  bool withAccess = true;

  // "snapshot", "platform", "no-access", "os=<name>", "size=<bytes>",
  // "fail=<operation>", separated by ','.
  void Apply(const std::string& options) {
    std::istringstream in(options);
    for (std::string option; std::getline(in, option, ',');) {
      std::string value = option.substr(option.find('=') + 1);
      if (option == "snapshot") request.bSnapConversion = true;
      if (option == "platform") request.bPlatformConversion = true;
      if (option == "no-access") withAccess = false;
      if (option.rfind("os=", 0) == 0) request.osName = value;
      if (option.rfind("size=", 0) == 0)
        request.vDisks[1].i64MaxSizeInBytes = std::stoll(value);
      if (option.rfind("fail=", 0) == 0) script->results[value] = 0;
    }
  }
};

std::string Entries(const RestoreCtx& request) {
  std::string text = "osName [" + request.osName + "] disks";
  for (const SDisk& disk : request.vDisks) text += " " + disk.strDisplayName;
  return text + "\n";
}

}  // namespace

// tests/data/converter/restore-init/init.cases holds a request a line,
// init.expected each result, the request's list afterwards, the calls made
// on the destination and the lines logged.
TEST(InitVMConversion, EachStepRunsOrRefusesInItsOrder) {
  golden::CheckCases("converter/restore-init/init", 4, [](const golden::Case& c) {
    InitFixture f;
    f.Apply(c.fields[2]);
    if (!c.fields[3].empty()) {
      size_t colon = c.fields[3].find(':');
      f.request.vDisks.push_back(
          Entry(c.fields[3].substr(0, colon).c_str(),
                std::stoi(c.fields[3].substr(colon + 1)), 1));
    }
    CQiError result = f.converter.InitVMConversion(
        static_cast<VirtualServerInstanceType>(std::stoi(c.fields[0])),
        static_cast<VirtualServerInstanceType>(std::stoi(c.fields[1])),
        f.withAccess ? &f.destination : nullptr, f.request, DT_NONE);
    std::string given = f.script->calls.empty()
                            ? ""
                            : "given " + Entries(f.script->lastRestoreCtx);
    return golden::Outcome(result) + "\n" + Entries(f.request) +
           f.script->Calls() + given + golden::Lines(f.capture.sink().Records());
  });
}

// tests/data/converter/restore-init/disk-size.cases: each limit and one
// byte over it.
TEST(CheckDiskSize, EachLimitedDestinationHasItsLimit) {
  for (const auto& c : golden::Table("converter/restore-init/disk-size")) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(c.fields.size(), 4u);
    ScopedLogCapture capture;
    ZyVMConverter converter;
    RestoreCtx request;
    request.vDisks = {Entry("small", 1, 1, 1), Entry("big", std::stoi(c.fields[2]),
                                                     1, std::stoll(c.fields[1]))};
    auto destination =
        static_cast<VirtualServerInstanceType>(std::stoi(c.fields[0]));
    const bool ok = c.fields[3] == "1";
    EXPECT_EQ(converter.CheckDiskSize(request, destination), ok);
    EXPECT_EQ(capture.sink().Records().size(), ok ? 0u : 1u);
  }
}

TEST(RemoveUnsupportedDisks, CloudDestinationsLoseTheirCdroms) {
  for (int destination : {101, 301}) {
    SCOPED_TRACE(destination);
    ScopedLogCapture capture;
    ZyVMConverter converter;
    RestoreCtx request = Request();
    request.vDisks.insert(request.vDisks.begin(), Entry("boot.iso", 0, 2));
    converter.RemoveUnsupportedDisks(
        request, static_cast<VirtualServerInstanceType>(destination));
    const bool drops = destination == 301;
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
  ASSERT_TRUE(VMConfigFile(folder.File("VMConfig.zyf")).Save(saved));

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
