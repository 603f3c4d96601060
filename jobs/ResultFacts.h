//===- ResultFacts.h - What a job built, beyond the description -----------===//
#pragma once

#include "formats/common/NetworkMap.h"
#include "model/ImageFormats.h"
#include "model/VMInfoStructs.h"
#include "model/VirtualServerTypes.h"

#include <string>
#include <vector>

namespace zyjobs {

// What a conversion produced, beyond the description itself.
struct ResultFacts {
  std::string title;         // first line, e.g. "web01 restored to hyperv"
  std::string location;      // destination VM folder, if any
  std::string vmId;          // destination VM identifier, if any
  std::string instanceType;  // chosen or requested instance type
  std::string osValue;       // guest OS value for the destination
  std::string region;
  std::string nativeDescription;         // path of the native description
  std::string s3Bucket;  // Amazon: the bucket given; empty: to be filled
  std::vector<std::string> nativeNotes;  // disks it placed elsewhere
  bool verifyAsked = false;  // each copied disk compared with its source
  std::vector<std::string> verifiedDisks;  // file names found equal
};

// The name a disk has on the destination after the naming pass: its new
// name, else its display name, else its file's name, else its index name.
// (Each destination kind writes the new name into one of these.)
std::string DestinationDiskName(const VMInfoStructs::SDisk& disk);

// The format a restored disk is written in: the destination kind's own where
// it has one, else the disk record's.
DiskType_t WrittenDiskType(VirtualServerInstanceType destination,
                           const VMInfoStructs::SDisk& disk);

// name made to tell the image format written: an extension promising
// another format becomes extension, or goes where extension is empty.
std::string NameTellingFormat(const std::string& name, ImageFormat_t written,
                              const char* extension);

// The file name a restored disk is written under, which tells its image
// format: its destination name, whose extension, where it promises another
// image format than the one written, becomes the written format's (or goes,
// where that format has none).  Kinds that keep the backed-up names (the
// Azure family, 1102, 1401) are written in their own format all the same.
std::string WrittenDiskName(VirtualServerInstanceType destination,
                            const VMInfoStructs::SDisk& disk);

// Fills the native description facts of a destination VM of kind whose
// folder is facts.location (its name is the VM's), when the file is there;
// networks is the mapping it was written with.
void AddNativeDescription(ResultFacts& facts, VirtualServerInstanceType kind,
                          const VMInfoStructs::SVMInfo& info,
                          const SNetworkMap& networks = SNetworkMap());

// The instance type and region of a result: the facts' where they name
// one, else the description's.
std::string InstanceTypeOf(const ResultFacts& facts,
                           const VMInfoStructs::SVMInfo& info);
std::string RegionOf(const ResultFacts& facts,
                     const VMInfoStructs::SVMInfo& info);

// Whether disk's copy was compared with its source and found equal.
bool DiskVerified(const ResultFacts& facts, const VMInfoStructs::SDisk& disk);

}  // namespace zyjobs
