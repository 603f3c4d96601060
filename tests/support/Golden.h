//===- Golden.h - Comparing outputs with the files in tests/data ----------===//
//
// A golden file holds the output a case must give.  With ZY_UPDATE_GOLDEN=1
// the comparison writes the output instead (review the difference before
// committing it).
//
//===----------------------------------------------------------------------===//
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct LogRecord;
class CQiError;

namespace golden {

bool Updating();

// The data folder's path: tests/data/<relative>.
std::filesystem::path Data(const std::string& relative);

// A folder of the public real-world samples: ZY_SAMPLES_DIR/<folder>, else
// ../shared/samples/<folder> beside the repository.  It may be absent.
std::filesystem::path Samples(const std::string& folder);

// The files in folder whose names end with extension, sorted.
std::vector<std::filesystem::path> Files(const std::filesystem::path& folder,
                                         const std::string& extension);

// Fails the test when actual differs from the file (or writes it).
void Check(const std::filesystem::path& path, const std::string& actual);

// A table of cases: one case a line, its fields separated by '|'; blank
// lines and lines starting with '#' are skipped.
struct Case {
  std::string text;  // the line as written
  std::vector<std::string> fields;
};
std::vector<Case> Cases(const std::filesystem::path& path);
// The cases of tests/data/<table>.cases.
std::vector<Case> Table(const std::string& table);

// Each case of tests/data/<table>.cases, with as many fields as fields,
// run through run; what they give, each after "== <case>", must be
// tests/data/<table>.expected.
void CheckCases(const std::string& table, size_t fields,
                const std::function<std::string(const Case&)>& run);

// "ok", "error <n>" for converter error n raised in the converter, or the
// error's own text.
std::string Outcome(const CQiError& result);

// The records one a line, as the log writes them but without the function.
std::string Lines(const std::vector<LogRecord>& records);

}  // namespace golden
