//===- EvDebug.cpp - Platform logging -------------------------------------===//
#include "platform/support/EvDebug.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

class DefaultLogSink : public LogSink {
 public:
  DefaultLogSink() {
    if (const char* level = std::getenv("ZY_LOG_LEVEL")) {
      char* end = nullptr;
      long value = std::strtol(level, &end, 10);
      if (end != level) threshold_ = static_cast<int>(value);
    }
    if (const char* path = std::getenv("ZY_LOG_FILE"); path && *path) {
      file_ = std::fopen(path, "a");
    }
  }
  ~DefaultLogSink() override {
    if (file_) std::fclose(file_);
  }
  void Write(const LogRecord& record) override {
    if (record.level > threshold_) return;
    std::FILE* out = file_ ? file_ : stderr;
    std::string line = FormatLogRecord(record);
    std::fprintf(out, "%s\n", line.c_str());
    std::fflush(out);
  }

 private:
  int threshold_ = 2;
  std::FILE* file_ = nullptr;
};

std::mutex& SinkMutex() {
  static std::mutex mutex;
  return mutex;
}

std::shared_ptr<LogSink>& SinkSlot() {
  static std::shared_ptr<LogSink> sink;
  return sink;
}

std::shared_ptr<LogSink> CurrentSink() {
  std::lock_guard<std::mutex> lock(SinkMutex());
  auto& slot = SinkSlot();
  if (!slot) slot = std::make_shared<DefaultLogSink>();
  return slot;
}

void Emit(LogKind kind, const char* function, int level, const char* format,
          va_list args) {
  LogRecord record;
  record.kind = kind;
  record.function = function ? function : "";
  record.level = level;
  record.message = VFormatString(format, args);
  CurrentSink()->Write(record);
}

const char* KindName(LogKind kind) {
  switch (kind) {
    case LogKind::DebugLvl:
      return "DebugLvl";
    case LogKind::Error:
      return "Error";
    case LogKind::Debug:
      return "Debug";
    case LogKind::debug:
      return "debug";
  }
  return "?";
}

}  // namespace

std::string VFormatString(const char* format, va_list args) {
  if (!format) return {};
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, args);
  text.resize(static_cast<size_t>(length));
  return text;
}

LogSink::~LogSink() = default;

void SetLogSink(std::shared_ptr<LogSink> sink) {
  std::lock_guard<std::mutex> lock(SinkMutex());
  SinkSlot() = std::move(sink);
}

std::string FormatLogRecord(const LogRecord& record) {
  std::string text = std::string(KindName(record.kind)) + " [" +
                     std::to_string(record.level) + "]";
  if (!record.function.empty()) text += " " + record.function + ":";
  return text + " " + record.message;
}

struct CapturingLogSink::State {
  mutable std::mutex mutex;
  std::vector<LogRecord> records;
};

CapturingLogSink::CapturingLogSink() : state_(std::make_shared<State>()) {}

void CapturingLogSink::Write(const LogRecord& record) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->records.push_back(record);
}

std::vector<LogRecord> CapturingLogSink::Records() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->records;
}

void CapturingLogSink::Clear() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->records.clear();
}

bool CapturingLogSink::Contains(const std::string& message) const {
  for (const auto& r : Records())
    if (r.message == message) return true;
  return false;
}

bool CapturingLogSink::Contains(LogKind kind,
                                const std::string& message) const {
  for (const auto& r : Records())
    if (r.kind == kind && r.message == message) return true;
  return false;
}

bool CapturingLogSink::ContainsAtLevel(const std::string& message,
                                       int level) const {
  for (const auto& r : Records())
    if (r.message == message && r.level == level) return true;
  return false;
}

ScopedLogCapture::ScopedLogCapture()
    : sink_(std::make_shared<CapturingLogSink>()) {
  SetLogSink(sink_);
}

ScopedLogCapture::~ScopedLogCapture() { SetLogSink(nullptr); }

EvDebug::~EvDebug() = default;
EvEvent::~EvEvent() = default;

void EvDebug::DebugLvl(const char* function, int level, const char* format,
                       ...) {
  va_list args;
  va_start(args, format);
  Emit(LogKind::DebugLvl, function, level, format, args);
  va_end(args);
}

void EvDebug::Error(const char* function, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Emit(LogKind::Error, function, -1, format, args);
  va_end(args);
}

void EvDebug::Debug(const char* function, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Emit(LogKind::Debug, function, 1, format, args);
  va_end(args);
}

void EvDebug::debug(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Emit(LogKind::debug, nullptr, 1, format, args);
  va_end(args);
}
