//===- EvDebug.h - Platform logging ---------------------------------------===//
//
// EvDebug is the platform's logging sink kind: every object that logs passes
// itself as the EvDebug.  All lines go to one process-wide sink.  The default
// sink appends to the file named by ZY_LOG_FILE (standard error when unset)
// and drops lines above the level in ZY_LOG_LEVEL (default 2).  Tests install
// a capturing sink and assert on exact records.
//
// Record kinds and the level each carries:
//   DebugLvl  the level given
//   Error     -1
//   Debug     1
//   debug     1
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/ZyExport.h"

#include <cstdarg>
#include <memory>
#include <string>
#include <vector>

enum class LogKind { DebugLvl, Error, Debug, debug };

struct ZY_PLATFORM_API LogRecord {
  LogKind kind = LogKind::debug;
  std::string function;  // empty for debug()
  int level = 0;
  std::string message;
};

// Receives every line written through EvDebug.
class ZY_PLATFORM_API LogSink {
 public:
  virtual ~LogSink();
  virtual void Write(const LogRecord& record) = 0;
};

// Replaces the process-wide sink; null restores the default one.
ZY_PLATFORM_API void SetLogSink(std::shared_ptr<LogSink> sink);

// Text of a record as the default sink writes it, without a line end.
ZY_PLATFORM_API std::string FormatLogRecord(const LogRecord& record);

// A sink that keeps every record, for the tests; not exported.
class ZY_TEST_SEAM CapturingLogSink : public LogSink {
 public:
  CapturingLogSink();
  void Write(const LogRecord& record) override;
  std::vector<LogRecord> Records() const;
  void Clear();
  // True when some record has exactly this message (and level, if given).
  bool Contains(const std::string& message) const;
  bool Contains(LogKind kind, const std::string& message) const;
  bool ContainsAtLevel(const std::string& message, int level) const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

// Installs a CapturingLogSink for the lifetime of the object; not exported.
class ZY_TEST_SEAM ScopedLogCapture {
 public:
  ScopedLogCapture();
  ~ScopedLogCapture();
  ScopedLogCapture(const ScopedLogCapture&) = delete;
  ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;
  CapturingLogSink& sink() { return *sink_; }

 private:
  std::shared_ptr<CapturingLogSink> sink_;
};

class ZY_PLATFORM_API EvDebug {
 public:
  EvDebug() = default;
  virtual ~EvDebug();

  void DebugLvl(const char* function, int level, const char* format, ...)
      __attribute__((format(printf, 4, 5)));
  void Error(const char* function, const char* format, ...)
      __attribute__((format(printf, 3, 4)));
  void Debug(const char* function, const char* format, ...)
      __attribute__((format(printf, 3, 4)));
  void debug(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

// The platform's event object; the converter derives from it.
class ZY_PLATFORM_API EvEvent : public EvDebug {
 public:
  EvEvent() = default;
  ~EvEvent() override;
};

// printf into a std::string, whatever the length.
ZY_PLATFORM_API std::string VFormatString(const char* format, va_list args);
