//===- UserText.cpp - The library's failures told in the tool's terms -----===//
#include "UserText.h"

#include "converter/ConverterFacts.h"
#include "model/PlatformKinds.h"

namespace zytool {
namespace {

std::string KindName(const TypedCommand& typed) {
  return typed.destinationKnown ? PlatformKindName(typed.destination)
                                : std::string("KIND");
}

// AUTO is left out where it is what failed.
std::string OSValues(const TypedCommand& typed, bool withAuto = true) {
  std::string list = typed.destinationKnown
                         ? GuestOSValueList(typed.destination)
                         : std::string("see the kind's values");
  const std::string kAuto = "one of AUTO, ";
  if (!withAuto && list.rfind(kAuto, 0) == 0) list.erase(7, kAuto.size() - 7);
  return "with " + list + " (zyvmconvert kinds --os " + KindName(typed) + ")";
}

std::string GiveOS(const TypedCommand& typed) {
  return "the guest OS is unknown: give --os " + OSValues(typed, false);
}

// The value that failed: --os, else the request's.
std::string GivenOS(const TypedCommand& typed) {
  return typed.osValue.empty() ? "the request's osName"
                               : "--os [" + typed.osValue + "]";
}

std::string OSWithoutArchitecture(const TypedCommand& typed) {
  return GivenOS(typed) + " names no CPU architecture: give --os " +
         OSValues(typed);
}

std::string OSWithoutFamily(const TypedCommand& typed) {
  return GivenOS(typed) + " names no OS family: give --os " + OSValues(typed);
}

std::string GiveCpusAndMemory(const TypedCommand&) {
  return "give them with --cpus N and --memory MIB";
}

std::string NameNotAFileName(const TypedCommand& typed) {
  std::string name = typed.name.empty() ? "the source VM's name"
                                        : "--name [" + typed.name + "]";
  return name +
         " cannot be a file name, and the VM's folder is called after it: "
         "give --name without '/' that is not '.' or '..'";
}

struct Translation {
  const char* libraryText;  // found in the line
  const char* commands;     // the commands whose options the line names
  std::string (*toolText)(const TypedCommand& typed);
};

// clang-format off
const Translation kTranslations[] = {
    {"the guest OS is unknown; give osName in the request or configure the client", "convert restore", GiveOS},
    {"Failed to get OS information from DB", "convert restore", GiveOS},
    {"Guest OS name is not available", "convert restore", GiveOS},
    {"Guest CPU Architecture is not available", "convert restore", GiveOS},
    {"Failed to parse OS (CPU Arch) information", "convert restore", OSWithoutArchitecture},
    {"Failed to parse OS information", "convert restore", OSWithoutFamily},
    {"give them in the request's vmInfo", "convert", GiveCpusAndMemory},
    {"Invalid destination VM name", "convert", NameNotAFileName},
};
// clang-format on

bool Names(const char* commands, const std::string& command) {
  std::string list = std::string(" ") + commands + " ";
  return !command.empty() &&
         list.find(" " + command + " ") != std::string::npos;
}

}  // namespace

TypedCommand& Typed() {
  static TypedCommand typed;
  return typed;
}

std::string ForTheUser(const std::string& text) {
  const TypedCommand& typed = Typed();
  for (const Translation& row : kTranslations) {
    size_t at = text.find(row.libraryText);
    if (at != std::string::npos && Names(row.commands, typed.command))
      return text.substr(0, at) + row.toolText(typed);
  }
  return text;
}

std::string GuestOSValueList(VirtualServerInstanceType destination) {
  if (zykinds::Has(destination, zykinds::kOwnGuestOSValues))
    return "a guestOS name of " + PlatformKindName(destination) +
           "'s own (as in a .vmx, such as windows2019srv-64)";
  std::string list;
  for (const std::string& value : zy_converter::GuestOSValues(destination))
    list += (list.empty() ? "" : ", ") + value;
  return list.empty() ? "no value (the kind needs no guest OS)"
                      : "one of " + list;
}

}  // namespace zytool
