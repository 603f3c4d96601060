//===- disknames.cpp - Fuzz target: destination disk naming ---------------===//
//
// UpdateDiskNames for every destination and source kind, on a disk list
// whose names, index names, sizes, bus and slot values come from the input.
//
//===----------------------------------------------------------------------===//
#include "FuzzSupport.h"

#include "converter/ZyVMConverter.h"

namespace {

constexpr VirtualServerInstanceType kKinds[] = {
    VS_NONE,      VS_KIND_100,  VS_VMWARE,    VS_HYPERV,    VS_KIND_103,
    VS_AMAZON,
    VS_AZURE_1,   VS_AZURE_2,   VS_AZURE_3,   VS_RHEV,      VS_NUTANIX,
    VS_ORACLE_VM, VS_KIND_801,  VS_OPENSTACK, VS_KIND_1101, VS_KIND_1102,
    VS_KIND_1301, VS_KIND_1401};
constexpr const char* kControllers[] = {"", "ide", "scsi", "sata", "nvme",
                                        "virtio", "xen", "SCSI"};
constexpr size_t kMaxDisks = 64;
constexpr size_t kMaxName = 64;

VMInfoStructs::SDisk ReadDisk(zyfuzz::Input& in) {
  VMInfoStructs::SDisk disk;
  disk.fileName = in.Chars(kMaxName);
  disk.strDisplayName = in.Chars(kMaxName);
  disk.diskIndexName = in.Chars(kMaxName);
  disk.strName = in.Chars(kMaxName);
  disk.newDiskName = in.Chars(kMaxName);
  disk.strConfigDiskName = in.Chars(kMaxName);
  disk.strControllerType = in.Pick(kControllers);
  disk.i64MaxSizeInBytes = static_cast<int64_t>(in.Number(8));
  disk.i64CurrSizeInBytes = static_cast<int64_t>(in.Number(8));
  disk.nBus = static_cast<int32_t>(in.Number(4));
  disk.nSlot = static_cast<int32_t>(in.Number(4));
  disk.eDiskType = static_cast<int32_t>(in.Number(1));
  disk.nFileType = in.Byte() % 3;
  disk.nDeviceType = 1 + in.Byte() % 2;
  disk.isOSDisk = in.Flag();
  disk.isBootDisk = in.Flag();
  return disk;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zyfuzz::Quiet();
  zyfuzz::Input in(data, size);
  VirtualServerInstanceType destination = in.Pick(kKinds);
  VirtualServerInstanceType source = in.Pick(kKinds);
  bool platformConversion = in.Flag();
  std::string idName = in.Chars(kMaxName);
  std::string vmName = in.Chars(kMaxName);
  std::vector<VMInfoStructs::SDisk> disks;
  while (!in.Empty() && disks.size() < kMaxDisks) disks.push_back(ReadDisk(in));
  ZyVMConverter converter;
  converter.UpdateDiskNames(disks, idName, vmName, destination, source,
                            platformConversion);
  return 0;
}
