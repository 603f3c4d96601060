//===- JobSupport.cpp - What the jobs share inside the library ------------===//
#include "JobSupport.h"

#include "JobPlatform.h"

#include "model/PlatformKinds.h"
#include "platform/support/BoundedFile.h"
#include "platform/support/EvDebug.h"
#include "platform/support/StopRequest.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <mutex>

namespace zyjobs {
namespace {

std::shared_ptr<LogSink> g_logSink;  // null: the platform's default sink

class DiscardingLogSink : public LogSink {
 public:
  void Write(const LogRecord&) override {}
};

// The length of the UTF-8 sequence at text[at] (its code point in code), or
// 0 when the bytes there are no shortest-form encoding of a scalar value.
size_t DecodeUtf8(const std::string& text, size_t at, uint32_t& code) {
  auto byte = [&](size_t i) {
    return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0u;
  };
  unsigned lead = byte(0);
  size_t length = lead < 0x80 ? 1 : lead >= 0xc2 && lead <= 0xdf ? 2
                : lead >= 0xe0 && lead <= 0xef                 ? 3
                : lead >= 0xf0 && lead <= 0xf4                 ? 4
                                                               : 0;
  if (length == 0) return 0;
  code = length == 1 ? lead : lead & (0x7fu >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xc0) != 0x80) return 0;
    code = code << 6 | (byte(i) & 0x3f);
  }
  constexpr uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kShortest[length] || code > 0x10ffff ||
      (code >= 0xd800 && code <= 0xdfff))
    return 0;
  return length;
}

// Code points a name may not hold, by range.
struct ForbiddenRange {
  uint32_t first, last;
  const char* kind;
};

// clang-format off
constexpr ForbiddenRange kForbidden[] = {
    {0x00, 0x1f, "control character"},
    {0x7f, 0x9f, "control character"},
    {0x202a, 0x202e, "bidirectional formatting character"},
    {0x2066, 0x2069, "bidirectional formatting character"},
};
// clang-format on

const char* ForbiddenKind(uint32_t code) {
  for (const ForbiddenRange& range : kForbidden)
    if (code >= range.first && code <= range.last) return range.kind;
  return nullptr;
}

std::string CodePoint(uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", code);
  return text;
}

// A name for an error line: printable ASCII as it is, every other byte as
// \xNN, so that the line shows what the name holds and stays one line.
std::string Shown(const std::string& name) {
  std::string shown;
  for (unsigned char c : name) {
    if (c >= 0x20 && c < 0x7f) {
      shown += static_cast<char>(c);
      continue;
    }
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\x%02x", c);
    shown += escape;
  }
  return shown;
}

}  // namespace

void IJobObserver::OnDiskProgress(const std::string&, uint64_t, uint64_t) {}
void IJobObserver::OnDiskDone(const std::string&) {}
void IJobObserver::OnTotalProgress(uint64_t, uint64_t) {}
void IJobObserver::OnWarning(const std::string&) {}
void IJobObserver::OnNote(const std::string&) {}

IJobObserver& NoObserver() {
  static IJobObserver none;
  return none;
}

void UseLogSink(std::shared_ptr<LogSink> sink) {
  g_logSink = std::move(sink);
  SetLogSink(g_logSink);
}

int LogLevelThreshold() {
  int threshold = 2;
  if (const char* level = std::getenv("ZY_LOG_LEVEL")) {
    char* end = nullptr;
    long value = std::strtol(level, &end, 10);
    if (end != level) threshold = static_cast<int>(value);
  }
  return threshold;
}

struct FailureWatch::State : LogSink {
  std::shared_ptr<LogSink> next;
  mutable std::mutex mutex;
  std::string last;
  void Write(const LogRecord& record) override {
    if (record.kind == LogKind::Error || record.level < 0) {
      std::lock_guard<std::mutex> lock(mutex);
      last = record.message;
    }
    if (next) next->Write(record);
  }
};

FailureWatch::FailureWatch() : state_(std::make_shared<State>()) {
  state_->next = g_logSink;
  SetLogSink(state_);
}

FailureWatch::~FailureWatch() { SetLogSink(g_logSink); }

std::string FailureWatch::LastFailure() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->last;
}

QuietLog::QuietLog() { SetLogSink(std::make_shared<DiscardingLogSink>()); }
QuietLog::~QuietLog() { SetLogSink(g_logSink); }

std::string ReadInputFile(const std::string& path, const std::string& what) {
  std::string text, error;
  if (path != "-") {
    if (!ReadBoundedFile(path, text, error))
      throw JobFailure("cannot read " + what + ": " + error);
    return text;
  }
  char buffer[65536];
  while (std::cin.read(buffer, sizeof buffer) || std::cin.gcount() > 0) {
    text.append(buffer, static_cast<size_t>(std::cin.gcount()));
    if (text.size() > kMaxInputFileBytes)
      throw JobFailure(what + " on standard input is larger than " +
                       std::to_string(kMaxInputFileBytes) + " bytes");
  }
  return text;
}

void CheckName(const std::string& name, const std::string& what) {
  if (name.empty()) throw JobFailure(what + " is empty");
  for (size_t at = 0; at < name.size();) {
    uint32_t code = 0;
    size_t length = DecodeUtf8(name, at, code);
    if (length == 0)
      throw JobFailure(what + " [" + Shown(name) +
                       "] is not UTF-8 at byte " + std::to_string(at));
    const char* kind = ForbiddenKind(code);
    if (kind)
      throw JobFailure(what + " [" + Shown(name) + "] has the " + kind + " " +
                       CodePoint(code) + " at byte " + std::to_string(at));
    at += length;
  }
  if (name.front() == ' ' || name.back() == ' ')
    throw JobFailure(what + " [" + name + "] starts or ends with a blank");
}

void CheckNameLengths(const std::string& folder, const std::string& what,
                      const std::vector<std::string>& names) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path existing = fs::absolute(folder, ec);
  while (!existing.empty() && existing != existing.root_path() &&
         !fs::is_directory(existing, ec))
    existing = existing.parent_path();
  long limit = ::pathconf(existing.c_str(), _PC_NAME_MAX);
  if (limit <= 0) limit = NAME_MAX;
  for (const std::string& name : names) {
    if (name.size() <= static_cast<size_t>(limit)) continue;
    std::string shown =
        name.size() > 48 ? name.substr(0, 24) + "..." + name.substr(name.size() - 16)
                         : name;
    throw JobFailure(what + " makes the file name [" + Shown(shown) + "] of " +
                     std::to_string(name.size()) + " bytes; [" +
                     existing.string() + "] takes at most " +
                     std::to_string(limit));
  }
}

void StopIfAsked() {
  if (StopSignal() != 0) throw JobFailure("stopped");
}

bool StoppedError(SJobError& error) {
  int signal = StopSignal();
  if (signal == 0) return false;
  error = {"stopped by " + SignalName(signal) +
               "; the files and folders this run made are removed",
           128 + signal};
  return true;
}

double NowSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

PlatformAccess::PlatformAccess(IJobPlatform& platform,
                               VirtualServerInstanceType kind,
                               const std::string& outputFolder,
                               const std::string& s3Bucket)
    : object_(platform.OpenDestination(kind, outputFolder, s3Bucket)) {
  if (!object_)
    throw JobFailure("no access object for platform kind [" +
                     PlatformKindName(kind) + "]");
  if (!object_->Initialize(0) || !object_->Connect("", "", "")) {
    std::string reason = object_->GetLastErrorText();
    IVMInfo::DeleteObject(object_);
    throw JobFailure("cannot open platform [" + PlatformKindName(kind) +
                     "]: " + reason);
  }
}

PlatformAccess::~PlatformAccess() {
  object_->Disconnect();
  object_->Uninitialize(1);
  IVMInfo::DeleteObject(object_);
}

void DiskShares::Set(const std::string& label, uint64_t done,
                     uint64_t total) {
  int percent = total ? static_cast<int>(done * 100 / total) : 100;
  for (auto& shown : running_)
    if (shown.first == label) {
      shown.second = percent;
      return;
    }
  running_.emplace_back(label, percent);
}

void DiskShares::Drop(const std::string& label) {
  running_.erase(std::remove_if(running_.begin(), running_.end(),
                                [&](const std::pair<std::string, int>& shown) {
                                  return shown.first == label;
                                }),
                 running_.end());
}

}  // namespace zyjobs
