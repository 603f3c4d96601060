//===- DiskImageTest.cpp - The disk image component and its counters ------===//
//
// Small raw images are built in a temporary folder (dense, sparse, zeros,
// empty, odd sizes) and copied through the component the way the converter
// copies them; the copy must be byte-identical and keep the source's holes.
//
//===----------------------------------------------------------------------===//
#include "platform/diskimage/CArchiveVirtualDiskFile.h"

#include "platform/support/EvDebug.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Context = CArchiveVirtualDiskFile::Context_t;

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kBlock = CArchiveVirtualDiskFile::kBlockSize;

// A run of non-zero data written into an image.
struct DataRun {
  uint64_t offset;
  uint64_t length;
};

std::string RandomBytes(uint64_t length, unsigned stream) {
  std::mt19937 random(stream);
  std::string bytes(length, '\0');
  for (auto& byte : bytes) byte = static_cast<char>(random() % 255 + 1);
  return bytes;
}

// An image of size bytes holding random data in runs and holes elsewhere.
std::string MakeImage(const TempDir& dir, const std::string& name,
                      uint64_t size, const std::vector<DataRun>& runs) {
  std::string path = dir.File(name);
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
  unsigned stream = 1;
  for (const DataRun& run : runs) {
    std::string bytes = RandomBytes(run.length, stream++);
    EXPECT_EQ(
        pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(run.offset)),
        static_cast<ssize_t>(bytes.size()));
  }
  close(fd);
  return path;
}

uint64_t AllocatedBytes(const std::string& path) {
  struct stat facts;
  if (stat(path.c_str(), &facts) != 0) return ~0ull;
  return static_cast<uint64_t>(facts.st_blocks) * 512;
}

uint64_t FileSize(const std::string& path) {
  struct stat facts;
  if (stat(path.c_str(), &facts) != 0) return ~0ull;
  return static_cast<uint64_t>(facts.st_size);
}

// What one copy saw of the block stream.
struct CopyTrace {
  std::vector<uint64_t> offsets;
  std::vector<uint64_t> lengths;
  std::vector<std::vector<bool>> maps;
  uint64_t extentSize = 0;
  size_t bufferCapacity = 0;
};

// Copies from to to exactly the way the converter's test copy does; the
// first failing step's error, or success.
CQiError CopyImage(const std::string& from, const std::string& to,
                   uint64_t extentSize = 4096, CopyTrace* trace = nullptr,
                   DiskType_t type = DT_NONE) {
  CAutoMemory<char> buffer(true);
  std::vector<bool> map;
  CArchiveVirtualDiskFile source(2);
  CArchiveVirtualDiskFile destination(2);
  Context sourceContext;
  Context destinationContext;
  source.SetExtentSize(extentSize);
  CQiError error = source.Open(from, type);
  if (error.IsError()) return error;
  error = source.GetFirstBlock(buffer, 4096, sourceContext);
  if (error.IsError()) return error;
  destination.SetExtentSize(sourceContext.u64ExtentSize);
  error = destination.Create(to, type, type, buffer, 0, 0,
                             destinationContext);
  if (error.IsError()) return error;
  for (;;) {
    uint64_t offset = 0;
    error = source.GetNextBlock(buffer, offset, map, sourceContext);
    if (CArchiveVirtualDiskFile::IsErrorEOF(error)) break;
    if (error.IsError()) return error;
    if (trace) {
      trace->offsets.push_back(offset);
      trace->lengths.push_back(buffer.Size());
      trace->maps.push_back(map);
    }
    error = destination.WriteBlock(buffer, offset, map, destinationContext);
    if (error.IsError()) return error;
  }
  if (trace) {
    trace->extentSize = sourceContext.u64ExtentSize;
    trace->bufferCapacity = buffer.Capacity();
  }
  error = destination.Close();
  if (error.IsError()) return error;
  return source.Close();
}

int SystemErrno(const CQiError& error) {
  return FXErrorUtil::SystemErrorNumber(error);
}

}  // namespace

TEST(DiskImageCopy, CopiesEveryKindOfImageByteForByteAndKeepsItsHoles) {
  struct Row {
    int line;
    const char* name;
    uint64_t size;
    std::vector<DataRun> runs;
    uint64_t extentSize;
    bool sparseAsSource;  // extents of whole file-system blocks or less
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, "dense", 3 * kMiB, {{0, 3 * kMiB}}, 4096, true},
      {__LINE__, "sparse", 8 * kMiB, {{kMiB, 8192}, {5 * kMiB + 100, 70000}}, 4096, true},
      {__LINE__, "odd size, sparse tail", 2 * kMiB + 77, {{kMiB - 5, 10}}, 4096, true},
      {__LINE__, "extents not dividing a block", 3 * kMiB + 1, {{2 * kMiB + 1, 9000}}, 3000, false},
      {__LINE__, "extents larger than a block", 5 * kMiB, {{3 * kMiB, 4096}}, 2 * kMiB, false},
      {__LINE__, "smaller than one extent", 100, {{0, 100}}, 4096, true},
      {__LINE__, "nothing but a hole", 3 * kMiB + 5, {}, 4096, true},
      {__LINE__, "empty", 0, {}, 4096, true},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    TempDir dir;
    std::string from = MakeImage(dir, "source.img", row.size, row.runs);
    std::string to = dir.File("copy.img");
    CopyTrace trace;
    CQiError error = CopyImage(from, to, row.extentSize, &trace);
    ASSERT_FALSE(error.IsError()) << error.AsString();
    EXPECT_EQ(FileSize(to), row.size);
    EXPECT_TRUE(TempDir::Read(to) == TempDir::Read(from)) << row.name;
    if (row.sparseAsSource)
      EXPECT_LE(AllocatedBytes(to), AllocatedBytes(from)) << row.name;
    else  // allocation follows the extents
      EXPECT_LT(AllocatedBytes(to), row.size / 2) << row.name;
    EXPECT_EQ(trace.extentSize, row.extentSize);
    // Memory stays one block (whole extents), whatever the image size.
    uint64_t block =
        (kBlock + row.extentSize - 1) / row.extentSize * row.extentSize;
    EXPECT_LE(trace.bufferCapacity, block);
  }
}

// A formatted destination created without a size is written raw and
// translated when closed: it must still reach the source's full size when
// the source ends in zeros.
TEST(DiskImageCopy, FormattedCopiesOfImagesEndingInZerosKeepTheirSize) {
  struct Row {
    int line;
    uint64_t size;
    std::vector<DataRun> runs;
  };
  const Row rows[] = {
      {__LINE__, 2 * kMiB, {}},
      {__LINE__, 3 * kMiB, {{0, kMiB}}},
      {__LINE__, 3 * kMiB + 512, {{0, 3 * kMiB + 512}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    TempDir dir;
    std::string raw = MakeImage(dir, "source.img", row.size, row.runs);
    std::string from = dir.File("source.vhdx");
    std::string to = dir.File("copy.vhdx");
    ASSERT_EQ(std::system(("qemu-img convert -q -f raw -O vhdx " +
                           TempDir::Quoted(raw) + " " + TempDir::Quoted(from))
                              .c_str()),
              0);
    CQiError error = CopyImage(from, to, 4096, nullptr, DT_VHDX_22);
    ASSERT_FALSE(error.IsError()) << error.AsString();
    std::string compare = "qemu-img compare -q -s -f vhdx -F vhdx " +
                          TempDir::Quoted(from) + " " + TempDir::Quoted(to);
    EXPECT_EQ(std::system(compare.c_str()), 0) << compare;
  }
}

TEST(DiskImageCopy, AllocatedZerosBecomeHolesInTheCopy) {
  TempDir dir;
  std::string from = dir.Write("zeros.img", std::string(3 * kMiB + 5, '\0'));
  ASSERT_GT(AllocatedBytes(from), 0u);
  std::string to = dir.File("copy.img");
  CopyTrace trace;
  ASSERT_FALSE(CopyImage(from, to, 4096, &trace).IsError());
  EXPECT_EQ(AllocatedBytes(to), 0u);
  EXPECT_TRUE(TempDir::Read(to) == TempDir::Read(from));
  for (const auto& map : trace.maps)
    for (bool allocated : map) EXPECT_FALSE(allocated);
}

TEST(DiskImageStream, DeliversBlocksWithOffsetsAndOneFlagPerExtent) {
  // Data in block 0 and block 3 of 6; blocks 1, 2 and 4 are holes, block 5
  // (the last, short) is a hole too but still delivered.
  TempDir dir;
  uint64_t size = 5 * kBlock + 10000;
  std::string from =
      MakeImage(dir, "img", size, {{4096, 1}, {3 * kBlock + 8191, 2}});
  std::string to = dir.File("copy.img");
  CopyTrace trace;
  ASSERT_FALSE(CopyImage(from, to, 4096, &trace).IsError());
  ASSERT_EQ(trace.offsets, (std::vector<uint64_t>{0, 3 * kBlock, 5 * kBlock}));
  EXPECT_EQ(trace.lengths, (std::vector<uint64_t>{kBlock, kBlock, 10000}));
  std::vector<bool> first(kBlock / 4096, false);
  first[1] = true;
  EXPECT_EQ(trace.maps[0], first);
  std::vector<bool> fourth(kBlock / 4096, false);
  fourth[1] = fourth[2] = true;  // the two bytes straddle two extents
  EXPECT_EQ(trace.maps[1], fourth);
  // 10000 bytes: two extents and a part.
  EXPECT_EQ(trace.maps[2], std::vector<bool>(3, false));
}

TEST(DiskImageStream, FirstBlockFillsTheContextAndRestartsTheStream) {
  TempDir dir;
  std::string from = MakeImage(dir, "img", 2 * kMiB, {{0, 2 * kMiB}});
  CArchiveVirtualDiskFile image(1);
  Context context;
  CAutoMemory<char> buffer(true);
  std::vector<bool> map;
  uint64_t offset = 99;
  image.SetExtentSize(65536);
  ASSERT_FALSE(image.Open(from, DT_NONE).IsError());
  ASSERT_FALSE(image.GetFirstBlock(buffer, 4096, context).IsError());
  EXPECT_EQ(std::string(buffer.Ptr(), buffer.Size()),
            TempDir::Read(from).substr(0, 4096));
  EXPECT_EQ(context.u64ExtentSize, 65536u);
  EXPECT_EQ(context.u64DiskSize, 2 * kMiB);
  ASSERT_FALSE(image.GetNextBlock(buffer, offset, map, context).IsError());
  ASSERT_FALSE(image.GetNextBlock(buffer, offset, map, context).IsError());
  EXPECT_EQ(offset, kBlock);
  EXPECT_EQ(map.size(), kBlock / 65536);
  EXPECT_TRUE(CArchiveVirtualDiskFile::IsErrorEOF(
      image.GetNextBlock(buffer, offset, map, context)));
  ASSERT_FALSE(image.GetFirstBlock(buffer, 4096, context).IsError());
  ASSERT_FALSE(image.GetNextBlock(buffer, offset, map, context).IsError());
  EXPECT_EQ(offset, 0u);
}

TEST(DiskImageStream, RelativePathsAreResolvedAgainstTheMountPath) {
  TempDir dir;
  dir.Write("vm/disk.vmdk", "a disk");
  MountCtx mount;
  mount.strMountPath = dir.path();
  CArchiveVirtualDiskFile image(1);
  image.SetVMInfo(nullptr, "vm", "guid", &mount, nullptr);
  EXPECT_FALSE(image.Open("vm/disk.vmdk", DT_NONE).IsError());
  image.Close();
  // Absolute paths are taken as they are.
  EXPECT_FALSE(image.Open(dir.File("vm/disk.vmdk"), DT_NONE).IsError());
}

TEST(DiskImageStream, ImageThatShrinksWhileReadIsAShortReadAndTheStreamGoesOn) {
  TempDir dir;
  std::string from = MakeImage(dir, "img", 3 * kBlock, {{0, 3 * kBlock}});
  CArchiveVirtualDiskFile image(1);
  Context context;
  CAutoMemory<char> buffer(true);
  std::vector<bool> map;
  uint64_t offset = 0;
  ASSERT_FALSE(image.Open(from, DT_NONE).IsError());
  ASSERT_FALSE(image.GetFirstBlock(buffer, 4096, context).IsError());
  ASSERT_EQ(truncate(from.c_str(), static_cast<off_t>(kBlock + kBlock / 2)), 0);
  EXPECT_FALSE(image.GetNextBlock(buffer, offset, map, context).IsError());
  CQiError error = image.GetNextBlock(buffer, offset, map, context);
  EXPECT_EQ(SystemErrno(error), EIO);
  EXPECT_FALSE(CArchiveVirtualDiskFile::IsErrorEOF(error));
  // The failed block is skipped; the last block fails the same way, then
  // the data ends.
  EXPECT_EQ(SystemErrno(image.GetNextBlock(buffer, offset, map, context)), EIO);
  EXPECT_TRUE(CArchiveVirtualDiskFile::IsErrorEOF(
      image.GetNextBlock(buffer, offset, map, context)));
}

TEST(DiskImageErrors, FailuresAreErrorValuesWithTheSystemsText) {
  TempDir dir;
  std::string image = MakeImage(dir, "img", 4096, {{0, 4096}});
  std::string plainFile = dir.Write("plain", "x");
  struct Row {
    int line;
    bool create;  // Create, else Open
    std::string path;
    int errnum;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, false, dir.File("missing.img"), ENOENT},
      {__LINE__, false, dir.path(), EISDIR},
      {__LINE__, true, image, EEXIST},
      {__LINE__, true, dir.File("no/such/folder.img"), ENOENT},
      // Root writes through permission bits but not through a file.
      {__LINE__, true, plainFile + "/disk.img", ENOTDIR},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    CArchiveVirtualDiskFile file(2);
    CAutoMemory<char> buffer(true);
    Context context;
    CQiError error = row.create ? file.Create(row.path, DT_NONE, DT_NONE,
                                              buffer, 4096, 0, context)
                                : file.Open(row.path, DT_NONE);
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ(SystemErrno(error), row.errnum);
    EXPECT_NE(error.AsString().find(std::strerror(row.errnum)),
              std::string::npos)
        << error.AsString();
  }
  // The existing image is untouched.
  EXPECT_EQ(AllocatedBytes(image), 4096u);
}

TEST(DiskImageErrors, OperationsOutOfTurnAreErrorsNotCrashes) {
  TempDir dir;
  std::string image = MakeImage(dir, "img", 8192, {{0, 8192}});
  CArchiveVirtualDiskFile file(1);
  CAutoMemory<char> buffer(true);
  std::vector<bool> map;
  Context context;
  uint64_t offset = 0;
  EXPECT_EQ(SystemErrno(file.GetFirstBlock(buffer, 4096, context)), EBADF);
  EXPECT_EQ(SystemErrno(file.GetNextBlock(buffer, offset, map, context)),
            EBADF);
  EXPECT_FALSE(file.Close().IsError());
  ASSERT_FALSE(file.Open(image, DT_NONE).IsError());
  EXPECT_EQ(SystemErrno(file.Open(image, DT_NONE)), EBUSY);
  EXPECT_EQ(SystemErrno(file.WriteBlock(buffer, 0, map, context)), EBADF);
  EXPECT_EQ(SystemErrno(file.GetFirstBlock(buffer, 0xFFFFFFFFu, context)),
            EINVAL);
  EXPECT_EQ(SystemErrno(file.SetDiskSize(-1, 0)), EINVAL);
  file.SetExtentSize(CArchiveVirtualDiskFile::kMaxExtentSize + 1);
  EXPECT_EQ(SystemErrno(file.GetFirstBlock(buffer, 4096, context)), EINVAL);
  EXPECT_FALSE(file.Close().IsError());
  EXPECT_FALSE(file.Close().IsError());
}

TEST(DiskImageWrite, WritesAllocatedExtentsOnlyAndGrowsToTheBlockEnd) {
  TempDir dir;
  std::string to = dir.File("out.img");
  CArchiveVirtualDiskFile file(2);
  CAutoMemory<char> buffer(true);
  Context context;
  ASSERT_FALSE(
      file.Create(to, DT_NONE, DT_NONE, buffer, 0, 0, context).IsError());
  EXPECT_EQ(context.u64ExtentSize, 4096u);
  ASSERT_TRUE(buffer.Resize(3 * 4096 + 10));
  std::memset(buffer.Ptr(), 'x', buffer.Size());
  std::vector<bool> map = {true, false, false, true};
  ASSERT_FALSE(file.WriteBlock(buffer, kMiB, map, context).IsError());
  EXPECT_EQ(context.u64Position, kMiB + 3 * 4096 + 10);
  // A block ending in a hole still ends the image.
  map = {true, false, false, false};
  ASSERT_FALSE(file.WriteBlock(buffer, 2 * kMiB, map, context).IsError());
  EXPECT_EQ(FileSize(to), 2 * kMiB + 3 * 4096 + 10);
  // A map that does not match the block is refused.
  std::vector<bool> shortMap = {true};
  EXPECT_EQ(SystemErrno(file.WriteBlock(buffer, 0, shortMap, context)), EINVAL);
  EXPECT_EQ(SystemErrno(file.WriteBlock(buffer, ~0ull - 5, map, context)),
            EFBIG);
  ASSERT_FALSE(file.Close().IsError());

  std::string written = TempDir::Read(to);
  std::string expected(kMiB, '\0');
  expected += std::string(4096, 'x') + std::string(2 * 4096, '\0') +
              std::string(10, 'x');
  expected.resize(2 * kMiB, '\0');
  expected += std::string(4096, 'x') + std::string(2 * 4096 + 10, '\0');
  EXPECT_TRUE(written == expected);
  EXPECT_LE(AllocatedBytes(to), 3 * 4096u);
}

TEST(DiskImageWrite, CreateMakesTheImageAtItsFullSizeAsAHole) {
  TempDir dir;
  std::string to = dir.File("out.img");
  CArchiveVirtualDiskFile file(2);
  CAutoMemory<char> buffer(true);
  Context context;
  ASSERT_FALSE(file.Create(to, DT_NONE, DT_NONE, buffer, 64 * kMiB, 0, context)
                   .IsError());
  EXPECT_EQ(FileSize(to), 64 * kMiB);
  EXPECT_EQ(AllocatedBytes(to), 0u);
}

// The silent and the unused counters write nothing; the chatty one logs each
// transfer; the others only a summary when released.
TEST(SpeedCounter, LogsAtMostOncePerIntervalAndASummaryWhenReleased) {
  ScopedLogCapture capture;
  {
    CMediaSpeedCounter counter(nullptr);
    counter.Init("ReadSpeed", 0);
    counter.EnableLogging(60);
    for (int i = 0; i < 100; ++i) {
      counter.Start();
      counter.Stop(1000);
    }
    EXPECT_TRUE(capture.sink().Records().empty());
    EXPECT_EQ(counter.TotalBytes(), 100000u);
    counter.SetFormat(3);
    CMediaSpeedCounter silent(nullptr);
    silent.Init("WriteSpeed", 0);
    silent.Start();
    silent.Stop(5);
    CMediaSpeedCounter unused(nullptr);
    unused.Init("ReadSpeed", 0);
    unused.EnableLogging(60);
    CMediaSpeedCounter chatty(nullptr);
    chatty.Init("WriteSpeed", 0);
    chatty.EnableLogging(0);
    chatty.Start();
    chatty.Stop(5);
    chatty.Stop(5);
    EXPECT_EQ(capture.sink().Records().size(), 2u);
  }
  auto records = capture.sink().Records();
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[3].message.rfind("ReadSpeed: ", 0), 0u)
      << records[3].message;
  EXPECT_NE(records[3].message.find(" MB/s, 100000 bytes in "),
            std::string::npos)
      << records[3].message;
}
