//===- FolderNativeDescriptionTest.cpp - Native files of destination VMs --===//
//
// The folder platform writes the description its kind takes beside
// VMConfig.zyf when it builds a destination VM (each kind's file: the tool's
// RestoresTheVMwareExampleToEachDestinationFamily), never over a file that
// is already there, and leaves nothing when the writer refuses.
//
//===----------------------------------------------------------------------===//
#include "platform/folder/FolderVMInfo.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

RestoreCtx Request(const TempDir& dir) {
  RestoreCtx request;
  request.strVMName = "app";
  request.strS3Bucket = "zy-images";
  request.strStagingPath = dir.File("staging");
  dir.Write("staging/app-0.img", std::string(4096, 'd'));
  VMInfoStructs::SDisk disk;
  disk.fileName = "app-0.img";
  disk.strControllerType = "ide";
  request.vmInfo.vDisks.push_back(disk);
  return request;
}

}  // namespace

TEST(FolderNativeDescription, AnAmazonVMWithoutDisksIsRefusedAndNothingIsLeft) {
  TempDir dir;
  FolderVMInfo platform(VS_AMAZON, dir.path());
  RestoreCtx request = Request(dir);
  request.vmInfo.vDisks.clear();
  EXPECT_FALSE(platform.FinalizeConvertedVM(request));
  EXPECT_NE(platform.GetLastErrorText().find("VM [app] has no hard disk"),
            std::string::npos)
      << platform.GetLastErrorText();
  EXPECT_FALSE(fs::exists(dir.File("amazon/app")));
}

TEST(FolderNativeDescription, AnExistingFileIsNeverReplaced) {
  TempDir dir;
  FolderVMInfo platform(VS_RHEV, dir.path());
  std::string mine = dir.Write("rhev/app/app.xml", "<domain>mine</domain>");
  RestoreCtx request = Request(dir);
  EXPECT_FALSE(platform.FinalizeConvertedVM(request));
  EXPECT_NE(platform.GetLastErrorText().find("Cannot write the native VM "
                                             "description"),
            std::string::npos);
  EXPECT_EQ(TempDir::Read(mine), "<domain>mine</domain>");
  // What the failed build placed is gone again; the user's file stays.
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir.File("rhev/app")))
    left.push_back(entry.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"app.xml"});
}
