//===- ChildProcess.cpp - Running other programs --------------------------===//
#include "ChildProcess.h"

#include "platform/support/StopRequest.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

constexpr std::size_t kMaxOutput = 1 << 20;

using Clock = std::chrono::steady_clock;

// Spawns argv in a new process group; stdout and stderr go to the given
// descriptors.  0 or the errno of the failure.
int Spawn(const std::vector<std::string>& argv, int outFd, int errFd,
          const char* outFile, pid_t& pid) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (outFile) {
    posix_spawn_file_actions_addopen(&actions, 1, outFile,
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  } else {
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    posix_spawn_file_actions_adddup2(&actions, errFd, 2);
  }
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  std::vector<char*> args;
  for (const std::string& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  int error = posix_spawn(&pid, argv[0].c_str(), &actions, &attributes,
                          args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return error;
}

// What a socket-activated server gets beside its arguments: the listening
// socket as descriptor 3 and an environment whose LISTEN_PID the child
// fills in with its own pid (pidDigits points at that value's room).
struct Activation {
  int listenFd = -1;
  char* pidDigits = nullptr;
  char* const* envp = environ;
};

// Writes n in decimal to at, async-signal-safe; at has room for 20 digits
// and a zero after them.
void WriteDecimal(char* at, unsigned long n) {
  char digits[21];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n != 0);
  while (count > 0) *at++ = digits[--count];
  *at = '\0';
}

// In the forked child: descriptor 3 and the pid for socket activation.
int Activate(const Activation& activation) {
  if (activation.listenFd < 0) return 0;
  if (activation.listenFd == 3 ? fcntl(3, F_SETFD, 0) < 0
                               : dup2(activation.listenFd, 3) < 0)
    return errno;
  WriteDecimal(activation.pidDigits, static_cast<unsigned long>(getpid()));
  return 0;
}

// Forks argv in a new process group confined by ruleset (none when it is
// negative), the descriptors in inherit kept open across the exec; as
// Spawn.  The child does only async-signal-safe work and reports a failure
// before exec through a close-on-exec pipe.
int SpawnConfined(const std::vector<std::string>& argv, int outFd, int errFd,
                  int ruleset, pid_t& pid,
                  const Activation& activation = Activation(),
                  const std::vector<int>& inherit = {}) {
  std::vector<char*> args;
  for (const std::string& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return errno;
  pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    int error = input < 0 ? errno : 0;
    if (error == 0 && (dup2(input, 0) < 0 || dup2(outFd, 1) < 0 ||
                       dup2(errFd, 2) < 0))
      error = errno;
    if (error == 0) error = Activate(activation);
    for (int fd : inherit)
      if (error == 0 && fcntl(fd, F_SETFD, 0) != 0) error = errno;
    if (error == 0 && ruleset >= 0) error = RestrictSelf(ruleset);
    if (error == 0) execve(args[0], args.data(), activation.envp);
    if (error == 0) error = errno;
    ssize_t ignored = write(report[1], &error, sizeof error);
    (void)ignored;
    _exit(127);
  }
  int error = pid < 0 ? errno : 0;
  close(report[1]);
  if (pid > 0) {
    setpgid(pid, pid);  // as the child does, whichever runs first
    int childError = 0;
    ssize_t got;
    while ((got = read(report[0], &childError, sizeof childError)) < 0 &&
           errno == EINTR) {
    }
    if (got == static_cast<ssize_t>(sizeof childError)) {
      error = childError;
      while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
  }
  close(report[0]);
  return error;
}

// Milliseconds until the nearer limit passes, or -1 for none.
int WaitMillis(const ChildLimits& limits, Clock::time_point start,
               Clock::time_point lastOutput) {
  auto now = Clock::now();
  auto left = std::chrono::milliseconds::max();
  if (limits.totalSeconds > 0)
    left = std::min(left, std::chrono::duration_cast<std::chrono::milliseconds>(
                              start + std::chrono::seconds(limits.totalSeconds) - now));
  if (limits.idleSeconds > 0)
    left = std::min(left, std::chrono::duration_cast<std::chrono::milliseconds>(
                              lastOutput + std::chrono::seconds(limits.idleSeconds) - now));
  if (left == std::chrono::milliseconds::max()) return -1;
  return static_cast<int>(std::max<int64_t>(0, left.count()));
}

// Reads both pipes to their end or until a limit passes or a signal asks
// the run to stop (false then: the caller kills the group).  The stop's
// pipe (StopRequest.h) is polled beside the child's, so a stop is seen at
// once whatever the child does.
bool Drain(int outFd, int errFd, const ChildLimits& limits, std::string& out,
           std::string& err, const ChildOutput& onOutput) {
  struct pollfd fds[4] = {{outFd, POLLIN, 0},
                          {errFd, POLLIN, 0},
                          {StopDescriptor(), POLLIN, 0},
                          {GroupStopDescriptor(), POLLIN, 0}};
  std::string* into[2] = {&out, &err};
  int open = 2;
  char chunk[65536];
  Clock::time_point start = Clock::now(), lastOutput = start;
  while (open > 0) {
    int wait = WaitMillis(limits, start, lastOutput);
    if (wait == 0 || StopAsked()) return false;
    int ready = poll(fds, 4, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return true;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        fds[i].fd = -1;
        --open;
        continue;
      }
      lastOutput = Clock::now();
      if (i == 0 && onOutput) {
        onOutput(chunk, static_cast<std::size_t>(n));
        continue;
      }
      std::size_t room = kMaxOutput - std::min(kMaxOutput, into[i]->size());
      into[i]->append(chunk, std::min(room, static_cast<std::size_t>(n)));
    }
  }
  return true;
}

std::string LastLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
    text.pop_back();
  std::size_t newline = text.rfind('\n');
  return newline == std::string::npos ? text : text.substr(newline + 1);
}

}  // namespace

std::string FindProgram(const std::string& name) {
  const char* search = std::getenv("PATH");
  std::string folders = search ? search : "/usr/bin:/bin";
  for (std::size_t start = 0; start <= folders.size();) {
    std::size_t colon = std::min(folders.find(':', start), folders.size());
    std::string folder = folders.substr(start, colon - start);
    start = colon + 1;
    if (folder.empty()) continue;  // never the current folder
    std::string candidate = folder + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

std::string ChildResult::Reason(const std::string& program,
                                const ChildLimits& limits) const {
  if (startError != 0)
    return "cannot start " + program + ": " + std::strerror(startError);
  if (timedOut)
    return program + (limits.idleSeconds > 0
                          ? " made no progress for " +
                                std::to_string(limits.idleSeconds) + " s"
                          : " did not finish within " +
                                std::to_string(limits.totalSeconds) + " s");
  std::string line = LastLine(err);
  if (!line.empty()) return line;
  return signal != 0 ? "killed by signal " + std::to_string(signal)
                     : "exit status " + std::to_string(exitCode);
}

ChildResult RunChild(const std::vector<std::string>& argv,
                     const ChildLimits& limits, std::string& out,
                     const ChildOutput& onOutput, const ChildFolders& folders) {
  ChildResult result;
  int ruleset = -1;
  if (!folders.Empty()) {
    ruleset = ConfinementRuleset(folders, argv[0], result.startError);
    if (ruleset == -2) return result;
  }
  int outPipe[2], errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0) {
    result.startError = errno;
    if (ruleset >= 0) close(ruleset);
    return result;
  }
  if (pipe2(errPipe, O_CLOEXEC) != 0) {
    result.startError = errno;
    close(outPipe[0]);
    close(outPipe[1]);
    if (ruleset >= 0) close(ruleset);
    return result;
  }
  pid_t pid = 0;
  result.startError =
      ruleset >= 0 ? SpawnConfined(argv, outPipe[1], errPipe[1], ruleset, pid)
                   : Spawn(argv, outPipe[1], errPipe[1], nullptr, pid);
  if (ruleset >= 0) close(ruleset);
  close(outPipe[1]);
  close(errPipe[1]);
  if (result.startError == 0)
    result.timedOut =
        !Drain(outPipe[0], errPipe[0], limits, out, result.err, onOutput);
  close(outPipe[0]);
  close(errPipe[0]);
  if (result.startError != 0) return result;
  if (result.timedOut) kill(-pid, SIGKILL);
  // Until the child is reaped its group cannot be another's, so what the
  // child started is ended with it before the reaping.
  siginfo_t info{};
  while (waitid(P_PID, pid, &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
  }
  kill(-pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

pid_t StartChild(const std::vector<std::string>& argv,
                 const std::string& output, int& errnum,
                 const ChildFolders& folders, const std::vector<int>& inherit) {
  pid_t pid = 0;
  if (folders.Empty() && inherit.empty()) {
    errnum = Spawn(argv, -1, -1, output.c_str(), pid);
    return errnum != 0 ? -1 : pid;
  }
  int ruleset = -1;
  if (!folders.Empty()) {
    ruleset = ConfinementRuleset(folders, argv[0], errnum);
    if (ruleset == -2) return -1;
  }
  int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                   0600);
  errnum = out < 0 ? errno : SpawnConfined(argv, out, out, ruleset, pid, Activation(),
                                   inherit);
  if (out >= 0) close(out);
  if (ruleset >= 0) close(ruleset);
  return errnum != 0 ? -1 : pid;
}

pid_t StartServer(const std::vector<std::string>& argv, int listenFd,
                  const ChildFolders& folders, int& errnum) {
  std::vector<std::string> env;
  for (char** at = environ; *at; ++at)
    if (std::strncmp(*at, "LISTEN_", 7) != 0) env.emplace_back(*at);
  env.emplace_back("LISTEN_FDS=1");
  constexpr char kPid[] = "LISTEN_PID=";
  env.emplace_back(std::string(kPid) + std::string(21, '\0'));
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(&entry[0]);
  envp.push_back(nullptr);
  Activation activation{listenFd, &env.back()[sizeof kPid - 1], envp.data()};
  errnum = 0;
  int ruleset = ConfinementRuleset(folders, argv[0], errnum);
  if (ruleset == -2) return -1;
  int output = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  pid_t pid = 0;
  errnum = output < 0 ? errno
                      : SpawnConfined(argv, output, 2, ruleset, pid, activation);
  if (output >= 0) close(output);
  if (ruleset >= 0) close(ruleset);
  return errnum == 0 ? pid : -1;
}

bool AwaitChild(pid_t pid, int seconds) {
  Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
  siginfo_t info{};
  for (;;) {
    info.si_pid = 0;
    int got = waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT);
    if (got == 0 && info.si_pid == pid) break;
    if (got < 0 && errno != EINTR) break;
    if (Clock::now() >= end || StopSignal() != 0) {
      StopChild(pid);
      return false;
    }
    struct pollfd stop = {StopDescriptor(), POLLIN, 0};
    poll(&stop, 1, 10);
  }
  kill(-pid, SIGKILL);  // what it started ends with it
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void StopChild(pid_t pid) {
  if (pid <= 0) return;
  kill(-pid, SIGKILL);
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}
