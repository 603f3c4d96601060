//===- Golden.cpp - Comparing outputs with the files in tests/data --------===//
#include "support/Golden.h"

#include "platform/support/CQiError.h"
#include "platform/support/EvDebug.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace golden {

bool Updating() {
  const char* update = std::getenv("ZY_UPDATE_GOLDEN");
  return update && std::string(update) == "1";
}

fs::path Data(const std::string& relative) {
  return fs::path(ZY_TEST_DATA_DIR) / relative;
}

fs::path Samples(const std::string& folder) {
  const char* dir = std::getenv("ZY_SAMPLES_DIR");
  fs::path root = dir ? fs::path(dir) : Data("../../../shared/samples");
  return root / folder;
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

std::vector<Case> Cases(const fs::path& path) {
  std::vector<Case> cases;
  std::istringstream in(TempDir::Read(path.string()));
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    Case c{line, {}};
    for (size_t from = 0;;) {
      size_t bar = line.find('|', from);
      c.fields.push_back(line.substr(from, bar - from));
      if (bar == std::string::npos) break;
      from = bar + 1;
    }
    cases.push_back(c);
  }
  EXPECT_FALSE(cases.empty()) << path << " holds no cases";
  return cases;
}

std::vector<Case> Table(const std::string& table) {
  return Cases(Data(table + ".cases"));
}

void CheckCases(const std::string& table, size_t fields,
                const std::function<std::string(const Case&)>& run) {
  std::string actual;
  for (const Case& c : Table(table)) {
    EXPECT_EQ(c.fields.size(), fields) << c.text;
    if (c.fields.size() == fields) actual += "== " + c.text + "\n" + run(c);
  }
  Check(Data(table + ".expected"), actual);
}

std::string Outcome(const CQiError& result) {
  if (!result.IsError()) return "ok";
  for (int number = 1; number < 100; ++number)
    if (FXErrorUtil::IsVS(result, number) &&
        result.GetLocation().strFile == "ZyVMConverter" &&
        result.GetLocation().nLine > 0)
      return "error " + std::to_string(number);
  return result.AsString();
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
