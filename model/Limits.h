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

#include <cstdint>
#include <cstring>
#include <string>

namespace zylimits {

constexpr int64_t kMinCpus = 1;
constexpr int64_t kMaxCpus = 4096;
constexpr int64_t kMiB = 1024 * 1024;
constexpr int64_t kTiB = kMiB * kMiB;
constexpr int64_t kMinMemoryMiB = 1;
constexpr int64_t kMaxMemoryMiB = 64 * kTiB / kMiB;
constexpr int64_t kMaxDiskBytes = 64 * kTiB;

// The addresses a controller of each kind offers: buses 0..lastBus, slots
// 0..lastSlot on each.
struct ControllerLimit {
  const char* name;
  int32_t lastBus;
  int32_t lastSlot;
};

// clang-format off
constexpr ControllerLimit kControllerLimits[] = {
    {"ide",  1, 1},
    {"scsi", 3, 15},
    {"sata", 3, 29},
    {"nvme", 3, 14},
};
// clang-format on

// The limits of the controller named (in lower case); null for a name this
// table does not know, whose addresses are only required to be >= 0.
inline const ControllerLimit* FindControllerLimit(const char* name) {
  for (const ControllerLimit& row : kControllerLimits)
    if (name && std::strcmp(row.name, name) == 0) return &row;
  return nullptr;
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
