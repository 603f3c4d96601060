//===- CmdKinds.cpp - zyvmconvert kinds: the platform kinds' facts --------===//
//
// Prints the kinds' records (jobs/KindListing.h) row by row: the
// destination format and its extension, the largest disk, whether CD-ROM
// drives are kept (empty) or dropped, the kind's other facts and the names
// the restore gives a sample VM's disks.  kinds --os KIND lists the guest OS
// values (--os) the converter takes for a destination kind.
//
//===----------------------------------------------------------------------===//
#include "Commands.h"
#include "Report.h"

#include "converter/ConverterFacts.h"
#include "jobs/KindListing.h"
#include "model/PlatformKinds.h"

#include <nlohmann/json.hpp>

#include <vector>

#include <CLI/CLI.hpp>
#include <memory>

namespace zytool {
namespace {

// The names that are set, joined by separator; empty when none is.
std::string Joined(const std::vector<std::string>& names,
                   const char* separator) {
  std::string text;
  for (const std::string& name : names)
    text += (text.empty() ? "" : separator) + name;
  return text;
}

std::string FlagList(const KindListing& kind) {
  std::vector<std::string> set;
  for (const auto& [name, on] : kind.flags)
    if (on) set.push_back(name);
  return set.empty() ? "-" : Joined(set, ",");
}

void PrintTable(const std::vector<KindListing>& kinds) {
  Print("%-10s %6s %-7s %-10s %-18s %-8s %-24s %s\n", "KIND", "NUMBER",
        "FORMAT", "EXTENSION", "LARGEST DISK", "CD-ROM", "DISK NAMES", "FACTS");
  for (const KindListing& kind : kinds) {
    const zykinds::KindFacts& facts = kind.facts;
    std::string largest =
        facts.largestDiskBytes == 0
            ? "no limit"
            : HumanBytes(static_cast<uint64_t>(facts.largestDiskBytes));
    Print("%-10s %6d %-7s %-10s %-18s %-8s %-24s %s\n",
          PlatformKindName(facts.kind).c_str(), static_cast<int>(facts.kind),
          FormatLabel(facts.diskFormat).c_str(),
          kind.extension.empty() ? "(none)" : kind.extension.c_str(),
          largest.c_str(), kind.cdromKept ? "kept" : "dropped",
          Joined(kind.sampleDiskNames, ", ").c_str(), FlagList(kind).c_str());
  }
  Print(
      "\nCD-ROM: kept: every CD-ROM drive of the source is written empty (its "
      "medium is not restored); dropped: the kind has no CD-ROM drive, and "
      "the drives are left out.\n");
  Print(
      "Disk names: what the restore names the two disks of a VMware VM "
      "\"%s\" "
      "(web-os.vmdk, web-data.vmdk) backed up as \"%s\".\n",
      kSampleVMName, kSampleVMId);
}

void PrintJson(const std::vector<KindListing>& kinds) {
  nlohmann::json list = nlohmann::json::array();
  for (const KindListing& kind : kinds) {
    const zykinds::KindFacts& facts = kind.facts;
    nlohmann::json entry;
    entry["kind"] = static_cast<int>(facts.kind);
    entry["name"] = PlatformKindName(facts.kind);
    entry["diskFormat"] = static_cast<int>(facts.diskFormat);
    entry["format"] = FormatLabel(facts.diskFormat);
    entry["osValues"] = kind.osValues;
    entry["extension"] = kind.extension;
    entry["largestDiskBytes"] = facts.largestDiskBytes == 0
                                    ? nlohmann::json(nullptr)
                                    : nlohmann::json(facts.largestDiskBytes);
    entry["cdromKept"] = kind.cdromKept;
    entry["cdrom"] = kind.cdromKept ? "kept empty: the medium is not restored"
                                    : "dropped";
    entry["mayBeDestination"] = kind.mayBeDestination;
    for (const auto& [name, on] : kind.flags) entry[name] = on;
    entry["sampleDiskNames"] = kind.sampleDiskNames;
    list.push_back(entry);
  }
  Print("%s\n", list.dump(2).c_str());
}

}  // namespace

VirtualServerInstanceType KindFromText(const std::string& text) {
  VirtualServerInstanceType kind = VS_NONE;
  if (!ParsePlatformKind(text, kind))
    throw ToolError("unknown platform kind [" + text +
                    "] (see 'zyvmconvert kinds' for the kinds)");
  return kind;
}

VirtualServerInstanceType DestinationKindFromText(const std::string& text) {
  VirtualServerInstanceType kind = KindFromText(text);
  SJobError error;
  Require(CheckDestinationKind(kind, text, error), error);
  Typed().destination = kind;
  Typed().destinationKnown = true;
  return kind;
}

// The --os values of one kind, one a line (JSON: a list).
int RunKindOSValues(const GlobalOptions& global, const std::string& text) {
  VirtualServerInstanceType kind = KindFromText(text);
  std::vector<std::string> values = zy_converter::GuestOSValues(kind);
  if (global.json) {
    Print("%s\n", nlohmann::json(values).dump().c_str());
    return 0;
  }
  if (values.empty()) {
    Print("%s: --os with %s\n", PlatformKindName(kind).c_str(),
          GuestOSValueList(kind).c_str());
    return 0;
  }
  for (const std::string& value : values) Print("%s\n", value.c_str());
  return 0;
}

int RunKinds(const GlobalOptions& global) {
  std::vector<KindListing> kinds;
  SJobError error;
  Require(ListKinds(kinds, error), error);
  if (global.json)
    PrintJson(kinds);
  else
    PrintTable(kinds);
  return 0;
}

void AddKindsCommand(CLI::App& app, const GlobalOptions& global,
                     CommandRun& run) {
  CLI::App* cmd =
      app.add_subcommand("kinds", "List the platform kinds and their facts");
  auto osOf = std::make_shared<std::string>();
  cmd->add_option("--os", *osOf,
                  "List the guest OS values (--os of convert and restore) "
                  "this destination kind takes");
  cmd->callback([&run, &global, osOf] {
    run = [&global, osOf] {
      return osOf->empty() ? RunKinds(global) : RunKindOSValues(global, *osOf);
    };
  });
}

}  // namespace zytool
