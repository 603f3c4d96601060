//===- RecoveryResponseTest.cpp - Recovery response to VM description -----===//
#include "p2v/ZyP2VUtils.h"
#include "platform/support/EvDebug.h"
#include "platform/settings/PlatformConfig.h"
#include "platform/support/XercesInit.h"
#include "tests/p2v/P2VRequests.h"

#include <gtest/gtest.h>
#include <xercesc/util/Base64.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <climits>
#include <fstream>
#include <sstream>

using namespace p2v_test;
using VMInfoStructs::SDisk;
using VMInfoStructs::SVMInfo;

namespace {

const char kFn[] =
    "static long int ZyP2VUtils::CopyVMInfoFromKestrelResponse(Ida::VMOpReq&, "
    "VMInfoStructs::SVMInfo&, VirtualServerInstanceType)";

std::string DecodeBase64(const std::string& text) {
  ZyEnsureXercesInitialized();
  XMLSize_t length = 0;
  auto* mm = xercesc::XMLPlatformUtils::fgMemoryManager;
  XMLByte* bytes = xercesc::Base64::decode(
      reinterpret_cast<const XMLByte*>(text.c_str()), &length, mm);
  if (!bytes) return "<undecodable>";
  std::string out(reinterpret_cast<const char*>(bytes), length);
  mm->deallocate(bytes);
  return out;
}

struct SDiskView {
  int nDeviceType;
  std::string controller;
  int bus;
  int slot;
  bool operator==(const SDiskView& o) const {
    return nDeviceType == o.nDeviceType && controller == o.controller &&
           bus == o.bus && slot == o.slot;
  }
};
std::ostream& operator<<(std::ostream& os, const SDiskView& d) {
  return os << (d.nDeviceType == 2 ? "cd " : "hd ") << d.controller << d.bus
            << ":" << d.slot;
}

std::vector<SDiskView> View(const std::vector<SDisk>& disks) {
  std::vector<SDiskView> out;
  for (const auto& d : disks)
    out.push_back({d.nDeviceType, d.strControllerType, d.nBus, d.nSlot});
  return out;
}

class RecoveryResponseTranslation : public ::testing::Test {
 protected:
  void SetUp() override {
    ZyClientRecord c;
    c.nId = 7;
    c.strName = "pm01";
    c.strHostName = "pm01.corp.example";
    c.nOperatingSystemId = 211;
    c.strOSInfo = "Windows Server 2012 R2 Standard";
    PlatformConfig::AddClient(c);
  }
  void TearDown() override { PlatformConfig::ClearInProcess(); }

  long Translate(Ida::VMOpReq& req, VirtualServerInstanceType dest) {
    return ZyP2VUtils::CopyVMInfoFromKestrelResponse(req, vm, dest);
  }

  SVMInfo vm;
};

}  // namespace

TEST_F(RecoveryResponseTranslation, RequestWithoutResponseIsRejectedUntouched) {
  ScopedLogCapture capture;
  Ida::VMOpReq req;
  vm.strVMName = "keep";
  EXPECT_EQ(Translate(req, VS_VMWARE), 1);
  EXPECT_EQ(vm.strVMName, "keep");
  EXPECT_TRUE(capture.sink().Contains(
      LogKind::Debug,
      "Kestrel Response file/Recovery Point is not set in the input request "));
}

TEST_F(RecoveryResponseTranslation, ResponseWithoutClientsIsRejectedUntouched) {
  Ida::VMOpReq req = MakeRequest(MakeHw({MakeDevice(0, 0)}, {}), 1);
  Response(req).SetList(RecoveryResponse::clients,
                        std::vector<ResponseFile::ClientInfo>());
  Ida::VMOpReq before = req;
  vm.i64MemoryMB = 123;
  ScopedLogCapture capture;
  EXPECT_EQ(Translate(req, VS_HYPERV), 1);
  EXPECT_EQ(vm.i64MemoryMB, 123);
  EXPECT_TRUE(vm.strRegion.empty());
  EXPECT_TRUE(req == before);
  EXPECT_TRUE(
      capture.sink().Contains("The recovery response lists no client; the "
                              "machine cannot be identified"));
}

TEST_F(RecoveryResponseTranslation, WindowsMachineToVMware) {
  HW hw = MakeHw({MakeDevice(0, 0, kHd, 20480, "C"), MakeDevice(1, 0, kCd)},
                 {MakeDevice(0, 0, kHd, 1000, "D")});
  hw.setint64(HW::numCpus, 4);
  hw.setint64(HW::memoryMB, 4095);
  hw.setint64(HW::bootFirmware, ResponseFile::BOOT_FIRMWARE_EFI);
  hw.setint64(HW::extraValuesSet, 1);
  hw.setint64(HW::extraValueA, 11);
  hw.setint64(HW::extraValueB, 1LL << 40);
  Ida::VMOpReq req = MakeRequest(hw, 1);

  ScopedLogCapture capture;
  ASSERT_EQ(Translate(req, VS_VMWARE), 0);
  EXPECT_EQ(vm.strVMName, "pm01");
  EXPECT_EQ(vm.nClientId, 7);
  EXPECT_EQ(vm.strGuestOS, "windows8Server64Guest");
  EXPECT_TRUE(
      capture.sink().Contains(" Setting guest OS as [windows8Server64Guest]"));
  EXPECT_EQ(vm.strBootFirmware, "efi");
  EXPECT_EQ(vm.strRegion, "eu-west-1");
  EXPECT_EQ(vm.strDestinationHost, "esx01");
  EXPECT_EQ(vm.i64NumCPUs, 4);
  EXPECT_EQ(vm.i64HardwareValueB, 1LL << 40);
  EXPECT_EQ(vm.strRequestText, "restore pm01");
  EXPECT_EQ(vm.i64DiskCount, 3);
  EXPECT_EQ(View(vm.vDisks),
            (std::vector<SDiskView>{
                {1, "ide", 0, 0}, {2, "ide", 1, 0}, {1, "scsi", 0, 0}}));
  EXPECT_EQ(vm.vDisks[0].i64CurrSizeInBytes, 20490000000LL);
  EXPECT_EQ(vm.vDisks[1].i64MaxSizeInBytes, 10000000);
  for (const auto& c : capture.sink().Records()) EXPECT_EQ(c.function, kFn);
}

TEST_F(RecoveryResponseTranslation,
       MachineIdCarriesTheResponseWithTheClientIdentity) {
  HW hw = MakeHw({MakeDevice(0, 0, kHd, 100, "sda", false),
                  MakeDevice(0, 1, kHd, 100, "sdb")},
                 {});
  Ida::VMOpReq req = MakeRequest(hw, 0);
  ASSERT_EQ(Translate(req, VS_AMAZON), 0);

  // The request's client now carries its id and host name ...
  CNMessageBase& client = FirstClient(req).getObjectAccessor(
      ResponseFile::ClientInfo::client, false);
  EXPECT_EQ(client.getint64(ClientEntity::clientId), 7);
  EXPECT_EQ(client.getstring(ClientEntity::hostName), "pm01.corp.example");
  // ... the layout changes stay off the request ...
  CNMessageBase& hwInRequest = Hardware(req);
  EXPECT_EQ(hwInRequest.getint64(HW::ideCount), 2);
  // ... and "machine.id" is exactly the response as the request has it.
  ASSERT_EQ(vm.vExtraOptions.size(), 1u);
  EXPECT_EQ(vm.vExtraOptions[0].strName, "machine.id");
  std::string xml;
  Response(req).serialize(xml);
  EXPECT_EQ(DecodeBase64(vm.vExtraOptions[0].strValue), xml);
}

TEST_F(RecoveryResponseTranslation, MachineNameWinsOnlyWhenItDiffers) {
  struct Row {
    int line;
    const char* machineName;
    const char* expected;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, "", "pm01"}, {__LINE__, "pm01", "pm01"}, {__LINE__, "web-new", "web-new"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    HW hw = MakeHw({MakeDevice(0, 1, kCd)}, {});
    hw.setstring(HW::machineName, row.machineName);
    Ida::VMOpReq req = MakeRequest(hw, 0);
    ASSERT_EQ(Translate(req, VS_AMAZON), 0);
    EXPECT_EQ(vm.strVMName, row.expected);
  }
}

TEST_F(RecoveryResponseTranslation, MemoryIsRoundedDownToFourMB) {
  struct Row {
    int line;
    int64_t memory;
    int64_t expected;
  };
  // clang-format on
  const Row rows[] = {{__LINE__, 8190, 8188},
                      {__LINE__, 4095, 4092},
                      {__LINE__, 4096, 4096}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    HW hw = MakeHw({MakeDevice(0, 0, kCd)}, {});
    hw.setint64(HW::memoryMB, row.memory);
    Ida::VMOpReq req = MakeRequest(hw, 0);
    ASSERT_EQ(Translate(req, VS_AMAZON), 0);
    EXPECT_EQ(vm.i64MemoryMB, row.expected);
  }
}

TEST_F(RecoveryResponseTranslation, CdromAtSlotOneMovesToAFreeSlotZero) {
  ScopedLogCapture capture;
  Ida::VMOpReq req =
      MakeRequest(MakeHw({MakeDevice(0, 0), MakeDevice(1, 1, kCd)}, {}), 1);
  ASSERT_EQ(Translate(req, VS_VMWARE), 0);
  EXPECT_EQ(View(vm.vDisks),
            (std::vector<SDiskView>{{1, "ide", 0, 0}, {2, "ide", 1, 0}}));
  EXPECT_TRUE(capture.sink().Contains(
      " CDROM device index [1] exists at bus [1] slot [1]"));
  EXPECT_TRUE(capture.sink().Contains(
      " No device exists at bus [1] slot [0], correcting CDROM slot"));

  Ida::VMOpReq taken =
      MakeRequest(MakeHw({MakeDevice(1, 0), MakeDevice(1, 1, kCd)}, {}), 1);
  ASSERT_EQ(Translate(taken, VS_VMWARE), 0);
  EXPECT_EQ(View(vm.vDisks),
            (std::vector<SDiskView>{{1, "ide", 1, 0}, {2, "ide", 1, 1}}));
}

TEST_F(RecoveryResponseTranslation, MissingCdromIsCreatedOnIde) {
  ScopedLogCapture capture;
  Ida::VMOpReq req = MakeRequest(MakeHw({MakeDevice(0, 0)}, {}), 0);
  ASSERT_EQ(Translate(req, VS_VMWARE), 0);
  EXPECT_TRUE(
      capture.sink().Contains(" No IDE CDROM device exists in the physical "
                              "machine, creating a new CDROM device"));
  EXPECT_EQ(View(vm.vDisks),
            (std::vector<SDiskView>{{1, "ide", 0, 0}, {2, "ide", 0, 1}}));
  EXPECT_EQ(vm.i64DiskCount, 2);
}

TEST_F(RecoveryResponseTranslation, FullIdeGivesUpItsLastDiskToScsi) {
  DiskList ide = {MakeDevice(0, 0), MakeDevice(0, 1), MakeDevice(1, 0),
                  MakeDevice(1, 1, kHd, 500, "ide11")};
  DiskList scsi;
  for (int slot = 0; slot < 7; ++slot) scsi.push_back(MakeDevice(0, slot));
  Ida::VMOpReq req = MakeRequest(MakeHw(ide, scsi), 0);
  ASSERT_EQ(Translate(req, VS_VMWARE), 0);
  // Every SCSI disk is described, the moved one (with its size) included.
  ASSERT_EQ(vm.vDisks.size(), 12u);
  EXPECT_EQ(View({vm.vDisks[3]}), (std::vector<SDiskView>{{2, "ide", 1, 1}}));
  EXPECT_EQ(View({vm.vDisks[11]}), (std::vector<SDiskView>{{1, "scsi", 0, 8}}));
  EXPECT_EQ(vm.vDisks[11].i64MaxSizeInBytes, 510000000);
  EXPECT_EQ(vm.i64DiskCount, 12);
}

TEST_F(RecoveryResponseTranslation, NoCdromPossibleFailsKeepingWhatWasWritten) {
  DiskList scsi;
  for (int bus = 0; bus < 2; ++bus)
    for (int slot = 0; slot < 16; ++slot)
      if (slot != 7) scsi.push_back(MakeDevice(bus, slot));
  HW hw = MakeHw(
      {MakeDevice(0, 0), MakeDevice(0, 1), MakeDevice(1, 0), MakeDevice(1, 1)},
      scsi);
  hw.setint64(HW::numCpus, 2);
  Ida::VMOpReq req = MakeRequest(hw, 0);
  ScopedLogCapture capture;
  EXPECT_EQ(Translate(req, VS_VMWARE), 1);
  EXPECT_TRUE(capture.sink().Contains(" Failed to create IDE CDROM device"));
  EXPECT_EQ(vm.i64NumCPUs, 2);
  EXPECT_EQ(vm.strGuestOS, "otherLinux64Guest");
  EXPECT_TRUE(vm.vDisks.empty());
}

TEST_F(RecoveryResponseTranslation, UnselectedDisksOfOtherMachinesAreLeftOut) {
  Ida::VMOpReq req = MakeRequest(
      MakeHw({MakeDevice(0, 0, kCd)}, {MakeDevice(0, 0, kHd, 10, "keep"),
                                       MakeDevice(0, 1, kHd, 10, "drop", false),
                                       MakeDevice(0, 2, kHd, 10, "keep2")}),
      0);
  ASSERT_EQ(Translate(req, VS_VMWARE), 0);
  ASSERT_EQ(vm.vDisks.size(), 3u);
  EXPECT_EQ(vm.vDisks[2].strName, "keep2");
}

TEST_F(RecoveryResponseTranslation,
       ScsiControllersOnePerBusInOrderOfFirstDisk) {
  Disk lsi = MakeDevice(0, 0);
  lsi.setint64(Disk::scsiControllerType, 1);
  Disk pv = MakeDevice(0, 1);
  pv.setint64(Disk::scsiControllerType, 3);
  Disk bus2 = MakeDevice(2, 0);
  Ida::VMOpReq req = MakeRequest(
      MakeHw({MakeDevice(0, 0, kCd)}, {lsi, MakeDevice(1, 3, kCd), pv, bus2}),
      0);
  ASSERT_EQ(Translate(req, VS_VMWARE), 0);
  ASSERT_EQ(vm.vDiskControllers.size(), 2u);
  EXPECT_EQ(vm.vDiskControllers[0].strControllerType, "lsilogic");
  EXPECT_EQ(vm.vDiskControllers[1].nBusNumber, 2);
  EXPECT_EQ(vm.vDiskControllers[1].strControllerType, "");
  // The SCSI CD-ROM is not a disk and not counted.
  EXPECT_EQ(vm.i64DiskCount, 4);
}

TEST_F(RecoveryResponseTranslation, ProvisioningAndDatastorePerDisk) {
  Disk thin = MakeDevice(0, 0, kHd, 1);
  thin.setint64(Disk::provisioning, 2);
  thin.setstring(Disk::datastore, "fast");
  Disk thick = MakeDevice(0, 1, kHd, 1);
  thick.setint64(Disk::provisioning, 1);
  Disk other = MakeDevice(0, 2, kHd, 1);
  other.setint64(Disk::provisioning, 5);
  Ida::VMOpReq req =
      MakeRequest(MakeHw({MakeDevice(0, 0, kCd)}, {thin, thick, other}), 0);
  ASSERT_EQ(Translate(req, VS_VMWARE), 0);
  ASSERT_EQ(vm.vDisks.size(), 4u);
  EXPECT_EQ(vm.vDisks[1].eProvisioningType, 1);
  EXPECT_EQ(vm.vDisks[1].strDatastore, "fast");
  EXPECT_EQ(vm.vDisks[2].eProvisioningType, 2);
  EXPECT_EQ(vm.vDisks[2].strDatastore, "ds1");
  EXPECT_EQ(vm.vDisks[3].eProvisioningType, 0);
}

TEST_F(RecoveryResponseTranslation, VolumeLayoutPerDestination) {
  auto makeRequest = [](int64_t firstBytes, int64_t secondBytes) {
    ResponseFile::MountPoint a;
    a.setint64(ResponseFile::MountPoint::sizeBytes, firstBytes);
    a.setint64(ResponseFile::MountPoint::onFirstDisk, 1);
    ResponseFile::MountPoint b;
    b.setint64(ResponseFile::MountPoint::sizeBytes, secondBytes);
    b.setint64(ResponseFile::MountPoint::onSecondDisk, 1);
    Disk first = MakeDevice(0, 0, kHd, 1, "sda");
    first.setint64(Disk::provisioning, 2);
    HW hw = MakeHw({first}, {MakeDevice(0, 0), MakeDevice(0, 5)});
    hw.setint64(HW::useVolumeLayout, 1);
    hw.SetList(HW::mountPoints, std::vector<ResponseFile::MountPoint>{a, b});
    return MakeRequest(hw, 0);
  };

  Ida::VMOpReq req = makeRequest(10000000000LL, 500000);
  ASSERT_EQ(Translate(req, VS_VMWARE), 0);
  EXPECT_EQ(View(vm.vDisks),
            (std::vector<SDiskView>{{2, "ide", 0, 0}, {1, "scsi", 0, 0}}));
  EXPECT_EQ(vm.vDisks[1].i64MaxSizeInBytes, 11000LL * 1000000 + 10000000);
  EXPECT_EQ(vm.vDisks[1].eProvisioningType, 1);

  req = makeRequest(10000000000LL, 2000000000LL);
  ASSERT_EQ(Translate(req, VS_HYPERV), 0);
  EXPECT_EQ(View(vm.vDisks),
            (std::vector<SDiskView>{
                {2, "ide", 1, 0}, {1, "ide", 0, 0}, {1, "ide", 0, 1}}));
  EXPECT_EQ(vm.vDisks[2].i64MaxSizeInBytes, 2200LL * 1000000 + 10000000);

  // Volumes too large for a 32-bit size in MB give the largest size.
  req = makeRequest(INT64_MAX, INT64_MAX);
  ASSERT_EQ(Translate(req, VS_AMAZON), 0);
  ASSERT_EQ(vm.vDisks.size(), 3u);
  EXPECT_EQ(vm.vDisks[1].i64MaxSizeInBytes,
            int64_t{INT32_MAX} * 1000000 + 10000000);
}

TEST_F(RecoveryResponseTranslation,
       NetworkCardsFromTheInterfacesOfTheDestination) {
  using ResponseFile::Interface;
  Interface eth0 = MakeInterface("eth0", "client-net");
  AddressRef address;
  address.setstring(AddressRef::text, "10.0.0.5");
  ResponseFile::Protocol ipv4;
  ipv4.setstring(ResponseFile::Protocol::protocolValue, "ipv4");
  ipv4.SetObject(ResponseFile::Protocol::address, address);
  eth0.SetList(Interface::protocols, std::vector<ResponseFile::Protocol>{ipv4});
  eth0.setint64(Interface::interfaceValue, 42);
  eth0.setint64(Interface::adapterType, 3);
  eth0.setint64(Interface::detailMode, 1);
  eth0.setstring(Interface::detail, "bond0");
  Interface eth1 = MakeInterface("eth1", "backup-net");
  eth1.setint64(Interface::adapterType, 0);
  eth1.setint64(Interface::detailMode, 2);
  eth1.setstring(Interface::detail, "ignored");

  HW hw = MakeHw({MakeDevice(0, 0, kCd)}, {});
  hw.setint64(HW::numNics, 3);
  Ida::VMOpReq req = MakeRequest(hw, 0);
  FirstClient(req).SetObject(ResponseFile::ClientInfo::networkConfig,
                             MakeNetwork({eth0, eth1}));
  Response(req).SetObject(RecoveryResponse::networkConfig,
                          MakeNetwork({MakeInterface("ens5", "vpc-subnet")}));

  for (auto dest : {VS_VMWARE, VS_HYPERV}) {
    SCOPED_TRACE(dest);
    vm = SVMInfo();
    ASSERT_EQ(Translate(req, dest), 0);
    ASSERT_EQ(vm.vNetworkCards.size(), 3u);
    EXPECT_EQ(vm.strPrimaryInterfaceName, "eth0");
    const auto& c0 = vm.vNetworkCards[0];
    EXPECT_EQ(c0.strNetworkName, "client-net");
    EXPECT_EQ(c0.strProtocolAddress, "10.0.0.5");
    EXPECT_EQ(c0.nInterfaceValue, 42);
    EXPECT_EQ(c0.strAdapterType, "VMXNET3");
    EXPECT_EQ(c0.strInterfaceDetail, "bond0");
    EXPECT_EQ(vm.vNetworkCards[1].strAdapterType,
              "Default");  // no display text
    EXPECT_EQ(vm.vNetworkCards[1].strInterfaceDetail, "");
    EXPECT_TRUE(vm.vNetworkCards[2].bConnected);
  }

  vm = SVMInfo();
  ASSERT_EQ(Translate(req, VS_AMAZON), 0);
  EXPECT_EQ(vm.strPrimaryInterfaceName, "ens5");
  EXPECT_EQ(vm.vNetworkCards[0].strNetworkName, "vpc-subnet");

  vm = SVMInfo();
  vm.vNetworkCards.resize(1);
  vm.vNetworkCards[0].strNetworkName = "kept";
  ASSERT_EQ(Translate(req, VS_KIND_1101), 0);
  ASSERT_EQ(vm.vNetworkCards.size(), 1u);
  EXPECT_EQ(vm.vNetworkCards[0].strNetworkName, "kept");
}

TEST_F(RecoveryResponseTranslation, ImpossibleNetworkCardCountIsCut) {
  HW hw = MakeHw({MakeDevice(0, 0, kCd)}, {});
  hw.setint64(HW::numNics, INT32_MAX);
  Ida::VMOpReq req = MakeRequest(hw, 0);
  ASSERT_EQ(Translate(req, VS_AMAZON), 0);
  EXPECT_EQ(vm.vNetworkCards.size(), 64u);
}

TEST_F(RecoveryResponseTranslation, InstanceSizeAndSecurityGroups) {
  Ida::VMOpReq req = MakeRequest(MakeHw({MakeDevice(0, 0, kCd)}, {}), 0);
  CNMessageBase& settings =
      req.getObjectAccessor(Ida::VMOpReq::destinationSettings, true);
  InstanceSizeRef size;
  size.setstring(InstanceSizeRef::name, "m5.large");
  settings.SetObject(DestinationSettings::instanceSize, size);
  Ida::SecurityGroups g;
  g.setstring(Ida::SecurityGroups::groupId, "sg-1");
  g.setstring(Ida::SecurityGroups::groupName, "web");
  settings.SetList(DestinationSettings::securityGroups,
                   std::vector<Ida::SecurityGroups>{g, g});
  vm.vSecurityGroups.resize(1);
  vm.strVMSize = "keep";
  ASSERT_EQ(Translate(req, VS_AMAZON), 0);
  EXPECT_EQ(vm.strVMSize, "m5.large");
  ASSERT_EQ(vm.vSecurityGroups.size(), 3u);
  EXPECT_EQ(vm.vSecurityGroups[2].strGroupName, "web");
}

TEST_F(RecoveryResponseTranslation, BootFirmwareIsEfiOrNothing) {
  std::string firmware = "x";
  ZyP2VUtils::getBootFirmware(ResponseFile::BOOT_FIRMWARE_EFI, firmware);
  EXPECT_EQ(firmware, "efi");
  ZyP2VUtils::getBootFirmware(static_cast<ResponseFile::BOOT_FIRMWARE>(2),
                              firmware);
  EXPECT_EQ(firmware, "");
  // A machine without EFI keeps the description's firmware.
  vm.strBootFirmware = "bios";
  Ida::VMOpReq req = MakeRequest(MakeHw({MakeDevice(0, 0, kCd)}, {}), 0);
  ASSERT_EQ(Translate(req, VS_AMAZON), 0);
  EXPECT_EQ(vm.strBootFirmware, "bios");
}

TEST_F(RecoveryResponseTranslation,
       CountsThatDisagreeWithTheirListsDoNotCrash) {
  struct Row {
    int line;
    int64_t ideCount;
    int64_t scsiCount;
    int osType;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, 9, 9, 1},
      {__LINE__, INT64_MAX, INT64_MIN, 1},
      {__LINE__, 1LL << 32, 0, 1},
  };
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    HW hw =
        MakeHw({MakeDevice(0, 0), MakeDevice(3, 1, kCd)}, {MakeDevice(0, 0)});
    hw.setint64(HW::ideCount, row.ideCount);
    hw.setint64(HW::scsiCount, row.scsiCount);
    Ida::VMOpReq req = MakeRequest(hw, row.osType);
    vm = SVMInfo();
    EXPECT_EQ(Translate(req, VS_VMWARE), 0);
    EXPECT_LE(vm.vDisks.size(), 4u);
    EXPECT_EQ(vm.i64DiskCount, static_cast<int64_t>(vm.vDisks.size()));
  }
}

TEST_F(RecoveryResponseTranslation, RequestReadFromFileForAmazon) {
  std::ifstream in(std::string(ZY_TEST_DATA_DIR) + "/p2v/linux-to-amazon.xml");
  ASSERT_TRUE(in.good());
  std::stringstream text;
  text << in.rdbuf();
  Ida::VMOpReq req;
  std::string error;
  ASSERT_TRUE(req.parse(text.str(), error)) << error;
  ASSERT_EQ(Translate(req, VS_AMAZON), 0);
  EXPECT_EQ(vm.strVMName, "db-restored");
  EXPECT_EQ(vm.strGuestOS, "");  // the platform does not know the client
  EXPECT_EQ(vm.strVMSize, "r5.xlarge");
  EXPECT_EQ(vm.i64MemoryMB, 32768);
  EXPECT_EQ(View(vm.vDisks),
            (std::vector<SDiskView>{
                {2, "ide", 0, 0}, {1, "scsi", 0, 0}, {1, "scsi", 0, 1}}));
  EXPECT_EQ(vm.vDisks[2].i64MaxSizeInBytes, 5500LL * 1000000 + 10000000);
  ASSERT_EQ(vm.vNetworkCards.size(), 1u);
  EXPECT_EQ(vm.vNetworkCards[0].strAdapterType, "E1000E");
  ASSERT_EQ(vm.vSecurityGroups.size(), 1u);

  RestoreCtx ctx;
  ctx.vmInfo = vm;
  ZyP2VUtils::CopyRestoreCtxFromVmOpReq(ctx, req);
  EXPECT_EQ(ctx.strSourceVMGUID, "4c4c4544-0042-3510");
  EXPECT_TRUE(ctx.bRequestFlagB);
}
