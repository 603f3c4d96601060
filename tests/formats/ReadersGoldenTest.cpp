//===- ReadersGoldenTest.cpp - Configuration readers against golden files -===//
//
// tests/data/readers/<format>/ holds input files and, beside each,
//   <case>.expected  the description it must give, as the zyf writer writes it
//   <case>.error     for an invalid input: a text the one error line contains
// Every input is read through the reader class the converter uses, from a
// fresh description.  ZY_UPDATE_GOLDEN=1 rewrites the .expected files from
// what the readers give now (review the difference before committing it).
// The public real-world samples in ../shared/samples/<format>/ beside the
// repository (ZY_SAMPLES_DIR elsewhere; skipped when absent) are read the
// same way, their outcomes kept in tests/data/readers/samples/<format>/: a
// .expected description, or a .error with the whole error line.
//
//===----------------------------------------------------------------------===//
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/support/EvDebug.h"
#include "formats/xen/OracleVMConfigFile.h"
#include "formats/zyf/VMConfigFile.h"
#include "formats/common/FormatText.h"
#include "formats/vmx/VMXFile.h"
#include "support/Golden.h"
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

fs::path ReadersData() { return fs::path(ZY_TEST_DATA_DIR) / "readers"; }

std::vector<fs::path> Inputs(const GoldenFormat& format, const fs::path& folder) {
  std::vector<fs::path> inputs;
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

void CheckValid(const fs::path& expectedPath, bool ok, const SVMInfo& info,
                const std::vector<LogRecord>& records) {
  EXPECT_TRUE(ok) << Describe(records);
  golden::Check(expectedPath, WriteZyf(info));
}

void RunGoldenFolder(const GoldenFormat& format) {
  int valid = 0;
  int invalid = 0;
  for (const fs::path& input :
       Inputs(format, ReadersData() / format.folder)) {
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
      CheckValid(fs::path(input).replace_extension(".expected"), ok, info,
                 capture.sink().Records());
    }
  }
  // An empty or misnamed folder must not pass silently.
  EXPECT_GE(valid, 2) << format.folder;
  EXPECT_GE(invalid, 3) << format.folder;
}

// A sample's outcome as it was reviewed: its description, or its one error.
void RunSampleFolder(const GoldenFormat& format) {
  fs::path samples = golden::Samples(format.folder);
  if (!fs::is_directory(samples)) GTEST_SKIP() << samples << " is absent";
  fs::path outcomes = ReadersData() / "samples" / format.folder;
  if (golden::Updating()) fs::create_directories(outcomes);
  for (const fs::path& input : Inputs(format, samples)) {
    SCOPED_TRACE(input.string());
    fs::path outcome = outcomes / input.filename();
    fs::path errorPath = fs::path(outcome).replace_extension(".error");
    ScopedLogCapture capture;
    SVMInfo info;
    bool ok = format.read(input.string(), info);
    std::vector<LogRecord> records = capture.sink().Records();
    std::string errors;
    for (const LogRecord& record : records)
      if (record.kind == LogKind::Error) errors += record.message + "\n";
    for (size_t at; (at = errors.find(samples.string())) != std::string::npos;)
      errors.replace(at, samples.string().size(), "<samples>");
    if (golden::Updating() && !ok) {
      std::ofstream(errorPath, std::ios::binary) << errors;
      continue;
    }
    if (fs::exists(errorPath)) {
      EXPECT_FALSE(ok);
      EXPECT_EQ(errors, TempDir::Read(errorPath.string()));
      continue;
    }
    CheckValid(fs::path(outcome).replace_extension(".expected"), ok, info,
               records);
  }
}

}  // namespace

const GoldenFormat kVmx = {"vmx", {".vmx", ".vmtx"}, ReadVmx};
const GoldenFormat kXen = {"xen", {".cfg"}, ReadDomainFile};
const GoldenFormat kEc2 = {"ec2", {".xml"}, ReadDescription};

TEST(ReadersGolden, VmwareFilesGiveTheirDescriptions) {
  RunGoldenFolder(kVmx);
}

TEST(ReadersGolden, OracleVmAndXenDomainFilesGiveTheirDescriptions) {
  RunGoldenFolder(kXen);
}

TEST(ReadersGolden, AmazonDescriptionsGiveTheirDescriptions) {
  RunGoldenFolder(kEc2);
}

TEST(ReadersGolden, RealWorldVmwareSamples) { RunSampleFolder(kVmx); }

TEST(ReadersGolden, RealWorldDomainFileSamples) { RunSampleFolder(kXen); }

TEST(ReadersGolden, RealWorldAmazonSamples) { RunSampleFolder(kEc2); }

TEST(ReadersGolden, GeneralisedDescriptionsGiveTheirDescriptions) {
  RunGoldenFolder({"zyf", {".zyf"}, ReadDescription});
}
