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

#include "platform/readers/NativeWriters.h"
#include "platform/readers/VMConfigFormat.h"
#include "platform/readers/VMXFile.h"
#include "platform/support/BoundedFile.h"
#include "support/Golden.h"
#include "support/TempDir.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <functional>
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

struct WriterRow {
  const char* extension;
  Writer write;
  int32_t diskType;
};

// clang-format off
const WriterRow kWriters[] = {
    {"vmx", WriteVmx, DT_VMDK},
    {"xml", WriteLibvirtDomain, DT_OPENSTACK},
    {"cfg", WriteXenDomain, DT_ORACLE_VM},
    {"ps1", WriteHyperVScript, DT_VHDX_20},
    {"ec2.json", WriteEc2Import, DT_AMAZON},
    {"azure.json", WriteAzureTemplate, DT_AZURE},
};
// clang-format on

SNativeWriteInput Input() {
  SNativeWriteInput input;
  input.strDiskFolder = "/srv/vms/guest";
  input.strOSValue = "Linux";
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

}  // namespace

TEST(NativeWriters, WriteTheGoldenDescriptionOfEachTypicalMachine) {
  for (const WriterRow& writer : kWriters) {
    for (auto machine : {WindowsVM, LinuxVM}) {
      SVMInfo info = machine(writer.diskType);
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

TEST(NativeWriters, PutDisksOnlyOnAddressesTheirControllerHas) {
  struct Row {
    int line;
    Writer write;
    const char* firmware;
    std::vector<SDisk> disks;
    const char* written;  // in the text
    const char* note;     // in the one note; "" for none
  };
  auto disk = [](const char* controller, int bus, int slot) {
    return Device("d.img", controller, bus, slot, DT_OPENSTACK);
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, WriteLibvirtDomain, "BIOS",
       {disk("ide", 0, 0), disk("ide", 0, 1), disk("ide", 0, 2)},
       "<target dev='hdc' bus='ide'/>",
       "Disk [d.img] at ide 0:2 cannot be there on the destination; written "
       "at ide 1:0"},
      {__LINE__, WriteLibvirtDomain, "BIOS",
       {disk("ide", 1, 1), disk("virtio_scsi", 0, 0)},
       "<controller type='scsi' index='0' model='virtio-scsi'/>", ""},
      {__LINE__, WriteVmx, "BIOS", {disk("scsi", 0, 7)},
       "scsi0:0.fileName", "at scsi 0:7 cannot be there"},
      {__LINE__, WriteVmx, "BIOS",
       {disk("ide", 0, 0), disk("ide", 0, 1), disk("ide", 1, 0),
        disk("ide", 1, 1), disk("ide", 0, 0)},
       "scsi0:0.fileName", "at ide 0:0 cannot be there on the destination; "
       "written at scsi 0:0"},
      {__LINE__, WriteXenDomain, "BIOS", {disk("xen", 0, 0), disk("xen", 1, 0)},
       "xvdb", "at xen 1:0 cannot be there on the destination; written at "
       "xen 0:1"},
      {__LINE__, WriteHyperVScript, "BIOS", {disk("scsi", 0, 0)},
       "-ControllerType SCSI -ControllerNumber 0 -ControllerLocation 0",
       "is not at IDE 0:0; a Generation 1 VM boots from there"},
      {__LINE__, WriteHyperVScript, "EFI", {disk("ide", 0, 0)},
       "-FirstBootDevice (Get-VMHardDiskDrive -VMName $VMName "
       "-ControllerType SCSI -ControllerNumber 0 -ControllerLocation 0)", ""},
      {__LINE__, WriteHyperVScript, "BIOS",
       {disk("ide", 0, 0), disk("scsi", 4, 0)},
       "-ControllerType SCSI -ControllerNumber 0 -ControllerLocation 0",
       "at scsi 4:0 cannot be there"},
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
      std::string text = writer.write(info, Input()).text;
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
