//===- JobSupport.cpp - What the jobs share inside the library ------------===//
#include "JobSupport.h"

#include "platform/support/BoundedFile.h"
#include "platform/support/EvDebug.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <iostream>
#include <mutex>

namespace zyjobs {
namespace {

std::shared_ptr<LogSink> g_logSink;  // null: the platform's default sink

class DiscardingLogSink : public LogSink {
 public:
  void Write(const LogRecord&) override {}
};

}  // namespace

void IJobObserver::OnDiskProgress(const std::string&, uint64_t, uint64_t) {}
void IJobObserver::OnDiskDone(const std::string&) {}
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
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    // C0 controls, DEL, and the C1 controls (U+0080 to U+009F in UTF-8).
    bool c1 = c == 0xc2 && i + 1 < name.size() &&
              static_cast<unsigned char>(name[i + 1]) <= 0x9f &&
              static_cast<unsigned char>(name[i + 1]) >= 0x80;
    if (c < 0x20 || c == 0x7f || c1)
      throw JobFailure(what + " [" + nlohmann::json(name).dump() +
                       "] has a control character");
  }
  if (name.front() == ' ' || name.back() == ' ')
    throw JobFailure(what + " [" + name + "] starts or ends with a blank");
}

double NowSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace zyjobs
