//===- ToolTest.cpp - zyvmconvert, run end to end on the examples ---------===//
//
// Each test runs the built tool as a separate process on a copy of the
// shipped example platform and checks its exit status, its output and the
// folders it leaves behind.
//
//===----------------------------------------------------------------------===//
#include "tests/tool/ToolRun.h"

#include "support/Golden.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;
using nlohmann::json;
using namespace tool_test;

namespace {

constexpr char kWeb01Guid[] = "564d6f1c-2a3b-4c5d-6e7f-8091a2b3c4d5";

// A copy of the example platform, with the tool run against it.
class ToolRun : public ::testing::Test {
 protected:
  void SetUp() override {
    root = dir.File("root");
    fs::copy(kExamples + "/platform", root, fs::copy_options::recursive);
    source = root + "/vmware/web01";
    sourceBefore = Snapshot(source);
  }

  ToolResult Tool(const std::vector<std::string>& args) {
    return RunTool(dir, OnPlatform(dir, root, args));
  }

  // With moved, standard error holds the note of the OS disk's move.
  json ToolJson(const std::vector<std::string>& args, bool moved = false) {
    std::vector<std::string> withJson = args;
    withJson.push_back("--json");
    ToolResult run = Tool(withJson);
    EXPECT_EQ(run.status, 0) << run.err;
    if (moved)
      EXPECT_EQ(run.err.rfind("zyvmconvert: note: The OS disk [", 0), 0u)
          << run.err;
    else
      EXPECT_EQ(run.err, "");
    return run.status == 0 ? json::parse(run.out) : json();
  }

  // The names of the description's hard disks, in order.
  static std::vector<std::string> DiskNames(const json& result) {
    std::vector<std::string> names;
    for (const auto& disk : result["disks"])
      if (disk["kind"] == "disk") names.push_back(disk["name"]);
    return names;
  }

  void ExpectSourceUntouched() { EXPECT_EQ(Snapshot(source), sourceBefore); }

  TempDir dir;
  std::string root;
  std::string source;
  std::map<std::string, std::string> sourceBefore;
};

std::string Web01Request() {
  return kExamples + "/requests/web01-restore.json";
}

}  // namespace

TEST_F(ToolRun, RestoresTheVMwareExampleToEachDestinationFamily) {
  const std::string g = kWeb01Guid;
  // format: what qemu reads the restored disks as; instanceType (null: not
  // chosen) for the VM's 2 CPUs and 4096 MiB, Amazon's m5 (KVM) types left out;
  // native: the description the destination takes, and its notes: the disks
  // it moved, and in a libvirt domain the two cards that joined the network
  // "default" (no mapping given).
  struct Row {
    int line;
    const char* kind;
    const char* format;
    std::vector<std::string> names;
    const char* instanceType;
    const char* native;
    size_t notes;
    bool moved;  // the OS disk moved to the only place the BIOS boots from
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, "vmware", "vmdk", {"web01.vmdk", "web01_1.vmdk", "web01_2.vmdk"}, nullptr, "web01-copy.vmx", 0, false},
      {__LINE__, "hyperv", "vpc", {"web01.vhd", "web01_1.vhd", "web01_2.vhd"}, nullptr, "web01.ps1", 0, false},
      {__LINE__, "amazon", "vhdx", {g + ".vhdx", g + "_1.vhdx", g + "_2.vhdx"}, "t2.medium", "import-image.json", 0, false},
      // The Azure family keeps the source's names, yet takes only fixed
      // VHDs: the names tell the format written.
      {__LINE__, "azure", "vpc", {"web01.vhd", "web01_1.vhd", "web01_2.vhd"}, nullptr, "azure-vm.json", 0, false},
      {__LINE__, "402", "vpc", {"web01.vhd", "web01_1.vhd", "web01_2.vhd"}, nullptr, "web01.ps1", 0, true},
      {__LINE__, "403", "vpc", {"web01.vhd", "web01_1.vhd", "web01_2.vhd"}, nullptr, "web01.ps1", 0, true},
      {__LINE__, "rhev", "qcow2", {"web01_Disk1", "web01_Disk2", "web01_Disk3"}, nullptr, "web01.xml", 3, false},
      {__LINE__, "nutanix", "qcow2", {"web01", "web01_1", "web01_2"}, nullptr, "web01.xml", 2, false},
      {__LINE__, "oraclevm", "raw", {"web01", "web01_1", "web01_2"}, nullptr, "vm.cfg", 1, true},
      {__LINE__, "801", "raw", {"web01", "web01_1", "web01_2"}, nullptr, "vm.cfg", 1, true},
      {__LINE__, "openstack", "qcow2", {"web01", "web01_1", "web01_2"}, nullptr, "web01.xml", 3, false},
      {__LINE__, "1101", "raw", {"web01", "web01_1", "web01_2"}, nullptr, "web01.xml", 2, false},
      // 1102 and 1401 keep the names too, yet write raw images: no ".vmdk".
      {__LINE__, "1102", "raw", {"web01", "web01_1", "web01_2"}, nullptr, "web01.xml", 2, false},
      {__LINE__, "1301", "raw", {"web01-0", "web01-1", "web01-2"}, nullptr, "web01.xml", 2, false},
      {__LINE__, "1401", "raw", {"web01", "web01_1", "web01_2"}, "ecs.t6.medium", "web01.xml", 2, false},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    // VMware to VMware needs a new name beside the source.
    std::string request = Web01Request();
    if (std::string(row.kind) == "vmware") {
      json changed = json::parse(TempDir::Read(request));
      changed["strVMName"] = "web01-copy";
      request = dir.Write("copy.json", changed.dump());
    }
    std::vector<std::string> args = {"restore", request, "--from", "vmware",
                                     "--to", row.kind};
    bool amazon = std::string(row.kind) == "amazon";
    if (amazon) args.insert(args.end(), {"--s3-bucket", "zy-images"});
    json result = ToolJson(args, row.moved);
    if (result.is_null()) continue;
    std::vector<std::string> names = row.names;
    if (std::string(row.kind) == "vmware")
      for (std::string& name : names) name.replace(0, 5, "web01-copy");
    EXPECT_EQ(DiskNames(result), names);
    if (row.instanceType) {
      EXPECT_EQ(result["instanceType"], row.instanceType);
    }
    std::string vm =
        root + "/" + row.kind + "/" + result["vmName"].get<std::string>();
    EXPECT_EQ(result["folder"], vm);
    EXPECT_TRUE(fs::exists(vm + "/VMConfig.zyf"));
    EXPECT_EQ(result["nativeDescription"], vm + "/" + row.native);
    EXPECT_TRUE(fs::exists(vm + "/" + row.native));
    if (amazon) {
      EXPECT_NE(TempDir::Read(vm + "/" + row.native)
                    .find("\"S3Bucket\": \"zy-images\""),
                std::string::npos);
    }
    EXPECT_EQ(result["nativeNotes"].size(), row.notes);  // IDE 0:2
    for (const std::string& name : names) {
      ASSERT_TRUE(fs::exists(vm + "/" + name)) << name;
      // A disk's extension names the format qemu opens it in (none: no
      // promise), as every destination reads it.
      std::string ext = fs::path(name).extension().string();
      std::string named = ext == ".vmdk"   ? "vmdk"
                          : ext == ".vhd"  ? "vpc"
                          : ext == ".vhdx" ? "vhdx"
                                           : row.format;
      EXPECT_EQ(named, row.format) << name;
      std::string info = "qemu-img info --output=json -f " + named + " '" +
                         vm + "/" + name + "' >/dev/null 2>&1";
      EXPECT_EQ(std::system(info.c_str()), 0) << info;
    }
    // Every disk arrived whole: the guest sees the same bytes.
    std::string compare = "qemu-img compare -q -F " + std::string(row.format) +
                          " '" + root +
                          "/vmware/web01/web01_1.vmdk' '" + vm + "/" +
                          names[1] + "'";
    EXPECT_EQ(std::system(compare.c_str()), 0) << compare;
  }
  ExpectSourceUntouched();  // staging folders: AttackTest
}

TEST_F(ToolRun, HumanReadableRestoreNamesEveryDiskAndTheGuest) {
  ToolResult run =
      Tool({"restore", Web01Request(), "--from", "vmware", "--to", "hyperv"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  for (const char* text : {"web01 (hyperv), restored from web01 (vmware)", "web01.vhd", "web01_2.vhd",
                           "Guest OS:", "Network cards:", "Instance type:",
                           "Native VM:"})
    EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n" << run.out;
  // The converter's own progress lines stay in the log.
  EXPECT_EQ(run.out.find("Renaming disks based on VM name"), std::string::npos);
  EXPECT_NE(TempDir::Read(dir.File("tool.log"))
                .find("Renaming disks based on VM name"),
            std::string::npos);
}

TEST_F(ToolRun, ConvertBuildsTheDestinationVMAndStopsCleanlyAtDiskImages) {
  json result =
      ToolJson({"convert", "netboot01", "--from", "vmware", "--to", "hyperv"});
  if (!result.is_null()) {
    EXPECT_EQ(result["vmId"], "hyperv/netboot01");
    EXPECT_TRUE(fs::exists(root + "/hyperv/netboot01/VMConfig.zyf"));
    EXPECT_EQ(result["vmInfo"]["i64MemoryMB"], 1024);
  }

  // Creating destination disk images is not offered, so a VM with disks
  // cannot be converted standalone: the tool says so and leaves no trace.
  ToolResult run =
      Tool({"convert", "web01", "--from", "vmware", "--to", "hyperv",
            "--library-convert"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("(ConvertVM)"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(root + "/hyperv/web01"));
  ExpectSourceUntouched();
}

TEST_F(ToolRun, CloneDiskCopiesIdenticallyAndKeepsHoles) {
  // 8 MiB with data only in its first and last MiB.
  std::string from = dir.File("sparse.img");
  {
    std::ofstream out(from, std::ios::binary);
    out << std::string(1 << 20, 'x');
    out.seekp((7 << 20));
    out << std::string(1 << 20, 'y');
  }
  std::string to = dir.File("copy.img");
  json result = ToolJson({"clone-disk", from, to});
  if (result.is_null()) return;
  EXPECT_EQ(TempDir::Read(to), TempDir::Read(from));
  EXPECT_EQ(result["virtualBytes"], 8 << 20);
  EXPECT_LE(result["allocatedBytes"].get<int64_t>(), 4 << 20);

  ToolResult again = Tool({"clone-disk", from, to});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("never replaces"), std::string::npos);
  EXPECT_EQ(TempDir::Read(to), TempDir::Read(from));
}

TEST_F(ToolRun, ARestoreOntoAnExistingVMIsRefusedAndTheVMKept) {
  ASSERT_FALSE(ToolJson({"restore", Web01Request(), "--from", "vmware", "--to",
                         "hyperv"})
                   .is_null());
  auto before = Snapshot(root + "/hyperv/web01");
  ToolResult run =
      Tool({"restore", Web01Request(), "--from", "vmware", "--to", "hyperv"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("already exists"), std::string::npos) << run.err;
  EXPECT_EQ(Snapshot(root + "/hyperv/web01"), before);
}

TEST_F(ToolRun, DemoRunsTheMainJobEndToEnd) {
  // A PATH with qemu-img alone: the restores convert, the boot checks cannot.
  const std::string notChecked = "not checked: install qemu-system-x86";
  ASSERT_EQ(std::system(("mkdir " + dir.File("bin") +
                         " && ln -s \"$(command -v qemu-img)\" " +
                         dir.File("bin/qemu-img"))
                            .c_str()),
            0);
  bool qemu = std::system("command -v qemu-system-x86_64 >/dev/null") == 0;
  struct Row {
    int line;
    std::string prefix, boot;
  } rows[] = {
      {__LINE__, "", qemu ? "booted" : notChecked},
      {__LINE__, "PATH=" + dir.File("bin") + " ", notChecked},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    std::string into = dir.File("demo" + std::to_string(row.line));
    ToolResult run = RunTool(
        dir,
        OnPlatform(dir, root,
                   {"demo", "--examples", kExamples, "--into", into, "--json"}),
        row.prefix);
    ASSERT_EQ(run.status, 0) << run.err;
    json results = json::parse(run.out);
    ASSERT_EQ(results.size(), 5u);
    std::vector<std::string> ids;
    for (const auto& result : results) {
      ids.push_back(result["vmId"]);
      EXPECT_EQ(result["bootCheck"]["result"], row.boot) << result["vmId"];
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"hyperv/web01", "amazon/web01",
                                             "1401/web01",
                                             "vmware/fileserver",
                                             "openstack/web01-live"}));
    EXPECT_TRUE(fs::exists(into + "/vmware/fileserver/VMConfig.zyf"));
  }
}

// The restore of web01's backup and the conversion of web01 build the same
// Hyper-V disks: the destination's format, each image's virtual size as
// qemu-img reads it, the OS disk marked.
TEST_F(ToolRun, RestoreAndConvertDescribeTheSameDisks) {
  auto virtualSize = [this](const std::string& image) {
    std::string info = dir.File("info.json");
    std::string command = "qemu-img info --output=json " +
                          TempDir::Quoted(image) + " > " +
                          TempDir::Quoted(info);
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return json::parse(TempDir::Read(info))["virtual-size"];
  };
  auto disksOf = [&virtualSize](const std::string& vm) {
    json zyf = json::parse(TempDir::Read(vm + "/VMConfig.zyf"));
    json disks = json::array();
    for (const json& disk : zyf["vm"]["vDisks"]) {
      if (disk["nDeviceType"] != 1) continue;
      disks.push_back({disk["fileName"], disk["eDiskType"],
                       disk["i64MaxSizeInBytes"], disk["isOSDisk"]});
      EXPECT_EQ(virtualSize(vm + "/" + disk["fileName"].get<std::string>()),
                disk["i64MaxSizeInBytes"]);
    }
    return disks;
  };
  ToolJson({"restore", Web01Request(), "--from", "vmware", "--to", "hyperv"});
  json restored = disksOf(root + "/hyperv/web01");
  fs::remove_all(root + "/hyperv/web01");
  ToolJson({"convert", "web01", "--from", "vmware", "--to", "hyperv"});
  json converted = disksOf(root + "/hyperv/web01");
  EXPECT_EQ(restored, converted);
  ASSERT_EQ(restored.size(), 3u);
  EXPECT_EQ(restored[0], json({"web01.vhd", 12, 4194304, true}));
}

// A backup whose VM has no UUID names its Amazon disks after the one its
// name gives, never ".vhdx".
TEST_F(ToolRun, AVMWithoutAUuidNamesItsDisksAfterItsName) {
  json request = json::parse(TempDir::Read(Web01Request()));
  request.erase("strSourceVMGUID");
  request["vmInfo"].erase("strGUID");
  json result = ToolJson({"restore", dir.Write("no-uuid.json", request.dump()),
                          "--from", "vmware", "--to", "amazon"});
  const std::string id = "77f21754-b32e-5cf3-906f-1541fba3545f";
  EXPECT_EQ(DiskNames(result),
            (std::vector<std::string>{id + ".vhdx", id + "_1.vhdx",
                                      id + "_2.vhdx"}));
}

// tests/data/tool/lines.cases: command lines, their exit status and a text
// said on exactly one line; a failed run says one error line.
TEST_F(ToolRun, LinesSpeakOfTheOptionsOfTheCommandTyped) {
  dir.Write("xen/db01.cfg", "name = \"db01\"\nmemory = 512\n"
                            "disk = ['file:db.img,hda,w']\n");
  dir.Write("xen/db.img", std::string(1 << 20, '\0'));
  fs::copy(golden::Data("readers/ec2/"
                        "describe-unknown-type-sizes-left-unknown.xml"),
           dir.File("shop.xml"));
  // web01's request with a member, or ("v<n>") disk n's index name, changed.
  auto request = [&](const char* name, const char* member, json value) {
    json changed = json::parse(TempDir::Read(Web01Request()));
    if (member[0] == 'v')
      changed["vDisks"][std::atoi(member + 1)]["diskIndexName"] = value;
    else
      changed[member] = value;
    dir.Write(name, changed.dump());
  };
  request("missing.json", "v2", "gone.vmdk");
  request("escaping.json", "v0", "../web01/web01.vmx");
  request("unwritable.json", "strStagingPath",
          dir.Write("root/a-file", "x") + "/staging");
  dir.Write("unknown.json", R"({"strVMNmae": "x"})");
  dir.Write("bad.json", R"({"strVMName": )");
  dir.Write("bad.xml", "<VMOpReq><recoveryResponse>");
  dir.Write("root/openstack", "a file where the kind's folder belongs");
  const std::map<std::string, std::string> words = {
      {"$DIR", dir.path()}, {"$ROOT", root}, {"$WEB01", Web01Request()}};
  for (const auto& c : golden::Table("tool/lines")) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(c.fields.size(), 3u);
    std::vector<std::string> args;
    std::istringstream line(c.fields[2]);
    for (std::string word; line >> word;) {
      for (const auto& [name, value] : words)
        if (word.rfind(name, 0) == 0) word.replace(0, name.size(), value);
      args.push_back(word);
    }
    if (args[0] == "$ON")
      args = OnPlatform(dir, root, {args.begin() + 1, args.end()});
    ToolResult run = RunTool(dir, args);
    int status = std::stoi(c.fields[0]);
    EXPECT_EQ(run.status, status) << run.err;
    std::istringstream lines(run.out + "\n" + run.err);
    int saying = 0;
    for (std::string said; std::getline(lines, said);)
      saying += said.find(c.fields[1]) != std::string::npos;
    EXPECT_EQ(saying, 1) << run.out << run.err;
    if (status == 0) continue;
    bool json = std::count(args.begin(), args.end(), "--json") > 0;
    EXPECT_EQ(run.out.empty(), !json) << run.out;
    EXPECT_EQ(run.err.rfind("zyvmconvert: error: ", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  ExpectSourceUntouched();
  EXPECT_EQ(TempDir::Read(root + "/openstack"),
            "a file where the kind's folder belongs");
  for (const char* kind : {"hyperv/web01", "amazon/web01", "100"})
    EXPECT_FALSE(fs::exists(root + "/" + kind)) << kind;
  EXPECT_TRUE(fs::is_directory(dir.File("new/vmware")));
}
