//===- LibvirtBootRunner.cpp - A libvirt domain booted by libvirt ---------===//
//
// The domain's check copy (formats/libvirt/LibvirtCheckCopy.h) is defined
// and started by one virsh run on libvirt's embedded QEMU driver, rooted in
// the scratch folder (qemu:///embed?root=<scratch>/libvirt): libvirt's own
// addressing, controller models and firmware choice decide how the guest
// sees its disks.  The images are held and checked as for qemu
// (BootSupport.h); virsh hands the held descriptors to libvirt
// (dom-fd-associate), and each disk's overlay names its image only by its
// descriptor group, so nothing is opened by name.
//
// virsh and the qemu libvirt starts are confined (Landlock) to the VM's
// folder (read) and the scratch folder, beside the system's files; run as
// root, virsh runs as nobody (a privileged embedded driver wants the
// libvirt-qemu account of a full installation), with descriptors already
// open.  libvirt detaches its qemu from virsh; this process adopts it as
// its child subreaper, so qemu is watched, ended and reaped as a child is;
// whatever else of libvirt's a stopped virsh leaves is ended by the pid
// files under the driver's root.
//
//===----------------------------------------------------------------------===//
#include "BootSupport.h"
#include "JobSupport.h"

#include "formats/libvirt/LibvirtCheckCopy.h"
#include "platform/support/BoundedFile.h"
#include "platform/support/ChildProcess.h"
#include "platform/support/ConfinedPath.h"
#include "platform/support/StopRequest.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

namespace zyjobs {
namespace {

namespace fs = std::filesystem;

constexpr char kVirsh[] = "virsh";
// Defining and starting, with the driver's first look at qemu's
// capabilities: a limit for a hung virsh, not a speed target.
constexpr int kVirshSeconds = 180;
constexpr uid_t kNobody = 65534;
constexpr char kNoDriverText[] = "no connection driver available";
// What libvirt's QEMU driver reads beside the system's programs and
// libraries: the host's and its qemu's state.
constexpr const char* kDriverReads[] = {"/proc", "/sys"};

bool RunsAsNobody() { return ::geteuid() == 0; }

// Whether the user virsh runs as can open /dev/kvm to read and write.
bool KvmUsable(bool nobody) {
  struct stat facts;
  if (::stat("/dev/kvm", &facts) != 0 || !S_ISCHR(facts.st_mode)) return false;
  if (!nobody) return ::access("/dev/kvm", R_OK | W_OK) == 0;
  constexpr mode_t kOthers = S_IROTH | S_IWOTH, kGroup = S_IRGRP | S_IWGRP;
  return (facts.st_mode & kOthers) == kOthers ||
         (facts.st_gid == kNobody && (facts.st_mode & kGroup) == kGroup);
}

// A word virsh's command parser reads back as it is.
std::string VirshWord(const std::string& text) {
  std::string word;
  for (char c : text) {
    if (!std::isalnum(static_cast<unsigned char>(c))) word += '\\';
    word += c;
  }
  return word;
}

std::string GroupName(size_t held) { return "zyvm-image" + std::to_string(held); }

// The check host: each disk's overlay over its held image (and a thin
// image's backed-up image), named by descriptor group and shown by a path
// that does not exist, so libvirt can only take the descriptor.
SLibvirtCheckHost CheckHost(const BootPlan& plan,
                            const std::vector<HeldImage>& held,
                            const ScratchFolder& work, bool kvm) {
  SLibvirtCheckHost host;
  host.kvm = kvm;
  host.serial = work.File("serial");
  size_t n = plan.disks.size();
  for (size_t i = 0; i < n; ++i) {
    SLibvirtCheckDisk disk;
    disk.overlay = held[i].image.overlay;
    std::string shown = work.File("by-descriptor/" + plan.disks[i].file);
    disk.chain.push_back({held[i].image.format, GroupName(i), shown});
    if (held[n + i].fd)
      disk.chain.push_back({held[i].image.backingFormat, GroupName(n + i),
                            shown + ".backing"});
    host.disks.push_back(disk);
  }
  return host;
}

// The descriptors' association with the domain, and its start: one virsh
// run, as libvirt keeps the association in the running driver only.
std::string StartCommands(const std::string& name,
                          const std::vector<HeldImage>& held,
                          std::vector<int>& inherit) {
  std::string commands;
  for (size_t i = 0; i < held.size(); ++i) {
    if (!held[i].fd) continue;
    inherit.push_back(held[i].fd.get());
    commands += "dom-fd-associate " + VirshWord(name) + " --name " +
                GroupName(i) + " --pass-fds " +
                std::to_string(held[i].fd.get()) + "; ";
  }
  return commands + "start " + VirshWord(name);
}

void WriteFile(const std::string& path, const std::string& text) {
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out.flush()) throw JobFailure("cannot write [" + path + "]");
}

// The scratch folder, all it holds, becomes nobody's.
void GiveToNobody(const ScratchFolder& work) {
  std::error_code ec;
  bool given = ::lchown(work.path().c_str(), kNobody, kNobody) == 0;
  for (const auto& entry : fs::recursive_directory_iterator(work.path(), ec))
    given = given && ::lchown(entry.path().c_str(), kNobody, kNobody) == 0;
  if (!given || ec) throw JobFailure("cannot hand the scratch folder to nobody");
}

// virsh's own error lines, joined; its last line when it wrote none.
std::string VirshErrors(const std::string& log) {
  std::string errors, line, last;
  for (size_t start = 0; start < log.size();) {
    size_t end = std::min(log.find('\n', start), log.size());
    line = log.substr(start, end - start);
    start = end + 1;
    if (!line.empty()) last = line;
    if (line.compare(0, 7, "error: ") == 0)
      errors += (errors.empty() ? "" : "; ") + line.substr(7);
  }
  return errors.empty() ? last : errors;
}

// A pid file's pid; -1 when it holds none.
pid_t PidIn(const std::string& file) {
  std::string text, error;
  if (!ReadBoundedFile(file, text, error)) return -1;
  char* end = nullptr;
  long pid = std::strtol(text.c_str(), &end, 10);
  return pid > 1 && end != text.c_str() ? static_cast<pid_t>(pid) : -1;
}

// Whether pid is a process whose command line names folder: one libvirt
// started for this check, as the scratch folder's name is its own.
bool NamesFolder(pid_t pid, const std::string& folder) {
  std::string text, error;
  ReadBoundedFile("/proc/" + std::to_string(pid) + "/cmdline", text, error);
  return text.find(folder) != std::string::npos;
}

// The qemus libvirt starts for the check: the domain's, adopted by this
// process (a child subreaper from Adopt on) and so ended and reaped as a
// child is; and any other a stopped virsh leaves (the driver's look at
// qemu's capabilities detaches its own), ended by the pid files libvirt
// keeps under root.  All end with this object, and the subreaper setting
// is put back.
class LibvirtQemus {
 public:
  explicit LibvirtQemus(std::string root) : root_(std::move(root)) {
    int was = 0;
    ::prctl(PR_GET_CHILD_SUBREAPER, &was, 0, 0, 0);
    wasSubreaper_ = was != 0;
  }
  ~LibvirtQemus() {
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(root_, ec)) {
      pid_t pid = entry.path().extension() == ".pid" ? PidIn(entry.path()) : -1;
      if (pid > 0 && NamesFolder(pid, root_)) ::kill(pid, SIGKILL);
      if (pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == 0)
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    if (!wasSubreaper_) ::prctl(PR_SET_CHILD_SUBREAPER, 0, 0, 0, 0);
  }
  LibvirtQemus(const LibvirtQemus&) = delete;
  LibvirtQemus& operator=(const LibvirtQemus&) = delete;

  void Adopt() {
    if (::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0)
      throw JobFailure("cannot adopt the qemu libvirt starts: " +
                       std::string(std::strerror(errno)));
  }

  // The domain's qemu (libvirt's pid file), when it is this process's
  // child; -1 otherwise.
  pid_t Domain(const std::string& name) const {
    pid_t pid = PidIn(root_ + "/run/qemu/" + name + ".pid");
    siginfo_t info{};
    return pid > 0 && ::waitid(P_PID, static_cast<id_t>(pid), &info,
                               WEXITED | WNOHANG | WNOWAIT) == 0
               ? pid
               : -1;
  }

 private:
  std::string root_;
  bool wasSubreaper_ = false;
};

// virsh on the embedded driver rooted at root, as the user it runs as,
// with its home in the scratch folder.
std::vector<std::string> VirshArguments(const std::string& virsh,
                                        const ScratchFolder& work,
                                        const std::string& root,
                                        const std::string& commands) {
  std::vector<std::string> argv;
  if (RunsAsNobody()) {
    std::string setpriv = FindProgram("setpriv");
    if (setpriv.empty())
      throw JobFailure("setpriv is not installed (Debian package util-linux)");
    argv = {setpriv, "--reuid=" + std::to_string(kNobody),
            "--regid=" + std::to_string(kNobody), "--clear-groups"};
  }
  std::string env = FindProgram("env");
  if (env.empty()) throw JobFailure("env is not installed");
  argv.insert(argv.end(),
              {env, "HOME=" + work.path(), "XDG_RUNTIME_DIR=" + work.File("run"),
               "XDG_CACHE_HOME=" + work.File("cache"),
               "XDG_CONFIG_HOME=" + work.File("config"), virsh, "-q", "-c",
               "qemu:///embed?root=" + root, commands});
  return argv;
}

// Runs virsh with commands, confined to folders, under its limit; its
// output in log.  True when it succeeded.
bool RunVirsh(const std::string& virsh, const ScratchFolder& work,
              const std::string& root, const std::string& commands,
              const ChildFolders& folders, const std::vector<int>& inherit,
              std::string& log) {
  int errnum = 0;
  std::string output = work.File("virsh.log"), error;
  pid_t pid = StartChild(VirshArguments(virsh, work, root, commands), output,
                         errnum, folders, inherit);
  if (pid < 0)
    throw JobFailure("cannot start virsh: " + std::string(std::strerror(errnum)));
  bool done = AwaitChild(pid, kVirshSeconds);
  if (StopSignal() != 0) throw JobFailure("stopped");  // main says by what
  ReadBoundedFile(output, log, error);
  return done;
}

}  // namespace

bool BootInLibvirt(BootPlan& plan, const std::string& folder,
                   int limitSeconds, BootResult& result, std::string& missing) {
  std::string virsh = FindProgram(kVirsh);
  if (virsh.empty()) {
    missing = "virsh is not installed (Debian package libvirt-clients)";
    return false;
  }
  ScratchFolder work;
  std::vector<HeldImage> held;
  std::vector<std::string> readFolders = {AbsoluteNormalPath(folder)};
  try {
    held = HoldImages(plan, folder, work, readFolders, true);
  } catch (const JobFailure& e) {
    result = Outcome(BootOutcome::kFailed, e.what());
    return true;
  }
  std::string text, error, copy, name;
  if (!CheckBeneath(folder, folder + "/" + plan.description, error) ||
      !ReadBoundedFile(folder + "/" + plan.description, text, error))
    throw JobFailure(error);
  bool nobody = RunsAsNobody(), kvm = KvmUsable(nobody);
  if (!LibvirtCheckCopy(text, CheckHost(plan, held, work, kvm), copy, name,
                        error))
    throw JobFailure("[" + plan.description + "]: " + error);
  std::string root = work.File("libvirt");
  WriteFile(work.File("domain.xml"), copy);
  WriteFile(root + "/etc/qemu.conf", "stdio_handler = \"file\"\n");
  if (nobody) GiveToNobody(work);

  std::vector<int> inherit;
  ChildFolders folders;
  folders.read = readFolders;
  folders.read.insert(folders.read.end(), std::begin(kDriverReads),
                      std::end(kDriverReads));
  folders.state = {work.path()};
  if (kvm) folders.write.push_back("/dev/kvm");
  // The definition, with the driver's first look at qemu, runs before qemu
  // is adopted: qemu detaches itself for that look, and libvirt waits for
  // it to vanish, which an unreaped child of this process never does.
  LibvirtQemus qemus(root);
  std::string log;
  bool defined = RunVirsh(virsh, work, root,
                          "define " + VirshWord(work.File("domain.xml")),
                          folders, {}, log);
  if (!defined && log.find(kNoDriverText) != std::string::npos) {
    missing = "libvirt's QEMU driver is not installed (Debian package "
              "libvirt-daemon-driver-qemu)";
    return false;
  }
  qemus.Adopt();
  bool started = defined && RunVirsh(virsh, work, root,
                                     StartCommands(name, held, inherit),
                                     folders, inherit, log);
  RunningQemu qemu;
  qemu.pid = qemus.Domain(name);
  if (!started || qemu.pid < 0) {
    result = Outcome(BootOutcome::kFailed,
                     std::string("libvirt did not ") +
                         (defined ? "start" : "define") +
                         " the domain: " + VirshErrors(log));
    result.runner = "libvirt";
    return true;
  }
  qemu.ownGroup = false;
  qemu.serial = work.File("serial");
  qemu.messages = root + "/log/qemu/" + name + ".log";
  result = WatchBoot(qemu, plan, limitSeconds);
  result.runner = "libvirt";
  return true;
}

}  // namespace zyjobs
