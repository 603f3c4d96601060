//===- BootRunner.cpp - A boot plan booted in qemu's x86 emulator ---------===//
//
// qemu runs in a scratch folder holding its serial output, its own messages
// and the disks' overlays; the folder is removed afterwards.  A libvirt
// domain is booted by libvirt's QEMU driver instead where it is installed
// (LibvirtBootRunner.cpp).  The guest's
// report ends the run as soon as it is complete, and so does the firmware
// giving up; the 512-byte guest powers qemu off through the isa-debug-exit
// device at port 0xf4, the Linux guest with poweroff.
//
//===----------------------------------------------------------------------===//
#include "BootRunner.h"

#include "BootSupport.h"
#include "JobSupport.h"
#include "MountJob.h"

#include "model/ImageFormats.h"
#include "platform/diskimage/ImageSniffer.h"
#include "platform/diskimage/OverlayImages.h"
#include "platform/support/BoundedFile.h"
#include "platform/support/ChildProcess.h"
#include "platform/support/ConfinedPath.h"
#include "platform/support/StopRequest.h"

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
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
constexpr char kKernelText[] = "ZYVM BOOT kernel=";
constexpr char kDoneText[] = "ZYVM DONE";
// SeaBIOS's words when no disk boots ("Boot failed" names one device, and
// the next is tried after it); OVMF says so and falls back to its shell.
constexpr const char* kNothingToBootTexts[] = {
    "No bootable device", "No bootable option or device", "Shell> "};
// The Linux guest's kernel giving up (it reboots at once, panic=-1).
constexpr char kPanicText[] = "Kernel panic - not syncing";
// The Linux guest reports in 9-12 s under TCG on two idle cores and in 60 s
// on a loaded machine; its own wait for the disks ends
// after 20 s.  It gets this much before the boot counts as failed,
// whatever shorter limit the caller gave.
constexpr int kLinuxGuestSeconds = 180;
// Serial output beyond this is not read: a guest cannot fill our memory.
constexpr std::streamsize kMaxSerial = 4 << 20;
constexpr uint64_t kMarkerOffset = 2047 * 512;
constexpr int kQemuImgSeconds = 60;

std::string ReadSerial(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text(kMaxSerial, '\0');
  in.read(&text[0], kMaxSerial);
  text.resize(static_cast<size_t>(in.gcount()));
  return text;
}

// The guest's report lines joined for a message, or "(no report)".
std::string ReportText(const std::string& serial) {
  std::string text;
  for (const std::string& line : GuestReportLines(serial))
    text += (text.empty() ? "" : " | ") + line;
  if (text.size() > 300) text = "..." + text.substr(text.size() - 300);
  return text.empty() ? "(no report)" : text;
}

// qemu's own messages (not the guest's): the last line, printable only.
std::string QemuMessage(const std::string& path) {
  std::string last, line;
  for (char c : ReadSerial(path) + "\n")
    if (c == '\n') {
      if (!line.empty()) last = line;
      line.clear();
    } else if (c >= ' ' && c < 127 && line.size() < 300) {
      line += c;
    }
  return last;
}

// Why qemu ended: its own last message, else how it ended.
std::string StopReason(const RunningQemu& qemu, int status) {
  std::string message = QemuMessage(qemu.messages);
  if (!message.empty()) return message;
  if (WIFSIGNALED(status))
    return "killed by signal " + std::to_string(WTERMSIG(status)) + " (" +
           strsignal(WTERMSIG(status)) + ")";
  return "exit status " + std::to_string(WEXITSTATUS(status)) +
         ", no message";
}

// ---- The images --------------------------------------------------------

std::string PromisedFormat(const std::string& file) {
  ImageFormat_t format = ImageFormat_t::kRaw;
  if (!zykinds::ImageFormatOfFileName(file.c_str(), format) ||
      format == ImageFormat_t::kRaw)
    return "";
  return zykinds::ImageFormatFactsOf(format).driver;
}

// The image's first and last sectors, read from the held descriptor.
void ReadEnds(int fd, off_t size, std::string& head, std::string& tail) {
  head.assign(512, '\0');
  tail.assign(512, '\0');
  if (::pread(fd, &head[0], 512, 0) < 0 ||
      (size >= 512 && ::pread(fd, &tail[0], 512, size - 512) < 0))
    throw JobFailure("cannot read: " + std::string(std::strerror(errno)));
}

// Opens the disk's image beneath folder (no link followed, a regular file
// only) and settles its format: the sniffed one, which must be the one
// the description or the file name states.
HeldImage OpenImage(const BootDisk& disk, const std::string& folder,
                    ImageFormat_t& format) {
  std::string error, path = folder + "/" + disk.file;
  HeldImage held;
  held.fd.Reset(OpenBeneath(folder, path,
                            O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0,
                            error));
  if (!held.fd) throw JobFailure(error);
  struct stat facts;
  if (::fstat(held.fd.get(), &facts) != 0 || !S_ISREG(facts.st_mode))
    throw JobFailure("[" + disk.file + "] is not a regular file");
  std::string head, tail;
  ReadEnds(held.fd.get(), facts.st_size, head, tail);
  zydisk::SniffedImage sniffed =
      zydisk::SniffImage(head.data(), head.size(), tail.data(), tail.size());
  std::string promised =
      disk.format.empty() ? PromisedFormat(disk.file) : disk.format;
  if (!promised.empty() && promised != sniffed.driver)
    throw JobFailure("[" + disk.file + "] should be a " + promised +
                     " image but holds " + sniffed.driver + " data");
  if (head.compare(0, 21, "# Disk DescriptorFile") == 0)
    throw JobFailure("[" + disk.file +
                     "] is a VMDK descriptor; the boot check opens one "
                     "file a disk");
  if (!sniffed.readable)
    throw JobFailure("[" + disk.file + "] is a " + sniffed.name +
                     " image, a format not read here");
  format = sniffed.format;
  held.image.format = sniffed.driver;
  return held;
}

// Runs qemu-img with args, confined to the read folders and the scratch
// folder; its output, and whether it succeeded.
bool RunQemuImg(const std::vector<std::string>& args,
                const std::vector<std::string>& readFolders,
                const ScratchFolder& work, std::string& out) {
  std::vector<std::string> argv = {FindProgram("qemu-img")};
  if (argv[0].empty()) return false;
  argv.insert(argv.end(), args.begin(), args.end());
  ChildFolders folders;
  folders.read = readFolders;
  folders.write = {work.path()};
  return RunChild(argv, {kQemuImgSeconds, 0}, out, nullptr, folders).Exited(0);
}

// The marker at the image's sector 2047, read by qemu-img through a raw
// slice over the pinned node graph.
std::string ReadMarker(const BootImage& image,
                       const std::vector<std::string>& readFolders,
                       const ScratchFolder& work, const std::string& name) {
  nlohmann::json slice = {{"driver", "raw"},
                          {"offset", kMarkerOffset},
                          {"size", 512},
                          {"file", PinnedImageNode(image)}};
  std::string sector = work.File(name), out;
  if (!RunQemuImg({"convert", "-O", "raw", "json:" + slice.dump(), sector},
                  readFolders, work, out))
    return "";
  std::ifstream in(sector, std::ios::binary);
  std::string text(512, '\0');
  in.read(&text[0], 512);
  return MarkerOf(text);
}

// The overlay that takes the guest's writes: a qcow2 image of the disk's
// virtual size (qemu-img info of the pinned graph) with no backing file of
// its own; qemu is given the image's node as its backing.
void CreateOverlay(const BootImage& image,
                   const std::vector<std::string>& readFolders,
                   const ScratchFolder& work, const std::string& overlay) {
  std::string out;
  nlohmann::json info;
  BootImage alone = image;  // qemu-img info opens no backing image
  alone.backingFile.clear();
  if (RunQemuImg({"info", "--output=json",
                  "json:" + PinnedImageNode(alone).dump()},
                 readFolders, work, out))
    info = nlohmann::json::parse(out, nullptr, false);
  if (!info.is_object() || !info["virtual-size"].is_number_unsigned() ||
      !RunQemuImg({"create", "-q", "-f", "qcow2", overlay,
                   std::to_string(info["virtual-size"].get<uint64_t>())},
                  readFolders, work, out))
    throw JobFailure("cannot make the overlay of [" + image.file + "]");
}

// The descriptor and the path must still name the same file after every
// check by name, or the file checked is not the file booted.
void CheckSameFile(int fd, const std::string& folder, const BootDisk& disk) {
  std::string error;
  UniqueFd again(OpenBeneath(folder, folder + "/" + disk.file,
                             O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0,
                             error));
  struct stat held, now;
  if (!again || ::fstat(fd, &held) != 0 || ::fstat(again.get(), &now) != 0 ||
      held.st_dev != now.st_dev || held.st_ino != now.st_ino)
    throw JobFailure("[" + disk.file + "] changed while it was checked");
}

// A mounted VM's disks are thin images over backed-up images its mount
// record names (MountJob.h): file name -> the backed-up image, absolute,
// and its format's short name.  Empty for a VM that is not mounted.
std::map<std::string, std::pair<std::string, std::string>> MountedDisks(
    const std::string& folder) {
  std::map<std::string, std::pair<std::string, std::string>> disks;
  std::string path = folder + "/" + kMountRecordName, text, error;
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(path, ec))) return disks;
  if (!CheckBeneath(folder, path, error) ||
      !ReadBoundedFile(path, text, error))
    throw JobFailure(error);
  nlohmann::json record = nlohmann::json::parse(text, nullptr, false);
  if (!record.is_object() || !record["disks"].is_array())
    throw JobFailure("[" + path + "] is not a mount record");
  for (const nlohmann::json& disk : record["disks"]) {
    if (!disk.is_object() || !disk["file"].is_string() ||
        !disk["backing"].is_string() || !disk["backingFormat"].is_string())
      throw JobFailure("[" + path + "] has a disk without file, backing and "
                       "backingFormat");
    disks[disk["file"]] = {disk["backing"], disk["backingFormat"]};
  }
  return disks;
}

// A thin image's backed-up image, held open and checked, when the thin
// image names the one its mount record gives; the thin image itself is
// read as qemu's image only over it.
UniqueFd HoldBacking(const std::string& path, ImageFormat_t format,
                     const std::pair<std::string, std::string>& mounted,
                     SOverlayBacking& backing) {
  std::string named, error;
  CQiError failure = OverlayBackingFile(path, format, named);
  if (failure.IsError()) throw JobFailure(failure.GetMessage());
  if (named != mounted.first)
    throw JobFailure("[" + path + "] names the backing file [" + named +
                     "], not the one its mount record gives");
  failure = InspectBackingImage(mounted.first, mounted.second, backing);
  if (failure.IsError()) throw JobFailure(failure.GetMessage());
  std::string folder = fs::path(backing.path).parent_path().string();
  UniqueFd fd(OpenBeneath(folder, backing.path,
                          O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0,
                          error));
  if (!fd) throw JobFailure(error);
  return fd;
}

}  // namespace

ScratchFolder::ScratchFolder() {
  std::error_code ec;
  std::string pattern =
      (fs::temp_directory_path(ec) / "zyvm-boot-XXXXXX").string();
  if (!::mkdtemp(pattern.data()))
    throw JobFailure("cannot create a temporary folder for qemu");
  path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

BootResult Outcome(BootOutcome outcome, const std::string& detail) {
  BootResult result;
  result.outcome = outcome;
  result.detail = detail;
  return result;
}

// A mounted VM's thin images bring their backed-up images, held the same
// way; their folders are added to what qemu may read.
std::vector<HeldImage> HoldImages(BootPlan& plan, const std::string& folder,
                                  const ScratchFolder& work,
                                  std::vector<std::string>& readFolders,
                                  bool everyDisk) {
  auto mounted = MountedDisks(folder);
  std::vector<HeldImage> held(2 * plan.disks.size());
  for (size_t i = 0; i < plan.disks.size(); ++i) {
    BootDisk& disk = plan.disks[i];
    if (disk.controller == BootController::kNone && !everyDisk) continue;
    ImageFormat_t format = ImageFormat_t::kRaw;
    held[i] = OpenImage(disk, folder, format);
    std::string path = folder + "/" + disk.file, n = std::to_string(i);
    BootImage& image = held[i].image;
    SOverlayBacking backing;
    auto thin = mounted.find(disk.file);
    if (thin != mounted.end()) {
      size_t b = plan.disks.size() + i;
      held[b].fd = HoldBacking(path, format, thin->second, backing);
      image.backingFile = "/dev/fdset/" + std::to_string(b + 1);
      image.backingFormat = zykinds::ImageFormatFactsOf(backing.format).driver;
      readFolders.push_back(fs::path(backing.path).parent_path().string());
    } else {
      CQiError error = InspectBackingImage(
          path, zykinds::ImageFormatFactsOf(format).shortName, backing);
      if (error.IsError()) throw JobFailure(error.GetMessage());
    }
    BootImage byName = image;
    byName.file = AbsoluteNormalPath(path);
    if (thin != mounted.end()) byName.backingFile = thin->second.first;
    disk.marker = ReadMarker(byName, readFolders, work, "sector" + n);
    std::string overlay = work.File("overlay" + n + ".qcow2");
    CreateOverlay(byName, readFolders, work, overlay);
    CheckSameFile(held[i].fd.get(), folder, disk);
    image.file = "/dev/fdset/" + std::to_string(i + 1);
    image.overlay = overlay;
  }
  return held;
}

namespace {

// ---- qemu ----------------------------------------------------------------

std::vector<std::string> MachineArguments(const std::string& qemu,
                                          const std::string& firmware,
                                          const ScratchFolder& work,
                                          bool linuxGuest) {
  // Software emulation only: a /dev/kvm that opens may still fail the
  // guest ("KVM internal error" under nested virtualisation).
  std::vector<std::string> args = {qemu};
  args.insert(args.end(),
              {"-accel", "tcg", "-nographic", "-nodefaults", "-no-user-config",
               "-m", linuxGuest ? "256" : "128", "-net", "none", "-monitor",
               "none", "-serial", "file:" + work.File("serial"), "-device",
               "isa-debug-exit,iobase=0xf4,iosize=0x04"});
  if (!firmware.empty()) args.insert(args.end(), {"-bios", firmware});
  return args;
}

pid_t StartQemu(const std::vector<std::string>& args,
                const std::vector<HeldImage>& held,
                const std::vector<std::string>& readFolders,
                const ScratchFolder& work) {
  std::vector<std::string> argv = args;
  std::vector<int> inherit;
  for (size_t i = 0; i < held.size(); ++i) {
    if (!held[i].fd) continue;
    inherit.push_back(held[i].fd.get());
    argv.insert(argv.begin() + 1,
                {"-add-fd", "fd=" + std::to_string(held[i].fd.get()) +
                                ",set=" + std::to_string(i + 1)});
  }
  ChildFolders folders;
  folders.read = readFolders;
  folders.write = {work.path()};
  int errnum = 0;
  pid_t pid =
      StartChild(argv, work.File("messages"), errnum, folders, inherit);
  if (pid < 0)
    throw JobFailure("cannot start " + args[0] + ": " + std::strerror(errnum));
  return pid;
}

// What one look at the serial output says.
struct Seen {
  bool done = false;
  BootResult result;
};

// The 512-byte guest: its report, or nothing yet.
Seen LookAtSectorGuest(const std::string& serial) {
  Seen seen;
  if (serial.find(kBootedText) != std::string::npos) {
    seen.done = true;
    seen.result.outcome = BootOutcome::kBooted;
    return seen;
  }
  for (const std::string& line : GuestReportLines(serial))
    if (line.compare(0, sizeof kBadText - 1, kBadText) == 0) {
      seen.done = true;
      seen.result.detail = "the guest reported " + line;
    }
  return seen;
}

// The Linux guest: booted once its first line is there; done at its last
// line, or at once where the OS check cannot run.
Seen LookAtLinuxGuest(const BootPlan& plan, const std::string& serial) {
  Seen seen;
  std::vector<std::string> lines = GuestReportLines(serial);
  bool booted = false, finished = false;
  for (const std::string& line : lines) {
    booted = booted || line.compare(0, sizeof kKernelText - 1, kKernelText) == 0;
    finished = finished || line.compare(0, sizeof kDoneText - 1, kDoneText) == 0;
  }
  if (!booted) return seen;
  seen.result.outcome = BootOutcome::kBooted;
  std::string blocked = OsUncheckableController(plan);
  if (!blocked.empty()) {
    seen.done = true;
    seen.result.os = OsOutcome::kNotPossible;
    seen.result.osDetail = blocked;
    return seen;
  }
  if (!finished) return seen;
  seen.done = true;
  seen.result.os =
      CheckOsReport(plan, lines, seen.result.seen, seen.result.osDetail)
          ? OsOutcome::kPassed
          : OsOutcome::kFailed;
  return seen;
}

// Why a run that ended without the guest's whole report failed.
BootResult Unfinished(const Seen& seen, const std::string& why,
                      const std::string& serial) {
  BootResult result = seen.result;
  if (result.outcome == BootOutcome::kBooted) {
    result.os = OsOutcome::kFailed;
    result.osDetail = "the guest's report did not finish: " + why +
                      "; its report: " + ReportText(serial);
    return result;
  }
  result.detail = why + "; the guest's report: " + ReportText(serial);
  return result;
}

// Ends a qemu that did not stop by itself, and reaps it.
void EndQemu(const RunningQemu& qemu) {
  if (qemu.ownGroup) return StopChild(qemu.pid);
  ::kill(qemu.pid, SIGKILL);
  while (::waitpid(qemu.pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

BootResult WatchBoot(const RunningQemu& qemu, const BootPlan& plan,
                     int limitSeconds) {
  bool linuxGuest = HoldsLinuxGuest(plan);
  if (linuxGuest) limitSeconds = std::max(limitSeconds, kLinuxGuestSeconds);
  auto start = std::chrono::steady_clock::now();
  auto deadline = start + std::chrono::seconds(limitSeconds);
  bool exited = false;
  int exitStatus = 0;
  BootResult result;
  for (;;) {
    int status = 0;
    if (StopSignal() != 0) break;
    if (!exited && ::waitpid(qemu.pid, &status, WNOHANG) == qemu.pid) {
      exited = true;
      exitStatus = status;
    }
    std::string serial = ReadSerial(qemu.serial);
    Seen seen = linuxGuest ? LookAtLinuxGuest(plan, serial)
                           : LookAtSectorGuest(serial);
    if (seen.done) {
      result = seen.result;
      break;
    }
    bool nothingToBoot = false;
    for (const char* text : kNothingToBootTexts)
      nothingToBoot = nothingToBoot || serial.find(text) != std::string::npos;
    bool panic = serial.find(kPanicText) != std::string::npos;
    if (nothingToBoot || panic || exited ||
        std::chrono::steady_clock::now() > deadline) {
      std::string why =
          nothingToBoot ? "the firmware found nothing to boot"
          : panic       ? "the guest's kernel panicked"
          : exited      ? "qemu stopped: " + StopReason(qemu, exitStatus)
                   : "no report within " + std::to_string(limitSeconds) + " s";
      result = Unfinished(seen, why, serial);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!exited) EndQemu(qemu);
  if (StopSignal() != 0) throw JobFailure("stopped");  // main says by what
  result.seconds = std::chrono::duration<double>(
                       std::chrono::steady_clock::now() - start)
                       .count();
  return result;
}

namespace {

std::string EfiFirmware() {
  for (const char* image : kOvmfImages)
    if (::access(image, R_OK) == 0) return image;
  return "";
}

BootResult Run(BootPlan& plan, const std::string& folder, int limitSeconds) {
  std::string uncheckable = UncheckableController(plan);
  if (!uncheckable.empty()) return Outcome(BootOutcome::kCannotCheck, uncheckable);
  std::string qemu = FindProgram(kQemu);
  if (qemu.empty())
    throw JobFailure(std::string(kQemu) +
                     " is not installed (Debian package qemu-system-x86)");
  std::string firmware = plan.efi ? EfiFirmware() : "";
  if (plan.efi && firmware.empty())
    return Outcome(BootOutcome::kCannotCheck,
                   "EFI firmware (Debian package ovmf is not installed)");
  ScratchFolder work;
  std::vector<HeldImage> held;
  std::vector<std::string> readFolders = {AbsoluteNormalPath(folder)};
  try {
    held = HoldImages(plan, folder, work, readFolders, false);
  } catch (const JobFailure& e) {
    return Outcome(BootOutcome::kFailed, e.what());
  }
  std::vector<BootImage> images;
  for (size_t i = 0; i < plan.disks.size(); ++i)
    images.push_back(held[i].image);
  bool linuxGuest = HoldsLinuxGuest(plan);
  std::vector<std::string> args =
      MachineArguments(qemu, firmware, work, linuxGuest);
  std::vector<std::string> disks;
  SJobError diskError;
  if (!QemuDiskArguments(plan, images, disks, diskError))
    throw JobFailure(diskError.text);
  args.insert(args.end(), disks.begin(), disks.end());
  RunningQemu running;
  running.pid = StartQemu(args, held, readFolders, work);
  running.serial = work.File("serial");
  running.messages = work.File("messages");
  BootResult result = WatchBoot(running, plan, limitSeconds);
  result.runner = "qemu";
  return result;
}

// A libvirt domain boots through libvirt where it is installed, else by
// qemu from our own reading of the domain, and the result says so.
BootResult Boot(BootPlan& plan, const std::string& folder, int limitSeconds) {
  if (plan.kind != "libvirt") return Run(plan, folder, limitSeconds);
  BootResult result;
  std::string missing;
  if (BootInLibvirt(plan, folder, limitSeconds, result, missing))
    return result;
  result = Run(plan, folder, limitSeconds);
  result.note = missing + ": booted by qemu as the boot check reads the "
                "domain, not as libvirt would";
  return result;
}

}  // namespace

int BootExitStatus(const BootResult& result) {
  constexpr int kCannotCheckStatus = 3;
  if (result.outcome == BootOutcome::kCannotCheck ||
      result.os == OsOutcome::kNotPossible)
    return kCannotCheckStatus;
  return result.outcome == BootOutcome::kBooted &&
                 result.os != OsOutcome::kFailed
             ? 0
             : 1;
}

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

std::string OsCheckText(const BootResult& result) {
  switch (result.os) {
    case OsOutcome::kPassed:
      return "OS check: " + std::to_string(result.seen.size()) +
             (result.seen.size() == 1 ? " disk" : " disks") + " seen";
    case OsOutcome::kFailed:
      return "OS check failed: " + result.osDetail;
    case OsOutcome::kNotPossible:
      return "OS check not possible on qemu: " + result.osDetail;
    default:
      return "";
  }
}

bool QemuInstalled() { return !FindProgram(kQemu).empty(); }

bool RunBootPlan(const BootPlan& plan, const std::string& folder,
                 int limitSeconds, BootResult& result, SJobError& error) {
  BootPlan marked = plan;
  return AtBoundary(error,
                    [&] { result = Boot(marked, folder, limitSeconds); });
}

bool CheckBoot(const std::string& folder, int limitSeconds, BootCheck& check,
               SJobError& error) {
  return ReadBootPlan(folder, check.plan, error) &&
         AtBoundary(error, [&] {
           check.result = Boot(check.plan, folder, limitSeconds);
         });
}

}  // namespace zyjobs
