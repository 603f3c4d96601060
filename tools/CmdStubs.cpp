#include "Commands.h"
namespace zytool {
int RunP2V(const GlobalOptions&, const P2VOptions&) { throw ToolError("not yet"); }
}
#include "P2VJob.h"
namespace zytool {
RestoreCtx TranslatePhysicalMachine(const std::string&, VirtualServerInstanceType) { throw ToolError("p2v not yet"); }
}
