//===- InputFileTest.cpp - Every reader refuses what is not a small file ---===//
//
// Configuration files, descriptions, settings and the folder platform's
// files come from backups and people.  A FIFO or a device under such a name
// must fail at once with one clear reason, never stall the reader; so must a
// folder, a missing file and a file over the size limit.
//
//===----------------------------------------------------------------------===//
#include "platform/folder/FolderVMInfo.h"
#include "formats/xen/OracleVMConfigFile.h"
#include "formats/zyf/VMConfigFile.h"
#include "formats/vmx/VMXFile.h"
#include "platform/settings/PlatformConfig.h"
#include "platform/support/BoundedFile.h"
#include "platform/support/EvDebug.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

namespace {

// Runs a reader on path; returns "read" on success, the error text of a
// reader that does not log it, or nothing.
using Reader = std::function<std::string(const std::string& path)>;

// <root>/hyperv/hosts.json for the folder platform rooted at <root>.
std::string ReadHosts(const std::string& path) {
  std::filesystem::path root = std::filesystem::path(path).parent_path();
  FolderVMInfo hyperv(VS_HYPERV, root.parent_path().string());
  VMInfoStructs::SHostInfo info;
  return hyperv.GetLocalHostInfo(info, VM_PROP_HOST_NW_LIST, 0)
             ? "read"
             : hyperv.GetLastErrorText();
}

std::string ReadSettings(const std::string& path) {
  setenv("ZY_PLATFORM_CONFIG", path.c_str(), 1);
  std::string value;
  ZyPlatformInfo().getString("VirtualServer", "sConvertControllerTypeTo",
                             value);
  unsetenv("ZY_PLATFORM_CONFIG");
  return "";
}

// Should a reader wait on the FIFO after all, a writer opens it after five
// seconds (succeeding only while a reader waits), so the test fails on the
// time taken instead of hanging.
class FifoRelease {
 public:
  explicit FifoRelease(const std::string& path)
      : thread_([this, path] {
          for (int i = 0; i < 50 && !done_; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
          if (!done_) ::close(::open(path.c_str(), O_WRONLY | O_NONBLOCK));
        }) {}
  ~FifoRelease() {
    done_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

enum class Shape { Fifo, Device, Folder, Absent, OverLimit };

void Make(Shape shape, const std::string& path) {
  std::filesystem::create_directories(
      std::filesystem::path(path).parent_path());
  if (shape == Shape::Fifo) {
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  }
  if (shape == Shape::Device) std::filesystem::create_symlink("/dev/zero", path);
  if (shape == Shape::Folder) std::filesystem::create_directory(path);
  if (shape == Shape::OverLimit) {
    ::close(::open(path.c_str(), O_CREAT | O_WRONLY, 0600));
    std::filesystem::resize_file(path, kMaxInputFileBytes + 1);
  }
}

}  // namespace

TEST(InputFiles, EveryReaderRefusesFifosDevicesFoldersAndOversizedFiles) {
  struct ReaderRow {
    int line;
    const char* name;  // where the reader looks
    Reader read;
    bool absentIsEmpty;  // a missing file is no error for this reader
  } readers[] = {
      {__LINE__, "web.vmx", [](const std::string& p) {
         return VMXFile().LoadFile(p, false) ? "read" : "";
       }, false},
      {__LINE__, "VMConfig.zyf", [](const std::string& p) {
         VMInfoStructs::SVMInfo info;
         return VMConfigFile(p).Load(info) ? "read" : "";
       }, false},
      {__LINE__, "vm.cfg", [](const std::string& p) {
         return OracleVMConfigFile().LoadFile(p) ? "read" : "";
       }, false},
      {__LINE__, "platform.json", ReadSettings, true},
      {__LINE__, "hyperv/hosts.json", ReadHosts, false},
  };
  struct ShapeRow {
    int line;
    Shape shape;
    const char* reason;
  } shapes[] = {
      {__LINE__, Shape::Fifo, "is not a regular file"},
      {__LINE__, Shape::Device, "is not a regular file"},
      {__LINE__, Shape::Folder, "is not a regular file"},
      {__LINE__, Shape::Absent, "cannot open ["},
      {__LINE__, Shape::OverLimit, "is too large (16777217 bytes"},
  };
  for (const ReaderRow& reader : readers) {
    for (const ShapeRow& shape : shapes) {
      SCOPED_TRACE(reader.line);
      SCOPED_TRACE(shape.line);
      TempDir dir;
      std::string path = dir.File(reader.name);
      Make(shape.shape, path);
      std::unique_ptr<FifoRelease> release;
      if (shape.shape == Shape::Fifo) release.reset(new FifoRelease(path));
      ScopedLogCapture capture;
      auto start = std::chrono::steady_clock::now();
      std::string reported = reader.read(path);
      for (const LogRecord& record : capture.sink().Records())
        reported += record.message;
      EXPECT_LT(std::chrono::steady_clock::now() - start,
                std::chrono::seconds(2));
      if (shape.shape == Shape::Absent && reader.absentIsEmpty) {
        EXPECT_EQ(reported, "");
        continue;
      }
      // The folder platform refuses the link to the device before reading.
      bool linkRefused = shape.shape == Shape::Device &&
                         reported.find("links are not followed") !=
                             std::string::npos;
      if (!linkRefused) {
        EXPECT_NE(reported.find(shape.reason), std::string::npos) << reported;
      }
      EXPECT_NE(reported.find(path), std::string::npos) << reported;
    }
  }
}
