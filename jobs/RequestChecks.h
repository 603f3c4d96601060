//===- RequestChecks.h - Range checks of a restore request's figures ------===//
//
// A restore request's figures (processors, memory, disk sizes, disk
// addresses) are checked before anything is built from them; a value out
// of range is one line naming the field.  A count that disagrees with its
// list is no error, but is reported, and the list is what is restored.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/Contexts.h"

#include <string>
#include <vector>

namespace zyjobs {

// Throws JobFailure ("restore request: vmInfo.i64NumCPUs is -5; it must be
// between 1 and 4096") for the first figure out of range.  Figures left at
// 0 are taken as not given.  A disk's unit is checked against its
// controller model's units ("restore request: vDisks[1].nSlot: unit 64 is
// out of [0..6,8..63] for pvscsi"); source is the platform that described
// the VM.  described, when the request was made from a description file,
// is that file's name: the errors name it and its own list instead of the
// request the user never wrote.
void CheckRequestFigures(const RestoreCtx& request,
                         VirtualServerInstanceType source,
                         const std::string& described = std::string());

// One line for each count of the request that disagrees with its list.
std::vector<std::string> RequestCountMismatches(const RestoreCtx& request);

}  // namespace zyjobs
