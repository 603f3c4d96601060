//===- KindListing.h - The platform kinds' facts, one record a kind -------===//
//
// What a listing of the platform kinds shows: each kind's row of the kind
// table (model/PlatformKinds.h), what the converter says of it (whether it
// can finish a VM of the kind, the guest OS values a request may give it),
// and its naming rule, which is behaviour rather than a fact: the names
// UpdateDiskNames gives the two disks of a sample VMware VM.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "Job.h"

#include "model/PlatformKinds.h"

#include <string>
#include <utility>
#include <vector>

namespace zyjobs {

// The sample the naming rule is shown on: a VMware VM "web" with a
// configuration file and two disks (web-os.vmdk, web-data.vmdk), backed up
// under the identifier "vm-42".
inline constexpr char kSampleVMName[] = "web";
inline constexpr char kSampleVMId[] = "vm-42";

struct KindListing {
  zykinds::KindFacts facts;
  std::string extension;  // of its disk format; empty: none
  bool cdromKept = true;
  // Neither a source only nor a kind the converter cannot finish.
  bool mayBeDestination = false;
  // The yes/no facts by name ("cloud", "azureFamily", ...), in the
  // listing's order.
  std::vector<std::pair<std::string, bool>> flags;
  std::vector<std::string> osValues;  // the guest OS values it takes
  std::vector<std::string> sampleDiskNames;
};

// One record for each known kind, in the kind table's order.  The sample
// names are questions, not conversions: the platform log stays quiet.
bool ListKinds(std::vector<KindListing>& kinds, SJobError& error);

// False, with one line naming the kind as text gives it, when kind cannot be
// a destination: a source only, or a kind the converter cannot finish.
bool CheckDestinationKind(VirtualServerInstanceType kind,
                          const std::string& text, SJobError& error);

}  // namespace zyjobs
