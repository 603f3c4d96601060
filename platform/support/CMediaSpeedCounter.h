//===- CMediaSpeedCounter.h - Throughput counters -------------------------===//
//
// A CMediaSpeedCounter measures how fast a medium moves data: the caller
// brackets each transfer with Start and Stop(bytes), and the counter adds up
// the bytes and the time spent inside the brackets (time between transfers
// is not the medium's).  It reports on its own in the platform log:
//
//   - with logging enabled, at most one throughput line per logging interval
//     (an interval of 0 logs every Stop), written when a Stop ends it;
//   - a summary when it is destroyed, if logging is enabled and something
//     was measured.
//
// Lines are "<name>: <rate> MB/s" (MB = 10^6 bytes); format 3 adds the
// totals: "<name>: <rate> MB/s, <bytes> bytes in <seconds> s".  A counter on
// which EnableLogging was never called writes nothing.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/ZyExport.h"

#include <cstdint>
#include <memory>
#include <string>

class EvDebug;

class ZY_PLATFORM_API CCounterBase {
 public:
  CCounterBase();
  virtual ~CCounterBase();
  CCounterBase(const CCounterBase&) = delete;
  CCounterBase& operator=(const CCounterBase&) = delete;

  // Names the counter and clears what it has measured; flags are reserved
  // (callers pass 0).
  void Init(const std::string& name, int flags);
  // Enables the periodic lines and the summary; a negative interval
  // disables them again.
  void EnableLogging(int intervalSeconds);

  // What has been measured so far.
  uint64_t TotalBytes() const;
  double BusySeconds() const;

 protected:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

class ZY_PLATFORM_API CMediaSpeedCounter : public CCounterBase {
 public:
  // Format bits: the rate is always shown; kFormatTotals adds the byte count
  // and the busy time.
  static constexpr int kFormatRate = 1;
  static constexpr int kFormatTotals = 2;

  // Lines go through log, or straight to the platform log when it is null.
  explicit CMediaSpeedCounter(EvDebug* log);
  ~CMediaSpeedCounter() override;

  void Start();
  // Ends the transfer begun by Start; bytes is what it moved.  A Stop
  // without a Start counts the bytes but no time.
  void Stop(uint64_t bytes);
  void SetFormat(int format);
};
