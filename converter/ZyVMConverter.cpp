//===- ZyVMConverter.cpp - Converter object and logging -------------------===//
//
// Construction, destruction and the Log operation of the converter.  The
// other operations live in files named after their concern.
//
//===----------------------------------------------------------------------===//
#include "converter/ZyVMConverter.h"

#include <cstdarg>
#include <cstdio>

ZyVMConverter::ZyVMConverter() = default;

ZyVMConverter::~ZyVMConverter() {
  UnmountSourceVM();
  CleanupDestinationVM();
  // CleanupDestinationVM releases nothing; an access object that this
  // converter created itself is released here so it does not outlive us.
  // One lent by the caller is never released.
  if (bOwnsDestVMInfo) CleanupVMInfo(pDestVMInfo);
}

void ZyVMConverter::Log(const char* function, int level, const char* format,
                        ...) {
  char buffer[4096];
  buffer[0] = '\0';
  if (format) {
    va_list args;
    va_start(args, format);
    // vsnprintf cuts the message at 4095 characters and terminates it.
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
  }
  if (level <= 0) {
    std::printf("%s\n", buffer);
    std::fflush(stdout);
  }
  DebugLvl(function, level, "%s", buffer);
}
