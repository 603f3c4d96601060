//===- HyperVAdjustTest.cpp - Boot disk, networks and machine identifier --===//
#include "converter/ZyVMConverter.h"
#include "support/RecordingVMInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using VMInfoStructs::SDisk;
using VMInfoStructs::SVMInfo;

namespace {

const char kMoved[] = "Boot disk is adjusted to ide:0:0";

// One device: "ide 0:1 cd" is a CD-ROM drive on IDE bus 0 slot 1.
struct Device {
  const char* controller;
  int bus;
  int slot;
  int deviceType = 1;
};

SVMInfo MachineWith(const char* firmware, const std::vector<Device>& devices) {
  SVMInfo vm;
  vm.strBootFirmware = firmware;
  for (const Device& device : devices) {
    SDisk disk;
    disk.strControllerType = device.controller;
    disk.nBus = device.bus;
    disk.nSlot = device.slot;
    disk.nDeviceType = device.deviceType;
    vm.vDisks.push_back(disk);
  }
  return vm;
}

std::vector<std::string> Layout(const SVMInfo& vm) {
  std::vector<std::string> positions;
  for (const SDisk& disk : vm.vDisks)
    positions.push_back(disk.strControllerType + "-" +
                        std::to_string(disk.nBus) + ":" +
                        std::to_string(disk.nSlot));
  return positions;
}

using Positions = std::vector<std::string>;

struct BootRow {
  int line;
  const char* firmware;
  std::vector<Device> devices;
  Positions expected;
  const char* movedTo;  // "IDE:0:1" when the device at IDE 0:0 moved
};

constexpr int kCd = 2;

// clang-format off
const BootRow kBootRows[] = {
    // BIOS guests boot from IDE 0:0.
    {__LINE__, "BIOS", {{"scsi", 0, 0}}, {"ide-0:0"}, nullptr},
    {__LINE__, "", {{"scsi", 0, 0}, {"scsi", 0, 1}}, {"ide-0:0", "scsi-0:1"},
     nullptr},
    {__LINE__, "BIOS", {{"ide", 0, 0, kCd}, {"scsi", 0, 0}},
     {"ide-0:1", "ide-0:0"}, "IDE:0:1"},
    {__LINE__, "BIOS", {{"ide", 0, 0, kCd}, {"ide", 0, 1, kCd}, {"scsi", 0, 0}},
     {"ide-1:0", "ide-0:1", "ide-0:0"}, "IDE:1:0"},
    {__LINE__, "BIOS",
     {{"ide", 0, 0, kCd}, {"ide", 0, 1}, {"ide", 1, 0}, {"scsi", 0, 0}},
     {"ide-1:1", "ide-0:1", "ide-1:0", "ide-0:0"}, "IDE:1:1"},
    {__LINE__, "BIOS",
     {{"ide", 0, 0, kCd}, {"ide", 0, 1}, {"ide", 1, 0}, {"ide", 1, 1},
      {"scsi", 0, 0}},
     {"ide-0:0", "ide-0:1", "ide-1:0", "ide-1:1", "scsi-0:0"}, nullptr},
    // Another controller's address does not take an IDE address.
    {__LINE__, "BIOS",
     {{"ide", 0, 0, kCd}, {"ide", 0, 1}, {"sata", 1, 0}, {"scsi", 0, 0}},
     {"ide-1:0", "ide-0:1", "sata-1:0", "ide-0:0"}, "IDE:1:0"},
    // Four IDE devices, one of them outside the four usual addresses.
    {__LINE__, "BIOS",
     {{"ide", 0, 0, kCd}, {"ide", 0, 1}, {"ide", 1, 0}, {"sata", 1, 1},
      {"scsi", 0, 0}, {"ide", 2, 0}},
     {"ide-0:0", "ide-0:1", "ide-1:0", "sata-1:1", "scsi-0:0", "ide-2:0"},
     nullptr},
    // Controller names in any letter case are the same controllers.

    {__LINE__, "BIOS", {{"IDE", 0, 0, kCd}, {"SCSI", 0, 0}},
     {"IDE-0:1", "ide-0:0"}, "IDE:0:1"},
    {__LINE__, "BIOS",
     {{"ide", 0, 0, kCd}, {"ide", 0, 1}, {"ide", 1, 1}, {"Ide", 1, 0, 0},
      {"scsi", 0, 0}},
     {"ide-0:0", "ide-0:1", "ide-1:1", "Ide-1:0", "scsi-0:0"}, nullptr},
    // EFI (Generation 2) machines have no IDE controller.
    {__LINE__, "EFI",
     {{"ide", 0, 0}, {"ide", 0, 1}, {"scsi", 0, 0}, {"scsi", 0, 1}},
     {"scsi-0:2", "scsi-0:3", "scsi-0:0", "scsi-0:1"}, nullptr},
    {__LINE__, "uefi", {{"ide", 0, 0}, {"scsi", 0, 1}},
     {"scsi-0:0", "scsi-0:1"}, nullptr},
    {__LINE__, "Efi", {{"ide", 0, 1, kCd}, {"scsi", 0, 1}, {"scsi", 0, 5}},
     {"scsi-0:6", "scsi-0:1", "scsi-0:5"}, nullptr},
    // An IDE disk on bus 1 is tested against SCSI bus 1, not bus 0.
    {__LINE__, "EFI", {{"ide", 1, 0}, {"scsi", 1, 0}},
     {"scsi-1:1", "scsi-1:0"}, nullptr},
    // Addresses handed out are taken for the disks that follow.
    {__LINE__, "EFI", {{"scsi", 0, 0}, {"ide", 0, 1}, {"ide", 0, 0}},
     {"scsi-0:0", "scsi-0:1", "scsi-0:2"}, nullptr},
};
// clang-format on

}  // namespace

TEST(HyperVBootDisk, LayoutsAreAdjustedForTheFirmware) {
  for (const auto& row : kBootRows) {
    SCOPED_TRACE(row.line);
    ScopedLogCapture capture;
    ZyVMConverter converter;
    SVMInfo vm = MachineWith(row.firmware, row.devices);
    converter.AdjustHyperVBootDisk(vm);
    EXPECT_EQ(Layout(vm), row.expected);

    const auto& sink = capture.sink();
    if (row.movedTo) {
      EXPECT_TRUE(
          sink.ContainsAtLevel(std::string("Device at IDE:0:0 is moved to ") +
                                   row.movedTo + " to plug boot disk",
                               0));
      EXPECT_TRUE(sink.ContainsAtLevel(kMoved, 0));
      ASSERT_EQ(sink.Records().size(), 2u);
    } else {
      EXPECT_TRUE(sink.Records().empty());
    }
  }
}

namespace {

struct NetworkRow {
  int line;
  int kind;
  std::vector<const char*> hostNetworks;
  std::vector<const char*> mapping;  // the request's network per adapter
  const char* guestOS;
  std::vector<const char*> expected;  // each adapter's network afterwards
  bool legacy;
  const char* query;  // host query used, or null
};

// clang-format off
const NetworkRow kNetworkRows[] = {
    // One host network is the default for unmapped adapters.
    {__LINE__, 102, {"External"}, {"Lab"}, "Windows Server 2016",
     {"Lab", "External", "External"}, false, "GetLocalHostInfo"},
    // Two host networks: no default, unmapped adapters keep theirs.
    {__LINE__, 102, {"External", "Internal"}, {}, "Ubuntu",
     {"net0", "net1", "net2"}, true, "GetLocalHostInfo"},
    {__LINE__, 102, {}, {"A", "B", "C", "D"}, "WINDOWS 10", {"A", "B", "C"},
     false, "GetLocalHostInfo"},
    // An empty mapped name keeps the adapter's network.
    {__LINE__, 402, {"vnet1"}, {"", "X"}, "win", {"net0", "X", "vnet1"},
     false, "GetHostInfo"},
    {__LINE__, 403, {"vnet1", "vnet2"}, {""}, "Windows",
     {"net0", "net1", "net2"}, false, "GetHostInfo"},
    // Other kinds ask no host.
    {__LINE__, 401, {"External"}, {"Lab"}, "Darwin",
     {"Lab", "net1", "net2"}, true, nullptr},
};
// clang-format on

SVMInfo ThreeAdapters(const char* guestOS) {
  SVMInfo vm;
  vm.strGuestOS = guestOS;
  for (int k = 0; k < 3; ++k) {
    VMInfoStructs::SVMNetworkCard card;
    card.strName = "nic" + std::to_string(k);
    card.strNetworkName = "net" + std::to_string(k);
    card.bLegacyAdapter = k == 1;
    vm.vNetworkCards.push_back(card);
  }
  return vm;
}

}  // namespace

TEST(HyperVNetworks, AdaptersAreMappedToDestinationNetworks) {
  for (const auto& row : kNetworkRows) {
    SCOPED_TRACE(row.line);
    auto script = std::make_shared<VMInfoScript>();
    for (const char* name : row.hostNetworks) {
      VMInfoStructs::SNetworkInfo network;
      network.strName = name;
      script->localHostInfo.vNetworks.push_back(network);
      script->hostInfo.vNetworks.push_back(network);
    }
    RecordingVMInfo destination(script);
    ScopedLogCapture capture;
    ZyVMConverter converter;
    converter.eDestInstType = static_cast<VirtualServerInstanceType>(row.kind);
    converter.pDestVMInfo = &destination;
    converter.restoreCtx.strDestinationHost = "hv01";
    for (const char* name : row.mapping) {
      VMInfoStructs::SVMNetworkCard card;
      card.strNetworkName = name;
      converter.restoreCtx.vNetworkCards.push_back(card);
    }
    SVMInfo vm = ThreeAdapters(row.guestOS);
    converter.AdjustHyperVNetworkConnections(vm);

    for (size_t k = 0; k < vm.vNetworkCards.size(); ++k) {
      SCOPED_TRACE(k);
      EXPECT_EQ(vm.vNetworkCards[k].strNetworkName, row.expected[k]);
      EXPECT_EQ(vm.vNetworkCards[k].bLegacyAdapter, row.legacy);
      EXPECT_TRUE(capture.sink().Contains(
          LogKind::Debug, "[nic" + std::to_string(k) + "] Source network [net" +
                              std::to_string(k) + "] => Destination network [" +
                              row.expected[k] + "]\n"));
    }
    if (row.query) {
      ASSERT_EQ(script->calls.size(), 1u);
      EXPECT_EQ(script->calls[0].op, row.query);
      const std::vector<std::string> args =
          row.kind == 102 ? std::vector<std::string>{"67108864", "0"}
                          : std::vector<std::string>{"hv01", "67108864", "0"};
      EXPECT_EQ(script->calls[0].args, args);
    } else {
      EXPECT_TRUE(script->calls.empty());
    }
    const auto& sink = capture.sink();
    EXPECT_TRUE(sink.ContainsAtLevel("Adjusting Network Connections", 0));
    EXPECT_TRUE(sink.Contains(LogKind::Debug, "Host Network Connections"));
    EXPECT_TRUE(sink.Contains(
        LogKind::Debug,
        std::string(row.legacy ? "Using legacy" : "Using synthetic") +
            " network adapter for OS [" + row.guestOS + "]"));
    EXPECT_TRUE(sink.Contains(LogKind::Debug, "VM Network Connections"));
  }
}

TEST(HyperVNetworks, AFailedHostQueryLeavesAdaptersUntouched) {
  for (int kind : {102, 402, 403}) {
    SCOPED_TRACE(kind);
    auto script = std::make_shared<VMInfoScript>();
    script->results["GetLocalHostInfo"] = 0;
    script->results["GetHostInfo"] = 0;
    RecordingVMInfo destination(script);
    ScopedLogCapture capture;
    ZyVMConverter converter;
    converter.eDestInstType = static_cast<VirtualServerInstanceType>(kind);
    converter.pDestVMInfo = &destination;
    SVMInfo vm = ThreeAdapters("Windows");
    converter.AdjustHyperVNetworkConnections(vm);
    EXPECT_EQ(vm.vNetworkCards[2].strNetworkName, "net2");
    EXPECT_FALSE(vm.vNetworkCards[0].bLegacyAdapter);
    EXPECT_EQ(capture.sink().Records().size(), 1u);

    converter.pDestVMInfo = nullptr;
    converter.AdjustHyperVNetworkConnections(vm);
    EXPECT_EQ(vm.vNetworkCards[1].bLegacyAdapter, true);
  }
}

namespace {

std::vector<std::string> OptionNames(const SVMInfo& vm) {
  std::vector<std::string> names;
  for (const auto& option : vm.vExtraOptions) names.push_back(option.strName);
  return names;
}

}  // namespace

TEST(HyperVMachineId, IdentifierIsSplitIntoThousandCharacterParts) {
  struct Row {
    int line;
    size_t length;  // before line feeds are removed
    size_t lineFeeds;
    std::vector<size_t> parts;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, 2500, 2, {1000, 1000, 498}}, {__LINE__, 0, 0, {}},
      {__LINE__, 3, 3, {}},          {__LINE__, 1000, 0, {1000}},
      {__LINE__, 1001, 0, {1000, 1}}, {__LINE__, 1001, 1, {1000}},
      {__LINE__, 2001, 0, {1000, 1000, 1}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    std::string id;
    for (size_t i = 0; i < row.length - row.lineFeeds; ++i)
      id += static_cast<char>('A' + i % 26);
    std::string withFeeds = id;
    for (size_t i = 0; i < row.lineFeeds; ++i)
      withFeeds.insert(std::min(withFeeds.size(), (i + 1) * 700), "\n");

    ZyVMConverter converter;
    SVMInfo vm;
    vm.vExtraOptions = {{"before", "1"}, {"machine.id", withFeeds},
                        {"after", "2"}};
    converter.AdjustHyperVMachineId(vm);

    std::vector<std::string> expectedNames{"before", "after"};
    for (size_t n = 1; n <= row.parts.size(); ++n)
      expectedNames.push_back("machine.id.part." + std::to_string(n));
    expectedNames.push_back("machine.id.parts");
    ASSERT_EQ(OptionNames(vm), expectedNames);

    std::string joined;
    for (size_t n = 0; n < row.parts.size(); ++n) {
      EXPECT_EQ(vm.vExtraOptions[2 + n].strValue.size(), row.parts[n]);
      joined += vm.vExtraOptions[2 + n].strValue;
    }
    EXPECT_EQ(joined, id);
    EXPECT_EQ(vm.vExtraOptions.back().strValue, std::to_string(row.parts.size()));
  }
}

TEST(HyperVMachineId, OnlyTheFirstExactlyNamedOptionIsSplit) {
  ScopedLogCapture capture;
  ZyVMConverter converter;
  SVMInfo vm;
  vm.vExtraOptions = {{"Machine.Id", "x"}, {"machine.id", "first"},
                      {"machine.id", "second"}};
  converter.AdjustHyperVMachineId(vm);
  EXPECT_EQ(OptionNames(vm),
            (std::vector<std::string>{"Machine.Id", "machine.id",
                                      "machine.id.part.1", "machine.id.parts"}));
  EXPECT_EQ(vm.vExtraOptions[1].strValue, "second");
  EXPECT_EQ(vm.vExtraOptions[2].strValue, "first");

  SVMInfo none;
  none.vExtraOptions = {{"Machine.Id", "x"}};
  converter.AdjustHyperVMachineId(none);
  EXPECT_EQ(OptionNames(none), (std::vector<std::string>{"Machine.Id"}));
  EXPECT_TRUE(capture.sink().Contains(
      LogKind::Debug, "Could not find machine id in the vm options"));
}

TEST(HyperVAdjust, EachKindGetsItsAdjustments) {
  struct Row {
    int line;
    int kind;
    bool bootDisk;
    bool networks;
    bool machineId;
  };
  // clang-format on
  const Row rows[] = {{__LINE__, 102, true, true, true},
                      {__LINE__, 402, false, true, false},
                      {__LINE__, 403, false, true, false},
                      {__LINE__, 401, false, false, false},
                      {__LINE__, 101, false, false, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    auto script = std::make_shared<VMInfoScript>();
    RecordingVMInfo lent(script);
    ScopedLogCapture capture;
    ZyVMConverter converter;
    converter.eDestInstType = VS_HYPERV;
    SVMInfo vm = MachineWith("BIOS", {{"scsi", 0, 0}});
    vm.vNetworkCards = ThreeAdapters("Windows").vNetworkCards;
    vm.vExtraOptions = {{"machine.id", "abc"}};

    converter.AdjustVMConfiguration(
        static_cast<VirtualServerInstanceType>(row.kind), &lent, vm);

    EXPECT_EQ(converter.pDestVMInfo, &lent);
    EXPECT_EQ(converter.eDestInstType, VS_HYPERV);
    EXPECT_EQ(vm.vDisks[0].strControllerType, row.bootDisk ? "ide" : "scsi");
    EXPECT_EQ(script->Count("GetLocalHostInfo"), row.networks ? 1 : 0);
    EXPECT_EQ(vm.vExtraOptions.size(), row.machineId ? 2u : 1u);
    converter.pDestVMInfo = nullptr;
  }
}

TEST(HyperVAdjust, ALentObjectReplacesAnOwnedOneWhichIsReleased) {
  auto owned = std::make_shared<VMInfoScript>();
  auto lentScript = std::make_shared<VMInfoScript>();
  {
    RecordingVMInfo lent(lentScript);
    {
      ZyVMConverter converter;
      converter.pDestVMInfo = new RecordingVMInfo(owned);
      converter.bOwnsDestVMInfo = true;
      SVMInfo vm;
      converter.AdjustVMConfiguration(VS_AZURE_1, &lent, vm);
      EXPECT_EQ(owned->deleted, 1);
      EXPECT_EQ(converter.pDestVMInfo, &lent);
      EXPECT_FALSE(converter.bOwnsDestVMInfo);
    }
    // The converter is gone; the lent object was not released by it.
    EXPECT_EQ(lentScript->deleted, 0);
  }
  EXPECT_EQ(lentScript->deleted, 1);
}
