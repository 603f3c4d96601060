//===- FuzzSupport.h - Shared pieces of the fuzz targets -------------------===//
//
// Every target defines LLVMFuzzerTestOneInput.  Built with clang and
// -fsanitize=fuzzer it is a libFuzzer target; built by any compiler with
// Replay.cpp it is a plain program that runs every file of the folders it is
// given, so the regression corpus runs under ctest in every build.
//
// Log lines are dropped (a fuzzer makes millions of them) and standard
// output, where the converter prints its progress, goes to /dev/null.
// Broken invariants abort with a line naming them, so libFuzzer keeps the
// input.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/support/EvDebug.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace zyfuzz {

class DropLines : public LogSink {
 public:
  void Write(const LogRecord&) override {}
};

// Once per process: quiet logging and standard output.
inline void Quiet() {
  static const bool done = [] {
    SetLogSink(std::make_shared<DropLines>());
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
    return true;
  }();
  (void)done;
}

inline std::string Text(const uint8_t* data, size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

[[noreturn]] inline void Broken(const char* what) {
  std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
  std::abort();
}

// Takes typed values from the front of an input; once it is used up every
// value reads as zero or empty.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Empty() const { return size_ == 0; }
  uint8_t Byte() {
    if (size_ == 0) return 0;
    --size_;
    return *data_++;
  }
  uint64_t Number(int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | Byte();
    return value;
  }
  bool Flag() { return Byte() & 1; }
  // A text of at most max bytes, its length taken from the input first.
  std::string Chars(size_t max) {
    size_t length = Byte() % (max + 1);
    if (length > size_) length = size_;
    std::string text(reinterpret_cast<const char*>(data_), length);
    data_ += length;
    size_ -= length;
    return text;
  }
  template <typename T, size_t N>
  const T& Pick(const T (&table)[N]) {
    return table[Byte() % N];
  }

 private:
  const uint8_t* data_;
  size_t size_;
};

}  // namespace zyfuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
