//===- Ec2ImportPlacement.cpp - Where an imported EC2 instance finds its disks
//
// The import request names each disk by its S3 key (a file name, or a path
// whose last component is the file's name) in DiskContainers, the OS disk
// first; an instance sees them as NVMe disks in that order and boots the
// first.  A key that names none of the folder's files is no disk of the VM.
//
//===----------------------------------------------------------------------===//
#include "formats/common/DiskPlacement.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace {

using Json = nlohmann::json;

// The file a container's S3 key names among files; empty for none.
std::string ContainerFile(const Json& container,
                          const std::vector<std::string>& files) {
  if (!container.is_object()) return {};
  auto bucket = container.find("UserBucket");
  if (bucket == container.end() || !bucket->is_object()) return {};
  auto key = bucket->find("S3Key");
  if (key == bucket->end() || !key->is_string()) return {};
  std::string name = key->get<std::string>();
  size_t slash = name.find_last_of('/');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  bool known = std::find(files.begin(), files.end(), name) != files.end();
  return known ? name : std::string();
}

}  // namespace

bool PlaceEc2Import(const std::string& text,
                    const std::vector<std::string>& files,
                    SDiskPlacement& placement, std::string& error) {
  Json document = Json::parse(text, nullptr, false);
  if (document.is_discarded() || !document.is_object()) {
    error = "the import request is not a JSON object";
    return false;
  }
  placement.efi = document.value("BootMode", std::string()) == "uefi";
  auto containers = document.find("DiskContainers");
  if (containers == document.end() || !containers->is_array()) return true;
  for (const Json& container : *containers) {
    std::string file = ContainerFile(container, files);
    if (file.empty()) continue;
    SPlacedDisk disk;
    disk.file = file;
    disk.controller = "nvme";
    disk.unit = static_cast<int>(placement.disks.size());
    placement.disks.push_back(disk);
  }
  MarkFirstAsBoot(placement);
  return true;
}
