//===- ReadersGoldenTest.cpp - Configuration readers against golden files -===//
//
// tests/data/readers/<format>/ holds input files and, beside each,
//   <case>.expected  the description it must give, as the zyf writer writes it
//   <case>.error     for an invalid input: a text the one error line contains
// Every input is read through the reader class the converter uses, from a
// fresh description.  ZY_UPDATE_GOLDEN=1 rewrites the .expected files from
// what the readers give now (review the difference before committing it).
//
//===----------------------------------------------------------------------===//
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/support/EvDebug.h"
#include "platform/readers/OracleVMConfigFile.h"
#include "platform/readers/VMConfigFile.h"
#include "platform/readers/VMConfigFormat.h"
#include "platform/readers/VMXFile.h"
#include "support/TempDir.h"

using VMInfoStructs::SVMInfo;
namespace fs = std::filesystem;

namespace {

bool ReadVmx(const std::string& path, SVMInfo& info) {
  VMXFile file;
  return file.LoadFile(path, false) && file.GetVMInfo(info);
}

bool ReadDomainFile(const std::string& path, SVMInfo& info) {
  OracleVMConfigFile file;
  return file.LoadFile(path) && file.GetVMInfo(info);
}

bool ReadDescription(const std::string& path, SVMInfo& info) {
  return VMConfigFile(path).Load(info);
}

struct GoldenFormat {
  const char* folder;
  std::vector<std::string> extensions;
  bool (*read)(const std::string& path, SVMInfo& info);
};

bool UpdateGolden() {
  const char* update = std::getenv("ZY_UPDATE_GOLDEN");
  return update && std::string(update) == "1";
}

std::vector<fs::path> Inputs(const GoldenFormat& format) {
  std::vector<fs::path> inputs;
  fs::path folder = fs::path(ZY_TEST_DATA_DIR) / "readers" / format.folder;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::string ext = entry.path().extension().string();
    if (std::find(format.extensions.begin(), format.extensions.end(), ext) !=
        format.extensions.end())
      inputs.push_back(entry.path());
  }
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
    text.pop_back();
  return text;
}

std::string Describe(const std::vector<LogRecord>& records) {
  std::string text;
  for (const LogRecord& record : records)
    text += FormatLogRecord(record) + "\n";
  return text;
}

void CheckInvalid(const fs::path& input, const std::string& expectedError,
                  bool ok, const SVMInfo& info,
                  const std::vector<LogRecord>& records) {
  EXPECT_FALSE(ok);
  EXPECT_EQ(WriteZyf(info), WriteZyf(SVMInfo()))
      << "a failed read changed the description";
  std::vector<LogRecord> errors;
  for (const LogRecord& record : records)
    if (record.kind == LogKind::Error) errors.push_back(record);
  ASSERT_EQ(errors.size(), 1u) << Describe(records);
  EXPECT_NE(errors[0].message.find(expectedError), std::string::npos)
      << "expected [" << expectedError << "] in [" << errors[0].message << "]";
  // The VMware parser's interface does not give the file to the description
  // filling; its lines name the key instead.
  if (input.extension() != ".vmx" && input.extension() != ".vmtx") {
    EXPECT_NE(errors[0].message.find(input.string()), std::string::npos)
        << errors[0].message;
  }
}

void CheckValid(const fs::path& input, bool ok, const SVMInfo& info,
                const std::vector<LogRecord>& records) {
  EXPECT_TRUE(ok) << Describe(records);
  fs::path expectedPath = input;
  expectedPath.replace_extension(".expected");
  std::string actual = WriteZyf(info);
  if (UpdateGolden()) {
    std::ofstream(expectedPath, std::ios::binary) << actual;
    return;
  }
  ASSERT_TRUE(fs::exists(expectedPath))
      << expectedPath
      << " is missing; run with ZY_UPDATE_GOLDEN=1 and review it";
  EXPECT_EQ(actual, TempDir::Read(expectedPath.string()));
}

void RunGoldenFolder(const GoldenFormat& format) {
  int valid = 0;
  int invalid = 0;
  for (const fs::path& input : Inputs(format)) {
    SCOPED_TRACE(input.string());
    fs::path errorPath = input;
    errorPath.replace_extension(".error");
    ScopedLogCapture capture;
    SVMInfo info;
    bool ok = format.read(input.string(), info);
    if (fs::exists(errorPath)) {
      ++invalid;
      CheckInvalid(input, Trimmed(TempDir::Read(errorPath.string())), ok, info,
                   capture.sink().Records());
    } else {
      ++valid;
      CheckValid(input, ok, info, capture.sink().Records());
    }
  }
  // An empty or misnamed folder must not pass silently.
  EXPECT_GE(valid, 2) << format.folder;
  EXPECT_GE(invalid, 3) << format.folder;
}

}  // namespace

TEST(ReadersGolden, VmwareFilesGiveTheirDescriptions) {
  RunGoldenFolder({"vmx", {".vmx", ".vmtx"}, ReadVmx});
}

TEST(ReadersGolden, OracleVmAndXenDomainFilesGiveTheirDescriptions) {
  RunGoldenFolder({"xen", {".cfg"}, ReadDomainFile});
}

TEST(ReadersGolden, AmazonDescriptionsGiveTheirDescriptions) {
  RunGoldenFolder({"ec2", {".xml"}, ReadDescription});
}

TEST(ReadersGolden, GeneralisedDescriptionsGiveTheirDescriptions) {
  RunGoldenFolder({"zyf", {".zyf"}, ReadDescription});
}
