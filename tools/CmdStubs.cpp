#include "Commands.h"
namespace zytool {
int RunP2V(const GlobalOptions&, const P2VOptions&) { throw ToolError("not yet"); }
int RunDemo(const GlobalOptions&, const DemoOptions&) { throw ToolError("not yet"); }
}
