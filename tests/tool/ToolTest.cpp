//===- ToolTest.cpp - zyvmconvert, run end to end on the examples ---------===//
//
// Each test runs the built tool as a separate process on a copy of the
// shipped example platform and checks its exit status, its output and the
// folders it leaves behind.
//
//===----------------------------------------------------------------------===//
#include "tests/tool/ToolRun.h"

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

  json ToolJson(const std::vector<std::string>& args) {
    std::vector<std::string> withJson = args;
    withJson.push_back("--json");
    ToolResult run = Tool(withJson);
    EXPECT_EQ(run.status, 0) << run.err;
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
  // native: the description the destination takes, and the disks it moved.
  struct Row {
    int line;
    const char* kind;
    const char* format;
    std::vector<std::string> names;
    const char* instanceType;
    const char* native;
    size_t moved;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, "vmware", "vmdk", {"web01.vmdk", "web01_1.vmdk", "web01_2.vmdk"}, nullptr, "web01-copy.vmx", 0},
      {__LINE__, "hyperv", "vpc", {"web01.vhd", "web01_1.vhd", "web01_2.vhd"}, nullptr, "web01.ps1", 0},
      {__LINE__, "amazon", "vhdx", {g + ".vhdx", g + "_1.vhdx", g + "_2.vhdx"}, "t2.medium", "import-image.json", 0},
      // Azure keeps the source's names but takes only fixed VHDs.
      {__LINE__, "azure", "vpc", {"web01.vmdk", "web01_1.vmdk", "web01_2.vmdk"}, nullptr, "azure-vm.json", 0},
      {__LINE__, "rhev", "qcow2", {"web01_Disk1", "web01_Disk2", "web01_Disk3"}, nullptr, "web01.xml", 1},
      {__LINE__, "openstack", "qcow2", {"web01", "web01_1", "web01_2"}, nullptr, "web01.xml", 1},
      {__LINE__, "1401", "raw", {"web01.vmdk", "web01_1.vmdk", "web01_2.vmdk"}, "ecs.t6.medium", "web01.xml", 0},
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
    json result = ToolJson(args);
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
    EXPECT_EQ(result["nativeNotes"].size(), row.moved);  // IDE 0:2
    for (const std::string& name : names) {
      ASSERT_TRUE(fs::exists(vm + "/" + name)) << name;
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

TEST_F(ToolRun, P2VTurnsTheRecoveryRequestIntoAVMAndARestoreRequest) {
  json result = ToolJson(
      {"p2v", kExamples + "/physical/fileserver-request.xml", "--to", "vmware"});
  if (result.is_null()) return;
  const json& vm = result["vmInfo"];
  EXPECT_EQ(vm["strVMName"], "fileserver");
  EXPECT_EQ(vm["i64NumCPUs"], 4);
  EXPECT_EQ(vm["i64MemoryMB"], 8188);
  EXPECT_EQ(vm["strGuestOS"], "windows9Server64Guest");
  int cdroms = 0;
  for (const auto& disk : result["disks"]) cdroms += disk["kind"] == "cd-rom";
  EXPECT_EQ(cdroms, 1);
  EXPECT_EQ(DiskNames(result).size(), 2u);
  // AttackTest restores the saved request on each kind.
  EXPECT_EQ(result["restoreCtx"]["strSourceVMName"], "fileserver");
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

TEST_F(ToolRun, MalformedInputsFailWithOneLineAndTouchNothing) {
  std::string unknownMember =
      dir.Write("unknown.json", R"({"strVMNmae": "x"})");
  std::string notJson = dir.Write("bad.json", R"({"strVMName": )");
  json missing = json::parse(TempDir::Read(Web01Request()));
  missing["vDisks"][2]["diskIndexName"] = "gone.vmdk";
  std::string missingFile = dir.Write("missing.json", missing.dump());
  json escaping = json::parse(TempDir::Read(Web01Request()));
  escaping["vDisks"][0]["diskIndexName"] = "../web01/web01.vmx";
  std::string escapingName = dir.Write("escaping.json", escaping.dump());
  json unwritable = json::parse(TempDir::Read(Web01Request()));
  unwritable["strStagingPath"] = dir.Write("root/a-file", "x") + "/staging";
  std::string unwritableStaging =
      dir.Write("unwritable.json", unwritable.dump());
  std::string badXml = dir.Write("bad.xml", "<VMOpReq><recoveryResponse>");
  dir.Write("root/rhev", "a file where the kind's folder belongs");

  const std::string vm = "vmware", hv = "hyperv";
  struct Row {
    int line;
    std::vector<std::string> args;
    int status;
    const char* says;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, {"restore", notJson, "--from", vm, "--to", hv}, 1, "is not JSON"},
      {__LINE__, {"restore", unknownMember, "--from", vm, "--to", hv}, 1,
       "strVMNmae is not a member"},
      {__LINE__, {"restore", Web01Request(), "--from", vm, "--to", "xen"}, 1,
       "unknown platform kind [xen]"},
      {__LINE__, {"restore", dir.File("nothing.json"), "--from", vm, "--to", hv}, 1,
       "cannot read restore request"},
      {__LINE__, {"restore", "/dev/null", "--from", vm, "--to", hv}, 1,
       "[/dev/null] is not a regular file"},
      {__LINE__, {"restore", missingFile, "--from", vm, "--to", hv}, 1,
       "gone.vmdk] does not exist"},
      {__LINE__, {"restore", escapingName, "--from", vm, "--to", hv}, 1,
       "[../web01/web01.vmx] is not a file name"},
      {__LINE__, {"restore", unwritableStaging, "--from", vm, "--to", hv}, 1,
       "Cannot create folder"},
      {__LINE__, {"restore", Web01Request(), "--from", vm, "--to", "rhev"}, 1,
       "Cannot create folder"},
      {__LINE__, {"p2v", badXml, "--to", vm}, 1, "bad.xml"},
      {__LINE__, {"convert", "db01", "--from", vm, "--to", hv}, 1, "No VM named [db01]"},
      {__LINE__, {"clone-disk", dir.File("none.img"), dir.File("x.img")}, 1,
       "cannot copy disk image"},
      {__LINE__, {"restore", Web01Request(), "--to", hv}, 1,
       "give the source platform kind with --from"},
      {__LINE__, {"frobnicate"}, 2, "zyvmconvert: error:"},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    ToolResult run = Tool(row.args);
    EXPECT_EQ(run.status, row.status);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(row.says), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.err.rfind("zyvmconvert: error: ", 0), 0u) << run.err;
  }
  ExpectSourceUntouched();
  EXPECT_EQ(TempDir::Read(root + "/rhev"), "a file where the kind's folder belongs");
  for (const char* kind : {"hyperv/web01", "amazon/web01"})
    EXPECT_FALSE(fs::exists(root + "/" + kind)) << kind;
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

// What the user typed is what a line speaks of: each row a command line, its
// exit status and a line that appears exactly once in its output.
TEST_F(ToolRun, LinesSpeakOfTheOptionsOfTheCommandTyped) {
  std::string xen = dir.Write("xen/db01.cfg",
                              "name = \"db01\"\nmemory = 512\n"
                              "disk = ['file:db.img,hda,w']\n");
  dir.Write("xen/db.img", std::string(1 << 20, '\0'));
  std::string ec2 = dir.File("shop.xml");
  fs::copy(std::string(ZY_TEST_DATA_DIR) +
               "/readers/ec2/describe-unknown-type-sizes-left-unknown.xml",
           ec2);
  const std::vector<std::string> shop = {"convert", "--ec2-xml", ec2,
                                         "--instance-id", "i-0future", "--to",
                                         "hyperv"};
  auto on = [&](std::vector<std::string> args) {
    return OnPlatform(dir, root, std::move(args));
  };
  auto plus = [](std::vector<std::string> args,
                 const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  struct Row {
    int line;
    std::vector<std::string> args;
    int status;
    const char* says;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, on({"convert", "--xen-cfg", xen, "--to", "amazon", "--output", dir.File("o1")}), 1,
       "the guest OS is unknown: give --os with one of Linux_x64, Linux_x86, Windows_x64, Windows_x86 (zyvmconvert kinds --os amazon)"},
      {__LINE__, on({"convert", "web01", "--from", "vmware", "--to", "amazon", "--os", "Linux"}), 1,
       "--os [Linux] names no CPU architecture: give --os with one of AUTO, Linux_x64"},
      {__LINE__, on(plus(shop, {"--output", dir.File("o2")})), 1,
       "(instance type [z9q.colossal] is in no instance-type table); give them with --cpus N and --memory MIB"},
      {__LINE__, on(plus(shop, {"--output", dir.File("o3"), "--cpus", "4", "--memory", "8192"})), 0,
       "CPUs, memory:  4, 8192 MiB"},
      {__LINE__, on({"convert", "web01", "--from", "vmware", "--to", "hyperv", "--instance-id", "i-1"}), 1,
       "--instance-id is for a VM from amazon"},
      {__LINE__, on({"convert", "web01", "--from", "vmware", "--to", "hyperv", "--name", "../x"}), 1,
       "--name [../x] cannot be a file name"},
      {__LINE__, on({"convert", "web01", "--from", "vmware", "--to", "100"}), 1,
       "platform kind [100] cannot be a destination: the converter has no way to finish"},
      {__LINE__, {"kinds"}, 0, "hyperv        102 VHD     .vhd       no limit           kept "},
      {__LINE__, {"kinds"}, 0, "amazon        301 VHDX    .vhdx      no limit           dropped "},
      {__LINE__, {"kinds", "--os", "amazon"}, 0, "Linux_x64"},
      {__LINE__, on({"-v", "convert", "web01", "--from", "vmware", "--to", "hyperv", "--name", "w1"}), 0,
       "VM is converted successfully, VM name [w1]"},
      {__LINE__, {"--root", root, "frobnicate"}, 2, "error: unknown command [frobnicate] (commands: restore,"},
      {__LINE__, {"--log", dir.File("none/x.log"), "kinds"}, 1, "no folder ["},
      {__LINE__, on({"--json", "convert", "web01", "--from", "vmware", "--to", "100"}), 1,
       "the converter has no way to finish a VM of this kind, so its platform never builds one\",\"exitCode\":1}"},
      {__LINE__, on({"convert", "web01", "--from", "vmware", "--to", "hyperv", "--name", "w2"}), 0,
       "w2 (hyperv), converted from web01 (vmware)"},
      {__LINE__, on({"convert", "web01", "--from", "vmware", "--to", "rhev", "--name", "w3"}), 0,
       "  Firmware:      BIOS"},
      {__LINE__, {"convert", "--help"}, 0, "Xen or Oracle VM domain file (kind oraclevm)"},
      {__LINE__, {"init-root", dir.File("new")}, 0, "a folder for each of the 17 kinds"},
      {__LINE__, {"init-root", root}, 1, "is not an empty folder"},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    ToolResult run = RunTool(dir, row.args);
    EXPECT_EQ(run.status, row.status) << run.err;
    std::istringstream lines(run.out + "\n" + run.err);
    int saying = 0;
    for (std::string line; std::getline(lines, line);)
      saying += line.find(row.says) != std::string::npos;
    EXPECT_EQ(saying, 1) << run.out << run.err;
  }
  EXPECT_TRUE(fs::is_directory(dir.File("new/vmware")));
  EXPECT_FALSE(fs::exists(root + "/100"));
}
