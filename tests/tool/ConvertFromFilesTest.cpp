//===- ConvertFromFilesTest.cpp - zyvmconvert on a user's own VM files ----===//
//
// The built tool converts VMs given as their own files (real VMware
// configuration files, with disk images made here by qemu-img) into an
// output folder, runs without a platform configuration as a new user would,
// and refuses bad input with one line and without leaving anything behind.
//
//===----------------------------------------------------------------------===//
#include "tests/tool/ToolRun.h"

#include "formats/zyf/VMConfigFile.h"
#include "formats/vmx/VMXFile.h"
#include "support/Golden.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <fstream>

namespace fs = std::filesystem;
using namespace tool_test;

namespace {

const auto Quoted = &TempDir::Quoted;
const std::string kSampleVmx = golden::Samples("vmx").string();

int Shell(const std::string& command) {
  int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

class ConvertFromFiles : public ::testing::Test {
 protected:
  // The tool without a platform root or configuration, unless args name them.
  ToolResult Tool(std::vector<std::string> args) {
    args.insert(args.begin(), {"--log", dir.File("log")});
    return RunTool(dir, args, "env -u ZY_PLATFORM_CONFIG -u ZY_PLATFORM_ROOT ");
  }

  // A real image: a raw file with data at both ends and in the middle,
  // converted to the format its name says (VMDK for .vmdk, else raw).
  void MakeImage(const std::string& path) {
    fs::create_directories(fs::path(path).parent_path());
    std::string raw = dir.File("data.raw");
    fs::remove(raw);
    {
      std::ofstream out(raw, std::ios::binary);
      for (long offset : {0L, 1048576L, 4194304L - 4096}) {
        out.seekp(offset);
        out << "zyvm data at " << offset << std::string(4000, 'x');
      }
    }
    std::string extension = fs::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    bool vmdk = extension == ".vmdk";
    ASSERT_EQ(Shell("qemu-img convert -q -f raw -O " +
                    std::string(vmdk ? "vmdk " : "raw ") + Quoted(raw) + " " +
                    Quoted(path)),
              0);
  }

  TempDir dir;
};

bool IsInside(const std::string& name) {
  fs::path path(name);
  return path.is_relative() &&
         std::find(path.begin(), path.end(), "..") == path.end();
}

// A --disk named relative to the folder the user is in.
TEST_F(ConvertFromFiles, DiskImagesAreNamedFromTheCurrentFolder) {
  MakeImage(dir.File("images/db.img"));
  std::string xen = dir.Write("vm/db01.cfg",
                              "name = \"db01\"\nmemory = 512\n"
                              "disk = ['file:/elsewhere/db.img,hda,w']\n");
  ToolResult run = RunTool(
      dir,
      {"convert", "--xen-cfg", xen, "--disk", "images/db.img", "--to",
       "openstack", "--output", dir.File("out")},
      "cd " + Quoted(dir.path()) + " && ");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::exists(dir.File("out/db01.xml")));
}

}  // namespace

TEST_F(ConvertFromFiles, ConvertsTheSampleVMwareFilesWithTheirDisks) {
  if (!fs::is_directory(kSampleVmx)) GTEST_SKIP() << "no sample .vmx files";
  if (Shell("qemu-img --version >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "qemu-img is missing";
  int converted = 0;
  for (const auto& sample : fs::directory_iterator(kSampleVmx)) {
    SCOPED_TRACE(sample.path().filename().string());
    std::string folder = dir.File(sample.path().stem().string());
    fs::create_directories(folder);
    std::string vmx = folder + "/" + sample.path().filename().string();
    fs::copy_file(sample.path(), vmx);
    VMInfoStructs::SVMInfo described;
    VMXFile reader;
    ASSERT_TRUE(reader.LoadFile(vmx, false) && reader.GetVMInfo(described));
    bool allInside = true;
    std::vector<std::string> images;
    for (const auto& disk : described.vDisks) {
      if (disk.nDeviceType != 1) continue;
      allInside &= IsInside(disk.fileName);
      if (!IsInside(disk.fileName)) continue;
      images.push_back(folder + "/" + disk.fileName);
      MakeImage(images.back());
    }
    std::string output = folder + "-hyperv";
    ToolResult run = Tool({"convert", "--vmx", vmx, "--to", "hyperv", "--output",
                        output, "--json"});
    if (!allInside) {
      // A disk on another datastore is not read from there.
      EXPECT_EQ(run.status, 1);
      EXPECT_NE(run.err.find("is outside its folder"), std::string::npos)
          << run.err;
      EXPECT_FALSE(fs::exists(output));
      continue;
    }
    ASSERT_EQ(run.status, 0) << run.err;
    ++converted;
    // The VM is whole: its description, read back by our reader, lists one
    // disk file per source disk, each in the output folder with the source
    // image's guest contents.
    VMInfoStructs::SVMInfo built;
    ASSERT_TRUE(VMConfigFile(output + "/VMConfig.zyf").Load(built));
    std::vector<std::string> files;
    for (const auto& disk : built.vDisks)
      if (disk.nDeviceType == 1) files.push_back(output + "/" + disk.fileName);
    ASSERT_EQ(files.size(), images.size());
    for (size_t i = 0; i < files.size(); ++i) {
      EXPECT_TRUE(fs::is_regular_file(files[i])) << files[i];
      EXPECT_EQ(Shell("qemu-img compare -q " + Quoted(images[i]) + " " +
                      Quoted(files[i])),
                0)
          << images[i] << " vs " << files[i];
    }
    EXPECT_EQ(built.vNetworkCards.size(), described.vNetworkCards.size());
    for (const auto& entry : fs::directory_iterator(output))
      EXPECT_NE(entry.path().filename().string().rfind(".staging", 0), 0u);
  }
  EXPECT_GT(converted, 0);
}

TEST_F(ConvertFromFiles, WithoutAConfigurationTheVMsOwnFactsAreUsed) {
  std::string root = dir.File("root");
  fs::copy(kExamples + "/platform", root, fs::copy_options::recursive);
  nlohmann::json request = nlohmann::json::parse(
      TempDir::Read(kExamples + "/requests/web01-restore.json"));
  auto& disks = request["vDisks"];
  disks.erase(std::remove_if(disks.begin(), disks.end(),
                             [](const nlohmann::json& d) {
                               return d["diskIndexName"] == "catalog";
                             }),
              disks.end());
  request.erase("vNetworkCards");
  std::string noCatalog = dir.Write("no-catalog.json", request.dump());
  std::string physical = kExamples + "/physical/fileserver-request.xml";
  auto restoreTo = [&](const char* kind) {
    return std::vector<std::string>{"restore", noCatalog, "--from", "vmware",
                                    "--to", kind};
  };
  struct Row {
    int line;
    std::vector<std::string> args;
    const char* says;  // in the output
  };
  // clang-format off
  const Row rows[] = {
      // A VM with a CD-ROM drive, a request without a catalog or cards.
      {__LINE__, restoreTo("hyperv"), "00:0c:29:b3:c4:df"},
      {__LINE__, restoreTo("amazon"), "Windows_x64"},
      {__LINE__, restoreTo("1401"), "Windows Server 2012;x86_64"},
      {__LINE__, restoreTo("1301"), "(1301), restored from"},
      // A whole VM, disks and all, from the platform.
      {__LINE__, {"convert", "web01", "--from", "vmware", "--to", "hyperv"}, "web01_2.vhd "},
      // A 64-bit Windows machine is a 64-bit Windows guest.
      {__LINE__, {"p2v", physical, "--to", "vmware"}, "Server64Guest"},
      {__LINE__, {"p2v", physical, "--to", "vmware", "--guest-os", "Windows Server 2016 Standard"},
       "windows9Server64Guest"},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    std::vector<std::string> args = {"--root", root};
    args.insert(args.end(), row.args.begin(), row.args.end());
    ToolResult run = Tool(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(row.says), std::string::npos) << run.out;
    if (row.args.size() > 5)  // the next row's destination is free
      fs::remove_all(root + "/" + row.args[5] + "/web01");
  }
}

TEST_F(ConvertFromFiles, BadInputIsOneLineAndLeavesNothing) {
  std::string vmFolder = dir.File("vm");
  fs::create_directories(vmFolder);
  std::string image = vmFolder + "/disk.img";
  std::ofstream(image).put('x');
  std::string outside = dir.Write("outside.img", "secret");
  fs::create_symlink(outside, vmFolder + "/link.img");
  auto vmx = [&](const std::string& name, const std::string& disk) {
    return dir.Write("vm/" + name,
                     "displayName = \"vm\"\nscsi0.present = \"TRUE\"\n"
                     "scsi0:0.present = \"TRUE\"\nscsi0:0.fileName = \"" +
                         disk + "\"\n");
  };
  std::string climbing = vmx("climbing.vmx", "../outside.img");
  std::string absolute = vmx("absolute.vmx", outside);
  std::string linked = vmx("linked.vmx", "link.img");
  std::string good = vmx("good.vmx", "disk.img");
  auto onPvscsi = [&](const std::string& name, const std::string& unit) {
    return dir.Write("vm/" + name,
                     "displayName = \"db\"\nscsi0.present = \"TRUE\"\n"
                     "scsi0.virtualDev = \"pvscsi\"\nscsi0:" + unit +
                         ".present = \"TRUE\"\nscsi0:" + unit +
                         ".fileName = \"disk.img\"\n");
  };
  std::string xen = dir.Write("vm/db01.cfg",
                              "name = \"db01\"\nmemory = 512\n"
                              "disk = ['file:disk.img,hda,w']\n");
  std::string request = dir.Write("r.json", R"({"strVMName": "x"})");
  int requests = 0;
  auto named = [&](const char* name) {
    return dir.Write(
        "named-" + std::to_string(++requests) + ".json",
        nlohmann::json{{"strSourceVMName", "web01"}, {"strVMName", name}}
            .dump());
  };
  std::string badConfig = dir.Write("config.json", "{\"clients\": [");
  std::string out = dir.File("out");
  const std::vector<std::string> to = {"--to", "hyperv", "--output", out};
  auto with = [&](std::vector<std::string> args) {
    args.insert(args.end(), to.begin(), to.end());
    return args;
  };

  struct Row {
    int line;
    std::vector<std::string> args;
    const char* says;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, with({"convert", "--vmx", climbing}), "is outside its folder"},
      {__LINE__, with({"convert", "--vmx", absolute}), "is outside its folder"},
      {__LINE__, with({"convert", "--vmx", linked}), "symbolic link"},
      {__LINE__, with({"convert", "--vmx", dir.File("vm/none.vmx")}), "No such file"},
      {__LINE__, with({"convert", "--vmx", good, "--zyf", good}), "give one source"},
      {__LINE__, with({"convert", "--zyf", good}), "give the source platform kind with --from"},
      {__LINE__, with({"convert", "--vmx", good, "--disk", image, "--disk", image}),
       "names 1 disks, --disk gives 2"},
      {__LINE__, {"convert", "--xen-cfg", xen, "--to", "vmware", "--output", out},
       "cannot convert db01 to vmware: the guest OS is unknown: give --os "
       "with a guestOS name of vmware's own"},
      {__LINE__, {"convert", "--vmx", good, "--to", "physical", "--output", out},
       "platform kind [physical] is a source only"},
      {__LINE__, {"restore", request, "--from", "vmware", "--to", "103", "--vmx", good,
                  "--output", out},
       "platform kind [103] is a source only"},
      {__LINE__, with({"restore", named("web01\nx"), "--vmx", good}),
       "has the control character U+000A at byte 5"},
      {__LINE__, with({"restore", named("web\xc2\x85" "x"), "--vmx", good}),
       "has the control character U+0085 at byte 3"},
      {__LINE__, with({"restore", named(" web01"), "--vmx", good}), "starts or ends with a blank"},
      {__LINE__, with({"restore", named("web01 "), "--vmx", good}), "starts or ends with a blank"},
      {__LINE__, with({"--platform-config", dir.File("none.json"), "convert", "--vmx", good}),
       "cannot read the platform configuration"},
      {__LINE__, with({"--platform-config", badConfig, "convert", "--vmx", good}), "is not JSON"},
      {__LINE__, with({"convert", "--vmx", good, "--network", "VM Network=lan"}),
       "names the source network [VM Network], which no network card of the VM is on (none)"},
      {__LINE__, with({"convert", "--vmx", good, "--network", "lan", "--bridge", "br0"}),
       "two network mappings name no source network"},
      {__LINE__, with({"convert", "--vmx", good, "--bridge", "=br0"}), "--bridge [=br0]: give SOURCE=DESTINATION"},
      // PVSCSI's units are 0..63 but its own 7.
      {__LINE__, with({"convert", "--vmx", onPvscsi("pv64.vmx", "64")}),
       "pv64.vmx] cannot be read: scsi0:64.fileName: unit 64 is out of [0..6,8..63] for pvscsi"},
      {__LINE__, with({"convert", "--vmx", onPvscsi("pv7.vmx", "7")}),
       "pv7.vmx] cannot be read: scsi0:7.fileName: unit 7 is out of [0..6,8..63] for pvscsi"},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    ToolResult run = Tool(row.args);
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("zyvmconvert: error: ", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_NE(run.err.find(row.says), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(out));
  }
  EXPECT_EQ(TempDir::Read(outside), "secret");
}

// The guest OS a user gives, or else the source's in its own words, is the
// one each destination's description names; so are the source's disks and
// CD-ROM drives, at addresses the destination has.
TEST_F(ConvertFromFiles, TheGuestOSReachesTheDestinationsDescription) {
  for (const char* image : {"vol1.raw", "vol2.raw", "vol3.raw"})
    MakeImage(dir.File(image));
  // A disk at PVSCSI unit 16, one on a controller the file does not
  // declare, a host CD-ROM drive.
  std::string pv = dir.Write(
      "pv.vmx",
      "displayName = \"pv\"\nguestOS = \"rhel9-64\"\nmemSize = \"512\"\n"
      "scsi0.present = \"TRUE\"\nscsi0.virtualDev = \"pvscsi\"\n"
      "scsi0:0.present = \"TRUE\"\nscsi0:0.fileName = \"vol1.raw\"\n"
      "scsi0:16.present = \"TRUE\"\nscsi0:16.fileName = \"vol2.raw\"\n"
      "scsi1:2.present = \"TRUE\"\nscsi1:2.fileName = \"vol3.raw\"\n"
      "ide1:0.present = \"TRUE\"\nide1:0.deviceType = \"cdrom-raw\"\n"
      "ide1:0.fileName = \"auto detect\"\n");
  std::string ec2 =
      golden::Data("readers/ec2/describe-classic-reservation-groups.xml")
          .string();
  std::string xen = dir.Write("db01.cfg",
                              "name = \"db01\"\nmemory = 512\n"
                              "disk = ['file:vol1.raw,hda,w']\n");
  struct Row {
    int line;
    std::vector<std::string> source;
    const char* os;  // --os, or none
    const char* to;
    const char* file;  // of the output folder
    const char* says;
  };
  const std::vector<std::string> fromEc2 = {"--ec2-xml", ec2, "--disk",
                                            dir.File("vol1.raw")};
  const std::vector<std::string> fromXen = {"--xen-cfg", xen};
  // A bridged Xen card, and an EFI VMware VM with secure boot on a port group.
  std::string xenVif = dir.Write(
      "web02.cfg", "name = \"web02\"\nmemory = 512\nbuilder = 'hvm'\n"
                   "disk = ['file:vol1.raw,hda,w']\nvif = ['bridge=xenbr0']\n");
  MakeImage(dir.File("vm/os.vmdk"));
  std::string vmx = dir.Write(
      "vm/app01.vmx",
      "displayName = \"app01\"\nmemsize = \"512\"\nfirmware = \"efi\"\n"
      "uefi.secureBoot.enabled = \"TRUE\"\nguestOS = \"rhel9-64\"\n"
      "sata0.present = \"TRUE\"\nsata0:0.present = \"TRUE\"\n"
      "sata0:0.fileName = \"os.vmdk\"\nethernet0.present = \"TRUE\"\n"
      "ethernet0.networkName = \"VM Network\"\n");
  const std::vector<std::string> fromXenVif = {"--xen-cfg", xenVif};
  auto withArgs = [](std::vector<std::string> source,
                     std::vector<std::string> more) {
    source.insert(source.end(), more.begin(), more.end());
    return source;
  };
  const std::vector<std::string> fromVmx = {"--vmx", vmx};
  const std::vector<std::string> fromPv = {"--vmx", pv};
  // clang-format off
  const Row rows[] = {
      {__LINE__, fromEc2, "windows2019srv_64Guest", "vmware", "i-0c1a551c.vmx", "guestOS = \"windows2019srv_64Guest\""},
      // A 32-bit "Linux/UNIX" instance.
      {__LINE__, fromEc2, nullptr, "vmware", "i-0c1a551c.vmx", "guestOS = \"otherlinux\""},
      {__LINE__, fromEc2, "windows2019srv_64Guest", "azure", "azure-vm.json", "\"osType\": \"Windows\""},
      {__LINE__, fromXen, "otherlinux-64", "vmware", "db01.vmx", "guestOS = \"otherlinux-64\""},
      {__LINE__, fromXen, "rhel9_64Guest", "openstack", "db01.xml", "<libosinfo:os id='http://redhat.com/rhel/9.0'/>"},
      // Networks: a Xen bridge stays a bridge unless mapped.
      {__LINE__, fromXenVif, nullptr, "openstack", "web02.xml", "<interface type='bridge'>\n      <source bridge='xenbr0'/>"},
      {__LINE__, withArgs(fromXenVif, {"--network", "xenbr0=lan"}), nullptr, "openstack", "web02.xml", "<interface type='network'>\n      <source network='lan'/>"},
      {__LINE__, withArgs(fromXenVif, {"--bridge", "br-lan"}), "otherlinux-64", "vmware", "web02.vmx", "ethernet0.networkName = \"br-lan\""},
      {__LINE__, fromVmx, nullptr, "openstack", "app01.xml", "<source network='default'/>"},
      {__LINE__, withArgs(fromVmx, {"--network", "VM Network=vSwitch"}), nullptr, "hyperv", "app01.ps1", "-SwitchName 'vSwitch'"},
      // Secure boot.
      {__LINE__, fromVmx, nullptr, "openstack", "app01.xml", "<feature enabled='yes' name='secure-boot'/>"},
      {__LINE__, fromVmx, nullptr, "hyperv", "app01.ps1", "-EnableSecureBoot On"},
      {__LINE__, fromVmx, nullptr, "vmware", "app01.vmx", "uefi.secureBoot.enabled = \"TRUE\""},
      {__LINE__, fromPv, nullptr, "hyperv", "pv.ps1", "SCSI -ControllerNumber 0 -ControllerLocation 16 -Path (Join-Path $Folder 'pv_1.vhd')"},
      {__LINE__, fromPv, nullptr, "hyperv", "pv.ps1", "SCSI -ControllerNumber 1 -ControllerLocation 2 -Path (Join-Path $Folder 'pv_2.vhd')"},
      {__LINE__, fromPv, nullptr, "hyperv", "pv.ps1", "Add-VMDvdDrive -VMName $VMName -ControllerNumber 1 -ControllerLocation 0\n"},
      {__LINE__, fromPv, nullptr, "openstack", "pv.xml", "<disk type='file' device='cdrom'>"},
  };
  // clang-format on
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    std::string output = dir.File("out" + std::to_string(n++));
    std::vector<std::string> args = {"convert"};
    args.insert(args.end(), row.source.begin(), row.source.end());
    args.insert(args.end(), {"--to", row.to, "--output", output});
    if (row.os) args.insert(args.end(), {"--os", row.os});
    ToolResult run = Tool(args);
    ASSERT_EQ(run.status, 0) << run.err;
    std::string path = output + "/" + row.file;
    std::string text = TempDir::Read(path);
    EXPECT_NE(text.find(row.says), std::string::npos) << text;
    if (fs::path(path).extension() == ".xml" &&
        Shell("command -v virt-xml-validate >/dev/null") == 0) {
      EXPECT_EQ(Shell("virt-xml-validate " + Quoted(path) + " domain >/dev/null"), 0) << text;
    }
  }
}

// A restore from the backup's files and a convert of the same VM's files
// write the same .vmx: the source's controller models (PVSCSI, and a
// controller the file does not declare taking VMware's default) and units.
TEST_F(ConvertFromFiles, RestoreAndConvertWriteTheSameVmx) {
  std::string root = dir.File("root"), vm = root + "/vmware/web01/";
  fs::copy(kExamples + "/platform", root, fs::copy_options::recursive);
  std::string vmx = TempDir::Read(vm + "web01.vmx");
  for (auto [from, to] : {std::pair<std::string, std::string>{"\"lsisas1068", "\"pvscsi"},
                          {"scsi0:1.", "scsi0:16."}, {"scsi0:2.", "scsi1:3."}})
    for (size_t at; (at = vmx.find(from)) != std::string::npos;)
      vmx.replace(at, from.size(), to);
  dir.Write("root/vmware/web01/web01.vmx", vmx);
  auto request = nlohmann::json::parse(
      TempDir::Read(kExamples + "/requests/web01-restore.json"));
  request["vDisks"].erase(1);  // the catalog, which names the old units
  request["vDisks"][2]["nSlot"] = 16;
  request["vDisks"][3]["nBus"] = 1;
  request["vDisks"][3]["nSlot"] = 3;
  std::string json = dir.Write("request.json", request.dump());
  ToolResult restored = Tool({"--root", root, "restore", json, "--from", "vmware",
                              "--to", "vmware", "--output", dir.File("r")});
  ASSERT_EQ(restored.status, 0) << restored.err;
  ToolResult converted = Tool({"convert", "--vmx", vm + "web01.vmx", "--to",
                               "vmware", "--output", dir.File("c")});
  ASSERT_EQ(converted.status, 0) << converted.err;
  std::string text = TempDir::Read(dir.File("r/web01.vmx"));
  EXPECT_EQ(text, TempDir::Read(dir.File("c/web01.vmx")));
  for (const char* says : {"scsi0.virtualDev = \"pvscsi\"", "scsi1.virtualDev = \"lsilogic\"",
                           "scsi0:16.fileName = \"web01_1.vmdk\"", "scsi1:3.fileName"})
    EXPECT_NE(text.find(says), std::string::npos) << says << "\n" << text;
}

namespace {

// qemu-img on PATH for the rows below, or the real one: "fail" fails the
// convert of web01_1 once the convert of web01_2 runs (it waits, as a long
// copy does, and marks its start beside its destination); "corrupt"
// converts and then changes the destination's first byte.
std::string FakeQemuImg(const TempDir& dir, const std::string& mode) {
  if (mode.empty()) return "/usr/bin:/bin";
  std::string script =
      "#!/bin/sh\n"
      "for last; do :; done\n"
      "started=\"$(dirname \"$last\")/.slow-started\"\n"
      "if [ \"$1\" = convert ] && [ " + mode + " = fail ]; then\n"
      "  case \"$last\" in\n"
      "  *web01_2*) touch \"$started\"; sleep 617 & wait; exit 1 ;;\n"
      "  *web01_1*) while [ ! -e \"$started\" ]; do sleep 0.05; done\n"
      "    echo 'qemu-img: injected failure' >&2; exit 1 ;;\n"
      "  esac\n"
      "fi\n"
      "if [ \"$1\" = convert ] && [ " + mode + " = corrupt ]; then\n"
      "  /usr/bin/qemu-img \"$@\" || exit 1\n"
      "  printf Z | dd of=\"$last\" conv=notrunc status=none; exit 0\n"
      "fi\n"
      "exec /usr/bin/qemu-img \"$@\"\n";
  std::string path = dir.Write("bin-" + mode + "/qemu-img", script);
  fs::permissions(path, fs::perms::owner_all);
  return dir.File("bin-" + mode) + ":/usr/bin:/bin";
}

bool AnyProcessRuns(const std::string& commandLine) {
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
    std::string text = TempDir::Read(entry.path().string() + "/cmdline");
    std::replace(text.begin(), text.end(), '\0', ' ');
    if (text == commandLine) return true;
  }
  return false;
}

}  // namespace

// A VM's disks are copied side by side (--jobs), each compared with its
// source on --verify; one failed or differing copy fails the run, stops the
// copies beside it and leaves nothing.
TEST_F(ConvertFromFiles, DisksAreCopiedSideBySideAndVerified) {
  std::string vm = dir.File("web01");
  fs::copy(kExamples + "/platform/vmware/web01", vm);
  std::string out = dir.File("out");
  std::string raw = dir.File("copy.raw");
  auto convert = [&](const char* kind, const char* jobs) {
    return std::vector<std::string>{"convert", "--vmx", vm + "/web01.vmx",
                                    "--to", kind, "--output", out, "--jobs",
                                    jobs, "--verify", "--json"};
  };
  const std::vector<std::string> clone = {"clone-disk", vm + "/web01_1.vmdk",
                                          raw, "--verify", "--json"};
  struct Row {
    int line;
    std::vector<std::string> args;
    std::string fake;  // FakeQemuImg's mode
    const char* says;  // in the error line; nullptr: the run succeeds
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, convert("openstack", "2"), "", nullptr},
      {__LINE__, convert("oraclevm", "3"), "", nullptr},
      {__LINE__, clone, "", nullptr},
      {__LINE__, convert("openstack", "2"), "fail", "web01_1.vmdk as VMDK: qemu-img: injected failure"},
      {__LINE__, convert("oraclevm", "1"), "corrupt", "differs from it: Content mismatch at offset 0"},
      {__LINE__, clone, "corrupt", "differs from it: Content mismatch at offset 0"},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    fs::remove_all(out);
    fs::remove(raw);
    auto started = std::chrono::steady_clock::now();
    ToolResult run = RunTool(dir, row.args,
                             "env -u ZY_PLATFORM_CONFIG -u ZY_PLATFORM_ROOT "
                             "PATH=" + FakeQemuImg(dir, row.fake) + " ");
    if (row.says) {
      EXPECT_EQ(run.status, 1);
      EXPECT_NE(run.err.find(row.says), std::string::npos) << run.err;
      EXPECT_FALSE(fs::exists(out));
      EXPECT_FALSE(fs::exists(raw));
      // The copy beside the failed one was stopped, not left to its idle
      // limit of 60 s.
      EXPECT_LT(std::chrono::steady_clock::now() - started,
                std::chrono::seconds(30));
      EXPECT_FALSE(AnyProcessRuns("sleep 617 "));
      continue;
    }
    ASSERT_EQ(run.status, 0) << run.err;
    nlohmann::json result = nlohmann::json::parse(run.out);
    if (row.args[0] == "clone-disk") {
      EXPECT_EQ(result["verified"], true);
      EXPECT_EQ(Shell("qemu-img compare -q " + Quoted(row.args[1]) + " " +
                      Quoted(raw)),
                0);
      continue;
    }
    int disks = 0;
    for (const auto& disk : result["disks"]) {
      if (disk["kind"] != "disk") continue;
      ++disks;
      EXPECT_EQ(disk["verified"], true) << disk.dump();
      std::string name = disk["name"];
      EXPECT_EQ(Shell("qemu-img compare -q " + Quoted(vm + "/" + name + ".vmdk") +
                      " " + Quoted(out + "/" + name)),
                0)
          << name;
    }
    EXPECT_EQ(disks, 3);
    for (const auto& entry : fs::directory_iterator(out))
      EXPECT_EQ(entry.path().filename().string().find(".zy-partial"),
                std::string::npos);
  }
  EXPECT_EQ(std::count_if(fs::directory_iterator(vm), fs::directory_iterator(),
                          [](const fs::directory_entry&) { return true; }),
            6);
}
