//===- KindListing.cpp - The platform kinds' facts, one record a kind -----===//
#include "KindListing.h"

#include "JobSupport.h"
#include "ResultFacts.h"

#include "converter/ConverterFacts.h"
#include "converter/ZyVMConverter.h"

#include <cstdint>

namespace zyjobs {
namespace {

using VMInfoStructs::kDeviceTypeHardDisk;
using VMInfoStructs::kFileTypeConfig;
using VMInfoStructs::kFileTypeDisk;
using VMInfoStructs::SDisk;

struct SampleDisk {
  const char* displayName;
  const char* indexName;
  int32_t fileType;
  bool isOSDisk;
};

// clang-format off
constexpr SampleDisk kSampleDisks[] = {
    {"web.vmx", "web.vmx", kFileTypeConfig, false},
    {"web-os.vmdk", "scsi0-0-web-os.vmdk", kFileTypeDisk, true},
    {"web-data.vmdk", "scsi0-1-web-data.vmdk", kFileTypeDisk, false},
};
// clang-format on

// The yes/no facts, by the names the listing gives them.
struct FlagName {
  zykinds::KindFlag flag;
  const char* name;
};

// clang-format off
constexpr FlagName kFlagNames[] = {
    {zykinds::kSourceOnly, "sourceOnly"},
    {zykinds::kCloud, "cloud"},
    {zykinds::kRestoresIntoDestinationFolder, "restoresIntoDestinationFolder"},
    {zykinds::kAzureFamily, "azureFamily"},
    {zykinds::kHyperVFamily, "hyperVFamily"},
    {zykinds::kTakesRequestedNetworkCards, "takesRequestedNetworkCards"},
    {zykinds::kTakesRestoredDisks, "takesRestoredDisks"},
    {zykinds::kNeedsGuestOS, "needsGuestOS"},
    {zykinds::kBootsFromScsi, "bootsFromScsi"},
};
// clang-format on

std::vector<SDisk> SampleDiskList() {
  std::vector<SDisk> disks;
  int slot = 0;
  for (const SampleDisk& row : kSampleDisks) {
    SDisk disk;
    disk.strDisplayName = disk.fileName = disk.strMatchName = row.displayName;
    disk.diskIndexName = row.indexName;
    disk.nFileType = row.fileType;
    disk.nDeviceType = kDeviceTypeHardDisk;
    disk.isOSDisk = row.isOSDisk;
    disk.eDiskType = DT_VMDK;
    disk.strControllerType = "scsi";
    disk.nSlot = row.fileType == kFileTypeDisk ? slot++ : 0;
    disk.i64MaxSizeInBytes = disk.i64CurrSizeInBytes = int64_t{16} << 30;
    disks.push_back(disk);
  }
  return disks;
}

std::vector<std::string> SampleNames(VirtualServerInstanceType kind) {
  ZyVMConverter converter;
  std::vector<SDisk> disks = SampleDiskList();
  converter.UpdateDiskNames(disks, kSampleVMId, kSampleVMName, kind, VS_VMWARE,
                            false);
  std::vector<std::string> names;
  for (const SDisk& disk : disks)
    if (disk.nFileType == kFileTypeDisk)
      names.push_back(WrittenDiskName(kind, disk));
  return names;
}

KindListing ListingOf(VirtualServerInstanceType kind) {
  KindListing listing;
  listing.facts = zykinds::FactsOf(kind);
  listing.extension =
      zykinds::FormatFactsOf(listing.facts.diskFormat).extension;
  listing.cdromKept = zykinds::KeepsCdroms(kind);
  listing.mayBeDestination =
      zykinds::MayBeDestination(kind) && zy_converter::CanFinalize(kind);
  for (const FlagName& flag : kFlagNames)
    listing.flags.emplace_back(flag.name,
                               (listing.facts.flags & flag.flag) != 0);
  listing.osValues = zy_converter::GuestOSValues(kind);
  listing.sampleDiskNames = SampleNames(kind);
  return listing;
}

}  // namespace

bool ListKinds(std::vector<KindListing>& kinds, SJobError& error) {
  return AtBoundary(error, [&] {
    QuietLog quiet;
    kinds.clear();
    for (VirtualServerInstanceType kind : KnownPlatformKinds())
      kinds.push_back(ListingOf(kind));
  });
}

bool CheckDestinationKind(VirtualServerInstanceType kind,
                          const std::string& text, SJobError& error) {
  return AtBoundary(error, [&] {
    if (!zykinds::MayBeDestination(kind))
      throw JobFailure("platform kind [" + text +
                       "] is a source only; a VM cannot be restored to it");
    if (!zy_converter::CanFinalize(kind))
      throw JobFailure("platform kind [" + text +
                       "] cannot be a destination: the converter has no way "
                       "to finish a VM of this kind, so its platform never "
                       "builds one");
  });
}

}  // namespace zyjobs
