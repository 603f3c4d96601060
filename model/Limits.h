//===- Limits.h - The largest and smallest values a VM can be given -------===//
//
// Figures from recovery responses and restore requests are checked against
// these before anything is built from them: a negative processor count, a
// memory size that wraps in 32 bits, a disk of 8 EiB or a disk on IDE slot
// 99 would otherwise reach the destination as a VM that cannot exist.  The
// bounds are wider than any platform's own, so a real machine always fits.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/VirtualServerTypes.h"

#include <cstdint>
#include <string>

namespace zylimits {

constexpr int64_t kMinCpus = 1;
constexpr int64_t kMaxCpus = 4096;
constexpr int64_t kMiB = 1024 * 1024;
constexpr int64_t kTiB = kMiB * kMiB;
constexpr int64_t kMinMemoryMiB = 1;
constexpr int64_t kMaxMemoryMiB = 64 * kTiB / kMiB;
constexpr int64_t kMaxDiskBytes = 64 * kTiB;

// The addresses a disk controller offers, by its model: controllers
// 0..lastBus of its kind, units 0..lastSlot on each except reservedSlot
// (the SCSI adapter's own target id 7 on VMware's parallel, SAS and
// paravirtual SCSI).  A controller whose model is not given, or that a
// platform other than VMware describes, has the limits of its kind's row
// without a model (the physical machine's and the unnamed kinds' SCSI has
// 16 targets), or of its platform's own row: a Hyper-V SCSI controller has
// 64 locations and no reserved one.
struct ControllerLimit {
  const char* kind;   // the disk's strControllerType, lower case
  const char* model;  // the controller's model ("pvscsi"); "": not given
  VirtualServerInstanceType platform;  // VS_NONE: every platform
  int32_t lastBus;
  int32_t lastSlot;
  int32_t reservedSlot;  // -1: none
  // The model VMware gives a controller of the kind that names none: LSI
  // Logic is the SCSI model VMware has chosen for every guest since Windows
  // 2003 (BusLogic, for a few older guests, has the same addresses).
  bool vmwareDefault;
};

// clang-format off
constexpr ControllerLimit kControllerLimits[] = {
    // kind   model         platform    buses units reserved default
    {"ide",  "",           VS_NONE,    1,    1,    -1,      true},
    {"scsi", "lsilogic",   VS_NONE,    3,    15,    7,      true},
    {"scsi", "buslogic",   VS_NONE,    3,    15,    7,      false},
    {"scsi", "lsisas1068", VS_NONE,    3,    15,    7,      false},
    {"scsi", "pvscsi",     VS_NONE,    3,    63,    7,      false},
    {"scsi", "",           VS_HYPERV,  3,    63,   -1,      false},
    {"scsi", "",           VS_NONE,    3,    15,   -1,      false},
    {"sata", "ahci",       VS_NONE,    3,    29,   -1,      true},
    {"sata", "",           VS_NONE,    3,    29,   -1,      false},
    {"nvme", "nvme",       VS_NONE,    3,    14,   -1,      true},
    {"nvme", "",           VS_NONE,    3,    14,   -1,      false},
};
// clang-format on

// The limits of a controller of kind (lower case) and model (lower case,
// "" when not given) described by platform: the model's row, else the
// platform's row of the kind, else the kind's row; null for a kind this
// table does not know, whose addresses are only required to be >= 0.
inline const ControllerLimit* FindControllerLimit(
    const std::string& kind, const std::string& model = std::string(),
    VirtualServerInstanceType platform = VS_NONE) {
  const ControllerLimit* found = nullptr;
  for (const ControllerLimit& row : kControllerLimits) {
    if (kind != row.kind) continue;
    if (!model.empty() && model == row.model) return &row;
    if (*row.model) continue;
    if (row.platform == platform) return &row;
    if (row.platform == VS_NONE && !found) found = &row;
  }
  return found;
}

// The model VMware gives a controller of kind that names none ("lsilogic"
// for SCSI); "" for a kind without models.
inline const char* VMwareDefaultModel(const std::string& kind) {
  for (const ControllerLimit& row : kControllerLimits)
    if (kind == row.kind && row.vmwareDefault) return row.model;
  return "";
}

inline bool IsValidSlot(const ControllerLimit& limit, int64_t slot) {
  return slot >= 0 && slot <= limit.lastSlot && slot != limit.reservedSlot;
}

// The units of a controller as qemu and libvirt write a range:
// "[0..6,8..63]", "[0..29]".
inline std::string SlotRange(const ControllerLimit& limit) {
  int32_t reserved = limit.reservedSlot;
  if (reserved < 0 || reserved > limit.lastSlot)
    return "[0.." + std::to_string(limit.lastSlot) + "]";
  return "[0.." + std::to_string(reserved - 1) + "," +
         std::to_string(reserved + 1) + ".." + std::to_string(limit.lastSlot) +
         "]";
}

inline bool InRange(int64_t value, int64_t low, int64_t high) {
  return value >= low && value <= high;
}

// The one-line error for a value out of range, naming the field:
// "numCpus is -5; it must be between 1 and 4096".
inline std::string OutOfRange(const std::string& field, int64_t value,
                              int64_t low, int64_t high) {
  return field + " is " + std::to_string(value) + "; it must be between " +
         std::to_string(low) + " and " + std::to_string(high);
}

}  // namespace zylimits
