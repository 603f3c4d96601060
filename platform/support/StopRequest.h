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
