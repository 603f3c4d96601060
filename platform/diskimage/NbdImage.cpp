//===- NbdImage.cpp - A formatted image through its own qemu-nbd server ---===//
//
// The server is always told the format (-f), and the image is given as a
// json: description whose "backing": null keeps qemu from opening any
// backing file the image names, whatever CheckImage saw.  Writers run with
// --cache=unsafe as `qemu-img convert` writes: the image is complete once
// the server has ended, and the copy renames it into place only then.
//
//===----------------------------------------------------------------------===//
#include "NbdImage.h"

#include "ImageFormats.h"

#include <libnbd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

namespace zydisk {
namespace {

// Block status is asked for at most this much at a time; the server may
// answer for less.
constexpr uint64_t kStatusWindow = 1ull << 30;

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

std::string ImageOptions(const std::string& path, ImageFormat_t format) {
  return "json:{\"driver\":\"" + std::string(RowOf(format).driver()) +
         "\",\"backing\":null,\"file\":{\"driver\":\"file\",\"filename\":" +
         JsonString(AbsolutePath(path)) + "}}";
}

struct ExtentSearch {
  uint64_t from = 0;
  Span run;
  bool found = false;
  bool done = false;  // the run ended inside the answer
};

// Walks the (length, flags) pairs of one answer: skips extents that read
// as zeros, then takes the data extents that follow.
int OnExtents(void* data, const char* context, uint64_t offset,
              uint32_t* entries, size_t count, int*) {
  auto* search = static_cast<ExtentSearch*>(data);
  if (std::string(context) != LIBNBD_CONTEXT_BASE_ALLOCATION) return 0;
  for (size_t i = 0; i + 1 < count && !search->done; i += 2) {
    uint64_t end = offset + entries[i];
    bool zero = (entries[i + 1] & LIBNBD_STATE_ZERO) != 0;
    if (end > search->from) {
      if (!zero && !search->found) {
        search->found = true;
        search->run = {std::max(offset, search->from), end};
      } else if (!zero) {
        search->run.end = end;
      } else if (search->found) {
        search->done = true;
      }
    }
    offset = end;
  }
  if (!search->found) search->run = {offset, offset};
  return 0;
}

class NbdImage final : public ImageBackend {
 public:
  NbdImage(nbd_handle* handle, std::string path, uint64_t size, bool writable)
      : handle_(handle), path_(std::move(path)), size_(size),
        writable_(writable) {}
  ~NbdImage() override {
    if (handle_) nbd_close(handle_);
  }

  uint64_t Size() const override { return size_; }
  const std::string& Path() const override { return path_; }

  CQiError NextData(uint64_t from, Span& run) override {
    while (from < size_) {
      ExtentSearch search;
      search.from = from;
      uint64_t count = std::min(kStatusWindow, size_ - from);
      nbd_extent_callback callback;
      callback.callback = OnExtents;
      callback.user_data = &search;
      callback.free = nullptr;
      if (nbd_block_status(handle_, count, from, callback, 0) != 0)
        return Failure("block status", from);
      if (search.found) {
        run = {search.run.start, std::min(search.run.end, size_)};
        return CQiError::Success();
      }
      if (search.run.end <= from) break;  // the server said nothing
      from = search.run.end;
    }
    run = {size_, size_};
    if (from < size_) run = {from, size_};  // no answer: read it all
    return CQiError::Success();
  }

  CQiError Read(char* into, uint64_t length, uint64_t offset) override {
    if (nbd_pread(handle_, into, length, offset, 0) != 0)
      return Failure("read", offset);
    return CQiError::Success();
  }

  CQiError Write(const char* from, uint64_t length, uint64_t offset) override {
    if (nbd_pwrite(handle_, from, length, offset, 0) != 0)
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
    if (writable_ && nbd_flush(handle_, 0) != 0) error = Failure("flush", 0);
    if (!error.IsError() && nbd_shutdown(handle_, 0) != 0)
      error = Failure("close", 0);
    // Waits for the server to end, so the image is complete.
    nbd_close(handle_);
    handle_ = nullptr;
    return error;
  }

 private:
  CQiError Failure(const char* what, uint64_t offset) {
    int errnum = nbd_get_errno();
    return ZY_DISK_FAULT(errnum ? errnum : EIO,
                         std::string(what) + " of " + At(path_, offset) +
                             " through qemu-nbd: " + nbd_get_error());
  }

  nbd_handle* handle_;
  std::string path_;
  uint64_t size_;
  bool writable_;
};

}  // namespace

CQiError OpenNbdImage(const std::string& path, ImageFormat_t format,
                      bool writable, std::unique_ptr<ImageBackend>& image) {
  std::string qemuNbd;
  CQiError error = FindQemuProgram("qemu-nbd", qemuNbd);
  if (error.IsError()) return error;
  nbd_handle* handle = nbd_create();
  if (!handle) return ZY_DISK_FAULT(ENOMEM, std::string(nbd_get_error()));
  std::string options = ImageOptions(path, format);
  std::vector<const char*> argv = {qemuNbd.c_str(), "-f", RowOf(format).driver(),
                                   writable ? "--cache=unsafe" : "--read-only",
                                   options.c_str(), nullptr};
  if (nbd_add_meta_context(handle, LIBNBD_CONTEXT_BASE_ALLOCATION) != 0 ||
      nbd_connect_systemd_socket_activation(
          handle, const_cast<char**>(argv.data())) != 0) {
    int errnum = nbd_get_errno();
    std::string reason = nbd_get_error();
    nbd_close(handle);
    return ZY_DISK_FAULT(errnum ? errnum : EIO,
                         "cannot open " + path + " as " + RowOf(format).name() +
                             " through qemu-nbd: " + reason);
  }
  int64_t size = nbd_get_size(handle);
  if (size < 0) {
    std::string reason = nbd_get_error();
    nbd_close(handle);
    return ZY_DISK_FAULT(EIO, "size of " + path + ": " + reason);
  }
  image.reset(new NbdImage(handle, path, static_cast<uint64_t>(size), writable));
  return CQiError::Success();
}

}  // namespace zydisk
