//===- ImageFormats.cpp - The image formats and qemu's image tool ---------===//
//
// Recognition reads the first 1 KiB and the last 512 bytes of a file: the
// formats read here all carry a magic number at their start, except a fixed
// VHD, whose only header is the footer in its last sector.  A file with no
// known magic number is a raw image.
//
//===----------------------------------------------------------------------===//
#include "ImageFormats.h"

#include "ImageBackend.h"

#include "platform/support/FXPath.h"
#include "platform/support/StopRequest.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <utility>

extern char** environ;

namespace zydisk {
namespace {

// clang-format off
constexpr FormatRow kFormats[] = {
  // format                  create options                         size unit
  {ImageFormat_t::kRaw,      "",                                    1},
  {ImageFormat_t::kVmdk,     "subformat=monolithicSparse",          512},
  {ImageFormat_t::kVhd,      "subformat=dynamic,force_size=on",     512},
  {ImageFormat_t::kVhdFixed, "subformat=fixed,force_size=on",       1 << 20},
  {ImageFormat_t::kVhdx,     "subformat=dynamic",                   512},
  {ImageFormat_t::kQcow2,    "compat=1.1",                          512},
};

// The formats a DiskType_t names for reading; the others are recognised.
struct TypeFormat {
  DiskType_t type;
  ImageFormat_t format;
};
constexpr TypeFormat kReadFormats[] = {
  {DT_HYPERV_VHD, ImageFormat_t::kVhd},  {DT_VHD_13, ImageFormat_t::kVhd},
  {DT_VHD_14, ImageFormat_t::kVhd},      {DT_AZURE, ImageFormat_t::kVhd},
  {DT_VMDK, ImageFormat_t::kVmdk},       {DT_VHDX_20, ImageFormat_t::kVhdx},
  {DT_VHDX_21, ImageFormat_t::kVhdx},    {DT_VHDX_22, ImageFormat_t::kVhdx},
  {DT_AMAZON, ImageFormat_t::kVhdx},
};

// Magic numbers at the start of a file.  A row without a format is a
// format the component does not read, refused by its name.
struct Magic {
  size_t offset;
  const char* bytes;
  size_t length;
  bool known;
  ImageFormat_t format;
  const char* name;
};
constexpr Magic kMagics[] = {
  {0,  "QFI\xfb",                  4,  true,  ImageFormat_t::kQcow2, "qcow2"},
  {0,  "KDMV",                     4,  true,  ImageFormat_t::kVmdk,  "VMDK"},
  {0,  "# Disk DescriptorFile",    21, true,  ImageFormat_t::kVmdk,  "VMDK"},
  {0,  "vhdxfile",                 8,  true,  ImageFormat_t::kVhdx,  "VHDX"},
  {0,  "conectix",                 8,  true,  ImageFormat_t::kVhd,   "VHD"},
  {0,  "COWD",                     4,  false, ImageFormat_t::kRaw,   "VMware ESX COW"},
  {0,  "QED\0",                    4,  false, ImageFormat_t::kRaw,   "QED"},
  {64, "\x7f\x10\xda\xbe",         4,  false, ImageFormat_t::kRaw,   "VDI"},
  {0,  "WithoutFreeSpace",         16, false, ImageFormat_t::kRaw,   "Parallels"},
  {0,  "WithouFreSpacExt",         16, false, ImageFormat_t::kRaw,   "Parallels"},
  {0,  "Bochs Virtual HD Image",   22, false, ImageFormat_t::kRaw,   "Bochs"},
  {0,  "LUKS\xba\xbe",             6,  false, ImageFormat_t::kRaw,   "LUKS"},
  {0,  "#!/bin/sh\n#V2.0 Format",  22, false, ImageFormat_t::kRaw,   "cloop"},
};
// clang-format on

// VMDK kinds the component reads (createType of the descriptor).
constexpr const char* kVmdkKinds[] = {
    "monolithicSparse",     "monolithicFlat",     "vmfs",
    "twoGbMaxExtentSparse", "twoGbMaxExtentFlat", "streamOptimized",
};

// Exit statuses of qemu-img check that leave the guest's data readable.
constexpr int kCheckClean = 0;
constexpr int kCheckLeaksOnly = 3;
constexpr int kCheckUnsupported = 63;

constexpr size_t kHeadBytes = 1024;
constexpr size_t kSector = 512;
constexpr size_t kMaxOutput = 1 << 20;
constexpr size_t kMaxDescriptor = 64 * 1024;

CQiError ReadAt(int fd, const std::string& path, char* into, size_t length,
                uint64_t offset, size_t& got) {
  got = 0;
  while (got < length) {
    ssize_t n = pread(fd, into + got, length - got,
                      static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return ZY_DISK_ERROR(errno, "read of " + At(path, offset));
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return CQiError::Success();
}

const Magic* MagicOf(const char* head, size_t length) {
  for (const Magic& magic : kMagics)
    if (magic.offset + magic.length <= length &&
        std::memcmp(head + magic.offset, magic.bytes, magic.length) == 0)
      return &magic;
  return nullptr;
}

// Recognises the format of the file's content; unknown content is raw.
CQiError Recognise(const std::string& path, ImageFormat_t& format) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return ZY_DISK_ERROR(errno, "open of " + path);
  char head[kHeadBytes] = {};
  char tail[kSector] = {};
  size_t headLength = 0, tailLength = 0;
  struct stat facts {};
  CQiError error = ReadAt(fd, path, head, sizeof head, 0, headLength);
  if (!error.IsError() && fstat(fd, &facts) == 0 && S_ISREG(facts.st_mode) &&
      static_cast<uint64_t>(facts.st_size) >= kSector)
    error = ReadAt(fd, path, tail, sizeof tail, facts.st_size - kSector,
                   tailLength);
  close(fd);
  if (error.IsError()) return error;
  const Magic* magic = MagicOf(head, headLength);
  if (!magic && tailLength == kSector && std::memcmp(tail, "conectix", 8) == 0)
    magic = &kMagics[4];
  format = magic ? magic->format : ImageFormat_t::kRaw;
  if (magic && !magic->known)
    return ZY_DISK_FAULT(EINVAL, path + " is a " + magic->name +
                                     " image, a format not read here");
  if (format == ImageFormat_t::kQcow2 && headLength >= 8 &&
      (head[4] | head[5] | head[6]) == 0 && head[7] != 2 && head[7] != 3)
    return ZY_DISK_FAULT(EINVAL, path + " is a qcow image of version " +
                                     std::to_string(head[7]) +
                                     ", a format not read here");
  return CQiError::Success();
}

bool IsVhd(ImageFormat_t format) {
  return format == ImageFormat_t::kVhd || format == ImageFormat_t::kVhdFixed;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The quoted file name of a descriptor's extent line, "RW 2048 SPARSE
// \"a-s001.vmdk\"" and the like; false for any other line.
bool ExtentName(const std::string& line, std::string& name) {
  size_t at = 0;
  auto skipSpace = [&] {
    size_t from = at;
    while (at < line.size() && IsSpace(line[at])) ++at;
    return at > from;
  };
  auto word = [&](bool digitsOnly) {
    size_t from = at;
    while (at < line.size() &&
           (digitsOnly ? std::isdigit(static_cast<unsigned char>(line[at]))
                       : std::isalnum(static_cast<unsigned char>(line[at])) ||
                             line[at] == '_'))
      ++at;
    return at > from;
  };
  skipSpace();
  size_t access = at;
  if (!word(false)) return false;
  std::string mode = line.substr(access, at - access);
  if (mode != "RW" && mode != "RDONLY" && mode != "NOACCESS") return false;
  if (!skipSpace() || !word(true) || !skipSpace() || !word(false) ||
      !skipSpace() || at >= line.size() || line[at] != '"')
    return false;
  size_t close = line.find('"', at + 1);
  if (close == std::string::npos) return false;
  name = line.substr(at + 1, close - at - 1);
  return true;
}

}  // namespace

// The extents a VMDK descriptor names must be plain names: the image and
// its extents live in one folder, and a descriptor from a backup must not
// make the host read a file elsewhere.
CQiError CheckDescriptor(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return ZY_DISK_ERROR(errno, "open of " + path);
  std::string text(kMaxDescriptor, '\0');
  size_t got = 0;
  CQiError error = ReadAt(fd, path, &text[0], text.size(), 0, got);
  close(fd);
  if (error.IsError()) return error;
  text.resize(got);
  if (text.compare(0, 21, "# Disk DescriptorFile") != 0)
    return CQiError::Success();  // a sparse extent with its own descriptor
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  for (size_t start = 0; start < text.size();) {
    size_t end = std::min(text.find('\n', start), text.size());
    std::string name;
    bool extent = ExtentName(text.substr(start, end - start), name);
    start = end + 1;
    if (!extent) continue;
    if (name.empty() || name.find('/') != std::string::npos || name == "." ||
        name == "..")
      return ZY_DISK_FAULT(EPERM, path + " names the extent \"" + name +
                                      "\" outside its own folder");
    // A link beside the descriptor may lead anywhere.
    struct stat facts;
    if (lstat((folder + name).c_str(), &facts) == 0 && S_ISLNK(facts.st_mode))
      return ZY_DISK_FAULT(EPERM, path + " names the extent \"" + name +
                                      "\", a symbolic link");
  }
  return CQiError::Success();
}

namespace {

CQiError CheckInfo(const std::string& path, ImageFormat_t format,
                   const nlohmann::json& info, uint64_t& virtualSize) {
  if (info.contains("backing-filename") || info.contains("full-backing-filename"))
    return ZY_DISK_FAULT(EPERM, path + " refers to the backing file \"" +
                                    info.value("backing-filename", "") +
                                    "\"; images with a backing file are "
                                    "not read");
  if (!info.contains("virtual-size") || !info["virtual-size"].is_number_unsigned())
    return ZY_DISK_FAULT(EINVAL, path + ": qemu-img gives no virtual size");
  virtualSize = info["virtual-size"].get<uint64_t>();
  if (virtualSize > kMaxVirtualSize)
    return ZY_DISK_FAULT(EFBIG, path + " declares a virtual size of " +
                                    std::to_string(virtualSize) +
                                    " bytes, above 64 TiB");
  if (format != ImageFormat_t::kVmdk) return CQiError::Success();
  std::string kind = info.value(nlohmann::json::json_pointer(
                                    "/format-specific/data/create-type"),
                                std::string());
  for (const char* known : kVmdkKinds)
    if (kind == known) return CQiError::Success();
  return ZY_DISK_FAULT(EINVAL, path + " is a VMDK image of the kind \"" + kind +
                                   "\", a kind not read here");
}

void SetCloseOnExecPipe(int fds[2]) {
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  fcntl(fds[1], F_SETFD, FD_CLOEXEC);
}

// Reads both pipes to their end, keeping at most kMaxOutput of each, or
// handing stdout to onOutput when there is one.  When a signal asks the
// run to stop, the child's process group is killed (once) and the pipes
// are read to their end as the group goes; stopped tells.
void Drain(pid_t child, int outFd, int errFd, std::string& out,
           std::string& err, const OutputSink& onOutput, bool& stopped) {
  struct pollfd fds[3] = {
      {outFd, POLLIN, 0}, {errFd, POLLIN, 0}, {StopDescriptor(), POLLIN, 0}};
  std::string* into[2] = {&out, &err};
  int open = 2;
  char chunk[65536];
  stopped = false;
  while (open > 0) {
    if (!stopped && StopSignal() != 0) {
      kill(-child, SIGKILL);
      stopped = true;
      fds[2].fd = -1;
    }
    if (poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        fds[i].fd = -1;
        --open;
        continue;
      }
      if (i == 0 && onOutput) {
        onOutput(chunk, static_cast<size_t>(n));
        continue;
      }
      size_t room = kMaxOutput - std::min(kMaxOutput, into[i]->size());
      into[i]->append(chunk, std::min(room, static_cast<size_t>(n)));
    }
  }
}

// Hands the lines of a program's output to a function as they come; a
// line ends at '\n' or at the '\r' a progress line ends with.
class LineSplitter {
 public:
  explicit LineSplitter(std::function<void(const std::string&)> onLine)
      : onLine_(std::move(onLine)) {}
  void operator()(const char* bytes, size_t length) {
    for (size_t i = 0; i < length; ++i) {
      if (bytes[i] != '\n' && bytes[i] != '\r') {
        if (line_.size() < kMaxLine) line_ += bytes[i];
        continue;
      }
      if (!line_.empty()) onLine_(line_);
      line_.clear();
    }
  }

 private:
  static constexpr size_t kMaxLine = 4096;
  std::function<void(const std::string&)> onLine_;
  std::string line_;
};

// The number after key in one line of qemu-img's JSON output, or 0.
uint64_t NumberAfter(const std::string& line, const char* key) {
  size_t at = line.find(key);
  if (at == std::string::npos) return 0;
  return std::strtoull(line.c_str() + at + std::strlen(key), nullptr, 10);
}

std::string JsonString(const std::string& text) {
  std::string quoted = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      quoted += escape;
    } else {
      quoted += static_cast<char>(c);
    }
  }
  return quoted + "\"";
}

std::string LastLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
    text.pop_back();
  size_t newline = text.rfind('\n');
  return newline == std::string::npos ? text : text.substr(newline + 1);
}

}  // namespace

const FormatRow& RowOf(ImageFormat_t format) {
  for (const FormatRow& row : kFormats)
    if (row.format == format) return row;
  return kFormats[0];
}

std::string AbsolutePath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char* cwd = getcwd(nullptr, 0);
  std::string absolute = cwd ? std::string(cwd) + "/" + path : path;
  std::free(cwd);
  return absolute;
}

CQiError FindQemuProgram(const char* name, std::string& path) {
  const char* search = std::getenv("PATH");
  std::string folders = search ? search : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= folders.size()) {
    size_t colon = folders.find(':', start);
    if (colon == std::string::npos) colon = folders.size();
    std::string folder = folders.substr(start, colon - start);
    start = colon + 1;
    if (folder.empty()) continue;
    std::string candidate = folder + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) {
      path = candidate;
      return CQiError::Success();
    }
  }
  return ZY_DISK_FAULT(ENOENT, std::string(name) +
                                   " is not installed; install the Debian "
                                   "package qemu-utils");
}

CQiError RunProgram(const std::vector<std::string>& argv, std::string& out,
                    std::initializer_list<int> success,
                    const OutputSink& onOutput) {
  int outPipe[2], errPipe[2];
  if (pipe(outPipe) != 0) return ZY_DISK_ERROR(errno, "pipe for " + argv[0]);
  if (pipe(errPipe) != 0) {
    int errnum = errno;
    close(outPipe[0]);
    close(outPipe[1]);
    return ZY_DISK_ERROR(errnum, "pipe for " + argv[0]);
  }
  SetCloseOnExecPipe(outPipe);
  SetCloseOnExecPipe(errPipe);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  // The child leads a process group of its own, so that stopping it ends
  // whatever it started too, and a terminal's Ctrl-C reaches only the
  // tool, which then stops it.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  int spawned = posix_spawn(&pid, argv[0].c_str(), &actions, &attributes,
                            args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(outPipe[1]);
  close(errPipe[1]);
  std::string err;
  bool stopped = false;
  if (spawned == 0)
    Drain(pid, outPipe[0], errPipe[0], out, err, onOutput, stopped);
  close(outPipe[0]);
  close(errPipe[0]);
  if (spawned != 0) return ZY_DISK_ERROR(spawned, "start of " + argv[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (stopped)
    return ZY_DISK_FAULT(ECANCELED, CQiPath::GetBaseName(argv[0]) +
                                        " stopped by " +
                                        SignalName(StopSignal()));
  if (WIFEXITED(status))
    for (int code : success)
      if (WEXITSTATUS(status) == code) return CQiError::Success();
  std::string reason = LastLine(err);
  if (reason.empty())
    reason = WIFSIGNALED(status)
                 ? "killed by signal " + std::to_string(WTERMSIG(status))
                 : "exit status " + std::to_string(WEXITSTATUS(status));
  return ZY_DISK_FAULT(EIO, reason);
}

CQiError FormatToRead(const std::string& path, DiskType_t type,
                      ImageFormat_t& format) {
  ImageFormat_t content = ImageFormat_t::kRaw;
  CQiError error = Recognise(path, content);
  if (error.IsError()) return error;
  format = content;
  for (const TypeFormat& row : kReadFormats) {
    if (row.type != type) continue;
    if (row.format == content || (IsVhd(row.format) && IsVhd(content))) {
      format = row.format;
      return CQiError::Success();
    }
    return ZY_DISK_FAULT(EINVAL, path + " is not a " + RowOf(row.format).name() +
                                     " image (its content is " +
                                     RowOf(content).name() + ")");
  }
  return CQiError::Success();
}

CQiError CheckImage(const std::string& path, ImageFormat_t format,
                    uint64_t& virtualSize) {
  std::string qemuImg;
  CQiError error = FindQemuProgram("qemu-img", qemuImg);
  if (error.IsError()) return error;
  if (format == ImageFormat_t::kVmdk) {
    error = CheckDescriptor(path);
    if (error.IsError()) return error;
  }
  std::string out;
  error = RunProgram({qemuImg, "info", "--output=json", "-f",
                      RowOf(format).driver(), AbsolutePath(path)},
                     out);
  if (error.IsError())
    return ZY_DISK_FAULT(FXErrorUtil::SystemErrorNumber(error),
                         "cannot read " + path + " as " + RowOf(format).name() +
                             ": " + error.GetMessage());
  nlohmann::json info = nlohmann::json::parse(out, nullptr, false);
  if (!info.is_object())
    return ZY_DISK_FAULT(EINVAL, path + ": qemu-img info gives no description");
  error = CheckInfo(path, format, info, virtualSize);
  if (error.IsError()) return error;
  // Tables that point past the end of the file or into each other: qemu
  // would read zeros there and the copy would look whole.
  error = RunProgram({qemuImg, "check", "-q", "-f", RowOf(format).driver(),
                      AbsolutePath(path)},
                     out, {kCheckClean, kCheckLeaksOnly, kCheckUnsupported});
  if (error.IsError())
    return ZY_DISK_FAULT(EINVAL, path + " is damaged: " + error.GetMessage());
  return CQiError::Success();
}

CQiError CreateImage(const std::string& path, ImageFormat_t format,
                     uint64_t virtualSize) {
  std::string qemuImg;
  CQiError error = FindQemuProgram("qemu-img", qemuImg);
  if (error.IsError()) return error;
  const FormatRow& row = RowOf(format);
  std::vector<std::string> argv = {qemuImg, "create", "-q", "-f", row.driver()};
  if (*row.createOptions) argv.insert(argv.end(), {"-o", row.createOptions});
  argv.insert(argv.end(), {AbsolutePath(path), std::to_string(virtualSize)});
  std::string out;
  error = RunProgram(argv, out);
  if (error.IsError())
    return ZY_DISK_FAULT(FXErrorUtil::SystemErrorNumber(error),
                         "cannot create " + path + " as " + row.name() + ": " +
                             error.GetMessage());
  return CQiError::Success();
}

std::string ImageOptions(const std::string& path, ImageFormat_t format) {
  // qemu reads block devices through its host_device protocol only.
  struct stat facts;
  bool device = stat(path.c_str(), &facts) == 0 && S_ISBLK(facts.st_mode);
  return "json:{\"driver\":\"" + std::string(RowOf(format).driver()) +
         "\",\"backing\":null,\"file\":{\"driver\":\"" +
         (device ? "host_device" : "file") + "\",\"filename\":" +
         JsonString(AbsolutePath(path)) + "}}";
}

CQiError ConvertImage(const std::string& source, ImageFormat_t sourceFormat,
                      const std::string& destination,
                      ImageFormat_t destinationFormat,
                      const std::function<void(double)>& progress) {
  std::string qemuImg;
  CQiError error = FindQemuProgram("qemu-img", qemuImg);
  if (error.IsError()) return error;
  // Progress lines read "    (12.34/100%)".
  LineSplitter lines([&](const std::string& line) {
    double percent = 0;
    if (progress && std::sscanf(line.c_str(), " (%lf/100%%)", &percent) == 1)
      progress(percent);
  });
  // -W lets writes land out of order, as the source's clusters come in.
  std::string out;
  return RunProgram(
      {qemuImg, "convert", "-p", "-n", "--target-is-zero", "-W", "-f",
       RowOf(sourceFormat).driver(), ImageOptions(source, sourceFormat), "-O",
       RowOf(destinationFormat).driver(), AbsolutePath(destination)},
      out, {0}, std::ref(lines));
}

CQiError MeasureImage(const std::string& source, ImageFormat_t sourceFormat,
                      uint64_t& bytes) {
  std::string qemuImg;
  CQiError error = FindQemuProgram("qemu-img", qemuImg);
  if (error.IsError()) return error;
  std::string out;
  error = RunProgram({qemuImg, "measure", "--output=json", "-f",
                      RowOf(sourceFormat).driver(), "-O", "qcow2",
                      ImageOptions(source, sourceFormat)},
                     out);
  if (error.IsError())
    return ZY_DISK_FAULT(FXErrorUtil::SystemErrorNumber(error),
                         "cannot measure " + source + ": " + error.GetMessage());
  nlohmann::json measured = nlohmann::json::parse(out, nullptr, false);
  if (!measured.is_object() || !measured["required"].is_number_unsigned())
    return ZY_DISK_FAULT(EINVAL, source + ": qemu-img measure gives no size");
  bytes = measured["required"].get<uint64_t>();
  return CQiError::Success();
}

CQiError MappedDataBytes(const std::string& path, ImageFormat_t format,
                         uint64_t& dataBytes) {
  std::string qemuImg;
  CQiError error = FindQemuProgram("qemu-img", qemuImg);
  if (error.IsError()) return error;
  // One extent per line: { "start": 0, "length": 65536, ..., "zero": false,
  // "data": true, ... }
  dataBytes = 0;
  LineSplitter lines([&](const std::string& line) {
    if (line.find("\"data\": true") != std::string::npos &&
        line.find("\"zero\": false") != std::string::npos)
      dataBytes += NumberAfter(line, "\"length\": ");
  });
  std::string out;
  return RunProgram({qemuImg, "map", "--output=json", "-f",
                     RowOf(format).driver(), ImageOptions(path, format)},
                    out, {0}, std::ref(lines));
}

}  // namespace zydisk
