//===- AccessRegistryTest.cpp - Access object factories -------------------===//
#include "platform/access/IVMInfo.h"

#include "support/RecordingVMInfo.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class AccessRegistry : public testing::Test {
 protected:
  void SetUp() override {
    IVMInfo::ClearFactories();
    unsetenv("ZY_PLATFORM_ROOT");
  }
  void TearDown() override { IVMInfo::ClearFactories(); }
};

}  // namespace

TEST_F(AccessRegistry, KindFactoriesWinOverTheDefaultOne) {
  auto vmware = std::make_shared<VMInfoScript>();
  auto others = std::make_shared<VMInfoScript>();
  IVMInfo::RegisterFactory(VS_VMWARE, [vmware](VirtualServerInstanceType) {
    return new RecordingVMInfo(vmware);
  });
  IVMInfo::RegisterDefaultFactory([others](VirtualServerInstanceType) {
    return new RecordingVMInfo(others);
  });
  IVMInfo::DeleteObject(IVMInfo::CreateObject(VS_VMWARE));
  IVMInfo::DeleteObject(IVMInfo::CreateObject(VS_HYPERV));
  IVMInfo::DeleteObject(IVMInfo::CreateObject(VS_AMAZON));
  EXPECT_EQ(vmware->created, 1);
  EXPECT_EQ(vmware->deleted, 1);
  EXPECT_EQ(others->created, 2);
  EXPECT_EQ(others->deleted, 2);
  IVMInfo::ClearFactories();
  EXPECT_EQ(IVMInfo::CreateObject(VS_VMWARE), nullptr);
  IVMInfo::DeleteObject(nullptr);
}

TEST_F(AccessRegistry, AFactoryThatThrowsGivesNoObject) {
  IVMInfo::RegisterDefaultFactory([](VirtualServerInstanceType) -> IVMInfo* {
    throw std::runtime_error("no platform");
  });
  EXPECT_EQ(IVMInfo::CreateObject(VS_HYPERV), nullptr);
}
