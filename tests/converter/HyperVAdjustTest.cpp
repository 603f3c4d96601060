//===- HyperVAdjustTest.cpp - Boot disk, networks and machine identifier --===//
#include "converter/ZyVMConverter.h"
#include "support/Golden.h"
#include "support/RecordingVMInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using VMInfoStructs::SDisk;
using VMInfoStructs::SVMInfo;

namespace {

// Items separated by ','; "" is an empty item.
std::vector<std::string> Items(const std::string& text) {
  std::vector<std::string> items;
  std::istringstream in(text);
  for (std::string item; std::getline(in, item, ',');)
    items.push_back(item == "\"\"" ? "" : item);
  return items;
}

// "ide:0:1:2" is a CD-ROM drive (device type 2) on IDE bus 0 slot 1.
SVMInfo MachineWith(const std::string& firmware, const std::string& devices) {
  SVMInfo vm;
  vm.strBootFirmware = firmware;
  for (const std::string& device : Items(devices)) {
    std::istringstream in(device);
    SDisk disk;
    std::string field;
    std::getline(in, disk.strControllerType, ':');
    std::getline(in, field, ':');
    disk.nBus = std::stoi(field);
    std::getline(in, field, ':');
    disk.nSlot = std::stoi(field);
    disk.nDeviceType = std::getline(in, field, ':') ? std::stoi(field) : 1;
    vm.vDisks.push_back(disk);
  }
  return vm;
}

std::string Layout(const SVMInfo& vm) {
  std::string text;
  for (const SDisk& disk : vm.vDisks)
    text += disk.strControllerType + "-" + std::to_string(disk.nBus) + ":" +
            std::to_string(disk.nSlot) + " ";
  return text + "\n";
}

SVMInfo ThreeAdapters(const std::string& guestOS) {
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

std::string Adapters(const SVMInfo& vm) {
  std::string text;
  for (const auto& card : vm.vNetworkCards)
    text += card.strName + " [" + card.strNetworkName + "]" +
            (card.bLegacyAdapter ? " legacy\n" : " synthetic\n");
  return text;
}

}  // namespace

// tests/data/converter/hyperv/boot-disk.cases holds a machine a line,
// boot-disk.expected each layout afterwards and the lines logged.
TEST(HyperVBootDisk, LayoutsAreAdjustedForTheFirmware) {
  golden::CheckCases("converter/hyperv/boot-disk", 2, [](const golden::Case& c) {
    ScopedLogCapture capture;
    ZyVMConverter converter;
    SVMInfo vm = MachineWith(c.fields[0], c.fields[1]);
    converter.AdjustHyperVBootDisk(vm);
    return Layout(vm) + golden::Lines(capture.sink().Records());
  });
}

// networks.cases: the adapters afterwards, the host queried, the lines.
TEST(HyperVNetworks, AdaptersAreMappedToDestinationNetworks) {
  golden::CheckCases("converter/hyperv/networks", 5, [](const golden::Case& c) {
    auto script = std::make_shared<VMInfoScript>();
    for (const std::string& name : Items(c.fields[1])) {
      VMInfoStructs::SNetworkInfo network;
      network.strName = name;
      script->localHostInfo.vNetworks.push_back(network);
      script->hostInfo.vNetworks.push_back(network);
    }
    if (!c.fields[4].empty() && c.fields[4] != "none") {
      script->results["GetLocalHostInfo"] = std::stoi(c.fields[4]);
      script->results["GetHostInfo"] = std::stoi(c.fields[4]);
    }
    RecordingVMInfo destination(script);
    ScopedLogCapture capture;
    ZyVMConverter converter;
    converter.eDestInstType =
        static_cast<VirtualServerInstanceType>(std::stoi(c.fields[0]));
    if (c.fields[4] != "none") converter.pDestVMInfo = &destination;
    converter.restoreCtx.strDestinationHost = "hv01";
    for (const std::string& name : Items(c.fields[2])) {
      VMInfoStructs::SVMNetworkCard card;
      card.strNetworkName = name;
      converter.restoreCtx.vNetworkCards.push_back(card);
    }
    SVMInfo vm = ThreeAdapters(c.fields[3]);
    converter.AdjustHyperVNetworkConnections(vm);
    converter.pDestVMInfo = nullptr;
    return Adapters(vm) + script->Calls() +
           golden::Lines(capture.sink().Records());
  });
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
                      {__LINE__, 101, false, false, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    auto script = std::make_shared<VMInfoScript>();
    RecordingVMInfo lent(script);
    ScopedLogCapture capture;
    ZyVMConverter converter;
    converter.eDestInstType = VS_HYPERV;
    SVMInfo vm = MachineWith("BIOS", "scsi:0:0");
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
