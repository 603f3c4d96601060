//===- StopRequest.h - A run asked to stop by a signal --------------------===//
//
// SIGINT, SIGTERM and SIGHUP do not end the process where they land: the
// handler only records the signal and makes a pipe readable.  Whoever waits
// (a child process's runner polls the pipe beside the child's output)
// stops what it waits for, and the run goes back out through its normal
// code, which removes what it made.  A signal the process was started with
// ignored (nohup) stays ignored.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/ZyExport.h"

#include <atomic>
#include <string>

// Installs the handlers, once, for a program's main.
ZY_PLATFORM_API void StopOnSignals();

// The signal that asked the run to stop, or 0.
ZY_PLATFORM_API int StopSignal();

// A descriptor that becomes readable once a stop is asked, for poll(2); -1
// before StopOnSignals.
ZY_PLATFORM_API int StopDescriptor();

// "SIGTERM", "SIGINT", "SIGHUP", else "signal N".
ZY_PLATFORM_API std::string SignalName(int signal);

// A stop asked of the threads of one run that work side by side (the disks
// of a VM copied at once): when one fails, Stop ends the others' children
// the way a signal does, and their copies return between chunks.  A thread
// joins a group with a StopScope; the group outlives its scopes.
class ZY_PLATFORM_API StopGroup {
 public:
  StopGroup();
  ~StopGroup();
  StopGroup(const StopGroup&) = delete;
  StopGroup& operator=(const StopGroup&) = delete;
  void Stop();
  bool Stopped() const;
  // Readable once stopped, for poll(2); -1 when no pipe could be made
  // (Stopped is then still told).
  int Descriptor() const;

 private:
  int pipe_[2] = {-1, -1};
  std::atomic<bool> stopped_{false};
};

// While it lives, the calling thread belongs to group.
class ZY_PLATFORM_API StopScope {
 public:
  explicit StopScope(StopGroup& group);
  ~StopScope();
  StopScope(const StopScope&) = delete;
  StopScope& operator=(const StopScope&) = delete;

 private:
  StopGroup* previous_;
};

// True when a signal asked the run to stop or the calling thread's group
// was stopped.
ZY_PLATFORM_API bool StopAsked();

// The calling thread's group's descriptor (StopGroup::Descriptor), or -1.
ZY_PLATFORM_API int GroupStopDescriptor();
