//===- RestoreJobTest.cpp - The restore job as a library caller sees it ---===//
//
// A caller of the jobs gets a failure as a returned line and the job's
// warnings and notes through its observer: nothing is printed on standard
// error and nothing is thrown.
//
//===----------------------------------------------------------------------===//
#include "jobs/FolderJobPlatform.h"
#include "jobs/RestoreJob.h"
#include "platform/folder/FolderVMInfo.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace zyjobs;

namespace {

const std::string kExamples = std::string(ZY_TEST_DATA_DIR) + "/../../examples";

class RecordingObserver : public IJobObserver {
 public:
  void OnDiskDone(const std::string& label) override { disks.push_back(label); }
  void OnWarning(const std::string& text) override { said += text + "\n"; }
  void OnNote(const std::string& text) override { said += text + "\n"; }
  std::vector<std::string> disks;
  std::string said;
};

struct Row {
  int line;
  const char* sourceVM;
  VirtualServerInstanceType destination;
  int64_t networkCardCount;  // the request's nNumNetworkCards
  bool leftStaging;          // a killed run's staging folder in the root
  const char* error;         // in the returned line; "" for success
  const char* said;          // in the observer's warnings and notes
};

// clang-format off
const Row kRows[] = {
    {__LINE__, "web01", VS_HYPERV, 0, false, "", ""},
    {__LINE__, "web01", VS_HYPERV, 5, false, "",
     "vmInfo.nNumNetworkCards is 5 but the request lists 0 network cards"},
    {__LINE__, "web01", VS_HYPERV, 0, true, "",
     "entries) left by an interrupted restore"},
    {__LINE__, "nosuch", VS_HYPERV, 0, false,
     "/vmware/nosuch] does not exist", ""},
    // Kind 402 runs Hyper-V Generation 1 VMs, and the converter leaves their
    // OS disk on SCSI.
    {__LINE__, "web01", VS_AZURE_2, 0, false, "",
     "is moved to IDE 0:0: it sits on hyper-v scsi 0:0"},
};
// clang-format on

TEST(RestoreJob, ReportsThroughItsResultAndObserverOnly) {
  ::setenv("ZY_PLATFORM_CONFIG", (kExamples + "/platform-config.json").c_str(),
           1);
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.line);
    TempDir dir;
    std::string root = dir.File("root");
    fs::copy(kExamples + "/platform", root, fs::copy_options::recursive);
    if (row.leftStaging) fs::create_directories(root + "/.staging-old/x");
    UseFolderPlatform(root);
    FolderJobPlatform platform(root);
    RestoreJob job;
    job.platform = &platform;
    job.source = VS_VMWARE;
    job.destination = row.destination;
    job.root = root;
    SJobError error;
    ASSERT_TRUE(ReadRestoreRequest(kExamples + "/requests/web01-restore.json",
                                   job.request, error));
    job.request.strSourceVMName = row.sourceVM;
    job.request.vmInfo.nNumNetworkCards = row.networkCardCount;
    RecordingObserver observer;
    RestoreOutcome outcome;
    testing::internal::CaptureStderr();
    bool ok = RunRestoreJob(job, observer, outcome, error);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(ok, *row.error == '\0') << error.text;
    EXPECT_NE(error.text.find(row.error), std::string::npos) << error.text;
    EXPECT_NE(observer.said.find(row.said), std::string::npos) << observer.said;
    EXPECT_EQ(observer.disks.size(), ok ? 3u : 0u);
  }
}

}  // namespace
