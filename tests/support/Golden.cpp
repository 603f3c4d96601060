//===- Golden.cpp - Comparing outputs with the files in tests/data --------===//
#include "support/Golden.h"

#include "platform/support/EvDebug.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;

namespace golden {

bool Updating() {
  const char* update = std::getenv("ZY_UPDATE_GOLDEN");
  return update && std::string(update) == "1";
}

fs::path Data(const std::string& relative) {
  return fs::path(ZY_TEST_DATA_DIR) / relative;
}

std::vector<fs::path> Files(const fs::path& folder,
                            const std::string& extension) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().extension() == extension) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

void Check(const fs::path& path, const std::string& actual) {
  if (Updating()) {
    std::ofstream(path, std::ios::binary) << actual;
    return;
  }
  ASSERT_TRUE(fs::exists(path))
      << path << " is missing; run with ZY_UPDATE_GOLDEN=1 and review it";
  EXPECT_EQ(actual, TempDir::Read(path.string())) << path;
}

std::string Lines(const std::vector<LogRecord>& records) {
  std::string lines;
  for (LogRecord record : records) {
    record.function.clear();
    lines += FormatLogRecord(record) + "\n";
  }
  return lines;
}

}  // namespace golden
