//===- BootCheckTest.cpp - Restored VMs booted in qemu --------------------===//
//
// The boot plans read from each native description kind, the image formats
// told apart (qemu-img makes the images), the OS check's reading of the
// guest's report, what the boot check refuses before qemu starts, and the
// test guest booted by "zyvmconvert boot-check".  Restored VMs of every
// destination family are booted by linux-guest-matrix.sh.
//
//===----------------------------------------------------------------------===//
#include "jobs/BootPlan.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/wait.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <utility>

namespace fs = std::filesystem;
using namespace zyjobs;

namespace {

const std::string kTool = ZY_TOOL_PATH;
const std::string kExamples = ZY_EXAMPLES_DIR;
const std::string kGuest = ZY_BOOT_GUEST;

int Shell(const std::string& command) {
  int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

bool HaveQemu() {
  return !kGuest.empty() &&
         Shell("command -v qemu-system-x86_64 qemu-img >/dev/null 2>&1") == 0;
}

// A disk of size bytes whose first sector is the test guest and whose
// sectors 1 and 2047 (the first MiB), the middle one (after a hole) and the
// last hold the markers the guest reads.  bad spoils the middle marker.
void WriteGuestDisk(const std::string& path, uint64_t size, bool bad = false) {
  std::string sector = TempDir::Read(kGuest);
  ASSERT_EQ(sector.size(), 512u);
  const uint64_t lbas[] = {1, 2047, size / 1024, size / 512 - 1};
  for (int i = 0; i < 4; ++i)
    sector.replace(0x180 + 8 * i, 8, reinterpret_cast<const char*>(&lbas[i]),
                   8);
  { std::ofstream(path, std::ios::binary) << sector; }
  fs::resize_file(path, size);
  std::fstream disk(path, std::ios::binary | std::ios::in | std::ios::out);
  for (uint64_t lba : lbas) {
    uint64_t mark = bad && lba == lbas[2] ? lba + 1 : lba;
    disk.seekp(static_cast<std::streamoff>(lba * 512));
    disk.write("ZYVMMARK", 8).write(reinterpret_cast<const char*>(&mark), 8);
  }
}

// Each disk's image as F/<file> in the format its plan states (raw when
// it states none), no overlay.
std::vector<BootImage> Images(const BootPlan& plan) {
  std::vector<BootImage> images;
  for (const BootDisk& disk : plan.disks)
    images.push_back(
        {"F/" + disk.file, disk.format.empty() ? "raw" : disk.format, "", "", ""});
  return images;
}

// qemu's arguments as one line, each -blockdev node graph shown as
// "format:file".
std::string ArgumentsText(const std::vector<std::string>& argv) {
  std::string text;
  for (size_t i = 0; i < argv.size(); ++i) {
    if (argv[i] != "-blockdev" || i + 1 == argv.size()) {
      text += argv[i] + " ";
      continue;
    }
    auto node = nlohmann::json::parse(argv[++i]);
    text += node["driver"].get<std::string>() + ":" +
            node["file"]["filename"].get<std::string>() + " ";
  }
  return text;
}

// Runs boot-check on folder; its output in out.
int BootCheck(const TempDir& dir, const std::string& folder, std::string& out) {
  int status = Shell("'" + kTool + "' boot-check '" + folder + "' > '" +
                     dir.File("boot.out") + "' 2>&1");
  out = TempDir::Read(dir.File("boot.out"));
  return status;
}

}  // namespace

TEST(BootPlan, PutsEachDiskWhereItsDescriptionSays) {
  const std::string vmx = "displayName = \"a\"\nguestOS = \"other\"\n";
  const std::string domain = "<domain type='kvm'><devices>";
  const std::string xvd =
      "disk = ['file:/OVS/a.img,xvda,w', 'file:/OVS/b.img,xvdb,w']\n";
  const std::string addHd = "Add-VMHardDiskDrive -VMName a -ControllerType ";
  struct Row {
    int line;
    const char* kind;
    std::string text;
    std::vector<std::string> wants;  // in qemu's arguments
    std::string uncheckable;
  } rows[] = {
      // clang-format off
      {__LINE__, "vmx", vmx + "scsi0.present = \"TRUE\"\nscsi0.virtualDev = \"pvscsi\"\nscsi0:3.present = \"TRUE\"\nscsi0:3.fileName = \"a.vmdk\"\n",
       {"-device pvscsi,id=scsi0 ", "scsi-hd,drive=disk0,bus=scsi0.0,scsi-id=3,bootindex=0"}, ""},
      {__LINE__, "vmx", vmx + "scsi1.present = \"TRUE\"\nscsi1:0.present = \"TRUE\"\nscsi1:0.fileName = \"a.vmdk\"\n",
       {"-device lsi53c895a,id=scsi1 ", "bus=scsi1.0,scsi-id=0,bootindex=0"}, ""},
      {__LINE__, "vmx", vmx + "bios.hddOrder = \"sata0:5\"\nide1:1.present = \"TRUE\"\nide1:1.fileName = \"a.vmdk\"\nsata0.present = \"TRUE\"\nsata0:5.present = \"TRUE\"\nsata0:5.fileName = \"b.vmdk\"\n",
       {"ide-hd,drive=disk0,bus=ide.1,unit=1 ", "-device ahci,id=sata0 ", "ide-hd,drive=disk1,bus=sata0.5,bootindex=0"}, ""},
      {__LINE__, "vmx", vmx + "scsi0.present = \"TRUE\"\nscsi0.virtualDev = \"buslogic\"\nscsi0:0.present = \"TRUE\"\nscsi0:0.fileName = \"a.vmdk\"\n",
       {}, "buslogic"},
      {__LINE__, "libvirt", domain + "<disk device='disk'><source file='/images/b.raw'/><target dev='vda' bus='virtio'/></disk><disk><driver type='qcow2'/><source file='/var/lib/a.qcow2'/><target dev='vdb' bus='virtio'/><boot order='1'/></disk></devices></domain>",
       {"raw:F/b.raw -device virtio-blk-pci,drive=disk0 ", "qcow2:F/a.qcow2 -device virtio-blk-pci,drive=disk1,bootindex=0"}, ""},
      {__LINE__, "libvirt", domain + "<controller type='scsi' index='1' model='virtio-scsi'/><disk device='disk'><source file='a'/><target dev='sdb' bus='scsi'/><address type='drive' controller='1' bus='0' target='0' unit='3'/></disk></devices></domain>",
       {"-device virtio-scsi-pci,id=scsi1 ", "bus=scsi1.0,scsi-id=0,lun=3,bootindex=0"}, ""},
      {__LINE__, "libvirt", domain + "<controller type='scsi' index='0' model='virtio-scsi'/><disk device='disk'><source file='a'/><target dev='sda' bus='scsi'/><address type='drive' controller='0' bus='0' target='3' unit='0'/></disk></devices></domain>",
       {"bus=scsi0.0,scsi-id=3,bootindex=0"}, ""},
      // As libvirt places them: LSI Logic's unit is the SCSI id; SATA has six ports.
      {__LINE__, "libvirt", domain + "<controller type='scsi' index='0'/><disk><source file='a'/><target dev='sda' bus='scsi'/><address type='drive' controller='0' bus='0' target='0' unit='3'/></disk><disk><source file='b'/><target dev='sdh' bus='sata'/></disk></devices></domain>",
       {"-device lsi53c895a,id=scsi0 ", "bus=scsi0.0,scsi-id=3,bootindex=0 ", "bus=sata1.1 "}, ""},
      {__LINE__, "libvirt", domain + "<disk device='cdrom'><target dev='hda' bus='ide'/></disk><disk device='disk'><source file='a'/><target dev='hdc' bus='ide'/></disk><disk device='disk'><source file='b'/><target dev='sdf' bus='sata'/></disk></devices></domain>",
       {"ide-hd,drive=disk0,bus=ide.1,unit=0,bootindex=0", "ide-hd,drive=disk1,bus=sata0.5 "}, ""},
      {__LINE__, "xen", "builder = 'hvm'\n" + xvd,
       {"ide-hd,drive=disk0,bus=ide.0,unit=0,bootindex=0", "ide-hd,drive=disk1,bus=ide.0,unit=1 "}, ""},
      {__LINE__, "xen", xvd, {}, "xen paravirtual"},
      {__LINE__, "hyperv", "New-VM -Name a -Generation 1\n" + addHd + "SCSI -ControllerNumber 0 -ControllerLocation 0 -Path 'C:\\VMs\\b.vhdx'\n" + addHd + "IDE `\n  -ControllerNumber 1 -ControllerLocation 1 -Path (Join-Path $Folder 'a b.vhdx')\n",
       {"raw:F/a b.vhdx -device ide-hd,drive=disk1,bus=ide.1,unit=1,bootindex=0"}, ""},
      {__LINE__, "hyperv", "New-VM -Name a -Generation 2 -VHDPath C:\\a.vhdx\n", {}, "hyper-v scsi"},
      {__LINE__, "hyperv", "$VMName = 'Bob''s PC'\nNew-VM -Name $VMName -Generation 1\n" + addHd + "IDE -ControllerNumber 0 -ControllerLocation 0 -Path (Join-Path $Folder 'Bob''s PC.vhdx')\n",
       {"raw:F/Bob's PC.vhdx -device ide-hd,drive=disk0,bus=ide.0,unit=0,bootindex=0"}, ""},
      {__LINE__, "ec2", R"({"DiskContainers": [{"Format": "VMDK", "UserBucket": {"S3Key": "vms/a.vmdk"}}, {"UserBucket": {"S3Key": "b.vmdk"}}]})",
       {"nvme,drive=disk0,serial=disk0,bootindex=0", "nvme,drive=disk1,serial=disk1 "}, ""},
      {__LINE__, "azure", R"({"dataDisks": [{"vhd": "b.vmdk"}], "osDisk": {"uri": "[concat(parameters('c'), '/a.vmdk')]"}})",
       {"vpc:F/a.vmdk -device ide-hd,drive=disk0,bus=ide.0,unit=0,bootindex=0"}, ""},
      // clang-format on
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    BootPlan plan;
    std::vector<std::string> argv;
    SJobError error;
    ASSERT_TRUE(PlanFromDescription(row.kind, row.text, {"a.vmdk", "b.vmdk"},
                                    plan, error))
        << error.text;
    ASSERT_TRUE(QemuDiskArguments(plan, Images(plan), argv, error))
        << error.text;
    EXPECT_EQ(UncheckableController(plan), row.uncheckable);
    std::string args = ArgumentsText(argv);
    for (const std::string& want : row.wants)
      EXPECT_NE(args.find(want), std::string::npos) << want << "\n" << args;
  }
}

TEST(BootPlan, RefusesWhatNoMachineHas) {
  const std::string domain =
      "<domain><devices><disk><source file='a'/><target dev='hda' bus='";
  struct Row {
    int line;
    std::string kind, text, error;
  } rows[] = {
      // clang-format off
      {__LINE__, "libvirt", domain + "ide'/><address bus='2' unit='0'/></disk></devices></domain>", "IDE 2:0 does not exist"},
      {__LINE__, "libvirt", domain + "sata'/><address controller='0' unit='6'/></disk></devices></domain>", "SATA port 6 does not exist"},
      {__LINE__, "libvirt", "<domain><devices>", "cannot be read"},
      {__LINE__, "libvirt", "<domain/>", "names no disk"},
      {__LINE__, "ec2", "{\"S3Key\": \"../../etc/passwd\"}", "names no disk"},
      // clang-format on
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    BootPlan plan;
    std::vector<std::string> args;
    SJobError error;
    EXPECT_FALSE(PlanFromDescription(row.kind, row.text, {"a.vmdk"}, plan,
                                     error) &&
                 QemuDiskArguments(plan, Images(plan), args, error));
    EXPECT_NE(error.text.find(row.error), std::string::npos) << error.text;
  }
}

TEST(BootPlan, PinsTheWholeNodeGraphOfAnImage) {
  BootPlan plan;
  SJobError error;
  ASSERT_TRUE(PlanFromDescription(
      "vmx", "displayName = \"a\"\nscsi0.present = \"TRUE\"\n"
             "scsi0:0.present = \"TRUE\"\n"
             "scsi0:0.fileName = \"a.vmdk\"\n",
      {}, plan, error));
  std::vector<std::string> args;
  // A mounted VM's thin image (qcow2) over its backed-up VMDK.
  ASSERT_TRUE(QemuDiskArguments(
      plan, {{"/dev/fdset/1", "qcow2", "/s/o.qcow2", "/dev/fdset/2", "vmdk"}},
      args, error));
  ASSERT_EQ(args.size(), 6u);
  EXPECT_EQ(nlohmann::json::parse(args[3]), nlohmann::json::parse(R"({
    "driver": "qcow2", "node-name": "disk0",
    "file": {"driver": "file", "filename": "/s/o.qcow2"},
    "backing": {"driver": "qcow2", "read-only": true,
      "file": {"driver": "file", "filename": "/dev/fdset/1", "read-only": true},
      "backing": {"driver": "vmdk", "read-only": true, "backing": null,
        "file": {"driver": "file", "filename": "/dev/fdset/2",
                 "read-only": true}}}})"));
}

TEST(OsCheck, FindsEveryDiskWithItsMarkerOnItsController) {
  const std::string os = "ZYVM DISK dev=sda driver=vmw_pvscsi pci=0000:00:03.0 "
                         "scsi=2:0:0:0 nsid=- marker=os-bios";
  const std::string d1 = "ZYVM DISK dev=sdb driver=vmw_pvscsi scsi=2:0:1:0 marker=data1";
  struct Row {
    int line;
    std::string controller;  // of the three disks at units 0, 1, 2
    std::string d2Marker;    // the third disk's marker
    std::vector<std::string> report;
    std::string failure;     // "" passes
  } rows[] = {
      // clang-format off
      {__LINE__, "pvscsi", "data2", {os, d1, "ZYVM DISK dev=sdc driver=vmw_pvscsi scsi=2:0:2:0 marker=data2"}, ""},
      {__LINE__, "pvscsi", "", {os, "ZYVM DISK dev=sdc driver=vmw_pvscsi scsi=2:0:2:0 marker=-", d1}, ""},
      {__LINE__, "pvscsi", "data2", {os, d1}, "the OS does not see [c.vmdk] on pvscsi 0:2 (marker data2)"},
      {__LINE__, "pvscsi", "", {os, d1}, "the OS does not see [c.vmdk] on pvscsi 0:2"},
      {__LINE__, "pvscsi", "data2", {os, d1, "ZYVM DISK dev=sdc driver=ahci scsi=3:0:0:0 marker=data2"}, "the OS sees [c.vmdk] on pvscsi 0:2 on the driver ahci, not vmw_pvscsi"},
      {__LINE__, "pvscsi", "data2", {os, d1, "ZYVM DISK dev=sdc driver=vmw_pvscsi scsi=2:0:1:0 marker=data2"}, "at SCSI address 2:0:1:0, not target:LUN 2:0"},
      {__LINE__, "lsilogic", "data2", {os}, "driver vmw_pvscsi, not sym53c8xx"},
      // clang-format on
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    std::string vmx = "displayName = \"a\"\nscsi0.present = \"TRUE\"\n"
                      "scsi0.virtualDev = \"" +
                      row.controller + "\"\n";
    for (char unit : {'0', '1', '2'})
      vmx += std::string("scsi0:") + unit + ".present = \"TRUE\"\nscsi0:" +
             unit + ".fileName = \"" + char('a' + unit - '0') + ".vmdk\"\n";
    BootPlan plan;
    SJobError error;
    ASSERT_TRUE(PlanFromDescription("vmx", vmx, {}, plan, error));
    plan.disks[0].marker = "os-bios";
    plan.disks[1].marker = "data1";
    plan.disks[2].marker = row.d2Marker;
    EXPECT_TRUE(HoldsLinuxGuest(plan));
    std::vector<std::string> seen;
    std::string failure;
    EXPECT_EQ(CheckOsReport(plan, row.report, seen, failure),
              row.failure.empty());
    EXPECT_NE(failure.find(row.failure), std::string::npos) << failure;
    if (row.failure.empty()) {
      EXPECT_EQ(seen[0], "a.vmdk: sda, vmw_pvscsi 2:0:0:0, marker os-bios");
    }
  }
}

TEST(OsCheck, KeepsOnlyTheGuestsOwnWholeReportLines) {
  std::string serial =
      "\x1b[2J SeaBIOS\r\nZYVM BOOT kernel=6.1 firmware=bios\r\n"
      "Booting...ZYVM DISK dev=x\nZYVM DISK dev=sda \x1b[31m\nZYVM DONE disks=1";
  EXPECT_EQ(GuestReportLines(serial),
            (std::vector<std::string>{"ZYVM BOOT kernel=6.1 firmware=bios",
                                      "ZYVM DISK dev=x"}));
  EXPECT_EQ(MarkerOf("ZYVMDISK os-uefi\n"), "os-uefi");
  EXPECT_EQ(MarkerOf("ZYVMMARK\x01"), "");
  EXPECT_EQ(MarkerOf("ZYVMDISK " + std::string(80, 'x')), std::string(64, 'x'));
}

TEST(BootPlan, ToldImageFormatsAreQemuImgsOwn) {
  if (!HaveQemu()) GTEST_SKIP() << "qemu-img or nasm is not installed";
  TempDir dir;
  for (const char* format : {"raw", "qcow2", "vmdk", "vpc", "vhdx"}) {
    SCOPED_TRACE(format);
    std::string path = dir.File(format);
    ASSERT_EQ(Shell("qemu-img create -q -f " + std::string(format) + " '" +
                    path + "' 8M"),
              0);
    std::string image = TempDir::Read(path);
    EXPECT_EQ(SniffImageFormat(image.substr(0, 512),
                               image.substr(image.size() - 512)),
              format);
  }
}

// A domain naming its disk by a path elsewhere: only the folder's image,
// held open, is booted.
const std::string kDomain =
    "<domain type='kvm'><name>vm</name><memory unit='MiB'>64</memory><os>"
    "<type arch='x86_64'>hvm</type></os><devices><disk device='disk'><driver "
    "name='qemu' type='raw'/><source file='/elsewhere/";

TEST(BootCheck, TheGuestReadsItsMarkersBackAndNamesASpoiledOne) {
  if (!HaveQemu()) GTEST_SKIP() << "qemu-system-x86 or nasm is not installed";
  // libvirt starts a domain where it is installed; qemu stands in, noted.
  bool libvirt = Shell("command -v virsh >/dev/null") == 0;
  const std::pair<std::string, std::string> descriptions[] = {
      {"vm.vmx", "displayName = \"vm\"\nide0:1.present = \"TRUE\"\n"
                 "ide0:1.fileName = \"guest.img\"\n"},
      {"vm.xml", kDomain + "guest.img'/><target dev='hdb' bus='ide'/></disk>"
                           "</devices></domain>"}};
  for (const auto& description : descriptions) {
    SCOPED_TRACE(description.first);
    TempDir dir;
    dir.Write("vm/" + description.first, description.second);
    WriteGuestDisk(dir.File("vm/guest.img"), 3 << 20);
    std::string out;
    EXPECT_EQ(BootCheck(dir, dir.File("vm"), out), 0) << out;
    EXPECT_NE(out.find("guest.img on ide 0:1 (boot)\nbooted\n"),
              std::string::npos)
        << out;
    bool xml = description.first == "vm.xml";
    EXPECT_NE(out.find(xml && libvirt ? "started by libvirt)"
                       : xml ? "Note: virsh is not installed"
                             : "started by qemu)"),
              std::string::npos)
        << out;
    WriteGuestDisk(dir.File("vm/guest.img"), 3 << 20, true);
    EXPECT_EQ(BootCheck(dir, dir.File("vm"), out), 1);
    EXPECT_NE(out.find("failed boot: the guest reported ZYVM BOOT BAD 3072\n"),
              std::string::npos)
        << out;
  }
}

TEST(BootCheck, RefusesWhatACopyRefusesBeforeQemuStarts) {
  if (!HaveQemu()) GTEST_SKIP() << "qemu-system-x86 or nasm is not installed";
  const std::string vmx =
      "displayName = \"vm\"\nide0:0.present = \"TRUE\"\nide0:0.fileName = ";
  struct Row {
    int line;
    std::string make;  // shell, in the VM's folder; "outside" is beside it
    std::string error;
  } rows[] = {
      // clang-format off
      {__LINE__, "ln -s ../outside/d.img d.img", "symbolic link"},
      // Refused before libvirt starts anything.
      {__LINE__, "rm vm.vmx && ln -s ../outside/d.img d.img && printf \"" + kDomain + "d.img'/><target dev='hda' bus='ide'/></disk></devices></domain>\" >vm.xml", "symbolic link"},
      {__LINE__, "mkfifo d.img", "[d.img] is not a regular file"},
      {__LINE__, "qemu-img create -q -f qcow2 -o data_file=$PWD/../outside/d.img,data_file_raw=on d.img 1M", "external data file"},
      {__LINE__, "qemu-img create -q -f qcow2 -b $PWD/../outside/d.img -F raw d.img 1M", "backing file"},
      {__LINE__, "sed -i s/d.img/d.vhdx/ vm.vmx && qemu-img create -q -f vmdk d.vhdx 1M", "should be a vhdx image but holds vmdk data"},
      {__LINE__, "mv vm.vmx ../outside/ && ln -s ../outside/vm.vmx vm.vmx", "no native description"},
      // clang-format on
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    TempDir dir;
    dir.Write("vm/vm.vmx", vmx + "\"d.img\"\n");
    dir.Write("outside/d.img", std::string(1 << 20, '\0'));
    ASSERT_EQ(Shell("cd '" + dir.File("vm") + "' && " + row.make), 0);
    std::string out;
    EXPECT_EQ(BootCheck(dir, dir.File("vm"), out), 1);
    EXPECT_NE(out.find(row.error), std::string::npos) << out;
    EXPECT_EQ(out.find("started by"), std::string::npos) << out;
  }
}

TEST(BootCheck, TheExamplesOSDisksHoldTheGuestAsAssembled) {
  if (!HaveQemu()) GTEST_SKIP() << "qemu-img or nasm is not installed";
  TempDir dir;
  std::string guest = TempDir::Read(kGuest);
  for (const char* disk :
       {"/platform/vmware/web01/web01.vmdk", "/physical/disk0"}) {
    SCOPED_TRACE(disk);
    ASSERT_EQ(Shell("qemu-img convert -O raw '" + kExamples + disk + "' '" +
                    dir.File("disk.raw") + "'"),
              0);
    std::string sector = TempDir::Read(dir.File("disk.raw")).substr(0, 512);
    // The guest as tests/boot/BootGuest.asm assembles, its sector table
    // aside.
    EXPECT_TRUE(sector.compare(0, 0x180, guest, 0, 0x180) == 0 &&
                sector.compare(0x1a0, 0x60, guest, 0x1a0, 0x60) == 0)
        << "the guest has changed: run scripts/make-examples.sh";
  }
}
