//===- Report.h - How zyvmconvert shows VM descriptions -------------------===//
#pragma once

#include "ToolSupport.h"

#include "jobs/ResultFacts.h"
#include "model/Contexts.h"
#include "model/VMInfoStructs.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace zytool {

using zyjobs::DestinationDiskName;
using zyjobs::ResultFacts;

// The image format of a disk format: "VHD", "VHDX", "VMDK", "qcow2", "raw".
std::string FormatLabel(int32_t diskType);

// A firmware as the tool spells it: "BIOS" or "EFI", whatever the
// description's case.
std::string FirmwareName(const std::string& firmware);

// Prints the description: disks with name, format, controller, bus and slot,
// size; network cards; guest OS; instance type.
void PrintDescription(const VMInfoStructs::SVMInfo& info,
                      const ResultFacts& facts);
// The same as JSON: the facts, a disk summary and the whole description.
nlohmann::json DescriptionJson(const VMInfoStructs::SVMInfo& info,
                               const ResultFacts& facts);

// A mount's thin images, one a line under "Thin images:"; nothing without.
void PrintThinImages(const std::vector<std::string>& thinImages);

// A job's result: the description and the thin images it made, as text or,
// with --json, as one JSON object.
void PrintResult(const GlobalOptions& global,
                 const VMInfoStructs::SVMInfo& info, const ResultFacts& facts,
                 const std::vector<std::string>& thinImages = {});

}  // namespace zytool
