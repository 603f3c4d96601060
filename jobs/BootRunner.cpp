//===- BootRunner.cpp - A boot plan booted in qemu's x86 emulator ---------===//
//
// qemu runs in a temporary folder holding its serial output and its own
// messages; the folder is removed afterwards.  The guest's report ends the
// run as soon as it appears, and so does the firmware giving up;
// the guest powers qemu off through the isa-debug-exit device at port 0xf4.
//
//===----------------------------------------------------------------------===//
#include "BootRunner.h"

#include "JobSupport.h"

#include "model/ImageFormats.h"
#include "platform/support/ChildProcess.h"
#include "platform/support/StopRequest.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>


namespace zyjobs {
namespace {

namespace fs = std::filesystem;

constexpr char kQemu[] = "qemu-system-x86_64";
constexpr const char* kOvmfImages[] = {"/usr/share/ovmf/OVMF.fd",
                                       "/usr/share/OVMF/OVMF.fd",
                                       "/usr/share/qemu/OVMF.fd"};
constexpr char kBootedText[] = "ZYVM BOOT OK";
constexpr char kBadText[] = "ZYVM BOOT BAD";
// SeaBIOS's words when no disk boots ("Boot failed" names one device, and
// the next is tried after it); OVMF falls back to its shell.
constexpr const char* kNothingToBootTexts[] = {"No bootable device", "Shell> "};


std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The first and last sectors of an image; false when it cannot be read.
bool ReadEnds(const std::string& path, std::string& head, std::string& tail) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  head.assign(512, '\0');
  tail.assign(512, '\0');
  in.read(&head[0], 512);
  in.clear();
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  if (size >= 512) {
    in.seekg(size - 512);
    in.read(&tail[0], 512);
  }
  return true;
}

std::string PromisedFormat(const std::string& file) {
  ImageFormat_t format = ImageFormat_t::kRaw;
  if (!zykinds::ImageFormatOfFileName(file.c_str(), format) ||
      format == ImageFormat_t::kRaw)
    return "";
  return zykinds::ImageFormatFactsOf(format).driver;
}

// Each attached disk's format, from the image itself; a disk whose image is
// missing or is not what its description or its name says makes the whole
// check fail with the reason in error.
std::vector<std::string> ImageFormats(const BootPlan& plan,
                                      const std::string& folder,
                                      std::string& error) {
  std::vector<std::string> formats;
  for (const BootDisk& disk : plan.disks) {
    std::string head, tail;
    if (disk.controller != BootController::kNone &&
        !ReadEnds(folder + "/" + disk.file, head, tail)) {
      error = "the disk image [" + disk.file + "] cannot be read";
      return {};
    }
    std::string found = SniffImageFormat(head, tail);
    std::string promised =
        disk.format.empty() ? PromisedFormat(disk.file) : disk.format;
    if (disk.controller != BootController::kNone && !promised.empty() &&
        promised != found) {
      error = "[" + disk.file + "] should be a " + promised +
              " image but holds " + found + " data";
      return {};
    }
    formats.push_back(found);
  }
  return formats;
}

// Serial output as text: escape sequences and control bytes dropped, the
// last few lines kept.
std::string LastOutput(const std::string& serial) {
  std::string text;
  for (size_t i = 0; i < serial.size(); ++i) {
    char c = serial[i];
    if (c == '\x1b') {
      while (i + 1 < serial.size() &&
             !std::isalpha(static_cast<unsigned char>(serial[i + 1])))
        ++i;
      ++i;
    } else if (c == '\n' || (c >= ' ' && c < 127)) {
      text += c;
    }
  }
  if (text.size() > 300) text = "..." + text.substr(text.size() - 300);
  return text.empty() ? "(none)" : text;
}

class TemporaryFolder {
 public:
  TemporaryFolder() {
    std::error_code ec;
    std::string pattern =
        (fs::temp_directory_path(ec) / "zyvm-boot-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
      throw JobFailure("cannot create a temporary folder for qemu");
    path_ = pattern;
  }
  ~TemporaryFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  std::string File(const char* name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

pid_t StartQemu(const std::vector<std::string>& args,
                const std::string& messages) {
  int errnum = 0;
  pid_t pid = StartChild(args, messages, errnum);
  if (pid < 0)
    throw JobFailure("cannot start " + args[0] + ": " + std::strerror(errnum));
  return pid;
}

// Watches the serial output until the guest reports, the firmware gives
// up, qemu stops or the limit passes.
BootResult Watch(pid_t pid, const std::string& serialPath,
                 const std::string& messagesPath, int limitSeconds) {
  auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(limitSeconds);
  bool exited = false;
  BootResult result;
  for (;;) {
    int status = 0;
    if (StopSignal() != 0) break;
    exited = exited || ::waitpid(pid, &status, WNOHANG) == pid;
    std::string serial = ReadAll(serialPath);
    size_t bad = serial.find(kBadText);
    if (serial.find(kBootedText) != std::string::npos) {
      result = {BootOutcome::kBooted, ""};
      break;
    }
    if (bad != std::string::npos &&
        serial.find('\n', bad) != std::string::npos) {
      result.detail = "the guest reported " +
                      LastOutput(serial.substr(
                          bad, serial.find_first_of("\r\n", bad) - bad));
      break;
    }
    bool nothingToBoot = false;
    for (const char* text : kNothingToBootTexts)
      nothingToBoot = nothingToBoot || serial.find(text) != std::string::npos;
    if (nothingToBoot || exited ||
        std::chrono::steady_clock::now() > deadline) {
      std::string why =
          nothingToBoot ? "the firmware found nothing to boot"
          : exited      ? "qemu stopped: " + LastOutput(ReadAll(messagesPath))
                   : "no report within " + std::to_string(limitSeconds) + " s";
      result.detail = why + "; last serial output: " + LastOutput(serial);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!exited) StopChild(pid);
  if (StopSignal() != 0) throw JobFailure("stopped");  // main says by what
  return result;
}

BootResult Run(const BootPlan& plan, const std::string& folder,
               int limitSeconds);

}  // namespace

const char* BootOutcomeText(BootOutcome outcome) {
  switch (outcome) {
    case BootOutcome::kBooted:
      return "booted";
    case BootOutcome::kCannotCheck:
      return "cannot check";
    default:
      return "failed boot";
  }
}

bool QemuInstalled() { return !FindProgram(kQemu).empty(); }

bool RunBootPlan(const BootPlan& plan, const std::string& folder,
                 int limitSeconds, BootResult& result, SJobError& error) {
  return AtBoundary(error,
                    [&] { result = Run(plan, folder, limitSeconds); });
}

bool CheckBoot(const std::string& folder, int limitSeconds, BootCheck& check,
               SJobError& error) {
  return ReadBootPlan(folder, check.plan, error) &&
         RunBootPlan(check.plan, folder, limitSeconds, check.result, error);
}

namespace {

BootResult Run(const BootPlan& plan, const std::string& folder,
               int limitSeconds) {
  std::string uncheckable = UncheckableController(plan);
  if (!uncheckable.empty()) return {BootOutcome::kCannotCheck, uncheckable};
  std::string qemu = FindProgram(kQemu);
  if (qemu.empty())
    throw JobFailure(std::string(kQemu) +
                    " is not installed (Debian package qemu-system-x86)");
  std::string firmware;
  if (plan.efi) {
    for (const char* image : kOvmfImages)
      if (firmware.empty() && ::access(image, R_OK) == 0) firmware = image;
    if (firmware.empty())
      return {BootOutcome::kCannotCheck,
              "EFI firmware (Debian package ovmf is not installed)"};
  }
  std::string error;
  std::vector<std::string> formats = ImageFormats(plan, folder, error);
  if (!error.empty()) return {BootOutcome::kFailed, error};

  TemporaryFolder work;
  std::vector<std::string> args = {qemu,
                                   "-accel",
                                   "tcg",
                                   "-nographic",
                                   "-nodefaults",
                                   "-no-user-config",
                                   "-snapshot",
                                   "-m",
                                   "128",
                                   "-net",
                                   "none",
                                   "-monitor",
                                   "none",
                                   "-serial",
                                   "file:" + work.File("serial"),
                                   "-device",
                                   "isa-debug-exit,iobase=0xf4,iosize=0x04"};
  if (!firmware.empty()) args.insert(args.end(), {"-bios", firmware});
  std::vector<std::string> disks;
  SJobError diskError;
  if (!QemuDiskArguments(plan, folder, formats, disks, diskError))
    throw JobFailure(diskError.text);
  args.insert(args.end(), disks.begin(), disks.end());
  pid_t pid = StartQemu(args, work.File("messages"));
  return Watch(pid, work.File("serial"), work.File("messages"), limitSeconds);
}

}  // namespace

}  // namespace zyjobs
