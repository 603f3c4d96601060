//===- DiskFormatsTest.cpp - Every image format, checked by qemu-img ------===//
//
// Images are made in the test with qemu-img from one small raw image (data
// at both ends and in the middle, holes between, a size that is not a whole
// MiB), copied with CArchiveVirtualDiskFile::CopyImage, and judged by qemu's
// own tools: compare (the guest sees the same bytes), check (the image is
// consistent), info (format and virtual size), and the allocation of
// `qemu-img convert` for the same result.  Damaged and hostile images must
// fail with one error naming the file, leave nothing behind and stay as
// they were.
//
//===----------------------------------------------------------------------===//
#include "platform/diskimage/CArchiveVirtualDiskFile.h"
#include "platform/diskimage/NbdImage.h"
#include "platform/support/ChildProcess.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using Request = CArchiveVirtualDiskFile::CopyRequest_t;
using Result = CArchiveVirtualDiskFile::CopyResult_t;

constexpr uint64_t kMiB = 1 << 20;
// Two blocks and a bit: not a whole MiB, so the fixed VHD is rounded up.
constexpr uint64_t kSize = 2 * kMiB + 1536;

// Runs a shell command; its exit status, its standard output in out.
int Shell(const std::string& command, std::string* out = nullptr) {
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return -1;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0)
    if (out) out->append(chunk, n);
  int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Q(const std::string& path) { return "'" + path + "'"; }

// What `qemu-img info` says of an image read as driver.
nlohmann::json Info(const std::string& driver, const std::string& path) {
  std::string out;
  Shell("qemu-img info --output=json -f " + driver + " " + Q(path), &out);
  return nlohmann::json::parse(out, nullptr, false);
}

uint64_t Allocated(const std::string& path) {
  struct stat facts {};
  stat(path.c_str(), &facts);
  return static_cast<uint64_t>(facts.st_blocks) * 512;
}

std::set<std::string> Listing(const std::string& folder) {
  std::set<std::string> names;
  DIR* dir = opendir(folder.c_str());
  while (dirent* entry = dir ? readdir(dir) : nullptr) names.insert(entry->d_name);
  if (dir) closedir(dir);
  return names;
}

// The raw image every other one is made from: random data in the first
// 4 KiB, 64 KiB at 1 MiB and the last 512 bytes; holes elsewhere.
std::string MakeRaw(const TempDir& dir) {
  std::string path = dir.File("source.raw");
  std::ofstream out(path, std::ios::binary);
  std::mt19937 random(7);
  auto put = [&](uint64_t at, uint64_t length) {
    std::string bytes(length, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random() % 255 + 1);
    out.seekp(static_cast<std::streamoff>(at));
    out.write(bytes.data(), static_cast<std::streamsize>(length));
  };
  put(0, 4096);
  put(kMiB, 64 * 1024);
  put(kSize - 512, 512);
  return path;
}

// A source image: the raw image converted by qemu-img with these options.
struct Source {
  const char* name;
  const char* driver;
  const char* options;  // null: the raw image itself
};

// clang-format off
const Source kSources[] = {
    {"raw",            "raw",   nullptr},
    {"vmdk-sparse",    "vmdk",  "subformat=monolithicSparse"},
    {"vmdk-flat",      "vmdk",  "subformat=monolithicFlat"},
    {"vmdk-2gb-sparse","vmdk",  "subformat=twoGbMaxExtentSparse"},
    {"vmdk-2gb-flat",  "vmdk",  "subformat=twoGbMaxExtentFlat"},
    {"vmdk-stream",    "vmdk",  "subformat=streamOptimized"},
    {"vhd-dynamic",    "vpc",   "subformat=dynamic,force_size=on"},
    {"vhd-fixed",      "vpc",   "subformat=fixed,force_size=on"},
    {"vhdx-dynamic",   "vhdx",  "subformat=dynamic"},
    {"vhdx-fixed",     "vhdx",  "subformat=fixed"},
    {"qcow2-v2",       "qcow2", "compat=0.10"},
    {"qcow2-v3",       "qcow2", "compat=1.1"},
};
// clang-format on

std::string MakeSource(const TempDir& dir, const std::string& raw,
                       const Source& source) {
  if (!source.options) return raw;
  std::string path = dir.File(std::string(source.name) + ".img");
  EXPECT_EQ(Shell(std::string("qemu-img convert -q -f raw -O ") +
                  source.driver + " -o " + source.options + " " + Q(raw) +
                  " " + Q(path)),
            0)
      << source.name;
  return path;
}

CQiError Copy(const std::string& from, const std::string& to,
              ImageFormat_t format, uint64_t minimumSize = 0) {
  Request request;
  request.source = from;
  request.destination = to;
  request.format = format;
  request.minimumSize = minimumSize;
  Result result;
  return CArchiveVirtualDiskFile::CopyImage(request, result);
}

// A written format: what qemu reads it as, with the options qemu-img
// convert needs to make the same kind of image, and its virtual size.
struct Destination {
  int line;
  ImageFormat_t format;
  const char* driver;
  const char* options;
  uint64_t size;
};

class EveryFormatTo : public testing::TestWithParam<Destination> {};

// One suite per written format, so that they run side by side.
TEST_P(EveryFormatTo, KeepsTheGuestsBytesAsQemuWouldWriteThem) {
  const Destination& to = GetParam();
  SCOPED_TRACE(to.line);
  TempDir dir;
  std::string raw = MakeRaw(dir);
  // The reference allocation is `qemu-img convert`'s for the same result.
  std::string reference = dir.File("reference");
  ASSERT_EQ(Shell(std::string("qemu-img convert -q -f raw -O ") + to.driver +
                  (*to.options ? std::string(" -o ") + to.options : "") + " " +
                  Q(raw) + " " + Q(reference)),
            0);
  for (const Source& from : kSources) {
    SCOPED_TRACE(from.name);
    std::string source = MakeSource(dir, raw, from);
    std::string copy = dir.File(std::string("copy-of-") + from.name);
    ASSERT_FALSE(Copy(source, copy, to.format).IsError());
    EXPECT_EQ(Shell("qemu-img compare -q -f " + std::string(from.driver) +
                    " -F " + to.driver + " " + Q(source) + " " + Q(copy)),
              0);
    int check =
        Shell("qemu-img check -q -f " + std::string(to.driver) + " " + Q(copy));
    EXPECT_TRUE(check == 0 || check == 63) << check;  // 63: no checks
    nlohmann::json info = Info(to.driver, copy);
    EXPECT_EQ(info.value("format", ""), to.driver);
    EXPECT_EQ(info.value("virtual-size", 0ull), to.size);
    EXPECT_LE(Allocated(copy), Allocated(reference) * 101 / 100 + 64 * 1024);
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(DiskFormats, EveryFormatTo, testing::Values(
    Destination{__LINE__, ImageFormat_t::kRaw,  "raw",  "", kSize},
    Destination{__LINE__, ImageFormat_t::kVmdk, "vmdk", "subformat=monolithicSparse", kSize},
    Destination{__LINE__, ImageFormat_t::kVhd,  "vpc",  "subformat=dynamic,force_size=on", kSize},
    // Azure: fixed, and a whole number of MiB.
    Destination{__LINE__, ImageFormat_t::kVhdFixed, "vpc", "subformat=fixed,force_size=on", 3 * kMiB},
    Destination{__LINE__, ImageFormat_t::kVhdx, "vhdx", "subformat=dynamic", kSize},
    Destination{__LINE__, ImageFormat_t::kQcow2, "qcow2", "compat=1.1", kSize}),
    [](const testing::TestParamInfo<Destination>& info) {
      return std::to_string(info.index) + "_" + info.param.driver;
    });
// clang-format on

TEST(DiskFormats, VirtualSizeIsTheLargerOfTheSourcesAndTheRequested) {
  struct Row {
    int line;
    ImageFormat_t format;
    const char* driver;
    uint64_t minimumSize;
    uint64_t size;
  } rows[] = {
      {__LINE__, ImageFormat_t::kQcow2, "qcow2", 20ull << 30, 20ull << 30},
      {__LINE__, ImageFormat_t::kVhdx, "vhdx", 1 << 20, kSize},
      {__LINE__, ImageFormat_t::kRaw, "raw", kSize + 512, kSize + 512},
      {__LINE__, ImageFormat_t::kVhdFixed, "vpc", 5 * kMiB - 1, 5 * kMiB},
  };
  TempDir dir;
  std::string raw = MakeRaw(dir);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    std::string copy = dir.File("copy");
    ASSERT_FALSE(Copy(raw, copy, row.format, row.minimumSize).IsError());
    EXPECT_EQ(Info(row.driver, copy).value("virtual-size", 0ull), row.size);
    // Only the guest's data is allocated, whatever the size.
    EXPECT_LT(Allocated(copy), 4 * kMiB);
    unlink(copy.c_str());
  }
}

// The size the image's headers give, read here or by qemu-img info, is the
// one qemu reads: for every source, and a VHD sized by its geometry.
TEST(DiskFormats, ImagesReadAsLargeAsQemuReadsThem) {
  TempDir dir;
  std::string raw = MakeRaw(dir);
  std::vector<Source> sources(std::begin(kSources), std::end(kSources));
  sources.push_back({"vhd-geometry", "vpc", "subformat=dynamic"});
  for (const Source& from : sources) {
    SCOPED_TRACE(from.name);
    std::string source = MakeSource(dir, raw, from);
    CArchiveVirtualDiskFile::ImageFacts_t facts;
    ASSERT_FALSE(CArchiveVirtualDiskFile::Inspect(source, DT_NONE, facts).IsError());
    EXPECT_EQ(facts.virtualSize, Info(from.driver, source).value("virtual-size", 0ull));
  }
}

// Raw to raw keeps the source's holes, a hole tail included: no more
// allocated than the source plus a file-system block per data run.
TEST(DiskFormats, RawCopiesKeepTheSourcesHolesAndSize) {
  struct Run {
    uint64_t at, length;
  };
  struct Row {
    int line;
    uint64_t size;
    std::vector<Run> runs;
  } rows[] = {
      {__LINE__, 9 * kMiB + 1536, {{0, 4096}, {3 * kMiB + 100, 70000}, {7 * kMiB - 512, 512}}},
      {__LINE__, 5 * kMiB, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    TempDir dir;
    std::string source = dir.File("source.raw");
    std::string copy = dir.File("copy.raw");
    int fd = open(source.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(row.size)), 0);
    for (const Run& run : row.runs) {
      std::string bytes(run.length, static_cast<char>(0x5a + run.at % 7));
      ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(run.at)),
                static_cast<ssize_t>(bytes.size()));
    }
    close(fd);
    ASSERT_FALSE(Copy(source, copy, ImageFormat_t::kRaw).IsError());
    EXPECT_EQ(Shell("qemu-img compare -q -f raw -F raw " + Q(source) + " " + Q(copy)), 0);
    EXPECT_EQ(Info("raw", copy).value("virtual-size", 0ull), row.size);
    EXPECT_LE(Allocated(copy), Allocated(source) + 4096 * row.runs.size());
  }
}

// The pid of the qemu program this process started with the word in its
// arguments, or 0.
pid_t QemuChild(const std::string& word) {
  for (const std::string& name : Listing("/proc")) {
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string status = TempDir::Read("/proc/" + name + "/status");
    std::string cmdline = TempDir::Read("/proc/" + name + "/cmdline");
    if (status.find("PPid:\t" + std::to_string(getpid()) + "\n") !=
            std::string::npos &&
        cmdline.find("qemu-") != std::string::npos &&
        cmdline.find(word) != std::string::npos)
      return static_cast<pid_t>(std::stol(name));
  }
  return 0;
}

std::string Convert(const TempDir& dir, const std::string& raw,
                    const std::string& name, const std::string& args) {
  std::string path = dir.File(name);
  EXPECT_EQ(Shell("qemu-img convert -q -f raw " + args + " " + Q(raw) + " " +
                  Q(path)),
            0);
  return path;
}

// Writes bytes at offset of a file.
void Poke(const std::string& path, uint64_t offset, const std::string& bytes) {
  int fd = open(path.c_str(), O_WRONLY);
  EXPECT_EQ(pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)),
            static_cast<ssize_t>(bytes.size()));
  close(fd);
}

TEST(DiskFormats, BadImagesFailWithOneErrorNamingTheFileAndLeaveNothing) {
  TempDir dir;
  std::string raw = MakeRaw(dir);
  std::string qcow2 = "-O qcow2";
  // Each row makes its image (qemu-img convert's with args, cut to a
  // length if one is given, or by make) and names it; the error must hold
  // the image's name and says.
  struct Row {
    int line;
    std::function<std::string()> make;
    const char* says;
    DiskType_t type;
    const char* name = nullptr;
    const char* args = nullptr;
    off_t length = 0;
    const char* stated = "";  // the format the source's description states
  } rows[] = {
      {__LINE__, nullptr, "is damaged", DT_NONE, "truncated.qcow2", "-O qcow2",
       200 * 1024},
      {__LINE__, nullptr, "is truncated: its block table", DT_HYPERV_VHD, "truncated.vhd", "-O vpc",
       100 * 1024},
      // The first L1 entry points at the header: a table that loops back.
      {__LINE__,
       [&] {
         std::string path = Convert(dir, raw, "loop.qcow2", qcow2);
         std::string header = TempDir::Read(path);
         uint64_t l1 = 0;
         for (int i = 40; i < 48; ++i)
           l1 = l1 << 8 | static_cast<unsigned char>(header[i]);
         Poke(path, l1, std::string("\x80\0\0\0\0\0\0\0", 8));
         return path;
       },
       "is damaged", DT_NONE},
      {__LINE__,
       [&] {
         std::string path = Convert(dir, raw, "header.qcow2", qcow2);
         Poke(path, 40, std::string("\x7f\xff\xff\xff\xff\xff\x00\x00", 8));
         return path;
       },
       "header.qcow2", DT_NONE},
      {__LINE__,
       [&] {
         std::string path = dir.File("huge.qcow2");
         Shell("qemu-img create -q -f qcow2 " + Q(path) + " 65T");
         return path;
       },
       "above 64 TiB", DT_NONE},
      {__LINE__,
       [&] {
         std::string path =
             Convert(dir, raw, "flat.vmdk", "-O vmdk -o subformat=monolithicFlat");
         unlink(dir.File("flat-flat.vmdk").c_str());
         return path;
       },
       "flat-flat.vmdk", DT_VMDK},
      {__LINE__,
       [&] {
         return dir.Write("escape.vmdk",
                          "# Disk DescriptorFile\nversion=1\n"
                          "createType=\"monolithicFlat\"\n"
                          "RW 4096 FLAT \"../../etc/passwd\" 0\n");
       },
       "outside its own folder", DT_NONE},
      {__LINE__,
       [&] {
         std::string path = dir.File("child.qcow2");
         Shell("qemu-img create -q -f qcow2 -b " + Q(raw) + " -F raw " +
               Q(path));
         return path;
       },
       "backing file", DT_NONE},
      {__LINE__, nullptr, "QED image, a format not read here", DT_NONE,
       "disk.qed", "-O qed"},
      {__LINE__, nullptr, "VDI image, a format not read here", DT_NONE,
       "disk.vdi", "-O vdi"},
      {__LINE__, nullptr, "qcow (version 1) image, a format not read here",
       DT_NONE, "old.qcow", "-O qcow"},
      {__LINE__, [&] { return dir.Write("esx.vmdk", "COWD" + std::string(2044, '\0')); },
       "VMware ESX COW image, a format not read here", DT_VMDK},
      // No image opens a file by a name it carries, nor waits on a FIFO.
      {__LINE__,
       [&] {
         std::string path = dir.File("data.qcow2");
         Shell("qemu-img create -q -f qcow2 -o data_file=" + Q(dir.File("data")) +
               ",data_file_raw=on " + Q(path) + " 1M");
         return path;
       },
       "refers to an external data file (data-file)", DT_NONE},
      // The same with no feature bit: the header extension still names it.
      {__LINE__,
       [&] {
         std::string path = dir.File("unflagged.qcow2");
         Shell("qemu-img create -q -f qcow2 -o data_file=" + Q(dir.File("data")) +
               " " + Q(path) + " 1M");
         Poke(path, 79, std::string(1, '\0'));
         return path;
       },
       "\" (data-file); images", DT_NONE},
      // A parent named in a sparse VMDK's own descriptor.
      {__LINE__,
       [&] {
         std::string path = Convert(dir, raw, "child.vmdk", "-O vmdk");
         Poke(path, TempDir::Read(path).find("ddb."),
              "parentFileNameHint=\"/etc/passwd\"\n");
         return path;
       },
       "backing file \"/etc/passwd\" (parentFileNameHint)", DT_NONE},
      // A VHDX whose file parameters (the first metadata item) say it has
      // a parent.
      {__LINE__,
       [&] {
         std::string path = Convert(dir, raw, "child.vhdx", "-O vhdx");
         std::string bytes = TempDir::Read(path);
         size_t table = bytes.find("metadata");
         uint32_t item = 0;
         for (int i = 3; i >= 0; --i)
           item = item << 8 | static_cast<unsigned char>(bytes[table + 48 + i]);
         Poke(path, table + item + 4, std::string("\2", 1));
         return path;
       },
       "(a differencing VHDX)", DT_NONE},
      {__LINE__,
       [&] {
         mkfifo(dir.File("fifo-flat.vmdk").c_str(), 0600);
         return dir.Write("fifo.vmdk",
                          "# Disk DescriptorFile\nversion=1\n"
                          "createType=\"monolithicFlat\"\n"
                          "RW 4096 FLAT \"fifo-flat.vmdk\" 0\n");
       },
       "fifo-flat.vmdk is not a regular file but a FIFO (the extent of", DT_NONE},
      {__LINE__,
       [&] {
         mkfifo(dir.File("pipe.img").c_str(), 0600);
         return dir.File("pipe.img");
       },
       "pipe.img is not a regular file but a FIFO", DT_NONE, nullptr, nullptr,
       0, "raw"},
      {__LINE__, [&] { return raw; }, "is not a VHDX image", DT_VHDX_22},
      {__LINE__, [&] { return raw; }, "stated to be a qcow2 image but its",
       DT_NONE, nullptr, nullptr, 0, "qcow2"},
      {__LINE__, [&] { return raw; }, "stated to be a qed image, a format",
       DT_NONE, nullptr, nullptr, 0, "qed"},
  };
  std::string out = dir.File("out");
  mkdir(out.c_str(), 0755);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    std::string source =
        row.make ? row.make() : Convert(dir, raw, row.name, row.args);
    if (row.length) {
      ASSERT_EQ(truncate(source.c_str(), row.length), 0);
    }
    // A FIFO is never read, here either.
    auto contents = [](const std::string& path) {
      struct stat facts;
      return stat(path.c_str(), &facts) == 0 && S_ISREG(facts.st_mode)
                 ? TempDir::Read(path)
                 : std::string();
    };
    std::string before = contents(source);
    Request request;
    request.source = source;
    request.sourceType = row.type;
    request.statedFormat = row.stated;
    request.destination = out + "/copy";
    request.format = ImageFormat_t::kQcow2;
    Result result;
    CQiError error = CArchiveVirtualDiskFile::CopyImage(request, result);
    ASSERT_TRUE(error.IsError());
    std::string name = source.substr(source.rfind('/') + 1);
    EXPECT_NE(error.GetMessage().find(name), std::string::npos)
        << error.GetMessage();
    EXPECT_NE(error.GetMessage().find(row.says), std::string::npos)
        << error.GetMessage();
    EXPECT_EQ(Listing(out), (std::set<std::string>{".", ".."}));
    EXPECT_TRUE(contents(source) == before);
  }
}

TEST(DiskFormats, ToolsAndServersThatFailMidwayLeaveNothing) {
  TempDir dir;
  // Data in every block, so that qemu-img is still copying when it dies.
  std::string raw = dir.Write("dense.raw", std::string(16 * kMiB, 'z'));
  std::string source = Convert(dir, raw, "disk.vhdx", "-O vhdx");
  std::string out = dir.File("out");
  mkdir(out.c_str(), 0755);
  Request request;
  request.source = source;
  request.destination = out + "/copy.qcow2";
  request.format = ImageFormat_t::kQcow2;
  Result result;

  // The copying qemu-img is killed at its first report.
  request.progress = [&](uint64_t, uint64_t) {
    if (pid_t pid = QemuChild("convert")) kill(pid, SIGKILL);
  };
  CQiError error = CArchiveVirtualDiskFile::CopyImage(request, result);
  ASSERT_TRUE(error.IsError());
  EXPECT_NE(error.GetMessage().find("disk.vhdx"), std::string::npos)
      << error.GetMessage();
  EXPECT_EQ(Listing(out), (std::set<std::string>{".", ".."}));

  // Without qemu's programs the error names the package to install.
  request.progress = nullptr;
  std::string path = std::getenv("PATH");
  setenv("PATH", dir.File("no-such-folder").c_str(), 1);
  error = CArchiveVirtualDiskFile::CopyImage(request, result);
  setenv("PATH", path.c_str(), 1);
  ASSERT_TRUE(error.IsError());
  EXPECT_NE(error.GetMessage().find("qemu-utils"), std::string::npos)
      << error.GetMessage();
  EXPECT_EQ(Listing(out), (std::set<std::string>{".", ".."}));
}

TEST(DiskFormats, ACopyRemovesWhatAKilledCopyLeftButNotWhatALiveOneWrites) {
  TempDir dir;
  std::string raw = MakeRaw(dir);
  std::string abandoned = dir.Write(".copy.vmdk.AbCd12.zy-partial", "half");
  std::string live = dir.Write(".copy.vmdk.XyZ789.zy-partial", "busy");
  int fd = open(live.c_str(), O_RDONLY);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);
  EXPECT_FALSE(Copy(raw, dir.File("copy.vmdk"), ImageFormat_t::kVmdk).IsError());
  EXPECT_FALSE(Listing(dir.path()).count(".copy.vmdk.AbCd12.zy-partial"));
  EXPECT_EQ(TempDir::Read(live), "busy");
  close(fd);
  // The finished image is never replaced.
  std::string before = TempDir::Read(dir.File("copy.vmdk"));
  EXPECT_TRUE(Copy(raw, dir.File("copy.vmdk"), ImageFormat_t::kRaw).IsError());
  EXPECT_TRUE(TempDir::Read(dir.File("copy.vmdk")) == before);
}

TEST(DiskFormats, AnImageStatedRawIsReadRawWhateverItsFirstBytes) {
  TempDir dir;
  Request request;
  request.source = MakeSource(dir, MakeRaw(dir), kSources[11]);
  request.statedFormat = "raw";
  request.destination = dir.File("copy.raw");
  Result result;
  ASSERT_FALSE(CArchiveVirtualDiskFile::CopyImage(request, result).IsError());
  EXPECT_TRUE(TempDir::Read(request.destination) ==
              TempDir::Read(request.source));
}

}  // namespace

namespace {

// A child that outlives its limit is killed with everything it started:
// the grandchild here holds the output pipe open, so the run would never
// end if only the child were killed.
TEST(ChildProcess, AChildPastItsLimitIsEndedWithItsProcessGroup) {
  TempDir dir;
  std::string marker = dir.File("grandchild");
  std::string out;
  ChildResult result = RunChild(
      {"/bin/sh", "-c", "sleep 600 & echo $! >" + TempDir::Quoted(marker) +
                            "; wait"},
      ChildLimits{1, 0}, out);
  EXPECT_TRUE(result.timedOut);
  EXPECT_FALSE(result.Exited(0));
  pid_t grandchild = std::atoi(TempDir::Read(marker).c_str());
  ASSERT_GT(grandchild, 0);
  // Killed: gone, or a zombie until its new parent reaps it.  SIGKILL is
  // acted on at once, yet not within the kill call, so it gets a while.
  std::string stat = "/proc/" + std::to_string(grandchild) + "/stat";
  auto ended = [&] {
    std::string state = TempDir::Read(stat);
    return state.empty() || state.find(") Z") != std::string::npos;
  };
  for (int i = 0; i < 200 && !ended(); ++i) usleep(50 * 1000);
  EXPECT_TRUE(ended()) << TempDir::Read(stat);
  EXPECT_NE(result.Reason("sh", ChildLimits{1, 0}).find("within 1 s"),
            std::string::npos);
}

}  // namespace

namespace {

// The kernel's own wall, whatever our checks of an image miss: qemu-img
// confined to the source's folder (read) and the destination's (write)
// copies a plain image, and cannot open a data file that an image names in
// a third folder; nor can the qemu-nbd server of an image opened unchecked.
TEST(ChildProcess, AConfinedChildReachesOnlyItsFolders) {
  if (LandlockAbi() == 0) GTEST_SKIP() << "the kernel has no Landlock";
  TempDir dir;
  for (const char* folder : {"source", "destination", "elsewhere"})
    ASSERT_EQ(mkdir(dir.File(folder).c_str(), 0700), 0);
  const std::string secret = dir.File("elsewhere/data");
  ASSERT_EQ(Shell("qemu-img create -q -f qcow2 " + Q(dir.File("source/plain.qcow2")) +
                  " 1M && qemu-img create -q -f qcow2 -o data_file=" + Q(secret) +
                  ",data_file_raw=on " + Q(dir.File("source/data.qcow2")) + " 1M"),
            0);
  {
    std::ofstream(secret, std::ios::in | std::ios::out | std::ios::binary)
        << "the secret";
  }
  ChildFolders folders{{dir.File("source")}, {dir.File("destination")}, {}};
  struct Row {
    int line;
    const char* image;
    bool copied;
  };
  constexpr Row kRows[] = {
      {__LINE__, "plain.qcow2", true},
      {__LINE__, "data.qcow2", false},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.line);
    std::string copy = dir.File(std::string("destination/") + row.image + ".raw");
    std::string out;
    ChildResult result = RunChild(
        {FindProgram("qemu-img"), "convert", "-f", "qcow2",
         dir.File(std::string("source/") + row.image), "-O", "raw", copy},
        ChildLimits{60, 0}, out, nullptr, folders);
    EXPECT_EQ(result.Exited(0), row.copied) << result.err;
    std::unique_ptr<zydisk::ImageBackend> served;
    CQiError opened = zydisk::OpenNbdImage(
        dir.File(std::string("source/") + row.image), ImageFormat_t::kQcow2,
        false, served);
    EXPECT_EQ(opened.IsError(), !row.copied) << opened.GetMessage();
    if (row.copied) continue;
    EXPECT_NE(result.err.find("Permission denied"), std::string::npos)
        << result.err;
    EXPECT_EQ(TempDir::Read(copy).find("the secret"), std::string::npos);
  }
}

}  // namespace
