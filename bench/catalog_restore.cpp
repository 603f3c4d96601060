//===- catalog_restore.cpp - A restore whose disks are named by the catalog
//-===//
//
// zy_catalog_restore [N...]   (default: 200 1000; a VM description holds
//                              at most 1024 disks)
//
// Times CompleteVMConversion for a VMware VM restored to Hyper-V whose N
// disks are all found through the backup's catalog file (their names in
// the configuration match no restored file, as for a VM backed up while it
// ran on a snapshot), and prints the time for each N and the ratio of the
// last to the first.  The catalog is read once per conversion; most of the
// time goes to reading the N-disk description.  The destination is an
// access object that accepts everything, so only the converter's own work
// is timed.
//
//===----------------------------------------------------------------------===//
#include "converter/ZyVMConverter.h"
#include "formats/zyf/VMConfigFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using VMInfoStructs::SDisk;

constexpr int kSlotsPerBus = 16;

class AcceptingVMInfo : public IVMInfo {
 public:
  int Initialize(int) override { return 1; }
  int Uninitialize(int) override { return 1; }
  int Connect(const std::string&, const std::string&,
              const std::string&) override {
    return 1;
  }
  int Disconnect() override { return 1; }
  std::string GetLastErrorText() override { return ""; }
  int GetVMInfo(const std::string&, const std::string&, const std::string&, int,
                int, VMInfoStructs::SVMInfo&) override {
    return 1;
  }
  int GetHostInfo(const std::string&, uint64_t, int,
                  VMInfoStructs::SHostInfo&) override {
    return 1;
  }
  int GetLocalHostInfo(VMInfoStructs::SHostInfo&, uint64_t, int) override {
    return 1;
  }
  int GetAvailableInstanceTypes(const std::string&,
                                std::vector<VMInfoStructs::SVMSizeInfo>&, int,
                                int) override {
    return 1;
  }
  int MountVM(MountCtx&) override { return 1; }
  int UnmountVM(MountCtx&) override { return 1; }
  int GetFullMountInfo(MountCtx&,
                       std::vector<VMInfoStructs::SMountInfoFull>&) override {
    return 1;
  }
  int PrepareRestoreConversion(RestoreCtx&) override { return 1; }
  int PrepareDestinationVM(RestoreCtx&) override { return 1; }
  int ConfigureDestinationVM(RestoreCtx&) override { return 1; }
  int CompleteDestinationVM(RestoreCtx&) override { return 1; }
  bool StartPlatformConversion(RestoreCtx&) override { return true; }
  bool FinalizeConvertedVM(RestoreCtx&) override { return true; }
  int RunVMOperation(OperationCtx&) override { return 1; }
};

std::string RestoredName(int i) { return "web_" + std::to_string(i) + ".vmdk"; }

// The staging folder of a restore of n disks: the description, whose disks
// are named after snapshot files nobody restored, and the catalog.
RestoreCtx PrepareRestore(const std::string& folder, int n) {
  VMInfoStructs::SVMInfo description;
  description.strVMName = "web";
  description.i64NumCPUs = 2;
  description.i64MemoryMB = 4096;
  std::ofstream catalog(folder + "/catalog");
  RestoreCtx request;
  request.strVMName = "web";
  request.strStagingPath = folder;
  SDisk config;
  config.nFileType = 0;
  config.strDisplayName = config.diskIndexName = "VMConfig.zyf";
  request.vDisks.push_back(config);
  for (int i = 0; i < n; ++i) {
    SDisk disk;
    disk.nFileType = 1;
    disk.nDeviceType = 1;
    disk.strControllerType = "scsi";
    disk.nBus = i / kSlotsPerBus;
    disk.nSlot = i % kSlotsPerBus;
    disk.fileName = "web_" + std::to_string(i) + "-snapshot.vmdk";
    description.vDisks.push_back(disk);
    catalog << "disk.scsi" << disk.nBus << ":" << disk.nSlot << ".diskname = \""
            << RestoredName(i) << "\"\n";
    SDisk restored;
    restored.nFileType = 1;
    restored.nDeviceType = 1;
    restored.strMatchName = RestoredName(i);
    restored.fileName = restored.strDisplayName =
        "web_" + std::to_string(i) + ".vhd";
    request.vDisks.push_back(restored);
  }
  VMConfigFile(folder + "/VMConfig.zyf").Save(description);
  return request;
}

double SecondsFor(int n) {
  char pattern[] = "/tmp/zy-catalog-bench-XXXXXX";
  std::string folder = ::mkdtemp(pattern);
  RestoreCtx request = PrepareRestore(folder, n);
  AcceptingVMInfo destination;
  ZyVMConverter converter;
  // Its progress lines on standard output would be timed too.
  std::fflush(stdout);
  int savedOut = ::dup(1);
  int null = ::open("/dev/null", O_WRONLY);
  ::dup2(null, 1);
  auto start = std::chrono::steady_clock::now();
  CQiError error = converter.CompleteVMConversion(VS_VMWARE, VS_HYPERV,
                                                  &destination, request);
  auto end = std::chrono::steady_clock::now();
  std::fflush(stdout);
  ::dup2(savedOut, 1);
  ::close(savedOut);
  ::close(null);
  double seconds = std::chrono::duration<double>(end - start).count();
  std::filesystem::remove_all(folder);
  if (error.IsError() || request.vmInfo.vDisks.size() != size_t(n)) {
    std::fprintf(stderr, "zy_catalog_restore: %d disks: %s, %zu disks\n", n,
                 error.AsString().c_str(), request.vmInfo.vDisks.size());
    std::exit(1);
  }
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  // The converter's lines would time the terminal, not the conversion.
  ::setenv("ZY_LOG_FILE", "/dev/null", 0);
  std::vector<int> counts;
  for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
  if (counts.empty()) counts = {200, 1000};
  std::vector<double> times;
  for (int n : counts) {
    // The best of three: the machine's other work only ever adds time.
    times.push_back(std::min({SecondsFor(n), SecondsFor(n), SecondsFor(n)}));
    std::printf("%6d disks  %8.3f s\n", n, times.back());
  }
  if (times.size() > 1)
    std::printf("t(%d)/t(%d) = %.2f\n", counts.back(), counts.front(),
                times.back() / times.front());
  return 0;
}
