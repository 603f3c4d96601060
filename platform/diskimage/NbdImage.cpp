//===- NbdImage.cpp - A formatted image through its own qemu-nbd server ---===//
//
// The server is always told the format (-f), and the image is given as a
// json: description whose "backing": null keeps qemu from opening any
// backing file the image names, whatever CheckImage saw.  Writers run with
// --cache=unsafe as `qemu-img convert` writes: the image is complete once
// the server has ended, and the copy renames it into place only then.
// The server is started as every qemu child is (ChildProcess), confined to
// the image's folder (read, and write for a written image) and the
// system's files; it gets its listening socket by socket activation, so it
// needs no folder for the socket.  The socket's own folder is private to
// this process and gone once the connection stands.
//
// libnbd is loaded (dlopen) with the first image opened here, not with the
// library: it and what it brings (libxml2, GnuTLS) cost every process their
// relocations at start-up, and most runs (descriptions, raw images, the
// listings) never open a formatted image.
//
//===----------------------------------------------------------------------===//
#include "NbdImage.h"

#include "ImageFormats.h"

#include <dlfcn.h>
#include <libnbd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace zydisk {
namespace {

// qemu-nbd allocates a buffer per request; glibc would map each buffer of
// a MiB afresh and hand it back to the kernel when freed, so the server
// spent more time faulting in and clearing pages than copying (twice the
// system time of `qemu-img convert` on the same pair).  Buffers up to
// 4 MiB come from the heap instead, which keeps up to 8 MiB it has freed:
// the server stays a few tens of MiB.  It is started through env to get
// the setting.
constexpr char kEnvProgram[] = "/usr/bin/env";
constexpr char kServerMalloc[] =
    "GLIBC_TUNABLES=glibc.malloc.mmap_threshold=4194304:"
    "glibc.malloc.trim_threshold=8388608";

// Block status is asked for at most this much at a time; the server may
// answer for less.
constexpr uint64_t kStatusWindow = 1ull << 30;

// How long a server may take to end once its client has gone: a written
// image is complete only then.
constexpr int kServerEndSeconds = 120;

// The library by its soname: libnbd keeps its ABI stable under it.
constexpr char kLibnbd[] = "libnbd.so.0";

// The libnbd calls this file makes, bound once per process.
struct NbdCalls {
  decltype(&::nbd_create) create = nullptr;
  decltype(&::nbd_close) close = nullptr;
  decltype(&::nbd_add_meta_context) addMetaContext = nullptr;
  decltype(&::nbd_connect_unix) connectUnix = nullptr;
  decltype(&::nbd_get_size) getSize = nullptr;
  decltype(&::nbd_pread) pread = nullptr;
  decltype(&::nbd_pwrite) pwrite = nullptr;
  decltype(&::nbd_flush) flush = nullptr;
  decltype(&::nbd_shutdown) shutdown = nullptr;
  decltype(&::nbd_block_status) blockStatus = nullptr;
  decltype(&::nbd_get_errno) getErrno = nullptr;
  decltype(&::nbd_get_error) getError = nullptr;
};

template <typename Call>
bool Bind(void* library, const char* name, Call& call) {
  call = reinterpret_cast<Call>(dlsym(library, name));
  return call != nullptr;
}

NbdCalls g_nbd;            // bound under the call_once of LoadNbd
std::string g_nbdFailure;  // why it could not be, then

void BindNbd() {
  void* library = dlopen(kLibnbd, RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* why = dlerror();
    g_nbdFailure = why ? why : kLibnbd;
    return;
  }
  NbdCalls& c = g_nbd;
  bool bound = Bind(library, "nbd_create", c.create) &&
               Bind(library, "nbd_close", c.close) &&
               Bind(library, "nbd_add_meta_context", c.addMetaContext) &&
               Bind(library, "nbd_connect_unix", c.connectUnix) &&
               Bind(library, "nbd_get_size", c.getSize) &&
               Bind(library, "nbd_pread", c.pread) &&
               Bind(library, "nbd_pwrite", c.pwrite) &&
               Bind(library, "nbd_flush", c.flush) &&
               Bind(library, "nbd_shutdown", c.shutdown) &&
               Bind(library, "nbd_block_status", c.blockStatus) &&
               Bind(library, "nbd_get_errno", c.getErrno) &&
               Bind(library, "nbd_get_error", c.getError);
  if (bound) return;
  g_nbdFailure = std::string(kLibnbd) + " lacks a call this program makes";
  g_nbd = NbdCalls();
}

// The bound calls, or nullptr when libnbd cannot be loaded; once loaded it
// stays for the rest of the process, as a linked library would.
const NbdCalls* LoadNbd() {
  static std::once_flag once;
  std::call_once(once, BindNbd);
  return g_nbd.create ? &g_nbd : nullptr;
}

// Only after LoadNbd succeeded: every NbdImage exists after it.
const NbdCalls& Nbd() { return g_nbd; }

// A listening Unix socket in a new folder only this process may enter;
// the folder and the socket's name go with Remove().
class PrivateSocket {
 public:
  ~PrivateSocket() {
    Close();
    Remove();
  }
  // 0 or an errno.
  int Listen() {
    const char* tmp = std::getenv("TMPDIR");
    folder_ = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/zy-nbd-XXXXXX";
    if (!mkdtemp(&folder_[0])) {
      folder_.clear();
      return errno;
    }
    path_ = folder_ + "/socket";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path_.size() >= sizeof address.sun_path) return ENAMETOOLONG;
    std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return errno;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd_, 1) != 0)
      return errno;
    return 0;
  }
  int Fd() const { return fd_; }
  const std::string& Path() const { return path_; }
  // Only the server holds the socket then: a server that died refuses
  // the connection instead of leaving it waiting.
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  void Remove() {
    if (!path_.empty()) ::unlink(path_.c_str());
    if (!folder_.empty()) ::rmdir(folder_.c_str());
    path_.clear();
    folder_.clear();
  }

 private:
  std::string folder_, path_;
  int fd_ = -1;
};

// The data runs of one block status answer, merged, and the end of the
// range the answer covered.
struct ExtentAnswer {
  std::vector<Span> runs;
  uint64_t end = 0;
};

// Walks the (length, flags) pairs of one answer: extents that read as
// zeros are left out, adjacent data extents merged.
int OnExtents(void* data, const char* context, uint64_t offset,
              uint32_t* entries, size_t count, int*) {
  auto* answer = static_cast<ExtentAnswer*>(data);
  if (std::string(context) != LIBNBD_CONTEXT_BASE_ALLOCATION) return 0;
  for (size_t i = 0; i + 1 < count; i += 2) {
    uint64_t end = offset + entries[i];
    bool zero = (entries[i + 1] & LIBNBD_STATE_ZERO) != 0;
    if (!zero && !answer->runs.empty() && answer->runs.back().end == offset)
      answer->runs.back().end = end;
    else if (!zero)
      answer->runs.push_back({offset, end});
    offset = end;
  }
  answer->end = std::max(answer->end, offset);
  return 0;
}

class NbdImage final : public ImageBackend {
 public:
  NbdImage(nbd_handle* handle, pid_t server, std::string path, uint64_t size,
           bool writable)
      : handle_(handle),
        server_(server),
        path_(std::move(path)),
        size_(size),
        writable_(writable) {}
  ~NbdImage() override {
    if (handle_) Nbd().close(handle_);
    StopChild(server_);
  }

  uint64_t Size() const override { return size_; }
  const std::string& Path() const override { return path_; }

  // Answers from the runs of the last block status answer while from lies
  // in the range it covered.
  CQiError NextData(uint64_t from, Span& run) override {
    while (from < size_) {
      if (from < known_.end && from >= knownFrom_) {
        auto next = std::upper_bound(
            known_.runs.begin(), known_.runs.end(), from,
            [](uint64_t at, const Span& span) { return at < span.end; });
        if (next != known_.runs.end()) {
          run = {std::max(from, next->start), std::min(next->end, size_)};
          return CQiError::Success();
        }
        from = known_.end;
        continue;
      }
      CQiError error = AskStatus(from);
      if (error.IsError()) return error;
      if (known_.end <= from) {  // the server said nothing: read it all
        run = {from, size_};
        return CQiError::Success();
      }
    }
    run = {size_, size_};
    return CQiError::Success();
  }

  CQiError Read(char* into, uint64_t length, uint64_t offset) override {
    if (Nbd().pread(handle_, into, length, offset, 0) != 0)
      return Failure("read", offset);
    return CQiError::Success();
  }

  CQiError Write(const char* from, uint64_t length, uint64_t offset) override {
    if (Nbd().pwrite(handle_, from, length, offset, 0) != 0)
      return Failure("write", offset);
    return CQiError::Success();
  }

  CQiError Grow(uint64_t end) override {
    if (end <= size_) return CQiError::Success();
    return ZY_DISK_FAULT(EFBIG, "write past the virtual size of " + path_ +
                                    " (" + std::to_string(size_) + " bytes)");
  }

  CQiError Finish() override {
    if (!handle_) return CQiError::Success();
    CQiError error;
    if (writable_ && Nbd().flush(handle_, 0) != 0) error = Failure("flush", 0);
    if (!error.IsError() && Nbd().shutdown(handle_, 0) != 0)
      error = Failure("close", 0);
    Nbd().close(handle_);
    handle_ = nullptr;
    // The image is complete once the server has ended.
    bool ended = AwaitChild(server_, kServerEndSeconds);
    server_ = -1;
    if (!ended && !error.IsError())
      error = ZY_DISK_FAULT(EIO, "qemu-nbd did not end cleanly with " + path_);
    return error;
  }

 private:
  CQiError AskStatus(uint64_t from) {
    known_ = ExtentAnswer();
    knownFrom_ = from;
    uint64_t count = std::min(kStatusWindow, size_ - from);
    nbd_extent_callback callback;
    callback.callback = OnExtents;
    callback.user_data = &known_;
    callback.free = nullptr;
    if (Nbd().blockStatus(handle_, count, from, callback, 0) != 0)
      return Failure("block status", from);
    return CQiError::Success();
  }

  CQiError Failure(const char* what, uint64_t offset) {
    int errnum = Nbd().getErrno();
    return ZY_DISK_FAULT(errnum ? errnum : EIO,
                         std::string(what) + " of " + At(path_, offset) +
                             " through qemu-nbd: " + Nbd().getError());
  }

  nbd_handle* handle_;
  pid_t server_;
  std::string path_;
  uint64_t size_;
  bool writable_;
  ExtentAnswer known_;      // the last block status answer
  uint64_t knownFrom_ = 0;  // where it started
};

// Starts a confined qemu-nbd for path on the socket's descriptor.
CQiError StartNbdServer(const std::string& path, ImageFormat_t format,
                        bool writable, const PrivateSocket& socket,
                        pid_t& server) {
  std::string qemuNbd;
  CQiError error = FindQemuProgram("qemu-nbd", qemuNbd);
  if (error.IsError()) return error;
  std::vector<std::string> argv = {qemuNbd, "-f", RowOf(format).driver(),
                                   writable ? "--cache=unsafe" : "--read-only",
                                   ImageOptions(path, format)};
  if (access(kEnvProgram, X_OK) == 0)
    argv.insert(argv.begin(), {kEnvProgram, kServerMalloc});
  int errnum = 0;
  server = StartServer(argv, socket.Fd(),
                       ImageFolders({path}, writable ? path : ""), errnum);
  if (server < 0) return ZY_DISK_ERROR(errnum, "start of " + qemuNbd);
  return CQiError::Success();
}

}  // namespace

CQiError OpenNbdImage(const std::string& path, ImageFormat_t format,
                      bool writable, std::unique_ptr<ImageBackend>& image) {
  const NbdCalls* nbd = LoadNbd();
  if (!nbd)
    return ZY_DISK_FAULT(
        ENOSYS, "cannot open " + path + " as " + RowOf(format).name() +
                    ": libnbd cannot be loaded (" + g_nbdFailure + ")");
  PrivateSocket socket;
  int errnum = socket.Listen();
  if (errnum != 0)
    return ZY_DISK_ERROR(errnum, "socket for qemu-nbd in " + socket.Path());
  pid_t server = -1;
  CQiError error = StartNbdServer(path, format, writable, socket, server);
  if (error.IsError()) return error;
  socket.Close();
  nbd_handle* handle = nbd->create();
  if (!handle) {
    StopChild(server);
    return ZY_DISK_FAULT(ENOMEM, std::string(nbd->getError()));
  }
  if (nbd->addMetaContext(handle, LIBNBD_CONTEXT_BASE_ALLOCATION) != 0 ||
      nbd->connectUnix(handle, socket.Path().c_str()) != 0) {
    errnum = nbd->getErrno();
    std::string reason = nbd->getError();
    nbd->close(handle);
    StopChild(server);
    return ZY_DISK_FAULT(errnum ? errnum : EIO,
                         "cannot open " + path + " as " + RowOf(format).name() +
                             " through qemu-nbd: " + reason);
  }
  socket.Remove();
  int64_t size = nbd->getSize(handle);
  if (size < 0) {
    std::string reason = nbd->getError();
    nbd->close(handle);
    StopChild(server);
    return ZY_DISK_FAULT(EIO, "size of " + path + ": " + reason);
  }
  image.reset(new NbdImage(handle, server, path, static_cast<uint64_t>(size),
                           writable));
  return CQiError::Success();
}

}  // namespace zydisk
