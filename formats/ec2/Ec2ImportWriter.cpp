//===- Ec2ImportWriter.cpp - EC2 image import request from a VM description ==//
//
// import-image.json (JSON; every text is a JSON string):
//   DiskContainers   the value `aws ec2 import-image --disk-containers`
//                    takes unchanged, the OS disk first: Description
//                    ("<vm> disk <n>"), Format (VMDK, VHD, VHDX or RAW, from
//                    the image written), UserBucket.S3Key (the restored
//                    file's name; the S3 bucket is the uploader's choice)
//   Architecture     x86_64, or i386 for a 32-bit guest
//   BootMode         uefi or legacy-bios
//   Platform         Windows or Linux
//   InstanceType, Region, OsValue   the chosen instance type, region and
//                    guest OS value, when known
// CD-ROM drives are not imported.
//
//===----------------------------------------------------------------------===//
#include "formats/common/WriterSupport.h"

#include <nlohmann/json.hpp>

#include <cctype>

using VMInfoStructs::SVMInfo;
using namespace native;

namespace {

std::string Ec2Format(int32_t diskType) {
  std::string name = QemuFormatName(diskType);
  if (name == "vpc") return "VHD";
  for (char& c : name) c = static_cast<char>(std::toupper(c));
  return name;
}

}  // namespace

SNativeDescription WriteEc2Import(const SVMInfo& info,
                                  const SNativeWriteInput& input) {
  nlohmann::ordered_json document;
  nlohmann::ordered_json containers = nlohmann::ordered_json::array();
  int n = 0;
  for (const auto* disk : DisksOSFirst(info)) {
    nlohmann::ordered_json container;
    container["Description"] = info.strVMName + " disk " + std::to_string(++n);
    container["Format"] = Ec2Format(disk->eDiskType);
    container["UserBucket"]["S3Key"] = DiskFileName(*disk);
    containers.push_back(container);
  }
  document["DiskContainers"] = containers;
  document["Architecture"] =
      info.guestOSInfo.CPUArch == "x86" ? "i386" : "x86_64";
  document["BootMode"] = IsEfi(info) ? "uefi" : "legacy-bios";
  document["Platform"] = IsWindows(info) ? "Windows" : "Linux";
  std::string region =
      input.strRegion.empty() ? info.strRegion : input.strRegion;
  if (!info.strVMSize.empty()) document["InstanceType"] = info.strVMSize;
  if (!region.empty()) document["Region"] = region;
  if (!input.strOSValue.empty()) document["OsValue"] = input.strOSValue;
  SNativeDescription out;
  out.text =
      document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) +
      "\n";
  return out;
}
