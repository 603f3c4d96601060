//===- PlatformConfigTest.cpp - Settings and client records ---------------===//
#include "platform/settings/PlatformConfig.h"

#include "platform/support/EvDebug.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

namespace {

class PlatformConfiguration : public testing::Test {
 protected:
  void SetUp() override { PlatformConfig::ClearInProcess(); }
  void TearDown() override {
    PlatformConfig::ClearInProcess();
    unsetenv("ZY_PLATFORM_CONFIG");
  }
  void UseFile(const std::string& text) {
    path_ = dir_.Write("platform.json", text);
    setenv("ZY_PLATFORM_CONFIG", path_.c_str(), 1);
  }
  std::string Setting() {
    std::string value = "stale";
    ZyPlatformInfo().getString("VirtualServer", "sConvertControllerTypeTo",
                               value);
    return value;
  }
  TempDir dir_;
  std::string path_;
};

const char kConfig[] = R"({
  "settings": { "VirtualServer": { "sConvertControllerTypeTo": "scsi" } },
  "clients": [ { "id": 7, "name": "web01", "hostName": "web01.corp",
                 "operatingSystemId": 2,
                 "osInfo": "Windows Server 2019:-10.0:-17763:-x64" } ]
})";

}  // namespace

TEST_F(PlatformConfiguration, ReadsSettingsAndClientsFromTheFile) {
  UseFile(kConfig);
  EXPECT_EQ(Setting(), "scsi");
  int osId = 0;
  EXPECT_EQ(ZyClient(7).getOperatingSystemId(osId, nullptr), 0);
  EXPECT_EQ(osId, 2);
  ZyClient byName("web01", false, 0);
  EXPECT_EQ(byName.getClientId(), 7);
  EXPECT_EQ(byName.getNetworkHostname(), "web01.corp");
  std::string os;
  EXPECT_EQ(ClientProperties(7).getSimOSInfo(os, nullptr), 0);
  EXPECT_EQ(os, "Windows Server 2019:-10.0:-17763:-x64");
}

TEST_F(PlatformConfiguration, AbsentFileOrValueYieldsEmptyText) {
  EXPECT_EQ(Setting(), "");
  UseFile(R"({"settings": {}})");
  EXPECT_EQ(Setting(), "");
  std::string os = "stale";
  EXPECT_NE(ClientProperties(99).getSimOSInfo(os, nullptr), 0);
  EXPECT_EQ(os, "");
  EXPECT_EQ(ZyClient("nobody", false, 0).getClientId(), 0);
}

TEST_F(PlatformConfiguration, MalformedFileIsReportedOnceAndTreatedAsEmpty) {
  ScopedLogCapture capture;
  UseFile(
      R"({"settings": {"VirtualServer": {"sConvertControllerTypeTo": 5}}})");
  EXPECT_EQ(Setting(), "");
  EXPECT_EQ(Setting(), "");
  int errors = 0;
  for (const auto& r : capture.sink().Records())
    errors += r.kind == LogKind::Error;
  EXPECT_EQ(errors, 1);
}

TEST_F(PlatformConfiguration, AChangedFileIsReadAgain) {
  UseFile(kConfig);
  EXPECT_EQ(Setting(), "scsi");
  // A different size is enough to notice the change whatever the clock.
  UseFile(
      R"({"settings": {"VirtualServer": {"sConvertControllerTypeTo": "virtio_scsi"}}})");
  EXPECT_EQ(Setting(), "virtio_scsi");
}

TEST_F(PlatformConfiguration, InProcessValuesComeFirst) {
  UseFile(kConfig);
  PlatformConfig::SetSetting("VirtualServer", "sConvertControllerTypeTo",
                             "ide");
  EXPECT_EQ(Setting(), "ide");
  PlatformConfig::ClearInProcess();
  EXPECT_EQ(Setting(), "scsi");
}
