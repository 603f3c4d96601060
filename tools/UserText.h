//===- UserText.h - The library's failures told in the tool's terms -------===//
//
// The library's error texts speak to the restore agent ("give osName in the
// request", "select the guest OS type in the restore screen"); they stay as
// they are, since callers may match them.  Where the tool prints a failure
// or a warning it tells the user instead which option of the command typed
// would fix it (--os with the values the destination takes, --cpus and
// --memory, --name), from one table of library text -> tool line.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/VirtualServerTypes.h"

#include <string>

namespace zytool {

// What the command line of this run said, as far as a translation needs it;
// each command fills it once it has parsed its options.
struct TypedCommand {
  std::string command;  // "convert", "restore", ...
  VirtualServerInstanceType destination = VS_NONE;
  bool destinationKnown = false;
  std::string osValue;  // --os as typed
  std::string name;     // --name as typed
};
TypedCommand& Typed();

// text with the first library text the table knows replaced, from there to
// the end of the line, by the tool's words; text unchanged when none is
// found.
std::string ForTheUser(const std::string& text);

// The --os values destination takes: "one of AUTO, Linux_x64, ...", or
// what else it takes.
std::string GuestOSValueList(VirtualServerInstanceType destination);

}  // namespace zytool
