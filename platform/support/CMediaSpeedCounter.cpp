//===- CMediaSpeedCounter.cpp - Throughput counters -----------------------===//
//
// The counters keep totals only, so they cost two clock reads per transfer
// and no memory that grows with the data moved.
//
//===----------------------------------------------------------------------===//
#include "platform/support/CMediaSpeedCounter.h"

#include "platform/support/EvDebug.h"

#include <chrono>
#include <cstdarg>

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kFunction[] = "void CMediaSpeedCounter::Stop(uint64_t)";
constexpr char kSummaryFunction[] = "CMediaSpeedCounter::~CMediaSpeedCounter()";

std::string FormatLine(const char* format, ...)
    __attribute__((format(printf, 1, 2)));

std::string FormatLine(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = VFormatString(format, args);
  va_end(args);
  return text;
}

double Seconds(Clock::duration span) {
  return std::chrono::duration<double>(span).count();
}

}  // namespace

struct CCounterBase::Impl {
  std::string name;
  EvDebug* log = nullptr;
  int format = CMediaSpeedCounter::kFormatRate;
  bool logging = false;
  Clock::duration interval{};
  Clock::time_point lastLine{};
  bool running = false;
  Clock::time_point started{};
  uint64_t bytes = 0;
  Clock::duration busy{};
  uint64_t stops = 0;

  std::string Line() const {
    double seconds = Seconds(busy);
    double rate = seconds > 0 ? static_cast<double>(bytes) / seconds / 1e6 : 0;
    std::string text = FormatLine("%s: %.2f MB/s", name.c_str(), rate);
    if (format & CMediaSpeedCounter::kFormatTotals)
      text += FormatLine(", %llu bytes in %.3f s",
                         static_cast<unsigned long long>(bytes), seconds);
    return text;
  }

  void Write(const char* function, const std::string& line) {
    EvDebug platformLog;
    EvDebug& sink = log ? *log : platformLog;
    sink.Debug(function, "%s", line.c_str());
  }
};

CCounterBase::CCounterBase() : impl_(new Impl) {}

CCounterBase::~CCounterBase() = default;

void CCounterBase::Init(const std::string& name, int /*flags*/) {
  impl_->name = name;
  impl_->running = false;
  impl_->bytes = 0;
  impl_->busy = Clock::duration::zero();
  impl_->stops = 0;
}

void CCounterBase::EnableLogging(int intervalSeconds) {
  impl_->logging = intervalSeconds >= 0;
  impl_->interval =
      std::chrono::seconds(intervalSeconds < 0 ? 0 : intervalSeconds);
  impl_->lastLine = Clock::now();
}

uint64_t CCounterBase::TotalBytes() const { return impl_->bytes; }

double CCounterBase::BusySeconds() const { return Seconds(impl_->busy); }

CMediaSpeedCounter::CMediaSpeedCounter(EvDebug* log) { impl_->log = log; }

CMediaSpeedCounter::~CMediaSpeedCounter() {
  if (impl_->logging && impl_->stops > 0)
    impl_->Write(kSummaryFunction, impl_->Line());
}

void CMediaSpeedCounter::Start() {
  impl_->running = true;
  impl_->started = Clock::now();
}

void CMediaSpeedCounter::Stop(uint64_t bytes) {
  Clock::time_point now = Clock::now();
  if (impl_->running) impl_->busy += now - impl_->started;
  impl_->running = false;
  impl_->bytes += bytes;
  ++impl_->stops;
  if (!impl_->logging || now - impl_->lastLine < impl_->interval) return;
  impl_->lastLine = now;
  impl_->Write(kFunction, impl_->Line());
}

void CMediaSpeedCounter::SetFormat(int format) { impl_->format = format; }
