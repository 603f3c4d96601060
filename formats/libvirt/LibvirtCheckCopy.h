//===- LibvirtCheckCopy.h - A libvirt domain as a check host runs it -------===//
//
// The boot check starts a written domain in libvirt's embedded QEMU driver.
// Its copy differs from the domain only where the check host differs from
// a real one:
//   - the domain type is 'qemu' where the host cannot use KVM;
//   - each hard disk (in document order, as the placement reader counts
//     them) writes to a qcow2 overlay in the check's scratch folder, over
//     its image, which libvirt takes from a descriptor group
//     (virDomainFDAssociate) with its format stated, so libvirt neither
//     opens the image by name nor probes it;
//   - network cards use user-mode networking (an embedded driver has no
//     host networks or bridges);
//   - the serial ports and consoles give way to one serial port writing to
//     a file, where the guest reports.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/ZyExport.h"

#include <string>
#include <vector>

// One image in a disk's chain: its format (qemu's name), the descriptor
// group libvirt takes it from, and the name it is shown by (never opened).
struct SLibvirtHeldImage {
  std::string format;
  std::string fdGroup;
  std::string shownAs;
};

struct SLibvirtCheckDisk {
  std::string overlay;  // the qcow2 overlay's path
  std::vector<SLibvirtHeldImage> chain;  // the image, then what it reads through to
};

struct SLibvirtCheckHost {
  bool kvm = false;
  std::string serial;  // the file the guest's serial port writes
  std::vector<SLibvirtCheckDisk> disks;  // one per hard disk
};

// The check copy of domain text; name gets the domain's name.  False with
// one sentence in error for a text that is no domain, or whose hard disks
// are not the ones host gives.
ZY_PLATFORM_API bool LibvirtCheckCopy(const std::string& text,
                                      const SLibvirtCheckHost& host,
                                      std::string& copy, std::string& name,
                                      std::string& error);
