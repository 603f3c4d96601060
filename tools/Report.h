//===- Report.h - How zyvmconvert shows VM descriptions -------------------===//
#pragma once

#include "model/Contexts.h"
#include "model/VMInfoStructs.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace zytool {

// The name a disk has on the destination after the naming pass: its new
// name, else its display name, else its file's name, else its index name.
// (Each destination kind writes the new name into one of these.)
std::string DestinationDiskName(const VMInfoStructs::SDisk& disk);

// The image format of a disk format: "VHD", "VHDX", "VMDK", "qcow2", "raw".
std::string FormatLabel(int32_t diskType);

// What a conversion produced, beyond the description itself.
struct ResultFacts {
  std::string title;         // first line, e.g. "web01 restored to hyperv"
  std::string location;      // destination VM folder, if any
  std::string vmId;          // destination VM identifier, if any
  std::string instanceType;  // chosen or requested instance type
  std::string osValue;       // guest OS value for the destination
  std::string region;
  std::string s3Bucket;  // Amazon: the bucket given; empty: to be filled
  std::string nativeDescription;         // path of the native description
  std::vector<std::string> nativeNotes;  // disks it placed elsewhere
};

// Fills the native description facts of a destination VM of kind whose
// folder is vmFolder (its name is the VM's), when the file is there.
void AddNativeDescription(ResultFacts& facts, VirtualServerInstanceType kind,
                          const VMInfoStructs::SVMInfo& info);

// Prints the description: disks with name, format, controller, bus and slot,
// size; network cards; guest OS; instance type.
void PrintDescription(const VMInfoStructs::SVMInfo& info,
                      const ResultFacts& facts);
// The same as JSON: the facts, a disk summary and the whole description.
nlohmann::json DescriptionJson(const VMInfoStructs::SVMInfo& info,
                               const ResultFacts& facts);

}  // namespace zytool
