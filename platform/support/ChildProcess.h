//===- ChildProcess.h - Running other programs ----------------------------===//
//
// Every program this system starts (qemu-img, qemu-nbd's callers, qemu for
// a boot check) is found on PATH and started here, one way: standard input
// from /dev/null, in a process group of its own, and under a time limit, so
// that a child that blocks (on a FIFO a hostile image names, say) is ended
// with everything it started instead of hanging the tool.  A signal that
// asks the run to stop, or a stop of the calling thread's group
// (StopRequest.h), ends a running child's group the same way, at once.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "Confinement.h"
#include "model/ZyExport.h"

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// The full path of the first executable name in a folder on PATH
// (/usr/bin:/bin when PATH is unset); empty when there is none.
ZY_PLATFORM_API std::string FindProgram(const std::string& name);

// How long a child may run: at most totalSeconds in all, and at most
// idleSeconds without writing anything; 0 leaves a limit off.
struct ChildLimits {
  int totalSeconds = 0;
  int idleSeconds = 0;
};

struct ZY_PLATFORM_API ChildResult {
  int startError = 0;     // errno of a failed start; nothing ran
  bool timedOut = false;  // a limit passed and the group was killed
  int exitCode = -1;      // when it exited
  int signal = 0;         // when a signal ended it
  std::string err;        // its standard error, at most 1 MiB
  bool Exited(int code) const {
    return startError == 0 && !timedOut && signal == 0 && exitCode == code;
  }
  // One line telling why it did not exit with 0: the last line of its
  // standard error, else how it ended.
  std::string Reason(const std::string& program, const ChildLimits& limits) const;
};

// Runs argv (argv[0] a full path) to its end, collecting at most 1 MiB of
// its standard output into out, or handing the output to onOutput as it
// comes.  Given folders, the child reaches only those and the system's
// (see Confinement.h).
using ChildOutput = std::function<void(const char* bytes, std::size_t length)>;
ZY_PLATFORM_API ChildResult RunChild(const std::vector<std::string>& argv,
                                     const ChildLimits& limits, std::string& out,
                                     const ChildOutput& onOutput = nullptr,
                                     const ChildFolders& folders = {});

// Starts argv in a process group of its own with standard output and error
// going to the file output (created or truncated); the caller watches it
// and ends it with StopChild.  -1 with errnum set when it cannot start.
// Given folders, the child is confined as RunChild's; the descriptors in
// inherit (open files the caller checked) stay open in the child under
// their numbers, all others close at its start.
ZY_PLATFORM_API pid_t StartChild(const std::vector<std::string>& argv,
                                 const std::string& output, int& errnum,
                                 const ChildFolders& folders = {},
                                 const std::vector<int>& inherit = {});

// Starts argv as a server activated through a socket (the systemd way): the
// listening socket listenFd becomes its descriptor 3, LISTEN_FDS=1 and
// LISTEN_PID its pid.  In a process group of its own, standard input and
// output on /dev/null, confined to folders (Confinement.h); the caller
// ends it with AwaitChild or StopChild.  -1 with errnum set when it cannot
// start.
pid_t StartServer(const std::vector<std::string>& argv, int listenFd,
                  const ChildFolders& folders, int& errnum);

// Waits up to seconds for a started child to exit by itself (a stop request
// cuts the wait short), else kills its group; reaps it.  True when it
// exited with 0.
ZY_PLATFORM_API bool AwaitChild(pid_t pid, int seconds);

// Kills the child's whole process group and reaps the child.
ZY_PLATFORM_API void StopChild(pid_t pid);
