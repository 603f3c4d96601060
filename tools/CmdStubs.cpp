#include "Commands.h"
namespace zytool {
int RunRestore(const GlobalOptions&, const RestoreOptions&) { throw ToolError("not yet"); }
int RunP2V(const GlobalOptions&, const P2VOptions&) { throw ToolError("not yet"); }
int RunConvert(const GlobalOptions&, const ConvertOptions&) { throw ToolError("not yet"); }
int RunDemo(const GlobalOptions&, const DemoOptions&) { throw ToolError("not yet"); }
}
