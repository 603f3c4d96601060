//===- PlatformKinds.h - What each platform kind is -----------------------===//
//
// One row per platform kind holds the kind's static facts: its name on the
// command line and in the folder platform, the disk format a restore to it
// writes, the largest disk it takes, and the yes/no facts every rule asks
// about (cloud, Azure family, CD-ROMs, network cards...).  Every rule and
// the command-line tool read this table; rules that are behaviour (disk
// naming, finalisation, boot disk) stay with the converter as tables keyed
// by kind.  A value not listed has the facts of no row: no format, no
// limit, CD-ROMs kept, every flag clear, and it is no destination.
//
// The disk formats' own facts (file extension, provisioning type) sit in the
// second table.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/VirtualServerTypes.h"

#include <strings.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zykinds {

// Yes/no facts of a kind.
enum KindFlag : uint32_t {
  // Only ever the kind a machine comes from: the tool refuses it as a
  // destination (a physical machine, kind 103).
  kSourceOnly = 1u << 0,
  // Amazon and the Azure family: a restore conversion marks the first
  // restored disk as the OS disk when asked to.
  kCloud = 1u << 1,
  // The restored files go to the destination folder, not the staging one.
  kRestoresIntoDestinationFolder = 1u << 2,
  kAzureFamily = 1u << 3,
  // Hyper-V and the Azure kinds built on it: their network connections get
  // the Hyper-V adjustment.
  kHyperVFamily = 1u << 4,
  // The completed VM's network cards are the ones the request asks for.
  kTakesRequestedNetworkCards = 1u << 5,
  // The completed VM's disks are the restored disks as they are.
  kTakesRestoredDisks = 1u << 6,
  // There is no CD-ROM drive to restore onto.
  kDropsCdroms = 1u << 7,
  // The import service must be told the guest OS family.
  kNeedsGuestOS = 1u << 8,
  // As a source for VMware, the OS disk stays on SCSI (not IDE).
  kBootsFromScsi = 1u << 9,
  // Its description may list several instances; a restore takes one.
  kListsInstances = 1u << 10,
  // Its configuration states each disk image's format, and the image is
  // read in that format whatever its content looks like (Xen).
  kStatesImageFormats = 1u << 11,
  // Its backups keep a catalog of the disks by controller position.
  kKeepsDiskCatalog = 1u << 12,
  // Its guest OS values are its own names (no AUTO): a VM of the same kind
  // keeps its value.
  kOwnGuestOSValues = 1u << 13,
  // Its description names each disk controller's model, the source's where
  // the kind has it (VMware's PVSCSI, LSI Logic ...), so a restored disk
  // that stays on its source's controller keeps its unit there.
  kKeepsControllerModels = 1u << 14,
};

// The thin image a live mount gives a kind's disks over the backed-up ones,
// in a format both qemu writes and the kind's hypervisor reads: a qcow2
// overlay for the kinds that run their disks in qemu/KVM or Xen, a VMDK
// delta for VMware.  The others have none: Hyper-V and the Azure family
// take differencing VHD(X) disks, which qemu does not write, and Amazon
// takes only whole imported images.
enum class Overlay : uint8_t { kNone, kQcow2, kVmdkDelta };

struct KindFacts {
  VirtualServerInstanceType kind;
  const char* name;  // null: spelled as its number
  DiskType_t diskFormat;
  int64_t largestDiskBytes;  // 0: no limit
  uint32_t flags;
  Overlay overlay;
};

constexpr uint32_t kCloudKind = kCloud | kRestoresIntoDestinationFolder |
                                kTakesRestoredDisks | kDropsCdroms |
                                kNeedsGuestOS;
constexpr uint32_t kAzureKind = kCloudKind | kAzureFamily;

// clang-format off
inline constexpr KindFacts kKinds[] = {
  {VS_NONE,      "physical",  DT_NONE,        0,               kSourceOnly, Overlay::kNone},
  {VS_KIND_100,  nullptr,     DT_VMDK,        0,               0, Overlay::kVmdkDelta},
  {VS_VMWARE,    "vmware",    DT_VMDK,        0,               kTakesRestoredDisks | kKeepsDiskCatalog | kOwnGuestOSValues | kKeepsControllerModels, Overlay::kVmdkDelta},
  {VS_HYPERV,    "hyperv",    DT_HYPERV_VHD,  0,               kHyperVFamily | kTakesRequestedNetworkCards, Overlay::kNone},
  {VS_KIND_103,  nullptr,     DT_NONE,        0,               kSourceOnly, Overlay::kNone},
  {VS_AMAZON,    "amazon",    DT_AMAZON,      0,               kCloudKind | kBootsFromScsi | kListsInstances, Overlay::kNone},
  {VS_AZURE_1,   "azure",     DT_AZURE,       1099511627776LL, kAzureKind, Overlay::kNone},  // 1 TiB
  {VS_AZURE_2,   nullptr,     DT_AZURE,       8795019280384LL, kAzureKind | kHyperVFamily | kTakesRequestedNetworkCards, Overlay::kNone},  // 8191 GiB
  {VS_AZURE_3,   nullptr,     DT_AZURE,       1098437885952LL, kAzureKind | kHyperVFamily | kTakesRequestedNetworkCards, Overlay::kNone},  // 1023 GiB
  {VS_RHEV,      "rhev",      DT_RHEV,        0,               kTakesRestoredDisks, Overlay::kQcow2},
  {VS_NUTANIX,   "nutanix",   DT_NUTANIX,     0,               kTakesRestoredDisks | kBootsFromScsi, Overlay::kQcow2},
  {VS_ORACLE_VM, "oraclevm",  DT_ORACLE_VM,   0,               kTakesRestoredDisks | kStatesImageFormats, Overlay::kQcow2},
  {VS_KIND_801,  nullptr,     DT_KIND_801,    0,               kTakesRestoredDisks, Overlay::kQcow2},
  {VS_OPENSTACK, "openstack", DT_OPENSTACK,   0,               kTakesRestoredDisks, Overlay::kQcow2},
  {VS_KIND_1101, nullptr,     DT_KIND_1101,   2199023255552LL, kTakesRestoredDisks | kDropsCdroms, Overlay::kQcow2},  // 2 TiB
  {VS_KIND_1102, nullptr,     DT_KIND_1101,   0,               kNeedsGuestOS, Overlay::kQcow2},
  {VS_KIND_1301, nullptr,     DT_KIND_1301,   0,               kNeedsGuestOS | kBootsFromScsi, Overlay::kQcow2},
  {VS_KIND_1401, nullptr,     DT_KIND_1401,   0,               kTakesRestoredDisks | kNeedsGuestOS, Overlay::kQcow2},
};
// clang-format on

// The facts of a value no row lists.
inline constexpr KindFacts kUnlistedKind = {VS_NONE, nullptr, DT_NONE, 0, 0,
                                            Overlay::kNone};

constexpr const KindFacts& FactsOf(VirtualServerInstanceType kind) {
  for (const KindFacts& row : kKinds)
    if (row.kind == kind) return row;
  return kUnlistedKind;
}

constexpr bool Has(VirtualServerInstanceType kind, KindFlag flag) {
  return (FactsOf(kind).flags & flag) != 0;
}

constexpr bool IsListed(VirtualServerInstanceType kind) {
  for (const KindFacts& row : kKinds)
    if (row.kind == kind) return true;
  return false;
}

constexpr bool MayBeDestination(VirtualServerInstanceType kind) {
  return IsListed(kind) && !Has(kind, kSourceOnly);
}

constexpr bool KeepsCdroms(VirtualServerInstanceType kind) {
  return !Has(kind, kDropsCdroms);
}

// Extension and provisioning type of the disk formats; a format not listed
// has no extension and provisioning type 2.
struct FormatFacts {
  DiskType_t format;
  const char* extension;
  int provisioning;
};

// clang-format off
inline constexpr FormatFacts kFormats[] = {
    {DT_HYPERV_VHD, ".vhd", 1}, {DT_VHD_13, ".vhd", 2},
    {DT_VHD_14, ".vhd", 2},     {DT_VMDK, ".vmdk", 2},
    {DT_VHDX_20, ".vhdx", 1},   {DT_VHDX_21, ".vhdx", 2},
    {DT_VHDX_22, ".vhdx", 2},   {DT_AZURE, ".vhd", 2},
    {DT_AMAZON, ".vhdx", 2},
};
// clang-format on

inline constexpr FormatFacts kUnlistedFormat = {DT_NONE, "", 2};

constexpr const FormatFacts& FormatFactsOf(DiskType_t format) {
  for (const FormatFacts& row : kFormats)
    if (row.format == format) return row;
  return kUnlistedFormat;
}

static_assert(FactsOf(VS_AZURE_2).diskFormat == DT_AZURE);
static_assert(!MayBeDestination(VS_NONE) && !MayBeDestination(VS_KIND_103));
static_assert(FormatFactsOf(DT_NONE).provisioning == 2);

}  // namespace zykinds

// The kind's name on the command line and in the folder platform: its row's
// name, else its number.
inline std::string PlatformKindName(VirtualServerInstanceType kind) {
  const zykinds::KindFacts& facts = zykinds::FactsOf(kind);
  if (zykinds::IsListed(kind) && facts.name) return facts.name;
  return std::to_string(static_cast<int32_t>(kind));
}

// A kind given by name (any case) or by number; false for any other text.
inline bool ParsePlatformKind(const std::string& text,
                              VirtualServerInstanceType& kind) {
  for (const zykinds::KindFacts& row : zykinds::kKinds) {
    bool byName = row.name && ::strcasecmp(text.c_str(), row.name) == 0;
    bool byNumber = row.kind != VS_NONE &&
                    text == std::to_string(static_cast<int32_t>(row.kind));
    if (byName || byNumber) {
      kind = row.kind;
      return true;
    }
  }
  return false;
}

// Every platform kind a VM can be backed up on (a physical machine is none).
inline std::vector<VirtualServerInstanceType> KnownPlatformKinds() {
  std::vector<VirtualServerInstanceType> kinds;
  for (const zykinds::KindFacts& row : zykinds::kKinds)
    if (row.kind != VS_NONE) kinds.push_back(row.kind);
  return kinds;
}
