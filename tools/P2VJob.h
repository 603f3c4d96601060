//===- P2VJob.h - A physical machine's restore request as a VM ------------===//
#pragma once

#include "model/Contexts.h"
#include "model/VirtualServerTypes.h"

#include <string>

namespace zytool {

// Reads a restore request (XML) that carries a bare-metal recovery response
// and turns it into a restore context for the destination kind, as the
// restore agent does: CopyVMInfoFromKestrelResponse into the context's
// description, then CopyRestoreCtxFromVmOpReq.  Throws ToolError naming the
// file and the fault.
RestoreCtx TranslatePhysicalMachine(const std::string& path,
                                    VirtualServerInstanceType destination);

}  // namespace zytool
