//===- DiskConversionTest.cpp - ConvertDisk and the test copy -------------===//
#include "converter/ZyVMConverter.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char kCloneSource[] = "C:\\test10G-snap.vhdx";
const char kCloneDestination[] = "C:\\test10G-snap-restore.vhdx";

// Runs a test inside a folder: the test copy's fixed names are relative.
class ScopedWorkingDirectory {
 public:
  explicit ScopedWorkingDirectory(const std::string& path) {
    char* previous = getcwd(nullptr, 0);
    previous_ = previous ? previous : "/";
    free(previous);
    EXPECT_EQ(chdir(path.c_str()), 0);
  }
  ~ScopedWorkingDirectory() { EXPECT_EQ(chdir(previous_.c_str()), 0); }

 private:
  std::string previous_;
};

// A sparse image: size bytes, with a few runs of patterned data.
void MakeSparseImage(const std::string& path, uint64_t size) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
  const uint64_t offsets[] = {0, 1536 * 1024, size - 3};
  for (uint64_t offset : offsets) {
    std::string data(3, 'a' + static_cast<char>(offset % 26));
    ASSERT_EQ(pwrite(fd, data.data(), data.size(), static_cast<off_t>(offset)),
              3);
  }
  close(fd);
}

uint64_t AllocatedBytes(const std::string& path) {
  struct stat facts;
  if (stat(path.c_str(), &facts) != 0) return ~0ull;
  return static_cast<uint64_t>(facts.st_blocks) * 512;
}

bool HasErrorStartingWith(const CapturingLogSink& sink,
                          const std::string& prefix) {
  for (const auto& record : sink.Records())
    if (record.kind == LogKind::Error && record.message.compare(0, prefix.size(), prefix) == 0)
      return true;
  return false;
}

// The converter's own lines at level 0 and 1, in order.
std::vector<std::string> ProgressLines(const CapturingLogSink& sink) {
  std::vector<std::string> lines;
  for (const auto& record : sink.Records())
    if (record.kind == LogKind::DebugLvl && record.level <= 1)
      lines.push_back(record.message);
  return lines;
}

}  // namespace

TEST(DiskConversion,
     DestinationIsTheSourceNameInTheDiskFolderInTheDestinationFormat) {
  struct Row {
    int line;
    VirtualServerInstanceType destination;
    const char* sourceName;
    int expectedType;
    const char* expectedName;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, VS_HYPERV, "vm1/disk-flat.vmdk", 12, "/dest/Virtual Hard Disks\\vm1/disk-flat.vhd"},
      {__LINE__, VS_VMWARE, "my.disk.vhd", 18, "/dest/Virtual Hard Disks\\my.disk.vmdk"},
      // Formats without an extension lose the dot as well.
      {__LINE__, VS_RHEV, "disk.vmdk", 25, "/dest/Virtual Hard Disks\\disk"},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    ScopedLogCapture capture;
    ZyVMConverter converter;
    converter.eDestInstType = row.destination;
    converter.strDestDiskPath = "/dest/Virtual Hard Disks";
    VMInfoStructs::SDisk source;
    source.fileName =
        row.sourceName;  // not there: the conversion stops at Open
    source.eDiskType = DT_VMDK;
    source.i64MaxSizeInBytes = 10737418240;
    source.nSlot = 3;
    VMInfoStructs::SDisk destination;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(converter.ConvertDisk(source, destination));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(destination.fileName, row.expectedName);
    EXPECT_EQ(destination.eDiskType, row.expectedType);
    // The rest of the destination is the source's.
    EXPECT_EQ(destination.i64MaxSizeInBytes, source.i64MaxSizeInBytes);
    EXPECT_EQ(destination.nSlot, 3);
    std::vector<std::string> expected = {
        "Converting disk [" + std::string(row.sourceName) + "] to [" +
            row.expectedName + "]",
        "Opening source disk [" + std::string(row.sourceName) + "]"};
    EXPECT_EQ(ProgressLines(capture.sink()), expected);
    EXPECT_TRUE(HasErrorStartingWith(capture.sink(),
                                     "Failed to open source disk error="));
  }
}

TEST(DiskConversion, StopsRightAfterCreatingDestinationDiskAndCreatesNothing) {
  TempDir dir;
  dir.Write("mnt/vm/disk1.vmdk", std::string(10000, 'd'));
  ScopedLogCapture capture;
  ZyVMConverter converter;
  converter.eDestInstType = VS_VMWARE;
  converter.strDestDiskPath = dir.File("out");
  // Mounted files are named relative to the mount.
  converter.mountCtx.strMountPath = dir.File("mnt");
  VMInfoStructs::SDisk source;
  source.fileName = "vm/disk1.vmdk";
  source.eDiskType = DT_NONE;  // a raw image, whatever its name
  VMInfoStructs::SDisk destination;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(converter.ConvertDisk(source, destination));
  std::string out = testing::internal::GetCapturedStdout();

  std::string target = dir.File("out") + "\\vm/disk1.vmdk";
  std::vector<std::string> expected = {
      "Converting disk [vm/disk1.vmdk] to [" + target + "]",
      "Opening source disk [vm/disk1.vmdk]",
      "Creating destination disk [" + target + "]"};
  EXPECT_EQ(ProgressLines(capture.sink()), expected);
  auto records = capture.sink().Records();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records.back().message, expected.back());
  EXPECT_EQ(out, expected[0] + "\n" + expected[1] + "\n" + expected[2] + "\n");
  struct stat facts;
  EXPECT_NE(stat(dir.File("out").c_str(), &facts), 0);
  EXPECT_NE(stat(target.c_str(), &facts), 0);
}

TEST(DiskConversion, FirstBlockFailureEndsTheConversionWithItsMessage) {
  TempDir dir;
  std::string image = dir.Write("disk.vmdk", "header");
  ScopedLogCapture capture;
  ZyVMConverter converter;
  converter.eDestInstType = VS_VMWARE;
  converter.nBlockSize = 0xFFFFFFFFu;  // more than a first block may hold
  VMInfoStructs::SDisk source;
  source.fileName = image;
  VMInfoStructs::SDisk destination;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(converter.ConvertDisk(source, destination));
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(HasErrorStartingWith(
      capture.sink(), "Failed to read first block from source disk error="));
  EXPECT_EQ(ProgressLines(capture.sink()).size(), 2u);
}

// The test image is a real VHDX made by qemu-img from a sparse raw image.
void MakeVhdx(const TempDir& dir, const std::string& name, uint64_t size) {
  std::string raw = dir.File("source.raw");
  MakeSparseImage(raw, size);
  std::string command = "qemu-img convert -q -f raw -O vhdx '" + raw + "' '" +
                        dir.File(name) + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

TEST(TestCloneDisk, ReplacesThePreviousCopyWithAnIdenticalSparseCopy) {
  TempDir dir;
  ScopedWorkingDirectory cwd(dir.path());
  MakeVhdx(dir, kCloneSource, 3 * 1024 * 1024 + 512);
  dir.Write(kCloneDestination, "the previous copy");
  ZyVMConverter converter;
  testing::internal::CaptureStdout();
  EXPECT_TRUE(converter.TestCloneDisk());
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "Cloning disk [C:\\test10G-snap.vhdx] to "
            "[C:\\test10G-snap-restore.vhdx]\n"
            "Opening source disk [C:\\test10G-snap.vhdx]\n"
            "Extent size = 4096\n");
  std::string compare = "qemu-img compare -q -f vhdx -F vhdx '" +
                        dir.File(kCloneSource) + "' '" +
                        dir.File(kCloneDestination) + "'";
  EXPECT_EQ(std::system(compare.c_str()), 0) << compare;
  EXPECT_LE(AllocatedBytes(dir.File(kCloneDestination)),
            AllocatedBytes(dir.File(kCloneSource)));
}

TEST(TestCloneDisk, FailuresEndTheCopyWithTheirMessages) {
  struct Row {
    int line;
    bool source;
    bool destinationIsFolder;
    const char* error;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, false, false, "Failed to open source disk error="},
      // A folder cannot be removed as a file, and is never replaced.
      {__LINE__, true, true, "Failed to open destination disk error="},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    TempDir dir;
    ScopedWorkingDirectory cwd(dir.path());
    if (row.source) MakeVhdx(dir, kCloneSource, 4096);
    if (row.destinationIsFolder)
      dir.Write(std::string(kCloneDestination) + "/keep", "x");
    ScopedLogCapture capture;
    ZyVMConverter converter;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(converter.TestCloneDisk());
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(HasErrorStartingWith(capture.sink(), row.error));
    if (row.destinationIsFolder) {
      EXPECT_EQ(
          TempDir::Read(dir.File(std::string(kCloneDestination) + "/keep")),
          "x");
    }
  }
}
