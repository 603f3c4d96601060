//===- FolderNativeDescriptionTest.cpp - Native files of destination VMs --===//
//
// The folder platform writes the description its kind takes beside
// VMConfig.zyf when it builds a destination VM, and never over a file that
// is already there.
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
  request.strStagingPath = dir.File("staging");
  dir.Write("staging/app-0.img", std::string(4096, 'd'));
  VMInfoStructs::SDisk disk;
  disk.fileName = "app-0.img";
  disk.strControllerType = "ide";
  request.vmInfo.vDisks.push_back(disk);
  return request;
}

}  // namespace

TEST(FolderNativeDescription, EachKindGetsItsFileBesideTheDescription) {
  struct Row {
    int line;
    VirtualServerInstanceType kind;
    const char* file;  // "" for none
    const char* holds;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, VS_VMWARE, "app.vmx", "ide0:0.fileName = \"app-0.img\""},
      {__LINE__, VS_OPENSTACK, "app.xml", "/app/app-0.img'/>"},
      {__LINE__, VS_KIND_801, "vm.cfg", "/app/app-0.img,hda,w'"},
      {__LINE__, VS_AZURE_3, "app.ps1", "(Join-Path $Folder 'app-0.img')"},
      {__LINE__, VS_AMAZON, "import-image.json", "\"S3Bucket\": \"zy-images\",\n        \"S3Key\": \"app-0.img\""},
      {__LINE__, VS_AZURE_1, "azure-vm.json", "'app-0.img')]"},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    TempDir dir;
    FolderVMInfo platform(row.kind, dir.path());
    platform.SetS3Bucket("zy-images");
    RestoreCtx request = Request(dir);
    ASSERT_TRUE(platform.FinalizeConvertedVM(request))
        << platform.GetLastErrorText();
    EXPECT_EQ(NativeDescriptionName(row.kind, "app"), row.file);
    std::string text = TempDir::Read(
        dir.File(PlatformKindName(row.kind) + "/app/" + row.file));
    EXPECT_NE(text.find(row.holds), std::string::npos) << text;
  }
}

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
