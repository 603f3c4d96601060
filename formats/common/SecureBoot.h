//===- SecureBoot.h - Whether an EFI machine boots with UEFI secure boot --===//
//
// Secure boot is no member of SVMInfo: it travels as the option
// "uefi.secureBoot.enabled" ("TRUE" or "FALSE") of vExtraOptions, the
// options passed to the destination platform, so the records and the files
// that store them keep their shape.  A reader whose format states it sets
// the option; the writers of formats that have it write it.  A description
// without the option says nothing, and each destination keeps its default.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/VMInfoStructs.h"
#include "model/ZyExport.h"

enum class SecureBoot { kUnstated, kOff, kOn };

// What the description states; kUnstated for a machine that is not EFI.
ZY_PLATFORM_API SecureBoot SecureBootOf(const VMInfoStructs::SVMInfo& info);
// States it, replacing what the description stated.
ZY_PLATFORM_API void SetSecureBoot(VMInfoStructs::SVMInfo& info, bool on);
