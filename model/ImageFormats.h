//===- ImageFormats.h - The image format each disk format is written in ---===//
//
// The disk image component writes each destination disk format (DiskType_t)
// in one image format; the native descriptions name that format to the
// destination (a libvirt driver type, an EC2 import format) and the tool
// reports it.  This is the one table of that fact and of the formats' names;
// why each destination gets its format is told beside the component
// (platform/diskimage/CArchiveVirtualDiskFile.h).
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/VirtualServerTypes.h"

#include <cstdint>

// The image formats the disk image component writes.
enum class ImageFormat_t : int32_t {
  kRaw,
  kVmdk,      // monolithicSparse
  kVhd,       // dynamic
  kVhdFixed,  // fixed, whole MiB
  kVhdx,      // dynamic
  kQcow2,     // version 3
};

namespace zykinds {

struct ImageFormatFacts {
  ImageFormat_t format;
  const char* shortName;  // the tool's --to-format
  const char* name;       // what reports call it
  const char* driver;     // qemu's driver and libvirt's driver type
};

// clang-format off
inline constexpr ImageFormatFacts kImageFormats[] = {
    {ImageFormat_t::kRaw,      "raw",       "raw",         "raw"},
    {ImageFormat_t::kVmdk,     "vmdk",      "VMDK",        "vmdk"},
    {ImageFormat_t::kVhd,      "vhd",       "VHD",         "vpc"},
    {ImageFormat_t::kVhdFixed, "vhd-fixed", "VHD (fixed)", "vpc"},
    {ImageFormat_t::kVhdx,     "vhdx",      "VHDX",        "vhdx"},
    {ImageFormat_t::kQcow2,    "qcow2",     "qcow2",       "qcow2"},
};
// clang-format on

constexpr const ImageFormatFacts& ImageFormatFactsOf(ImageFormat_t format) {
  for (const ImageFormatFacts& row : kImageFormats)
    if (row.format == format) return row;
  return kImageFormats[0];
}

struct WrittenFormat {
  DiskType_t type;
  ImageFormat_t format;
};

// The image format written for each destination disk format; the others
// (Oracle VM, the unnamed kinds) are written as sparse raw images.
// clang-format off
inline constexpr WrittenFormat kWrittenFormats[] = {
    {DT_VMDK, ImageFormat_t::kVmdk},
    {DT_HYPERV_VHD, ImageFormat_t::kVhd},   {DT_VHD_13, ImageFormat_t::kVhd},
    {DT_VHD_14, ImageFormat_t::kVhd},
    {DT_VHDX_20, ImageFormat_t::kVhdx},     {DT_VHDX_21, ImageFormat_t::kVhdx},
    {DT_VHDX_22, ImageFormat_t::kVhdx},
    {DT_AZURE, ImageFormat_t::kVhdFixed},
    {DT_AMAZON, ImageFormat_t::kVhdx},
    {DT_RHEV, ImageFormat_t::kQcow2},       {DT_NUTANIX, ImageFormat_t::kQcow2},
    {DT_OPENSTACK, ImageFormat_t::kQcow2},
};
// clang-format on

constexpr ImageFormat_t WrittenFormatOf(DiskType_t type) {
  for (const WrittenFormat& row : kWrittenFormats)
    if (row.type == type) return row.format;
  return ImageFormat_t::kRaw;
}

// The image format a source disk of each format is read in, whatever its
// first bytes say; the others are recognised from their content.  Any VHD
// (dynamic or fixed) reads as kVhd.
// clang-format off
inline constexpr WrittenFormat kReadFormats[] = {
    {DT_HYPERV_VHD, ImageFormat_t::kVhd},  {DT_VHD_13, ImageFormat_t::kVhd},
    {DT_VHD_14, ImageFormat_t::kVhd},      {DT_AZURE, ImageFormat_t::kVhd},
    {DT_VMDK, ImageFormat_t::kVmdk},       {DT_VHDX_20, ImageFormat_t::kVhdx},
    {DT_VHDX_21, ImageFormat_t::kVhdx},    {DT_VHDX_22, ImageFormat_t::kVhdx},
    {DT_AMAZON, ImageFormat_t::kVhdx},
};
// clang-format on

// False when the disk format states no image format to read.
constexpr bool ReadFormatOf(DiskType_t type, ImageFormat_t& format) {
  for (const WrittenFormat& row : kReadFormats)
    if (row.type == type) {
      format = row.format;
      return true;
    }
  return false;
}

struct ImageExtension {
  const char* extension;  // without the dot, lower case
  ImageFormat_t format;
};

// What an image file's extension promises.
// clang-format off
inline constexpr ImageExtension kImageExtensions[] = {
    {"vmdk", ImageFormat_t::kVmdk},   {"vhd", ImageFormat_t::kVhd},
    {"vhdx", ImageFormat_t::kVhdx},   {"avhdx", ImageFormat_t::kVhdx},
    {"qcow2", ImageFormat_t::kQcow2}, {"img", ImageFormat_t::kRaw},
    {"raw", ImageFormat_t::kRaw},
};
// clang-format on

// The extension of a file name (after its last dot), any letter case;
// false when it promises no format.
constexpr bool ImageFormatOfFileName(const char* name, ImageFormat_t& format) {
  const char* extension = nullptr;
  for (const char* at = name; *at; ++at) {
    if (*at == '/') extension = nullptr;
    if (*at == '.') extension = at + 1;
  }
  if (!extension) return false;
  for (const ImageExtension& row : kImageExtensions) {
    const char* a = extension;
    const char* b = row.extension;
    while (*a && *b && (*a == *b || *a - 'A' + 'a' == *b)) ++a, ++b;
    if (*a == '\0' && *b == '\0') {
      format = row.format;
      return true;
    }
  }
  return false;
}

}  // namespace zykinds
