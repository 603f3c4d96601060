//===- UniqueDiskNameTest.cpp - Moving written disks to a free name -------===//
#include "converter/ZyVMConverter.h"

#include "platform/support/FXPath.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <fstream>

using VMInfoStructs::SDisk;

namespace {

// A converter restoring the VM "V" with one disk file written into dir.
struct Fixture {
  TempDir dir;
  ZyVMConverter converter;
  SDisk disk;

  Fixture() {
    converter.restoreCtx.strVMName = "V";
    disk.strDisplayName = "Hard disk 1";
    disk.strDatastore = dir.path();
    disk.fileName = dir.Write("restored.vmdk", "disk data");
  }
};

// Plays the other writer: creates the file the converter has just chosen,
// between its existence test and its move, the first `times` times.
class RacingSink : public LogSink {
 public:
  explicit RacingSink(int times) : times_(times) {}
  void Write(const LogRecord& record) override {
    const std::string prefix = "Generated disk file name for disk [";
    if (times_ == 0 || record.message.compare(0, prefix.size(), prefix) != 0)
      return;
    --times_;
    size_t open = record.message.rfind('[');
    std::string path =
        record.message.substr(open + 1, record.message.size() - open - 2);
    std::ofstream(path) << "other writer";
  }

 private:
  int times_;
};

}  // namespace

TEST(UniqueDiskName, TakesTheFirstFreeNameAfterTheVm) {
  ScopedLogCapture capture;
  Fixture f;
  f.dir.Write("V.vmdk", "first");
  f.dir.Write("V_1.vmdk", "second");
  ASSERT_TRUE(f.converter.UpdateToUniqueDiskName(f.disk));
  const std::string target = f.dir.File("V_2.vmdk");
  EXPECT_EQ(f.disk.fileName, target);
  EXPECT_EQ(TempDir::Read(target), "disk data");
  EXPECT_FALSE(FXPath::DoesPathExist(f.dir.File("restored.vmdk")));
  EXPECT_EQ(TempDir::Read(f.dir.File("V.vmdk")), "first");
  EXPECT_EQ(TempDir::Read(f.dir.File("V_1.vmdk")), "second");

  auto records = capture.sink().Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].level, 0);
  EXPECT_EQ(
      records[0].message,
      "Generated disk file name for disk [Hard disk 1] is [" + target + "]");
  EXPECT_EQ(records[1].level, 5);
  EXPECT_EQ(records[1].message,
            "Disk file is renamed to [" + target + "] in destination machine");
}

// A refusal leaves the disk's file and name as they were.
TEST(UniqueDiskName, RefusalsKeepTheFileWhereItWas) {
  struct Row {
    int line;
    const char* name;  // the written file; null: restored.vmdk
    void (*prepare)(Fixture&);
    std::string error;  // the error line, then the file's path if named
    bool namesFile;
  };
  const std::string renameCode = std::to_string(
      FXErrorUtil::MakeCode(FXErrorUtil::kFamilySystem, ENOENT));
  const Row rows[] = {
      {__LINE__, "disk", [](Fixture&) {},
       "Failed to get disk file extension from source file name [", true},
      {__LINE__, "vm.d/disk", [](Fixture&) {},
       "Failed to get disk file extension from source file name [", true},
      {__LINE__, nullptr,
       [](Fixture& f) { f.disk.strDatastore = f.dir.File("no such folder"); },
       "Failed to rename disk file, error [" + renameCode + "]", false},
      {__LINE__, nullptr,
       [](Fixture& f) {
         f.dir.Write("V.vmdk", "");
         for (int n = 1; n < 10000; ++n) {
           std::string name = f.dir.File("V_" + std::to_string(n) + ".vmdk");
           ::close(::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
         }
       },
       "Failed to generate unique file path for disk", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    ScopedLogCapture capture;
    Fixture f;
    if (row.name) f.disk.fileName = f.dir.Write(row.name, "disk data");
    const std::string original = f.disk.fileName;
    row.prepare(f);
    EXPECT_FALSE(f.converter.UpdateToUniqueDiskName(f.disk));
    EXPECT_EQ(f.disk.fileName, original);
    EXPECT_EQ(TempDir::Read(original), "disk data");
    std::string error = row.error + (row.namesFile ? original + "]" : "");
    EXPECT_TRUE(capture.sink().ContainsAtLevel(error, -1));
  }
}

TEST(UniqueDiskName, ANameTakenDuringTheMoveIsSkippedNotReplaced) {
  auto sink = std::make_shared<RacingSink>(2);
  SetLogSink(sink);
  Fixture f;
  f.dir.Write("V.vmdk", "first");
  bool moved = f.converter.UpdateToUniqueDiskName(f.disk);
  SetLogSink(nullptr);
  ASSERT_TRUE(moved);
  // V_1 and V_2 were taken by the other writer just before each move.
  EXPECT_EQ(f.disk.fileName, f.dir.File("V_3.vmdk"));
  EXPECT_EQ(TempDir::Read(f.dir.File("V_1.vmdk")), "other writer");
  EXPECT_EQ(TempDir::Read(f.dir.File("V_2.vmdk")), "other writer");
  EXPECT_EQ(TempDir::Read(f.dir.File("V_3.vmdk")), "disk data");
  EXPECT_EQ(TempDir::Read(f.dir.File("V.vmdk")), "first");
}

// The first candidate is the VM's name with the part after the last dot; a
// format without an extension leaves no candidate.
TEST(UniqueDiskName, UpdateDestinationDiskSetsFormatSizeAndName) {
  for (VirtualServerInstanceType kind : {VS_VMWARE, VS_RHEV}) {
    SCOPED_TRACE(kind);
    ScopedLogCapture capture;
    Fixture f;
    f.converter.eDestInstType = kind;
    f.disk.fileName = f.dir.Write("disk.with.dots.vmdk", "dotted");
    SDisk source;
    source.i64CurrSizeInBytes = 12345;
    const bool named = kind == VS_VMWARE;
    EXPECT_EQ(f.converter.UpdateDestinationDisk(source, f.disk), named);
    EXPECT_EQ(f.disk.eDiskType, named ? 18 : 25);
    EXPECT_EQ(f.disk.i64CurrSizeInBytes, 12345);
    const std::string file = f.dir.File(named ? "V.vmdk" : "disk.with.dots");
    EXPECT_EQ(f.disk.fileName, file);
    const char* kept = named ? "V.vmdk" : "disk.with.dots.vmdk";
    EXPECT_EQ(TempDir::Read(f.dir.File(kept)), "dotted");
    EXPECT_EQ(capture.sink().ContainsAtLevel(
                  "Failed to generate unique disk name for disk [" + file + "]",
                  -1),
              !named);
  }
}
