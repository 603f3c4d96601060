//===- BootDiskCheck.h - The OS disk where the destination's firmware looks -===//
//
// The converter places disks by its own rules, and a caller that places disks
// itself keeps them; yet a BIOS finds the OS disk only on some controllers
// and addresses (a Hyper-V Generation 1 VM boots from IDE 0:0 alone).  A job
// reports a VM as built only when its firmware finds the OS disk there.  The
// check reads the VM as the destination reads it: the description goes
// through its kind's native writer and back through that format's placement
// reader, and the OS disk's place there is looked up in the table of
// bootable addresses of the destination's firmware.  EFI firmware and the
// paravirtual loader of a Xen guest without firmware are not checked: they
// boot from any disk they are pointed at.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/VMInfoStructs.h"
#include "model/VirtualServerTypes.h"

#include <string>

namespace zyjobs {

// Checks the OS disk of a VM described by info on destination kind.  True,
// with one sentence in note, when it moved the OS disk to IDE 0:0 (free, and
// a place the firmware boots from) in info; false when the firmware finds it
// where it is.  Throws JobFailure naming the disk, the controller and the
// destination when neither holds.
bool PlaceOSDiskForFirmware(VirtualServerInstanceType kind,
                            VMInfoStructs::SVMInfo& info, std::string& note);

}  // namespace zyjobs
