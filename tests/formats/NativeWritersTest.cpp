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
#include "formats/vmx/VMXFile.h"
#include "platform/support/BoundedFile.h"
#include "support/Golden.h"
#include "support/TempDir.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
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

// EFI Linux: two virtio disks (the OS disk second in the list), two cards.
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

// The disks the placement reader of writer's format finds in text.
std::set<std::string> Placed(Writer writer, const std::string& text,
                             const std::vector<SDisk>& disks) {
  const SFormatDriver* format = FormatDriversBegin();
  while (format != FormatDriversEnd() && format->write != writer) ++format;
  std::vector<std::string> files;
  for (const SDisk& disk : disks)
    files.push_back(fs::path(disk.fileName).filename());
  SDiskPlacement placement;
  std::string error;
  if (format == FormatDriversEnd() ||
      !format->place(text, files, placement, error))
    return {"unreadable: " + error};
  std::set<std::string> placed;
  for (const SPlacedDisk& disk : placement.disks)
    placed.insert(fs::path(disk.file).filename().string() + " " +
                  disk.controller + " " + std::to_string(disk.bus) + ":" +
                  std::to_string(disk.unit) +
                  (disk.lun ? ":" + std::to_string(disk.lun) : ""));
  return placed;
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

// Each row is written, then placed by the same format's placement reader
// (what the boot check reads): the disks are where the writer put them.
TEST(NativeWriters, PutDisksOnlyOnAddressesTheirControllerHas) {
  struct Row {
    int line;
    Writer write;
    const char* firmware;
    std::vector<SDisk> disks;
    const char* written;  // in the text
    const char* note;     // in the one note; "" for none
    std::set<std::string> placed;  // "<file> <controller> <bus>:<unit>[:<lun>]"
  };
  auto disk = [](const char* controller, int bus, int slot,
                 const char* file = "d.img") {
    return Device(file, controller, bus, slot, DT_OPENSTACK);
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, WriteLibvirtDomain, "BIOS",
       {disk("ide", 0, 0), disk("ide", 0, 1), disk("ide", 0, 2)},
       "<target dev='hdc' bus='ide'/>",
       "Disk [d.img] at ide 0:2 cannot be there on the destination; written "
       "at ide 1:0", {"d.img ide 0:0", "d.img ide 0:1", "d.img ide 1:0"}},
      {__LINE__, WriteLibvirtDomain, "BIOS",
       {disk("ide", 1, 1), disk("virtio_scsi", 0, 0)},
       "<controller type='scsi' index='0' model='virtio-scsi'/>", "",
       {"d.img ide 1:1", "d.img virtio-scsi 0:0"}},
      // On virtio-scsi libvirt's target is the SCSI id, unit the LUN.
      {__LINE__, WriteLibvirtDomain, "BIOS",
       {disk("scsi", 1, 3, "a.img"), disk("sata", 0, 5, "b.img"),
        disk("virtio", 0, 1, "c.img")},
       "<address type='drive' controller='1' bus='0' target='3' unit='0'/>", "",
       {"a.img virtio-scsi 1:3", "b.img sata 0:5", "c.img virtio 0:1"}},
      {__LINE__, WriteVmx, "BIOS", {disk("scsi", 0, 7)},
       "scsi0:0.fileName", "at scsi 0:7 cannot be there", {"d.img pvscsi 0:0"}},
      // A Linux guest's SCSI controller is PVSCSI, with units 0..63.
      {__LINE__, WriteVmx, "BIOS", {disk("scsi", 0, 40)}, "scsi0:40.fileName", "",
       {"d.img pvscsi 0:40"}},
      {__LINE__, WriteVmx, "BIOS",
       {disk("sata", 0, 5, "a.vmdk"), disk("ide", 1, 1, "b.vmdk")},
       "sata0:5.fileName", "", {"a.vmdk sata 0:5", "b.vmdk ide 1:1"}},
      {__LINE__, WriteVmx, "BIOS",
       {disk("ide", 0, 0), disk("ide", 0, 1), disk("ide", 1, 0),
        disk("ide", 1, 1), disk("ide", 0, 0)},
       "scsi0:0.fileName", "at ide 0:0 cannot be there on the destination; "
       "written at scsi 0:0",
       {"d.img ide 0:0", "d.img ide 0:1", "d.img ide 1:0", "d.img ide 1:1",
        "d.img pvscsi 0:0"}},
      {__LINE__, WriteXenDomain, "BIOS", {disk("xen", 0, 0), disk("xen", 1, 0)},
       "xvdb", "at xen 1:0 cannot be there on the destination; written at "
       "xen 0:1", {"d.img ide 0:0", "d.img ide 0:1"}},
      {__LINE__, WriteHyperVScript, "BIOS", {disk("scsi", 0, 0)},
       "-ControllerType SCSI -ControllerNumber 0 -ControllerLocation 0",
       "is not at IDE 0:0; a Generation 1 VM boots from there",
       {"d.img hyper-v scsi 0:0"}},
      {__LINE__, WriteHyperVScript, "EFI", {disk("ide", 0, 0)},
       "-FirstBootDevice (Get-VMHardDiskDrive -VMName $VMName "
       "-ControllerType SCSI -ControllerNumber 0 -ControllerLocation 0)", "",
       {"d.img hyper-v scsi 0:0"}},
      // PowerShell doubles a quote inside a single-quoted string.
      {__LINE__, WriteHyperVScript, "BIOS",
       {disk("ide", 0, 0, "Bob's PC.vhdx"), disk("scsi", 0, 2, "Bob's PC_1.vhdx")},
       "'Bob''s PC.vhdx'", "",
       {"Bob's PC.vhdx ide 0:0", "Bob's PC_1.vhdx hyper-v scsi 0:2"}},
      {__LINE__, WriteEc2Import, "BIOS",
       {Device("a.vmdk", "scsi", 0, 0, DT_AMAZON),
        Device("/x/b.vmdk", "scsi", 0, 1, DT_AMAZON)}, "\"S3Key\": \"b.vmdk\"",
       "replace it with the bucket", {"a.vmdk nvme 0:0", "b.vmdk nvme 0:1"}},
      {__LINE__, WriteAzureTemplate, "BIOS",
       {disk("scsi", 0, 0, "a.vhd"), disk("scsi", 0, 1, "b.vhd")}, "a.vhd", "",
       {"a.vhd ide 0:0", "b.vhd hyper-v scsi 0:1"}},
      {__LINE__, WriteHyperVScript, "BIOS",
       {disk("ide", 0, 0), disk("scsi", 4, 0)},
       "-ControllerType SCSI -ControllerNumber 0 -ControllerLocation 0",
       "at scsi 4:0 cannot be there",
       {"d.img ide 0:0", "d.img hyper-v scsi 0:0"}},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    SVMInfo info;
    info.strVMName = "vm";
    info.strBootFirmware = row.firmware;
    info.vDisks = row.disks;
    SNativeDescription out = row.write(info, Input());
    EXPECT_NE(out.text.find(row.written), std::string::npos) << out.text;
    EXPECT_EQ(Placed(row.write, out.text, row.disks), row.placed) << out.text;
    if (!*row.note) {
      EXPECT_TRUE(out.vNotes.empty()) << out.vNotes.front();
      continue;
    }
    ASSERT_EQ(out.vNotes.size(), 1u);
    EXPECT_NE(out.vNotes[0].find(row.note), std::string::npos) << out.vNotes[0];
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

// The guest OS, in the words each source gives it or a user's --os, as each
// description that has a field for it writes it.
TEST(NativeWriters, GuestOSOfEverySourceInEveryDescriptionThatCarriesOne) {
  struct Row {
    int line;
    const char* guestOS;  // strGuestOS
    const char* osType;   // guestOSInfo.OSType
    const char* arch;     // guestOSInfo.CPUArch
    const char* vmx;      // guestOS = "..."
    const char* libosinfo;  // null: no <metadata>
    const char* azure;    // osDisk.osType
  };
  // clang-format off
  const Row rows[] = {
      // VMware ids, a user's or a VMware source's, go in as given.
      {__LINE__, "windows2019srv_64Guest", "Windows", "", "windows2019srv_64Guest", "http://microsoft.com/win/2k19", "Windows"},
      {__LINE__, "otherlinux-64", "Unix", "", "otherlinux-64", nullptr, "Linux"},
      {__LINE__, "rhel8-64", "", "", "rhel8-64", "http://redhat.com/rhel/8.0", "Linux"},
      // EC2 platforms.
      {__LINE__, "Linux/UNIX", "Unix", "x64", "otherlinux-64", nullptr, "Linux"},
      {__LINE__, "Windows", "Windows", "x64", "windows9srv-64", nullptr, "Windows"},
      {__LINE__, "Red Hat Enterprise Linux 9", "Unix", "x64", "rhel9-64", "http://redhat.com/rhel/9.0", "Linux"},
      // Oracle VM's OS types, with no family stated.
      {__LINE__, "Oracle Linux 7", "", "", "oraclelinux7-64", nullptr, "Linux"},
      {__LINE__, "Microsoft Windows Server 2016", "", "", "windows9srv-64", "http://microsoft.com/win/2k16", "Windows"},
      {__LINE__, "Other Linux", "", "x86", "otherlinux", nullptr, "Linux"},
      // Windows Server 2022 is not taken for 2019.
      {__LINE__, "windows2019srvNext_64Guest", "Windows", "", "windows2019srvNext_64Guest", "http://microsoft.com/win/2k22", "Windows"},
      {__LINE__, "", "", "", "other", nullptr, "Linux"},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    SVMInfo info = LinuxVM(DT_VMDK);
    info.strGuestOS = row.guestOS;
    info.guestOSInfo.OSType = row.osType;
    info.guestOSInfo.CPUArch = row.arch;
    std::string vmx = WriteVmx(info, Input()).text;
    EXPECT_NE(vmx.find("guestOS = \"" + std::string(row.vmx) + "\"\n"),
              std::string::npos)
        << vmx;
    std::string domain = WriteLibvirtDomain(info, Input()).text;
    std::string os = row.libosinfo
                         ? "<libosinfo:os id='" + std::string(row.libosinfo) + "'/>"
                         : "<metadata>";
    EXPECT_EQ(domain.find(os) != std::string::npos, row.libosinfo != nullptr)
        << domain;
    if (row.libosinfo && HasValidator()) {
      EXPECT_TRUE(ValidDomain(domain)) << domain;
    }
    auto azure = nlohmann::json::parse(WriteAzureTemplate(info, Input()).text);
    EXPECT_NE(azure.dump().find("\"osType\":\"" + std::string(row.azure) + "\""),
              std::string::npos);
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
