//===- ZyVMConverterKinds.cpp - Destination disk format rules -------------===//
//
// The destination disk format of each platform kind (kDestinationFormats),
// and the file extension and provisioning type of each disk format
// (kFormatFacts).  Kinds not listed get format 0; formats not listed have no
// extension and provisioning type 2.  Only 12 and 20 are provisioned as 1.
//
//===----------------------------------------------------------------------===//
#include "converter/ZyVMConverter.h"

namespace {

struct KindFormat {
  VirtualServerInstanceType kind;
  DiskType_t format;
};

// clang-format off
constexpr KindFormat kDestinationFormats[] = {
    {VS_KIND_100, DT_VMDK},       {VS_VMWARE, DT_VMDK},
    {VS_HYPERV, DT_HYPERV_VHD},   {VS_AMAZON, DT_AMAZON},
    {VS_AZURE_1, DT_AZURE},       {VS_AZURE_2, DT_AZURE},
    {VS_AZURE_3, DT_AZURE},       {VS_RHEV, DT_RHEV},
    {VS_NUTANIX, DT_NUTANIX},     {VS_ORACLE_VM, DT_ORACLE_VM},
    {VS_KIND_801, DT_KIND_801},   {VS_OPENSTACK, DT_OPENSTACK},
    {VS_KIND_1101, DT_KIND_1101}, {VS_KIND_1102, DT_KIND_1101},
    {VS_KIND_1301, DT_KIND_1301}, {VS_KIND_1401, DT_KIND_1401},
};
// clang-format on

struct FormatFacts {
  DiskType_t format;
  const char* extension;
  int provisioning;
};

// Formats not listed have no extension and provisioning type 2.
// clang-format off
constexpr FormatFacts kFormatFacts[] = {
    {DT_HYPERV_VHD, ".vhd", 1}, {DT_VHD_13, ".vhd", 2},
    {DT_VHD_14, ".vhd", 2},     {DT_VMDK, ".vmdk", 2},
    {DT_VHDX_20, ".vhdx", 1},   {DT_VHDX_21, ".vhdx", 2},
    {DT_VHDX_22, ".vhdx", 2},   {DT_AZURE, ".vhd", 2},
    {DT_AMAZON, ".vhdx", 2},
};
// clang-format on

const FormatFacts* FindFormat(DiskType_t type) {
  for (const auto& row : kFormatFacts)
    if (row.format == type) return &row;
  return nullptr;
}

}  // namespace

DiskType_t ZyVMConverter::DetermineDestinationDiskType(
    VirtualServerInstanceType destination) {
  for (const auto& row : kDestinationFormats)
    if (row.kind == destination) return row.format;
  return DT_NONE;
}

std::string ZyVMConverter::GetDestinationDiskExtension(DiskType_t type) {
  const FormatFacts* facts = FindFormat(type);
  std::string extension = facts ? facts->extension : "";
  Log("std::string ZyVMConverter::GetDestinationDiskExtension(DiskType_t)", 2,
      "Disk extension is [%s] for converted disk type [%d]", extension.c_str(),
      static_cast<int>(type));
  return extension;
}

int ZyVMConverter::DetermineDestinationDiskProvisioningType(DiskType_t type) {
  const FormatFacts* facts = FindFormat(type);
  return facts ? facts->provisioning : 2;
}
