//===- P2VJob.h - A physical machine's restore request as a VM ------------===//
#pragma once

#include "Job.h"
#include "ResultFacts.h"

#include "model/Contexts.h"
#include "model/VirtualServerTypes.h"

#include <string>

namespace zyjobs {

// Reads a restore request (XML) that carries a bare-metal recovery response
// and turns it into a restore context for the destination kind, as the
// restore agent does: CopyVMInfoFromKestrelResponse into the context's
// description, then CopyRestoreCtxFromVmOpReq.  False with a line naming the
// file and the fault; counts of the response that disagree with their lists
// are warnings to observer.
//
// A machine whose backup client is not configured gets one answered for it,
// as a platform's client database would: its OS text is guestOS when given
// ("Windows Server 2016 Standard", or a whole "name:-version:-build:-arch"),
// else the response's OS family, and the architecture is the response's
// first processor's.  So a 64-bit Windows machine never becomes a 32-bit
// guest for want of a configuration file.
bool TranslatePhysicalMachine(const std::string& path,
                              VirtualServerInstanceType destination,
                              const std::string& guestOS,
                              IJobObserver& observer, RestoreCtx& restore,
                              SJobError& error);

// The result of a translation: titled "<machine> (physical) as a VM for
// <kind>", with the context's OS value.
ResultFacts PhysicalMachineFacts(const RestoreCtx& restore,
                                 VirtualServerInstanceType destination);

}  // namespace zyjobs
