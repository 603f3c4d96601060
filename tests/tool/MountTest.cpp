//===- MountTest.cpp - zyvmconvert mount, unmount and promote -------------===//
//
// The tool runs on a copy of the example platform.  The backed-up VM's
// folder is compared byte for byte before and after each run: a live mount
// never writes the backup.  qemu's own tools are the oracle for the images:
// qemu-io writes as a guest would, qemu-img compare says whether a promoted
// disk holds what the guest saw.
//
//===----------------------------------------------------------------------===//
#include "tests/tool/ToolRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

namespace fs = std::filesystem;
using namespace tool_test;

namespace {

class MountRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v qemu-img qemu-io >/dev/null") != 0)
      GTEST_SKIP() << "qemu-utils is not installed";
    root = dir.File("root");
    fs::copy(kExamples + "/platform", root, fs::copy_options::recursive);
    backup = root + "/vmware/web01";
  }

  ToolResult Tool(const std::vector<std::string>& args) {
    return RunTool(dir, OnPlatform(dir, root, args));
  }

  void Sh(const std::string& command) {
    ASSERT_EQ(std::system((command + " >/dev/null").c_str()), 0) << command;
  }

  TempDir dir;
  std::string root;
  std::string backup;
};

}  // namespace

TEST_F(MountRun, RunsTheBackupWithoutWritingItAndUnmountsToNothing) {
  struct Row {
    int line;
    const char* kind;
    const char* osDisk;  // the thin image of web01.vmdk
    const char* format;  // qemu's name of it
    std::vector<std::string> files;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, "openstack", "web01", "qcow2", {"web01_1", "web01_2", "live.xml"}},
      {__LINE__, "vmware", "live.vmdk", "vmdk", {"live_1.vmdk", "live_2.vmdk", "live.vmx"}},
  };
  // clang-format on
  bool qemu = std::system("command -v qemu-system-x86_64 >/dev/null") == 0;
  auto platformBefore = Snapshot(root);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    ToolResult mount = Tool({"mount", "vmware/web01", "--to", row.kind,
                             "--name", "live", "--mount-id", "3"});
    ASSERT_EQ(mount.status, 0) << mount.err;
    std::string vm = root + "/" + row.kind + "/live";
    EXPECT_NE(
        mount.out.find(std::string(row.osDisk) + ": " +
                       (row.format == std::string("vmdk") ? "VMDK" : "qcow2") +
                       " over " + fs::absolute(backup).string() +
                       "/web01.vmdk (VMDK)"),
        std::string::npos)
        << mount.out;
    for (const std::string& file : row.files)
      EXPECT_TRUE(fs::is_regular_file(vm + "/" + file)) << file;
    EXPECT_TRUE(fs::is_regular_file(vm + "/mount.json"));

    auto mounted = Snapshot(vm);
    if (qemu) {
      ToolResult boot = Tool({"boot-check", vm});
      EXPECT_EQ(boot.status, 0) << boot.out << boot.err;
      EXPECT_EQ(Snapshot(vm), mounted) << "the boot check wrote the disks";
    }
    // A guest's write lands in the thin image only.
    Sh("qemu-io -f " + std::string(row.format) + " -c 'write -P 0x5a 0 64k' " +
       TempDir::Quoted(vm + "/" + row.osDisk));
    EXPECT_NE(Snapshot(vm), mounted);

    ToolResult unmount = Tool({"unmount", std::string(row.kind) + "/live"});
    EXPECT_EQ(unmount.status, 0) << unmount.err;
    EXPECT_FALSE(fs::exists(vm));
    EXPECT_EQ(Snapshot(root), platformBefore);
  }
}

TEST_F(MountRun, PromoteMergesTheBackupAndTheGuestsWritesIntoTheKindsFormat) {
  auto backupBefore = Snapshot(backup);
  ASSERT_EQ(
      Tool({"mount", "vmware/web01", "--to", "1401", "--name", "m"}).status, 0);
  std::string vm = root + "/1401/m";
  Sh("qemu-io -f qcow2 -c 'write -P 0xa5 1M 64k' " +
     TempDir::Quoted(vm + "/web01_1"));
  // The chain as the guest sees it, kept to compare with.
  Sh("qemu-img convert -O raw " + TempDir::Quoted(vm + "/web01_1") + " " +
     TempDir::Quoted(dir.File("seen.raw")));

  ToolResult promote = Tool({"promote", "1401/m"});
  ASSERT_EQ(promote.status, 0) << promote.err;
  Sh("qemu-img compare -f raw -F raw " + TempDir::Quoted(dir.File("seen.raw")) +
     " " + TempDir::Quoted(vm + "/web01_1"));
  EXPECT_FALSE(fs::exists(vm + "/mount.json"));
  EXPECT_NE(TempDir::Read(vm + "/m.xml").find("type='raw'"), std::string::npos);
  EXPECT_EQ(TempDir::Read(vm + "/m.xml").find("type='qcow2'"),
            std::string::npos);
  EXPECT_EQ(Snapshot(backup), backupBefore);
  // No longer mounted: it is an ordinary VM now.
  EXPECT_EQ(Tool({"unmount", "1401/m"}).status, 1);
}

TEST_F(MountRun, APromoteThatStopsLeavesTheMountedVMAsItWas) {
  ASSERT_EQ(Tool({"mount", "vmware/web01", "--to", "openstack", "--name", "m"})
                .status,
            0);
  std::string vm = root + "/openstack/m";
  auto mounted = Snapshot(vm);
  // The second disk's temporary name is taken: its copy cannot start.
  fs::create_directory(vm + "/.web01_1.promoting");
  ToolResult promote = Tool({"promote", "openstack/m"});
  EXPECT_EQ(promote.status, 1);
  fs::remove(vm + "/.web01_1.promoting");
  EXPECT_EQ(Snapshot(vm), mounted);
  EXPECT_EQ(Tool({"promote", "openstack/m"}).status, 0);
}

TEST_F(MountRun, RefusesBadInputWithOneLineAndLeavesNothing) {
  struct Row {
    int line;
    std::vector<std::string> args;
    const char* error;
    std::function<void()> prepare;
  };
  const std::vector<std::string> kMount = {"mount", "vmware/web01", "--to"};
  auto with = [&](std::vector<std::string> tail) {
    std::vector<std::string> args = kMount;
    args.insert(args.end(), tail.begin(), tail.end());
    return args;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, with({"hyperv"}), "it would need VHD differencing disks", {}},
      {__LINE__, with({"azure"}), "it would need VHD differencing disks", {}},
      {__LINE__, with({"amazon"}), "it would need VHDX differencing disks", {}},
      {__LINE__, with({"1401", "--mount-id", "0"}), "out of [1..2147483647]", {}},
      {__LINE__, with({"1401", "--mount-id", "2147483648"}), "out of [1..", {}},
      {__LINE__, with({"vmware", "--name", "web01"}), "a VM named [vmware/web01] already exists", {}},
      {__LINE__, with({"1401"}), "images with a backing file are not read", [this] {
         Sh("qemu-img create -q -f qcow2 -F vmdk -b " + backup + "/web01_2.vmdk " +
            backup + "/web01_1.vmdk");
       }},
      {__LINE__, with({"1401"}), "names the extent", [this] {
         dir.Write("root/vmware/web01/web01_1.vmdk",
                   "# Disk DescriptorFile\nversion=1\nCID=fffffffe\n"
                   "parentCID=ffffffff\ncreateType=\"monolithicFlat\"\n"
                   "RW 4096 FLAT \"../../../outside.img\" 0\n");
       }},
      {__LINE__, {"unmount", "vmware/web01"}, "is not mounted", {}},
      {__LINE__, {"promote", "vmware/web01"}, "is not mounted", {}},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    TearDown();
    fs::remove_all(root);
    SetUp();
    if (row.prepare) row.prepare();
    auto before = Snapshot(root);
    ToolResult run = Tool(row.args);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(row.error), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(Snapshot(root), before);
  }
}
