//===- StopRequest.cpp - A run asked to stop by a signal ------------------===//
#include "platform/support/StopRequest.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

std::atomic<int> gSignal{0};
thread_local StopGroup* tGroup = nullptr;
int gPipe[2] = {-1, -1};

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Async-signal-safe: an atomic store and a write to a non-blocking pipe.
extern "C" void RecordStop(int signal) {
  int saved = errno;
  int none = 0;
  gSignal.compare_exchange_strong(none, signal);
  if (gPipe[1] >= 0) {
    char byte = 1;
    ssize_t ignored = ::write(gPipe[1], &byte, 1);
    (void)ignored;
  }
  errno = saved;
}

}  // namespace

void StopOnSignals() {
  if (gPipe[0] >= 0) return;
  if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) gPipe[0] = gPipe[1] = -1;
  for (int signal : kStopSignals) {
    struct sigaction old {};
    if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
      continue;
    struct sigaction action {};
    action.sa_handler = RecordStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocked call returns EINTR
    ::sigaction(signal, &action, nullptr);
  }
}

int StopSignal() { return gSignal.load(); }

int StopDescriptor() { return gPipe[0]; }

std::string SignalName(int signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "signal " + std::to_string(signal);
  }
}

StopGroup::StopGroup() {
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) pipe_[0] = pipe_[1] = -1;
}

StopGroup::~StopGroup() {
  for (int fd : pipe_)
    if (fd >= 0) ::close(fd);
}

void StopGroup::Stop() {
  if (stopped_.exchange(true) || pipe_[1] < 0) return;
  char byte = 1;
  ssize_t ignored = ::write(pipe_[1], &byte, 1);
  (void)ignored;
}

bool StopGroup::Stopped() const { return stopped_.load(); }

int StopGroup::Descriptor() const { return pipe_[0]; }

StopScope::StopScope(StopGroup& group) : previous_(tGroup) { tGroup = &group; }

StopScope::~StopScope() { tGroup = previous_; }

bool StopAsked() {
  return gSignal.load() != 0 || (tGroup && tGroup->Stopped());
}

int GroupStopDescriptor() { return tGroup ? tGroup->Descriptor() : -1; }
