//===- zyf.cpp - Fuzz target: VMConfig.zyf read, written and read again ---===//
//
// Whatever the reader accepts, the writer writes so that the reader takes it
// back as the same description: written twice, the texts are equal.
//
//===----------------------------------------------------------------------===//
#include "FuzzSupport.h"

#include "formats/common/FormatText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zyfuzz::Quiet();
  VMInfoStructs::SVMInfo first;
  std::string error;
  if (!ParseZyf(zyfuzz::Text(data, size), first, error)) return 0;
  std::string written = WriteZyf(first);
  VMInfoStructs::SVMInfo second;
  if (!ParseZyf(written, second, error))
    zyfuzz::Broken(("the reader refuses the writer's text: " + error).c_str());
  if (WriteZyf(second) != written)
    zyfuzz::Broken("a description written and read back differs");
  return 0;
}
