//===- Commands.h - The subcommands of zyvmconvert ------------------------===//
//
// Each subcommand registers its own options with Add<Name>Command and runs
// in one function that returns the process's exit status and reports
// failures by throwing ToolError (main prints its one line).
//
//===----------------------------------------------------------------------===//
#pragma once

#include "SourceOptions.h"
#include "ToolSupport.h"
#include "UserText.h"

#include "model/VirtualServerTypes.h"

#include <functional>
#include <string>

namespace CLI {
class App;
}

namespace zytool {

// What main runs once the command line is parsed: set by the subcommand
// that was named.
using CommandRun = std::function<int()>;
// Registers one subcommand and its options with app; when the command line
// names it, run is set to run it with the global options.
using AddCommand = void (*)(CLI::App& app, const GlobalOptions& global,
                            CommandRun& run);

void AddRestoreCommand(CLI::App& app, const GlobalOptions& global,
                       CommandRun& run);
void AddP2VCommand(CLI::App& app, const GlobalOptions& global, CommandRun& run);
void AddConvertCommand(CLI::App& app, const GlobalOptions& global,
                       CommandRun& run);
void AddCloneDiskCommand(CLI::App& app, const GlobalOptions& global,
                         CommandRun& run);
void AddKindsCommand(CLI::App& app, const GlobalOptions& global,
                     CommandRun& run);
void AddDemoCommand(CLI::App& app, const GlobalOptions& global,
                    CommandRun& run);
void AddBootCheckCommand(CLI::App& app, const GlobalOptions& global,
                         CommandRun& run);
void AddInitRootCommand(CLI::App& app, const GlobalOptions& global,
                        CommandRun& run);
// mount, unmount and promote.
void AddMountCommands(CLI::App& app, const GlobalOptions& global,
                      CommandRun& run);

// A platform kind from the command line; throws ToolError naming the text.
VirtualServerInstanceType KindFromText(const std::string& text);
// The same for a destination; kinds that are only ever a source, or that
// the converter can never finish, are refused.
VirtualServerInstanceType DestinationKindFromText(const std::string& text);

int RunKinds(const GlobalOptions& global);

// Boots the restored VM in folder in qemu; 0 booted, 1 failed, 3 cannot be
// checked.
int RunBootCheck(const GlobalOptions& global, const std::string& folder);

struct CloneDiskOptions {
  std::string source;
  std::string destination;
  std::string toFormat;  // vmdk, vhd, ...; empty: from the destination's name
  bool verify = false;   // compare the guest data after the copy
};
int RunCloneDisk(const GlobalOptions& global, const CloneDiskOptions& options);

struct RestoreOptions : VMJobOptions {
  std::string request;       // JSON file, "-" for standard input; may be
                             // empty with a source given as files
  std::string from;          // source kind
  std::string to;            // destination kind
  std::string sourceFolder;  // where the backed-up files are; default: the
                             // source VM's folder on the platform
};
int RunRestore(const GlobalOptions& global, const RestoreOptions& options);

struct P2VOptions {
  std::string request;      // restore request XML with a recovery response
  std::string to;           // destination kind
  std::string saveRequest;  // write the restore request as JSON here
  std::string guestOS;      // the machine's OS when no client is configured
};
int RunP2V(const GlobalOptions& global, const P2VOptions& options);

struct ConvertOptions : VMJobOptions {
  std::string vm;  // source VM name
  std::string from;
  std::string to;
  std::string destinationName;  // default: the source VM's name
  bool libraryConvert = false;  // the library's ConvertVM, no disk images
};
int RunConvert(const GlobalOptions& global, const ConvertOptions& options);

}  // namespace zytool
