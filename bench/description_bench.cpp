//===- description_bench.cpp - Worst-shaped descriptions, time and memory -===//
//
// zy_description_bench
//
// Reads and writes the generalised description at the shapes that cost the
// most: a 16 MiB text of minimal disk entries (refused at the disk cap), a
// description at every list's cap with long chains of delta disks (refused
// by the writer when its text outgrows what the reader takes), and files
// full of properties at one, two and four times a count, which shows writing
// grows with its output and not with its square.  Each case runs in its own
// process and prints its time, its peak resident memory and its outcome.
// Build it Release (-DCMAKE_BUILD_TYPE=Release -DZY_BUILD_BENCH=ON).
//
//===----------------------------------------------------------------------===//
#include "formats/zyf/RecordJsonCodec.h"
#include "formats/common/FormatText.h"
#include "platform/support/BoundedFile.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

using namespace VMInfoStructs;

namespace {

// Runs one case in a child process; prints its figures.
void Run(const char* name, const std::function<std::string()>& job) {
  std::fflush(stdout);
  pid_t child = ::fork();
  if (child == 0) {
    auto start = std::chrono::steady_clock::now();
    std::string outcome = job();
    double seconds = std::chrono::duration<double>(
                         std::chrono::steady_clock::now() - start)
                         .count();
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("%-36s %7.2f s %7ld MB  %s\n", name, seconds,
                usage.ru_maxrss / 1024, outcome.c_str());
    std::fflush(stdout);
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
}

std::string MinimalDisks() {
  std::string text = R"({"format":"ZyVMConfig","version":1,"vm":{"vDisks":[)";
  while (text.size() + 8 < kMaxInputFileBytes) text += "{},";
  text += "{}]}}";
  SVMInfo info;
  std::string error;
  return ParseZyf(text, info, error) ? "read" : "refused: " + error;
}

std::string WriteOutcome(const SVMInfo& info) {
  std::string error;
  std::string text = WriteZyf(info, error);
  return text.empty() ? "refused: " + error
                      : "written, " + std::to_string(text.size()) + " bytes";
}

std::string DisksAtTheirCaps() {
  SVMInfo info;
  info.vDisks.resize(ZyRecordJson::ListCapOf("vDisks"));
  for (SDisk& disk : info.vDisks)
    disk.vChildDisks.resize(ZyRecordJson::ListCapOf("vChildDisks"));
  return WriteOutcome(info);
}

std::string Properties(size_t files) {
  SVMInfo info;
  info.fileLayout.vFiles.resize(files);
  for (SVMFile& file : info.fileLayout.vFiles)
    for (size_t i = 0; i < ZyRecordJson::ListCapOf("properties"); ++i)
      file.properties["p" + std::to_string(i)] = "v";
  return WriteOutcome(info);
}

}  // namespace

int main() {
  Run("read 16 MiB of minimal disks", MinimalDisks);
  Run("write disks and delta disks at caps", DisksAtTheirCaps);
  Run("write 128 files x 1024 properties", [] { return Properties(128); });
  Run("write 256 files x 1024 properties", [] { return Properties(256); });
  Run("write 512 files x 1024 properties", [] { return Properties(512); });
  return 0;
}
