//===- ImageFormats.cpp - The image formats and qemu's image tool ---------===//
//
// No image opens anything by a name it carries.  Before qemu reads a byte
// of an image, the image is a regular file (or a block device), its
// headers were read here, and they name no reference outside its folder:
// a backing file or an external data file refuses the image.  Where the
// headers are not read here, qemu-img info of it (run with the node graph
// pinned: the file, no backing) answers instead, and any field it reports
// that is not known here but looks like a file name refuses the image too.
// qemu always gets the format named; it never probes.
//
//===----------------------------------------------------------------------===//
#include "ImageFormats.h"

#include "ImageBackend.h"
#include "ImageSniffer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <climits>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <system_error>
#include <tuple>
#include <utility>

namespace zydisk {
namespace {

// clang-format off
// Checked: qemu-img check can find tables inconsistent with the file (qemu
// has no check for VHD, and raw has no tables).
constexpr FormatRow kFormats[] = {
  // format                  create options                         size unit  checked
  {ImageFormat_t::kRaw,      "",                                    1,         false},
  {ImageFormat_t::kVmdk,     "subformat=monolithicSparse",          512,       true},
  {ImageFormat_t::kVhd,      "subformat=dynamic,force_size=on",     512,       false},
  {ImageFormat_t::kVhdFixed, "subformat=fixed,force_size=on",       1 << 20,   false},
  {ImageFormat_t::kVhdx,     "subformat=dynamic",                   512,       true},
  {ImageFormat_t::kQcow2,    "compat=1.1",                          512,       true},
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

// A measure walks the whole image's allocation before it says anything.
constexpr ChildLimits kMeasureLimits = {600, 0};

constexpr size_t kMaxDescriptor = 64 * 1024;

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


std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// An extent beside its image: a plain name in the image's folder, not a
// symbolic link (which may lead anywhere), and a regular file (a FIFO
// would block whoever opens it).
CQiError CheckExtent(const std::string& image, const std::string& folder,
                     const std::string& name, const std::string& field) {
  if (name.empty() || name.find('/') != std::string::npos || name == "." ||
      name == "..")
    return ZY_DISK_FAULT(EPERM, image + " names the extent \"" + name +
                                    "\" outside its own folder (" + field +
                                    ")");
  struct stat facts;
  if (lstat((folder + name).c_str(), &facts) != 0) return CQiError::Success();
  if (S_ISLNK(facts.st_mode))
    return ZY_DISK_FAULT(EPERM, image + " names the extent \"" + name +
                                    "\", a symbolic link (" + field + ")");
  return CheckRegularFile(folder + name,
                          "the extent of " + image + ", " + field, false);
}

}  // namespace

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
  for (size_t start = 0; start < text.size();) {
    size_t end = std::min(text.find('\n', start), text.size());
    std::string name;
    bool extent = ExtentName(text.substr(start, end - start), name);
    start = end + 1;
    if (!extent) continue;
    error = CheckExtent(path, FolderOf(path), name, "extent");
    if (error.IsError()) return error;
  }
  return CQiError::Success();
}

namespace {

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// A string qemu reports that could name a file.
bool LooksLikeAName(const std::string& value) {
  return !value.empty() && (value[0] == '/' || Contains(value, "json:") ||
                            Contains(value, "://") || Contains(value, ".."));
}

// Every reference qemu-img info reports, found by walking its whole answer:
// the image's own name, and a VMDK's extents beside it, pass; a backing
// file, an external data file, and any field not known here that names a
// file refuse the image, naming the field.
CQiError CheckReferences(const std::string& path, const nlohmann::json& node,
                         const std::string& field) {
  if (node.is_structured()) {
    for (auto item = node.begin(); item != node.end(); ++item) {
      std::string child =
          node.is_array()
              ? field + "[" + std::to_string(item - node.begin()) + "]"
              : (field.empty() ? "" : field + ".") + item.key();
      CQiError error = CheckReferences(path, item.value(), child);
      if (error.IsError()) return error;
    }
    return CQiError::Success();
  }
  if (!node.is_string()) return CQiError::Success();
  std::string value = node.get<std::string>();
  std::string key = field.substr(field.rfind('.') + 1);
  if (field == "filename" || field == "format") return CQiError::Success();
  if (Contains(key, "backing"))
    return ZY_DISK_FAULT(EPERM, path + " refers to the backing file \"" +
                                    value + "\" (" + field +
                                    "); images with a backing file are not "
                                    "read");
  if (Contains(key, "data-file"))
    return ZY_DISK_FAULT(EPERM, path + " refers to the external data file \"" +
                                    value + "\" (" + field +
                                    "); images with an external data file "
                                    "are not read");
  if (field.rfind("format-specific.data.extents[", 0) == 0 &&
      key == "filename") {
    std::string folder = FolderOf(AbsolutePath(path));
    if (value == AbsolutePath(path)) return CQiError::Success();
    if (value.compare(0, folder.size(), folder) != 0)
      return ZY_DISK_FAULT(EPERM, path + " names the extent \"" + value +
                                      "\" outside its own folder (" + field +
                                      ")");
    return CheckExtent(path, folder, value.substr(folder.size()), field);
  }
  if (Contains(key, "file") || LooksLikeAName(value))
    return ZY_DISK_FAULT(EPERM, path + " refers to \"" + value + "\" (" +
                                    field +
                                    "), a reference not known here; the image "
                                    "is not read");
  return CQiError::Success();
}

CQiError CheckInfo(const std::string& path, ImageFormat_t format,
                   const nlohmann::json& info, uint64_t& virtualSize) {
  CQiError error = CheckReferences(path, info, "");
  if (error.IsError()) return error;
  if (!info.contains("virtual-size") || !info["virtual-size"].is_number_unsigned())
    return ZY_DISK_FAULT(EINVAL, path + ": qemu-img gives no virtual size");
  virtualSize = info["virtual-size"].get<uint64_t>();
  if (format != ImageFormat_t::kVmdk) return CQiError::Success();
  std::string kind = info.value(nlohmann::json::json_pointer(
                                    "/format-specific/data/create-type"),
                                std::string());
  for (const char* known : kVmdkKinds)
    if (kind == known) return CQiError::Success();
  return ZY_DISK_FAULT(EINVAL, path + " is a VMDK image of the kind \"" + kind +
                                   "\", a kind not read here");
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
  path = FindProgram(name);
  if (!path.empty()) return CQiError::Success();
  return ZY_DISK_FAULT(ENOENT, std::string(name) +
                                   " is not installed; install the Debian "
                                   "package qemu-utils");
}

ChildFolders ImageFolders(std::initializer_list<std::string> read,
                          const std::string& written) {
  auto folderOf = [](const std::string& path) {
    std::string absolute = AbsolutePath(path);
    std::string::size_type slash = absolute.rfind('/');
    return slash == 0 ? std::string("/") : absolute.substr(0, slash);
  };
  ChildFolders folders;
  for (const std::string& path : read) folders.read.push_back(folderOf(path));
  if (!written.empty()) folders.write.push_back(folderOf(written));
  return folders;
}

CQiError RunProgram(const std::vector<std::string>& argv, std::string& out,
                    const ChildLimits& limits, const ChildFolders& folders,
                    std::initializer_list<int> success,
                    const OutputSink& onOutput) {
  ChildResult result = RunChild(argv, limits, out, onOutput, folders);
  if (result.startError != 0)
    return ZY_DISK_ERROR(result.startError, "start of " + argv[0]);
  for (int code : success)
    if (result.Exited(code)) return CQiError::Success();
  const char* slash = std::strrchr(argv[0].c_str(), '/');
  return ZY_DISK_FAULT(result.timedOut ? ETIMEDOUT : EIO,
                       result.Reason(slash ? slash + 1 : argv[0], limits));
}

CQiError FormatToRead(const std::string& path, DiskType_t type,
                      ImageFormat_t& format) {
  SniffedImage sniffed;
  CQiError error = SniffImageFile(path, sniffed);
  if (error.IsError()) return error;
  ImageFormat_t content = sniffed.format;
  format = content;
  ImageFormat_t stated = content;
  if (!zykinds::ReadFormatOf(type, stated)) return CQiError::Success();
  if (stated == content || (IsVhd(stated) && IsVhd(content))) {
    format = stated;
    return CQiError::Success();
  }
  return ZY_DISK_FAULT(EINVAL, path + " is not a " + RowOf(stated).name() +
                                   " image (its content is " +
                                   RowOf(content).name() + ")");
}

namespace {

// An image file as it stands: a change of its content changes its size,
// modification or change time.
struct CheckedKey {
  dev_t device;
  ino_t inode;
  off_t size;
  struct timespec modified, changed;
  ImageFormat_t format;
  auto Tied() const {
    return std::make_tuple(device, inode, size, modified.tv_sec,
                           modified.tv_nsec, changed.tv_sec, changed.tv_nsec,
                           static_cast<int>(format));
  }
  bool operator<(const CheckedKey& other) const {
    return Tied() < other.Tied();
  }
};

// A regular file's key; false for anything else (a block device's content
// changes without its times).
bool KeyOf(const std::string& path, ImageFormat_t format, CheckedKey& key) {
  struct stat facts;
  if (stat(path.c_str(), &facts) != 0 || !S_ISREG(facts.st_mode)) return false;
  key = {facts.st_dev, facts.st_ino, facts.st_size, facts.st_mtim,
         facts.st_ctim, format};
  return true;
}

// The images qemu-img found sound while a run lasts (CheckOncePerRun), with
// their virtual sizes: a run reads and checks each image's metadata once,
// though its checks, its space measure and its copy each ask (the disks of
// a VM from several threads).  A file that changed is checked again.  No
// run, no memory: file times are only as fine as the kernel's tick, so a
// file made anew at a reused inode could look unchanged to a process that
// kept its facts for long.
class CheckedImages {
 public:
  void Begin() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++runs_;
  }
  void End() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (--runs_ == 0) sizes_.clear();
  }
  bool Find(const CheckedKey& key, uint64_t& virtualSize, bool& checked) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = sizes_.find(key);
    if (found == sizes_.end()) return false;
    virtualSize = found->second.first;
    checked = found->second.second;
    return true;
  }
  void Add(const CheckedKey& key, uint64_t virtualSize, bool checked) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (runs_ == 0) return;
    if (sizes_.size() >= kMaxImages) sizes_.clear();  // bounded memory
    sizes_[key] = {virtualSize, checked};
  }

 private:
  static constexpr size_t kMaxImages = 4096;
  std::mutex mutex_;
  int runs_ = 0;
  std::map<CheckedKey, std::pair<uint64_t, bool>> sizes_;  // size, checked
};

CheckedImages& SoundImages() {
  static CheckedImages images;
  return images;
}

}  // namespace

void BeginCheckOnce() { SoundImages().Begin(); }

void EndCheckOnce() { SoundImages().End(); }

namespace {

// The virtual size of an image qemu-img info describes, its references
// checked (CheckInfo): where the image's own headers do not answer.
CQiError InfoOf(const std::string& qemuImg, const std::string& path,
                ImageFormat_t format, uint64_t& virtualSize) {
  std::string out;
  CQiError error = RunProgram({qemuImg, "info", "--output=json", "-f",
                               RowOf(format).driver(), ImageOptions(path, format)},
                              out, kMetadataLimits, ImageFolders({path}));
  if (error.IsError())
    return ZY_DISK_FAULT(FXErrorUtil::SystemErrorNumber(error),
                         "cannot read " + path + " as " + RowOf(format).name() +
                             ": " + error.GetMessage());
  nlohmann::json info = nlohmann::json::parse(out, nullptr, false);
  if (!info.is_object())
    return ZY_DISK_FAULT(EINVAL, path + ": qemu-img info gives no description");
  return CheckInfo(path, format, info, virtualSize);
}

}  // namespace

namespace {

// Tables that point past the end of the file or into each other: qemu
// would read zeros there and the copy would look whole.
CQiError CheckTables(const std::string& qemuImg, const std::string& path,
                     ImageFormat_t format) {
  std::string out;
  CQiError error = RunProgram(
      {qemuImg, "check", "-q", "-f", RowOf(format).driver(),
       ImageOptions(path, format)},
      out, kCheckLimits, ImageFolders({path}),
      {kCheckClean, kCheckLeaksOnly, kCheckUnsupported});
  if (error.IsError())
    return ZY_DISK_FAULT(EINVAL, path + " is damaged: " + error.GetMessage());
  return error;
}

}  // namespace

CQiError CheckImage(const std::string& path, ImageFormat_t format,
                    uint64_t& virtualSize, bool copying, TableCheck* beside) {
  std::string qemuImg;
  CQiError error = FindQemuProgram("qemu-img", qemuImg);
  if (error.IsError()) return error;
  // Whatever format the caller states, the header's own references are
  // checked before qemu sees the image.
  SniffedImage sniffed;
  error = format == ImageFormat_t::kRaw ? CheckRegularFile(path, "an image", true)
                                        : SniffImageFile(path, sniffed);
  if (!error.IsError() && format == ImageFormat_t::kVmdk)
    error = CheckDescriptor(path);
  if (error.IsError()) return error;
  CheckedKey key;
  bool known = KeyOf(path, format, key);
  bool checked = false;
  bool seen = known && SoundImages().Find(key, virtualSize, checked);
  if (seen && (checked || !copying)) return error;
  // Only a header the format's own reader answered gives the size: the
  // driver qemu gets must be the one the content is in.
  bool ours = sniffed.sized && std::strcmp(sniffed.driver,
                                           RowOf(format).driver()) == 0;
  if (!seen) virtualSize = sniffed.virtualSize;
  if (!seen && !ours) error = InfoOf(qemuImg, path, format, virtualSize);
  if (error.IsError()) return error;
  if (virtualSize > kMaxVirtualSize)
    return ZY_DISK_FAULT(EFBIG, path + " declares a virtual size of " +
                                    std::to_string(virtualSize) +
                                    " bytes, above 64 TiB");
  // The tables are read where a copy follows.
  bool tables = RowOf(format).checked && sniffed.tables && copying;
  if (tables && beside) {
    uint64_t size = virtualSize;
    if (known) SoundImages().Add(key, size, false);
    beside->Start([=] {
      CQiError verdict = CheckTables(qemuImg, path, format);
      if (known && !verdict.IsError()) SoundImages().Add(key, size, true);
      return verdict;
    });
    return CQiError::Success();
  }
  if (tables) error = CheckTables(qemuImg, path, format);
  if (error.IsError()) return error;
  if (known) SoundImages().Add(key, virtualSize, copying);
  return CQiError::Success();
}

TableCheck::~TableCheck() {
  if (!thread_.joinable()) return;
  stop_.Stop();
  thread_.join();
}

void TableCheck::Start(std::function<CQiError()> check) {
  try {
    thread_ = std::thread([this, check] { Run(check); });
  } catch (const std::system_error&) {
    verdict_ = check();  // no thread to be had: the check runs first
  }
}

void TableCheck::Run(const std::function<CQiError()>& check) {
  CQiError verdict;
  {
    StopScope scope(stop_);
    verdict = check();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  verdict_ = verdict;
  done_ = true;
  ended_.notify_all();
}

CQiError TableCheck::Finish() {
  if (!thread_.joinable()) return verdict_;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    // The check's thread is not in the caller's stop group: the caller
    // looks for a stop while it waits.
    while (!ended_.wait_for(lock, std::chrono::milliseconds(50),
                            [this] { return done_; }))
      if (StopAsked()) stop_.Stop();
  }
  thread_.join();
  return verdict_;
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
  error = RunProgram(argv, out, kMetadataLimits, ImageFolders({}, path));
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
                      ImageFormat_t destinationFormat, bool create,
                      uint64_t zerosAfter,
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
  // The zeros after the source are a second source, qemu's null driver,
  // which reads as zeros and is never written; each source names its
  // driver in its options, so none is probed.
  const FormatRow& row = RowOf(destinationFormat);
  std::vector<std::string> argv = {qemuImg, "convert", "-p", "-W"};
  if (!create) argv.insert(argv.end(), {"-n", "--target-is-zero"});
  if (zerosAfter == 0)
    argv.insert(argv.end(), {"-f", RowOf(sourceFormat).driver()});
  argv.push_back(ImageOptions(source, sourceFormat));
  if (zerosAfter != 0)
    argv.push_back("json:{\"driver\":\"null-co\",\"read-zeroes\":true,"
                   "\"size\":" + std::to_string(zerosAfter) + "}");
  argv.insert(argv.end(), {"-O", row.driver()});
  if (create && *row.createOptions)
    argv.insert(argv.end(), {"-o", row.createOptions});
  argv.push_back(AbsolutePath(destination));
  std::string out;
  return RunProgram(argv, out, kStreamLimits,
                    ImageFolders({source}, destination), {0}, std::ref(lines));
}

CQiError CompareImages(const std::string& source, ImageFormat_t sourceFormat,
                       const std::string& copy, ImageFormat_t copyFormat) {
  std::string qemuImg;
  CQiError error = FindQemuProgram("qemu-img", qemuImg);
  if (error.IsError()) return error;
  // -p keeps the idle limit fed on a large image.  Exit status 1 and
  // "Content mismatch at offset N!" when the guest data differ; 2 when an
  // image cannot be read.
  std::string out;
  ChildResult result = RunChild(
      {qemuImg, "compare", "-p", "-f", RowOf(sourceFormat).driver(), "-F",
       RowOf(copyFormat).driver(), ImageOptions(source, sourceFormat),
       ImageOptions(copy, copyFormat)},
      kStreamLimits, out, nullptr, ImageFolders({source, copy}));
  if (result.Exited(0)) return CQiError::Success();
  size_t mismatch = out.find("Content mismatch");
  if (result.Exited(1) && mismatch != std::string::npos)
    return ZY_DISK_FAULT(
        EIO, "the copy of " + source + " differs from it: " +
                 out.substr(mismatch, out.find_first_of("!\r\n", mismatch) -
                                          mismatch));
  return ZY_DISK_FAULT(ECANCELED,
                       "cannot compare the copy of " + source + " with it: " +
                           result.Reason("qemu-img", kStreamLimits));
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
                     out, kMeasureLimits, ImageFolders({source}));
  if (error.IsError())
    return ZY_DISK_FAULT(FXErrorUtil::SystemErrorNumber(error),
                         "cannot measure " + source + ": " + error.GetMessage());
  nlohmann::json measured = nlohmann::json::parse(out, nullptr, false);
  if (!measured.is_object() || !measured["required"].is_number_unsigned())
    return ZY_DISK_FAULT(EINVAL, source + ": qemu-img measure gives no size");
  bytes = measured["required"].get<uint64_t>();
  return CQiError::Success();
}

}  // namespace zydisk
