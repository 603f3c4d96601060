//===- Ec2ImportWriter.cpp - EC2 image import request from a VM description ==//
//
// import-image.json is the input of EC2's ImportImage call as it stands
// (`aws ec2 import-image --cli-input-json file://import-image.json`), with
// no key the call does not take:
//   Description      the VM's name
//   Architecture     x86_64, or i386 for a 32-bit guest
//   BootMode         uefi or legacy-bios
//   Platform         Windows or Linux, when the guest OS is known (the
//                    import needs it for a UEFI guest)
//   DiskContainers   one per hard disk, the OS disk first: Description
//                    ("<vm> disk <n>"), Format (VMDK, VHD, VHDX or RAW, from
//                    the image written), UserBucket.S3Bucket (the bucket
//                    given, else kS3BucketPlaceholder and a note) and
//                    UserBucket.S3Key (the restored file's name)
// CD-ROM drives are not imported, and neither is secure boot: ImportImage
// takes no setting for it (an image's UEFI variables are RegisterImage's
// UefiData, after the import).  A VM without hard disks, a disk without
// a file name or in a format the import does not take is refused.
//
//===----------------------------------------------------------------------===//
#include "formats/common/WriterSupport.h"
#include "platform/support/FXString.h"

#include <nlohmann/json.hpp>

#include <cctype>

using VMInfoStructs::SDisk;
using VMInfoStructs::SVMInfo;
using namespace native;

namespace {

using Json = nlohmann::ordered_json;

// A valid bucket name no bucket has (names are lower case), so the file
// stays valid input while it plainly asks to be filled in.
constexpr const char* kS3BucketPlaceholder = "FILL-IN-S3-BUCKET";

// The disk image formats ImportImage takes, by qemu's name.
struct FormatRow {
  const char* qemu;
  const char* ec2;
};
constexpr FormatRow kFormats[] = {
    {"vmdk", "VMDK"}, {"vpc", "VHD"}, {"vhdx", "VHDX"}, {"raw", "RAW"}};

const char* Ec2Format(int32_t diskType) {
  std::string name = QemuFormatName(diskType);
  for (const FormatRow& row : kFormats)
    if (name == row.qemu) return row.ec2;
  return nullptr;
}

// A file name that names a file: not empty and more than an extension.
bool IsFileName(const std::string& name) {
  size_t dot = name.rfind('.');
  return dot != 0 && !name.empty() && name != "..";
}

const char* Platform(const SVMInfo& info) {
  if (IsWindows(info)) return "Windows";
  if (FXString::ToLower(info.guestOSInfo.OSType) == "unix") return "Linux";
  return nullptr;
}

// The disk's container; false with the reason in error.
bool Container(const SVMInfo& info, const SDisk& disk, int n,
               const std::string& bucket, Json& container,
               std::string& error) {
  std::string name = DiskFileName(disk);
  std::string which = "Disk " + std::to_string(n) + " of VM [" +
                      info.strVMName + "]";
  if (!IsFileName(name)) {
    error = which + " has no file name ([" + name +
            "]); its image cannot be named in the S3 bucket";
    return false;
  }
  const char* format = Ec2Format(disk.eDiskType);
  if (!format) {
    error = which + " is a " + QemuFormatName(disk.eDiskType) +
            " image; an EC2 image import takes VMDK, VHD, VHDX or RAW";
    return false;
  }
  container["Description"] = info.strVMName + " disk " + std::to_string(n);
  container["Format"] = format;
  container["UserBucket"]["S3Bucket"] = bucket;
  container["UserBucket"]["S3Key"] = name;
  return true;
}

}  // namespace

SNativeDescription WriteEc2Import(const SVMInfo& info,
                                  const SNativeWriteInput& input) {
  SNativeDescription out;
  std::vector<const SDisk*> disks = DisksOSFirst(info);
  if (disks.empty()) {
    out.error = "VM [" + info.strVMName +
                "] has no hard disk; an EC2 image import needs at least one";
    return out;
  }
  const std::string bucket =
      input.strS3Bucket.empty() ? kS3BucketPlaceholder : input.strS3Bucket;
  Json document;
  document["Description"] = info.strVMName;
  document["Architecture"] =
      info.guestOSInfo.CPUArch == "x86" ? "i386" : "x86_64";
  document["BootMode"] = IsEfi(info) ? "uefi" : "legacy-bios";
  if (const char* platform = Platform(info)) document["Platform"] = platform;
  Json& containers = document["DiskContainers"] = Json::array();
  for (const SDisk* disk : disks) {
    Json container;
    if (!Container(info, *disk, static_cast<int>(containers.size()) + 1,
                   bucket, container, out.error))
      return out;
    containers.push_back(container);
  }
  if (input.strS3Bucket.empty())
    out.vNotes.push_back(
        std::string("import-image.json names the S3 bucket ") +
        kS3BucketPlaceholder +
        ": replace it with the bucket the disk images are uploaded to, or "
        "give --s3-bucket");
  out.text = document.dump(2, ' ', false, Json::error_handler_t::replace) +
             "\n";
  return out;
}
