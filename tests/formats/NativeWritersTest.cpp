//===- NativeWritersTest.cpp - Native VM descriptions from SVMInfo --------===//
//
// Golden files for every writer over two typical machines, round trips of
// the .vmx and vm.cfg writers through our own readers over the shared sample
// files, libvirt's own validator on the domains, and hostile names.
// Set ZY_UPDATE_GOLDEN=1 to rewrite the golden files after a deliberate
// change.
//
//===----------------------------------------------------------------------===//
#include <gtest/gtest.h>

#include "formats/common/FormatDrivers.h"
#include "model/PlatformKinds.h"
#include "formats/common/FormatText.h"
#include "formats/common/SecureBoot.h"
#include "formats/vmx/VMXFile.h"
#include "platform/support/BoundedFile.h"
#include "support/Golden.h"
#include "support/TempDir.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <tuple>

using namespace VMInfoStructs;
namespace fs = std::filesystem;

namespace {

using Writer = SNativeDescription (*)(const SVMInfo&, const SNativeWriteInput&);

SDisk Device(const char* file, const char* controller, int bus, int slot,
             int32_t type, bool cdrom = false) {
  SDisk disk;
  disk.fileName = file;
  disk.strControllerType = controller;
  disk.nBus = bus;
  disk.nSlot = slot;
  disk.eDiskType = type;
  disk.nDeviceType = cdrom ? 2 : 1;
  return disk;
}

SVMNetworkCard Card(const char* name, const char* network, const char* model,
                    const char* mac) {
  SVMNetworkCard card;
  card.strName = name;
  card.strNetworkName = network;
  card.strAdapterType = model;
  card.strMacAddress = mac;
  return card;
}

// BIOS Windows server: two SCSI disks and a CD-ROM drive, one card, no
// instance type.
SVMInfo WindowsVM(int32_t diskType) {
  SVMInfo info;
  info.strVMName = "win2019";
  info.strGuestOS = "windows2019srv-64";
  info.guestOSInfo.OSType = "Windows";
  info.strGUID = "421eb458-5448-fc12-2074-83d5e419e138";
  info.i64MemoryMB = 8192;
  info.i64NumCPUs = 4;
  info.strBootFirmware = "BIOS";
  info.vDisks = {Device("/stage/win2019.vmdk", "scsi", 0, 0, diskType),
                 Device("win2019_1.vmdk", "scsi", 0, 1, diskType),
                 Device("", "ide", 1, 0, 0, true)};
  info.vDisks[0].isOSDisk = true;
  SVMDiskController controller;
  controller.strName = "scsi";
  controller.strControllerType = "lsisas1068";
  info.vDiskControllers = {controller};
  info.vNetworkCards = {
      Card("Network adapter 1", "LAN", "e1000e", "00:50:56:01:02:03")};
  return info;
}

// EFI Linux with secure boot: two virtio disks (the OS disk second in the
// list), two cards.
SVMInfo LinuxVM(int32_t diskType) {
  SVMInfo info;
  info.strVMName = "rhel9";
  info.strGuestOS = "rhel9-64";
  info.guestOSInfo.OSType = "Unix";
  info.strGUID = "0e8d4c5a-7f3b-4d2e-9a61-3b5c7d9e1f20";
  info.i64MemoryMB = 4096;
  info.i64NumCPUs = 2;
  info.strBootFirmware = "EFI";
  info.strVMSize = "t3.large";
  info.strRegion = "eu-west-1";
  info.vDisks = {Device("rhel9-data.img", "virtio", 0, 1, diskType),
                 Device("rhel9-os.img", "virtio", 0, 0, diskType)};
  info.vDisks[1].isOSDisk = true;
  info.vNetworkCards = {Card("eth0", "prod", "virtio", "52-54-00-12-34-56"),
                        Card("eth1", "backup", "virtio", "")};
  info.vNetworkCards[1].bConnected = false;
  SetSecureBoot(info, true);
  return info;
}

// What a restore makes of the Windows server's disks on OpenStack: files in
// the destination format, and, with four disks or fewer, every disk on IDE.
void RestoredToOpenStack(SVMInfo& info) {
  info.vDisks[0].fileName = "/stage/win2019.qcow2";
  info.vDisks[1] = Device("win2019_1.qcow2", "ide", 0, 1, DT_OPENSTACK);
  info.vDisks[0].strControllerType = "ide";
}

// On Hyper-V: files in the destination format, and the boot disk of a BIOS
// machine on IDE 0:0, where a Generation 1 VM boots from.
void RestoredToHyperV(SVMInfo& info) {
  info.vDisks[0] = Device("/stage/win2019.vhdx", "ide", 0, 0, DT_VHDX_20);
  info.vDisks[0].isOSDisk = true;
  info.vDisks[1].fileName = "win2019_1.vhdx";
}

struct WriterRow {
  const char* extension;
  Writer write;
  int32_t diskType;
  void (*restored)(SVMInfo& windows);  // null: the machine as it is
};

// clang-format off
const WriterRow kWriters[] = {
    {"vmx", WriteVmx, DT_VMDK, nullptr},
    {"xml", WriteLibvirtDomain, DT_OPENSTACK, RestoredToOpenStack},
    {"cfg", WriteXenDomain, DT_ORACLE_VM, nullptr},
    {"ps1", WriteHyperVScript, DT_VHDX_20, RestoredToHyperV},
    {"ec2.json", WriteEc2Import, DT_AMAZON, nullptr},
    {"azure.json", WriteAzureTemplate, DT_AZURE, nullptr},
};
// clang-format on

SNativeWriteInput Input() {
  SNativeWriteInput input;
  input.strDiskFolder = "/srv/vms/guest";
  return input;
}

bool HasValidator() {
  return std::system("command -v virt-xml-validate >/dev/null 2>&1") == 0;
}

bool ValidDomain(const std::string& xml) {
  TempDir dir;
  std::string path = dir.Write("domain.xml", xml);
  std::string command =
      "virt-xml-validate '" + path + "' domain >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

std::vector<std::string> SampleFiles(const char* folder) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(golden::Samples(folder), ec))
    files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

std::string Base(const std::string& path) {
  return fs::path(path).filename().string();
}

// The facts both round trips keep: identity, size, firmware, every device's
// address and kind (hard disks by their file's name), every card's network,
// model, MAC and connection.
auto Facts(const SVMInfo& vm) {
  std::vector<std::tuple<std::string, int, int, int, int32_t, bool, std::string>>
      disks;
  for (const SDisk& d : vm.vDisks)
    disks.emplace_back(d.strControllerType, d.nBus, d.nSlot, d.nDeviceType,
                       d.eDiskType, d.isOSDisk,
                       d.nDeviceType == 1 ? Base(d.fileName) : "");
  std::vector<std::tuple<std::string, std::string, std::string, bool>> cards;
  for (const SVMNetworkCard& c : vm.vNetworkCards)
    cards.emplace_back(c.strNetworkName, c.strAdapterType, c.strMacAddress,
                       c.bConnected);
  return std::make_tuple(vm.strVMName, vm.strGUID, vm.strGuestOS,
                         vm.i64MemoryMB, vm.i64NumCPUs, vm.strBootFirmware,
                         disks, cards);
}

void ExpectSameMachine(const SVMInfo& a, const SVMInfo& b) {
  EXPECT_EQ(Facts(a), Facts(b));
}

// The disks format's placement reader finds in text, as
// "<file> <controller> <bus>:<unit>[:<lun>]".
std::set<std::string> Placed(const SFormatDriver& format,
                             const std::string& text,
                             const std::vector<SDisk>& disks) {
  std::vector<std::string> files;
  for (const SDisk& disk : disks)
    files.push_back(fs::path(disk.fileName).filename());
  SDiskPlacement placement;
  std::string error;
  if (!format.place(text, files, placement, error))
    return {"unreadable: " + error};
  std::set<std::string> placed;
  for (const SPlacedDisk& disk : placement.disks)
    placed.insert(fs::path(disk.file).filename().string() + " " +
                  disk.controller + " " + std::to_string(disk.bus) + ":" +
                  std::to_string(disk.unit) +
                  (disk.lun ? ":" + std::to_string(disk.lun) : ""));
  return placed;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> items;
  std::istringstream in(text);
  for (std::string item; std::getline(in, item, separator);)
    items.push_back(item);
  return items;
}

}  // namespace

TEST(NativeWriters, WriteTheGoldenDescriptionOfEachTypicalMachine) {
  for (const WriterRow& writer : kWriters) {
    for (auto machine : {WindowsVM, LinuxVM}) {
      SVMInfo info = machine(writer.diskType);
      if (writer.restored && machine == WindowsVM) writer.restored(info);
      std::string name = info.strVMName + "." + writer.extension;
      SCOPED_TRACE(name);
      SNativeDescription out = writer.write(info, Input());
      golden::Check(golden::Data("writers/" + name), out.text);
      if (writer.write == WriteLibvirtDomain && HasValidator()) {
        EXPECT_TRUE(ValidDomain(out.text)) << out.text;
      }
    }
  }
}

// Each sample read by our reader, written, and read again is the same machine.
TEST(NativeWriters, VmxAndXenDomainReadBackThroughOurReadersAsTheSameMachine) {
  auto readVmx = [](const std::string& text, SVMInfo& vm, std::string&) {
    VMXFile reader;
    return reader.LoadText(text, "vmx") && reader.GetVMInfo(vm);
  };
  struct Row {
    int line;
    const char* samples;
    std::function<bool(const std::string&, SVMInfo&, std::string&)> read;
    Writer write;
    SNativeWriteInput input;
  };
  const Row rows[] = {
      {__LINE__, "vmx", readVmx, WriteVmx, SNativeWriteInput()},
      {__LINE__, "xen", ParseXenDomainConfig, WriteXenDomain, Input()}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    for (const std::string& file : SampleFiles(row.samples)) {
      SCOPED_TRACE(file);
      std::string text, error;
      SVMInfo original, again;
      ASSERT_TRUE(ReadBoundedFile(file, text, error)) << error;
      ASSERT_TRUE(row.read(text, original, error)) << error;
      SNativeDescription out = row.write(original, row.input);
      EXPECT_TRUE(out.vNotes.empty()) << out.vNotes.front();
      ASSERT_TRUE(row.read(out.text, again, error)) << error << "\n" << out.text;
      ExpectSameMachine(original, again);
    }
  }
}

// tests/data/writers/placement.cases: each case written, then placed by the
// same format's placement reader.
TEST(NativeWriters, PutDisksOnlyOnAddressesTheirControllerHas) {
  for (const auto& c : golden::Table("writers/placement")) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(c.fields.size(), 6u);
    const SFormatDriver* format = FindFormat(c.fields[0]);
    ASSERT_NE(format, nullptr);
    SVMInfo info;
    info.strVMName = "vm";
    info.strBootFirmware = c.fields[1];
    for (const std::string& disk : Split(c.fields[2], ';')) {
      size_t space = disk.find(' '), colon = disk.find(':'),
             file = disk.find(' ', space + 1);
      info.vDisks.push_back(Device(
          disk.substr(file + 1).c_str(), disk.substr(0, space).c_str(),
          std::stoi(disk.substr(space + 1)), std::stoi(disk.substr(colon + 1)),
          c.fields[0] == "ec2" ? DT_AMAZON : DT_OPENSTACK));
    }
    SNativeDescription out = format->write(info, Input());
    EXPECT_NE(out.text.find(c.fields[3]), std::string::npos) << out.text;
    std::vector<std::string> placed = Split(c.fields[5], ';');
    EXPECT_EQ(Placed(*format, out.text, info.vDisks),
              std::set<std::string>(placed.begin(), placed.end()))
        << out.text;
    if (c.fields[4].empty()) {
      EXPECT_TRUE(out.vNotes.empty()) << out.vNotes.front();
      continue;
    }
    ASSERT_EQ(out.vNotes.size(), 1u);
    EXPECT_NE(out.vNotes[0].find(c.fields[4]), std::string::npos) << out.vNotes[0];
  }
}

// VMware refuses to power on a VM that claims an address of the ranges it
// generates from as static.
TEST(NativeWriters, StaticMacsInAVmxAreOnlyOnesVMwareLeavesFree) {
  // clang-format off
  struct Row { int line; const char* mac; const char* written; };
  const Row rows[] = {{__LINE__, "00:0c:29:b3:c4:d5", "addressType = \"generated\"\nethernet0.generatedAddress"},
                      {__LINE__, "00:50:56:40:00:01", "addressType = \"generated\"\nethernet0.generatedAddress"},
                      {__LINE__, "00:50:56:3f:ff:ff", "addressType = \"static\"\nethernet0.address"},
                      {__LINE__, "52:54:00:12:34:56", "addressType = \"static\"\nethernet0.address"}};
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    SVMInfo info, back;
    info.vNetworkCards = {Card("eth0", "", "", row.mac)};
    std::string vmx = WriteVmx(info, {}).text;
    EXPECT_NE(vmx.find(row.written), std::string::npos) << vmx;
    VMXFile reader;
    ASSERT_TRUE(reader.LoadText(vmx, "vmx") && reader.GetVMInfo(back));
    EXPECT_EQ(back.vNetworkCards.at(0).strMacAddress, row.mac);
  }
}

namespace {

bool IsPowerShellQuote(const std::string& text, size_t i) {
  return text[i] == '\'' ||
         (i + 2 < text.size() && text.compare(i, 2, "\xE2\x80") == 0 &&
          text[i + 2] >= '\x98' && text[i + 2] <= '\x9B');
}

// The text with every quoted literal emptied, as the syntax's own tokenizer
// sees literals: what is left is the structure (keys, elements, commands).
std::string Structure(const std::string& text, const std::string& extension) {
  bool powershell = extension == "ps1";
  char quote = extension == "cfg" ? '\'' : '"';
  bool escapes =
      extension == "cfg" || extension.find("json") != std::string::npos;
  std::string out;
  bool inside = false;
  for (size_t i = 0; i < text.size(); ++i) {
    bool isQuote = powershell ? IsPowerShellQuote(text, i) : text[i] == quote;
    if (isQuote) {
      inside = !inside;
      if (powershell && text[i] != '\'') i += 2;
    } else if (inside && escapes && text[i] == '\\') {
      ++i;
    } else if (!inside) {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

TEST(NativeWriters, HostileNamesStayOneValueInEverySyntax) {
  struct Row {
    int line;
    const char* name;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, "a\nguestOS = \"evil\"\nname = 'x'"},
      {__LINE__, "x'; Remove-Item -Recurse C:\\ ; '"},
      {__LINE__, "$(Invoke-Evil) ${env:PATH} `n"},
      {__LINE__, "\xE2\x80\x98; Stop-Computer; \xE2\x80\x99"},
      {__LINE__, "</name><devices><disk/></devices><name>&amp;"},
      {__LINE__, "\"|22#|7C\r\\"},
      {__LINE__, "[concat('a', 'b')]"},
      {__LINE__, "a,bridge=evil,script=/bin/sh;b=c"},
  };
  // clang-format on
  for (const WriterRow& writer : kWriters) {
    SVMInfo plain = LinuxVM(writer.diskType);
    plain.strGuestOS = "Linux";  // no libosinfo id, as the names below
    std::string expected =
        Structure(writer.write(plain, Input()).text, writer.extension);
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(writer.extension) + " row " +
                   std::to_string(row.line));
      SVMInfo info = LinuxVM(writer.diskType);
      info.strVMName = info.strGuestOS = info.strVMSize = row.name;
      info.vNetworkCards[0].strNetworkName = row.name;
      info.vNetworkCards[1].strName = row.name;
      info.vDisks[0].fileName = std::string(row.name) + ".img";
      SNativeDescription out = writer.write(info, Input());
      // A name ending in a path separator leaves the disk file no name.
      if (!out.error.empty()) {
        EXPECT_NE(out.error.find("has no file name ([.img])"),
                  std::string::npos) << out.error;
        continue;
      }
      const std::string& text = out.text;
      if (std::string(writer.extension) == "xml") {
        EXPECT_EQ(std::count(text.begin(), text.end(), '<'),
                  std::count(expected.begin(), expected.end(), '<'));
        continue;
      }
      EXPECT_EQ(Structure(text, writer.extension), expected) << text;
      SVMInfo back;
      std::string error;
      if (writer.write == WriteXenDomain) {
        ASSERT_TRUE(ParseXenDomainConfig(text, back, error)) << error;
        EXPECT_EQ(back.strVMName, row.name);
        std::string file = std::string(row.name) + ".img";
        EXPECT_EQ(
            back.vDisks.at(0).fileName,
            "/srv/vms/guest/" + file.substr(file.find_last_of("/\\") + 1));
      } else if (writer.write == WriteVmx) {
        VMXFile reader;
        ASSERT_TRUE(reader.LoadText(text, "written"));
        ASSERT_TRUE(reader.GetVMInfo(back));
        EXPECT_EQ(back.strVMName, row.name);
        EXPECT_EQ(back.vNetworkCards.at(0).strNetworkName, row.name);
      } else if (writer.write == WriteAzureTemplate) {
        auto json = nlohmann::json::parse(text);
        std::string literal = row.name[0] == '[' ? "[" : "";
        EXPECT_EQ(json["resources"].back()["tags"]["sourceName"],
                  literal + row.name);
      }
    }
  }
}

// An import request the import call cannot take is not written.
TEST(NativeWriters, Ec2ImportNamesEachDiskInTheBucketOrRefuses) {
  struct Row {
    int line;
    std::vector<SDisk> disks;
    const char* bucket;
    const char* written;  // in the text; "" when refused
    const char* error;    // "" when written
  };
  const SDisk cdrom = Device("", "ide", 1, 0, 0, true);
  // clang-format off
  const Row rows[] = {
      {__LINE__, {Device("d/a.vhd", "ide", 0, 0, DT_AZURE)}, "zy-images",
       "\"Format\": \"VHD\",\n      \"UserBucket\": {\n        \"S3Bucket\": \"zy-images\",\n        \"S3Key\": \"a.vhd\"", ""},
      {__LINE__, {}, "", "", "VM [vm] has no hard disk"},
      {__LINE__, {cdrom}, "", "", "VM [vm] has no hard disk"},
      {__LINE__, {Device("/stage/.vhdx", "ide", 0, 0, DT_AMAZON)}, "", "",
       "Disk 1 of VM [vm] has no file name ([.vhdx])"},
      {__LINE__, {Device("a.vhdx", "ide", 0, 0, DT_AMAZON),
                  Device("", "ide", 0, 1, DT_AMAZON)}, "", "",
       "Disk 2 of VM [vm] has no file name ([])"},
      {__LINE__, {Device("a.qcow2", "ide", 0, 0, DT_OPENSTACK)}, "", "",
       "is a qcow2 image; an EC2 image import takes"},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    SVMInfo info;
    info.strVMName = "vm";
    info.vDisks = row.disks;
    SNativeWriteInput input;
    input.strS3Bucket = row.bucket;
    SNativeDescription out = WriteEc2Import(info, input);
    EXPECT_NE(out.text.find(row.written), std::string::npos) << out.text;
    EXPECT_NE(out.error.find(row.error), std::string::npos) << out.error;
    EXPECT_EQ(out.text.empty(), !*row.written);
    EXPECT_EQ(out.error.empty(), !*row.error);
    EXPECT_EQ(out.vNotes.empty(), *row.bucket || *row.error);
  }
}

TEST(NativeWriters, EveryDestinationKindHasItsFormat) {
  for (const zykinds::KindFacts& facts : zykinds::kKinds) {
    if (!zykinds::MayBeDestination(facts.kind)) continue;
    EXPECT_NE(FormatWrittenFor(facts.kind), nullptr) << facts.kind;
  }
}

// tests/data/writers/guest-os.cases: the guest OS of every source in every
// description that carries one.
TEST(NativeWriters, GuestOSOfEverySourceInEveryDescriptionThatCarriesOne) {
  for (const auto& c : golden::Table("writers/guest-os")) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(c.fields.size(), 7u);
    SVMInfo info = LinuxVM(DT_VMDK);
    info.strGuestOS = c.fields[0];
    info.guestOSInfo.OSType = c.fields[1];
    info.guestOSInfo.CPUArch = c.fields[2];
    std::string vmx = WriteVmx(info, Input()).text;
    EXPECT_NE(vmx.find("guestOS = \"" + c.fields[3] + "\"\n"), std::string::npos)
        << vmx;
    std::string domain = WriteLibvirtDomain(info, Input()).text;
    const std::string& id = c.fields[4];
    std::string os = id.empty() ? "<metadata>" : "<libosinfo:os id='" + id + "'/>";
    EXPECT_EQ(domain.find(os) != std::string::npos, !id.empty()) << domain;
    if (!id.empty() && HasValidator()) {
      EXPECT_TRUE(ValidDomain(domain)) << domain;
    }
    auto azure = nlohmann::json::parse(WriteAzureTemplate(info, Input()).text);
    EXPECT_NE(azure.dump().find("\"osType\":\"" + c.fields[5] + "\""),
              std::string::npos);
    std::string cfg = WriteXenDomain(info, Input()).text;
    EXPECT_EQ(cfg.find("OVM_os_type = '" + c.fields[6] + "'\n") !=
                  std::string::npos,
              !c.fields[6].empty())
        << cfg;
  }
}

// Xen reads a "file:" disk as raw: a thin qcow2 image of a live mount has its
// format stated, and our reader finds it there.
TEST(NativeWriters, XenStatesTheFormatOfEveryDiskThatIsNotRaw) {
  struct Row {
    int line;
    DiskType_t type;
    const char* stated;
  };
  const Row rows[] = {{__LINE__, DT_ORACLE_VM, ""}, {__LINE__, DT_RHEV, "qcow2"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    SVMInfo back;
    std::string error;
    std::string text = WriteXenDomain(LinuxVM(row.type), Input()).text;
    ASSERT_TRUE(ParseXenDomainConfig(text, back, error)) << error;
    EXPECT_EQ(back.vDisks.at(0).strPlatformRef1, row.stated) << text;
  }
}

// Each card joins what the mapping names, in each format's words; unmapped,
// libvirt has no network of another platform's name, only a source bridge.
TEST(NativeWriters, NetworkCardsJoinTheMappedNetworkOrBridge) {
  struct Row {
    int line;
    Writer write;
    std::vector<SNetworkMapping> rules;
    bool sourceBridges;
    std::vector<const char*> says;
    size_t notes;
  };
  const char* prod = "<interface type='network'>\n      <mac address='52:54:00:12:34:56'/>\n      <source network='default'/>";
  // clang-format off
  const Row rows[] = {
      {__LINE__, WriteLibvirtDomain, {}, false, {prod, "<source network='default'/>"}, 2},
      {__LINE__, WriteLibvirtDomain, {}, true, {"<interface type='bridge'>", "<source bridge='prod'/>", "<source bridge='backup'/>"}, 0},
      {__LINE__, WriteLibvirtDomain, {{"prod", "lan", false}}, true, {"<source network='lan'/>", "<source bridge='backup'/>"}, 0},
      {__LINE__, WriteLibvirtDomain, {{"", "dmz", false}, {"backup", "br0", true}}, false, {"<source network='dmz'/>", "<interface type='bridge'>\n      <source bridge='br0'/>"}, 0},
      {__LINE__, WriteVmx, {{"", "VM Network", true}}, false, {"ethernet0.networkName = \"VM Network\"", "ethernet1.networkName = \"VM Network\""}, 0},
      {__LINE__, WriteHyperVScript, {{"backup", "vSwitch", false}}, false, {"-SwitchName 'prod'", "-SwitchName 'vSwitch'"}, 0},
      {__LINE__, WriteXenDomain, {{"prod", "xenbr1", false}}, false, {"bridge=xenbr1", "bridge=backup"}, 0},
      {__LINE__, WriteAzureTemplate, {{"prod", "vnet-a", false}}, false, {"\"network\": \"vnet-a\"", "\"network\": \"backup\""}, 0},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    SNativeWriteInput input = Input();
    input.networks = {row.rules, row.sourceBridges};
    SNativeDescription out = row.write(LinuxVM(DT_RHEV), input);
    for (const char* text : row.says)
      EXPECT_NE(out.text.find(text), std::string::npos) << text << "\n" << out.text;
    EXPECT_EQ(out.vNotes.size(), row.notes);
    if (row.write == WriteLibvirtDomain && HasValidator()) {
      EXPECT_TRUE(ValidDomain(out.text)) << out.text;
    }
  }
}

// Secure boot as the description states it, where the format has it: a
// stated "off" keeps libvirt from an OVMF build that enforces it and turns
// Hyper-V's default off.
TEST(NativeWriters, SecureBootAsTheDescriptionStatesIt) {
  struct Row {
    int line;
    Writer write;
    int stated;  // -1: unstated, else off or on
    const char* says;
    bool present;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, WriteLibvirtDomain, 0, "<feature enabled='no' name='secure-boot'/>", true},
      {__LINE__, WriteLibvirtDomain, -1, "<firmware>", false},
      {__LINE__, WriteHyperVScript, 0, "-EnableSecureBoot Off", true},
      {__LINE__, WriteHyperVScript, 0, "-SecureBootTemplate", false},
      {__LINE__, WriteHyperVScript, -1, "-EnableSecureBoot", false},
      {__LINE__, WriteVmx, 0, "uefi.secureBoot", false},
      {__LINE__, WriteAzureTemplate, 0, "securityProfile", false},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    SVMInfo info = LinuxVM(DT_RHEV);
    info.vExtraOptions.clear();
    if (row.stated >= 0) SetSecureBoot(info, row.stated == 1);
    std::string text = row.write(info, Input()).text;
    EXPECT_EQ(text.find(row.says) != std::string::npos, row.present) << text;
    if (row.write == WriteLibvirtDomain && HasValidator()) {
      EXPECT_TRUE(ValidDomain(text)) << text;
    }
  }
}
