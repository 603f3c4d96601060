//===- AttackTest.cpp - zyvmconvert against hostile requests and folders --===//
//
// Each row attacks the built tool with one hostile input: a name that
// climbs out of the platform root, a symbolic link that leads out of it, a
// folder named outside it, a configuration file that cannot be read, a
// figure out of range.  Every row expects one error line, and that nothing
// outside the root was written, nothing secret was copied in, and nothing
// was left behind in the root.
//
//===----------------------------------------------------------------------===//
#include "tests/tool/ToolRun.h"

#include "support/Golden.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <random>

namespace fs = std::filesystem;
using nlohmann::json;
using namespace tool_test;

namespace {

const std::string kSecret = "root:SECRET-HASH:19000:0:99999:7:::\n";

class Attack : public ::testing::Test {
 public:  // the rows' set-up functions use the fixture
  // A fresh copy of the example platform, and a folder beside it.
  void SetUp() override {
    if (heldLock >= 0) close(heldLock);
    heldLock = -1;
    root = dir.File("root");
    outside = dir.File("outside");
    fs::remove_all(root);
    fs::remove_all(outside);
    fs::copy(kExamples + "/platform", root, fs::copy_options::recursive);
    dir.Write("outside/shadow", kSecret);
    dir.Write("outside/web01/VMConfig.zyf", "");
    fs::create_directories(outside + "/dest");
  }

  int Run(const std::vector<std::string>& args) {
    ToolResult run = RunTool(dir, OnPlatform(dir, root, args));
    out = run.out;
    err = run.err;
    return run.status;
  }

  // A copy of web01 as the VMware VM "linked", one disk a link outside.
  void LinkedVM() {
    fs::copy(root + "/vmware/web01", root + "/vmware/linked",
             fs::copy_options::recursive);
    fs::remove(root + "/vmware/linked/web01_1.vmdk");
    fs::create_symlink(outside + "/shadow",
                       root + "/vmware/linked/web01_1.vmdk");
  }

  // linked's second disk becomes a qcow2 image whose guest data is the
  // file elsewhere/data, which holds the secret.
  void DataFileVM() {
    LinkedVM();
    std::string disk = root + "/vmware/linked/web01_1.vmdk";
    std::string data = dir.File("elsewhere/data");
    fs::remove(disk);
    fs::create_directories(dir.File("elsewhere"));
    std::string make = "qemu-img create -q -f qcow2 -o data_file=" + data +
                       ",data_file_raw=on '" + disk + "' 1M";
    ASSERT_EQ(std::system(make.c_str()), 0) << make;
    // Creating the image emptied the data file; the secret comes after.
    std::ofstream(data, std::ios::binary | std::ios::trunc) << kSecret;
  }

  // linked's second disk becomes a VMDK descriptor whose extent is a FIFO.
  void FifoExtentVM() {
    LinkedVM();
    std::string folder = root + "/vmware/linked/";
    fs::remove(folder + "web01_1.vmdk");
    dir.Write("root/vmware/linked/web01_1.vmdk",
              "# Disk DescriptorFile\nversion=1\nCID=fffffffe\n"
              "parentCID=ffffffff\ncreateType=\"monolithicFlat\"\n\n"
              "RW 2048 FLAT \"web01_1-flat.vmdk\" 0\n");
    ASSERT_EQ(mkfifo((folder + "web01_1-flat.vmdk").c_str(), 0600), 0);
  }

  // No file anywhere under the root holds the secret.
  bool SecretCopiedIn() const {
    for (const auto& [name, content] : Snapshot(root))
      if (content.find("SECRET-HASH") != std::string::npos &&
          content.rfind("-> ", 0) != 0)
        return true;
    return false;
  }

  // Holds the lock of the hyperv VM web01 as a running restore would.
  void HoldLock() {
    fs::create_directories(root + "/hyperv");
    heldLock = open((root + "/hyperv/.web01.lock").c_str(),
                    O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    std::string pid = std::to_string(getpid()) + "\n";
    ASSERT_EQ(flock(heldLock, LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(write(heldLock, pid.data(), pid.size()),
              static_cast<ssize_t>(pid.size()));
  }

  ~Attack() override {
    if (heldLock >= 0) close(heldLock);
  }

  TempDir dir;
  std::string root;
  std::string outside;
  std::string out, err;
  int heldLock = -1;
};

// Every entry under a folder, folders too: a run leaves no folder behind.
std::map<std::string, std::string> Tree(const std::string& folder) {
  std::map<std::string, std::string> entries = Snapshot(folder);
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_directory() && !entry.is_symlink())
      entries[fs::relative(entry.path(), folder).string() + "/"] = "";
  return entries;
}

std::string P2VRequest(const std::string& from, const std::string& to) {
  std::string xml =
      TempDir::Read(kExamples + "/physical/fileserver-request.xml");
  size_t at = xml.find(from);
  if (at != std::string::npos) xml.replace(at, from.size(), to);
  return xml;
}

}  // namespace

TEST_F(Attack, HostileInputsGetOneErrorLineAndTouchNothingOutside) {
  using Change = void (*)(json&, const Attack&);
  using Prepare = void (*)(Attack&);
  using Args = std::vector<std::string> (*)(const Attack&);
  Prepare none = [](Attack&) {};
  Prepare linkedVM = [](Attack& t) { t.LinkedVM(); };
  Prepare dataFileVM = [](Attack& t) { t.DataFileVM(); };
  Prepare fifoExtentVM = [](Attack& t) { t.FifoExtentVM(); };
  Change linked = [](json& r, const Attack&) { r["strSourceVMName"] = "linked"; };
  Change unchanged = [](json&, const Attack&) {};
  // clang-format off
  struct Row {
    int line;
    Prepare prepare;
    Change change;   // of the example request (a restore), or null: convert
    const char* to;
    const char* error;  // part of the one error line
    Args args = nullptr;  // when set, the command instead
  } rows[] = {
      {__LINE__, none, [](json& r, const Attack&) {
         r["strSourceVMName"] = "../../../../../../../../etc";
         r["vDisks"] = json::array({{{"diskIndexName", "shadow"}}}); },
       "openstack", "is not a file name"},
      {__LINE__, none, [](json& r, const Attack&) { r["strSourceVMName"] = "../../outside/web01"; },
       "openstack", "is not a file name"},
      {__LINE__, linkedVM, [](json& r, const Attack&) { r["strSourceVMName"] = "linked"; },
       "openstack", "symbolic link"},
      {__LINE__, [](Attack& t) {
         fs::create_directories(t.root + "/openstack");
         fs::create_symlink(t.outside + "/dest", t.root + "/openstack/web01"); },
       unchanged, "openstack", "symbolic link"},
      {__LINE__, none, [](json& r, const Attack& t) { r["strStagingPath"] = t.outside; },
       "openstack", "is outside the platform root"},
      {__LINE__, none, [](json& r, const Attack& t) {
         r["strDestinationPath"] = t.root + "/../outside/dest"; },
       "amazon", "is outside the platform root"},
      {__LINE__, linkedVM, nullptr, "hyperv", "symbolic link"},
      // Images that name other files: qemu never opens them.
      {__LINE__, dataFileVM, linked, "openstack", "web01_1.vmdk refers to an external data file (data-file)"},
      {__LINE__, dataFileVM, nullptr, "hyperv", "web01_1.vmdk refers to an external data file (data-file)"},
      {__LINE__, fifoExtentVM, linked, "openstack", "web01_1-flat.vmdk is not a regular file"},
      {__LINE__, fifoExtentVM, nullptr, "hyperv", "web01_1-flat.vmdk is not a regular file"},
      {__LINE__, [](Attack& t) {  // larger than any configuration file read
         std::string noise(17 << 20, '\0');
         std::mt19937 random(14);
         for (char& c : noise) c = static_cast<char>(random());
         std::ofstream(t.root + "/vmware/web01/web01.vmx") << noise; },
       unchanged, "hyperv", "cannot read the configuration file"},
      {__LINE__, none, [](json& r, const Attack&) { r["vDisks"][2]["i64MaxSizeInBytes"] = INT64_MAX; },
       "hyperv", "vDisks[2].i64MaxSizeInBytes is 9223372036854775807; it must "
                 "be between 0 and 70368744177664"},
      {__LINE__, none, [](json& r, const Attack&) { r["vmInfo"]["i64NumCPUs"] = -5; },
       "hyperv", "vmInfo.i64NumCPUs is -5; it must be between 1 and 4096"},
      {__LINE__, none, [](json& r, const Attack&) { r["vDisks"][3]["nSlot"] = 99; },
       "hyperv", "restore request: vDisks[3].nSlot: unit 99 is out of [0..6,8..15] for lsisas1068"},
      // The converter never finishes a VM of kind 100: refused up front.
      {__LINE__, none, unchanged, "100", "platform kind [100] cannot be a destination"},
      // A half-built VM folder (no description): the platform's refusal is said.
      {__LINE__, [](Attack& t) { t.dir.Write("root/hyperv/web01/web01.vhd", "half"); },
       unchanged, "hyperv", "Cannot place disk [web01.vhd]"},
      // Another run builds the VM: refused at once, its lock left alone.
      {__LINE__, [](Attack& t) { t.HoldLock(); }, unchanged, "hyperv",
       "hyperv] is being restored by another run (pid "},
      // Names that the file system or a reader of them cannot take.
      {__LINE__, none, [](json& r, const Attack&) { r["strVMName"] = std::string(250, 'a'); },
       "hyperv", "the VM name makes the file name [.aaaaaaaaaaaaaaaaaaaaaaa"},
      {__LINE__, none, [](json& r, const Attack&) { r["strVMName"] = "web\u202e10"; },
       "hyperv", "has the bidirectional formatting character U+202E at byte 3"},
      {__LINE__, none, [](json& r, const Attack&) { r["strVMName"] = "web\u2067"; },
       "hyperv", "has the bidirectional formatting character U+2067 at byte 3"},
      {__LINE__, none, nullptr, "hyperv", "the VM name [web\\xff01] is not UTF-8 at byte 3",
       [](const Attack&) -> std::vector<std::string> {
         return {"convert", "web01", "--name", "web\xff" "01"}; }},
      {__LINE__, none, nullptr, "hyperv", "is a symbolic link to [",
       [](const Attack& t) -> std::vector<std::string> {
         fs::create_symlink(t.outside + "/nowhere", t.dir.File("dangling"));
         return {"convert", "web01", "--output", t.dir.File("dangling")}; }},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    SetUp();
    auto outsideBefore = Tree(outside);
    row.prepare(*this);
    json request =
        json::parse(TempDir::Read(kExamples + "/requests/web01-restore.json"));
    if (row.change) row.change(request, *this);
    fs::remove(dir.File("dangling"));
    std::vector<std::string> args =
        row.args     ? row.args(*this)
        : row.change ? std::vector<std::string>{"restore",
                                                dir.Write("request.json",
                                                          request.dump())}
                     : std::vector<std::string>{"convert", "linked"};
    for (const char* arg : {"--from", "vmware", "--to", row.to})
      args.push_back(arg);
    auto rootBefore = Tree(root);
    EXPECT_EQ(Run(args), 1);
    EXPECT_NE(err.find(row.error), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(Tree(outside), outsideBefore);
    EXPECT_EQ(Tree(root), rootBefore);
    EXPECT_FALSE(SecretCopiedIn());
  }
}

// tests/data/tool/physical-figures.cases: the request with one text replaced.
TEST_F(Attack, PhysicalMachineFiguresOutOfRangeNameTheField) {
  for (const auto& c : golden::Table("tool/physical-figures")) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(c.fields.size(), 4u);
    std::string xml = P2VRequest(c.fields[0], c.fields[1]);
    ASSERT_NE(xml.find(c.fields[1]), std::string::npos);
    std::string saved = dir.File("fs.json");
    fs::remove(saved);
    int status = std::stoi(c.fields[2]);
    EXPECT_EQ(Run({"p2v", dir.Write("request.xml", xml), "--to", "vmware",
                   "--save-request", saved}),
              status);
    EXPECT_NE(err.find(c.fields[3]), std::string::npos) << err;
    if (status != 0) continue;
    // Every listed disk is in the VM.
    json request = json::parse(TempDir::Read(saved));
    int disks = 0;
    for (const auto& disk : request["vmInfo"]["vDisks"])
      disks += disk["nDeviceType"] == 1;
    EXPECT_EQ(disks, 2);
  }
}

TEST_F(Attack, PhysicalMachineRestoresKeepBothDisksOnEveryKind) {
  for (const char* kind : {"vmware", "hyperv", "1301", "1102", "openstack"}) {
    SCOPED_TRACE(kind);
    std::string saved = dir.File(std::string(kind) + ".json");
    ASSERT_EQ(Run({"p2v", kExamples + "/physical/fileserver-request.xml",
                   "--to", kind, "--save-request", saved}),
              0)
        << err;
    ASSERT_EQ(Run({"restore", saved, "--from", "physical", "--to", kind,
                   "--source", kExamples + "/physical", "--json"}),
              0)
        << err;
    json result = json::parse(out);
    std::vector<std::string> files;
    for (const auto& disk : result["disks"])
      if (disk["kind"] == "disk") files.push_back(disk["name"]);
    ASSERT_EQ(files.size(), 2u);
    std::string vm = root + "/" + kind + "/fileserver/";
    // The guest sees the machine's bytes, in the destination's format and
    // at the size the request gives (the rest reads as zeros).
    for (int i = 0; i < 2; ++i) {
      std::string compare = "qemu-img compare -q '" + kExamples +
                            "/physical/disk" + std::to_string(i) + "' '" + vm +
                            files[i] + "'";
      EXPECT_EQ(std::system(compare.c_str()), 0) << compare;
    }
  }
}

TEST_F(Attack, AStagingFolderLeftByAKilledRestoreIsRemovedByTheNextRun) {
  dir.Write("root/.staging-Ab12Cd/web01.vmdk", "half a disk");
  ASSERT_EQ(Run({"restore", kExamples + "/requests/web01-restore.json",
                 "--from", "vmware", "--to", "hyperv"}),
            0)
      << err;
  EXPECT_NE(err.find("removed [" + root + "/.staging-Ab12Cd]"),
            std::string::npos)
      << err;
  for (const auto& entry : fs::directory_iterator(root))
    EXPECT_NE(entry.path().filename().string().rfind(".staging", 0), 0u);
}
