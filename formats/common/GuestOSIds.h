//===- GuestOSIds.h - A guest OS in each destination's vocabulary -*- C++ -*-===//
//
// Platforms name guest operating systems each in their own words: VMware
// by guest id ("windows2019srv-64", "otherlinux-64", or the API's
// "windows2019srv_64Guest"), libvirt by libosinfo id
// ("http://microsoft.com/win/2k19"), Amazon by "Windows" or "Linux/UNIX",
// Oracle VM by a sentence ("Oracle Linux 7").  One table turns the words a
// description or a user gives into each of them.
//
// A text is taken as a VMware guest id as it stands when it is one word
// that starts with a lower-case letter and holds only letters, digits, '-'
// and '_' ("other", "rhel9_64Guest"); no other platform names a guest so.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/VMInfoStructs.h"
#include "model/ZyExport.h"

#include <string>

// Whether text is a VMware guest id (see above).
ZY_PLATFORM_API bool IsVmwareGuestId(const std::string& text);

// "Windows" or "Unix" (the OSType of SGuestOSInfo) for a guest OS text of
// any vocabulary; empty when the text names neither.
ZY_PLATFORM_API std::string GuestOSFamily(const std::string& text);

// The VMware guest id of a description: strGuestOS when it is one, else
// the id of the table row its OS text, family and architecture match
// ("otherlinux-64" for a 64-bit Linux of no known distribution,
// "windows9srv-64" for a 64-bit Windows of no known version), "other" when
// nothing is known.
ZY_PLATFORM_API std::string VmwareGuestId(const VMInfoStructs::SVMInfo& info);

// Oracle VM's OS type of a description (OVM_os_type): strGuestOS when it is
// one of Oracle VM's own ("Oracle Linux 6"), else the table row's
// ("Microsoft Windows Server 2019" for "windows2019srv_64Guest"), else the
// family's "Microsoft Windows", "Other Linux" or "Other".
ZY_PLATFORM_API std::string OracleVmOSType(const VMInfoStructs::SVMInfo& info);

// The libosinfo id of a description's guest OS; empty unless the OS text
// names a version libosinfo knows.
ZY_PLATFORM_API std::string LibosinfoId(const VMInfoStructs::SVMInfo& info);
