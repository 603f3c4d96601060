//===- VirtualServerTypes.h - Platform kinds and disk image formats -------===//
//
// The numeric values of both enumerations cross every interface (restore
// requests, the hypervisor access interface, log lines), so they are fixed.
// Any value not listed here takes the default branch of every rule.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>

enum VirtualServerInstanceType : int32_t {
  VS_NONE = 0,
  VS_KIND_100 = 100,
  VS_VMWARE = 101,
  VS_HYPERV = 102,
  VS_KIND_103 = 103,
  VS_AMAZON = 301,
  VS_AZURE_1 = 401,
  VS_AZURE_2 = 402,
  VS_AZURE_3 = 403,
  VS_RHEV = 501,
  VS_NUTANIX = 601,
  VS_ORACLE_VM = 701,
  VS_KIND_801 = 801,
  VS_OPENSTACK = 901,
  VS_KIND_1101 = 1101,
  VS_KIND_1102 = 1102,
  VS_KIND_1301 = 1301,
  VS_KIND_1401 = 1401,
};

enum DiskType_t : int32_t {
  DT_NONE = 0,
  DT_HYPERV_VHD = 12,
  DT_VHD_13 = 13,
  DT_VHD_14 = 14,
  DT_VMDK = 18,
  DT_VHDX_20 = 20,
  DT_VHDX_21 = 21,
  DT_VHDX_22 = 22,
  DT_AZURE = 23,
  DT_AMAZON = 24,
  DT_RHEV = 25,
  DT_NUTANIX = 28,
  DT_ORACLE_VM = 29,
  DT_KIND_801 = 30,
  DT_OPENSTACK = 32,
  DT_KIND_1101 = 33,
  DT_KIND_1301 = 34,
  DT_KIND_1401 = 35,
};

// Property mask bit asking a host query for the host's network list.
constexpr uint64_t VM_PROP_HOST_NW_LIST = 0x4000000ULL;
