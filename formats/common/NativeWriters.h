//===- NativeWriters.h - Native VM descriptions written from SVMInfo ------===//
//
// The descriptions a destination platform takes itself, written from a final
// VM description: a VMware .vmx, a libvirt domain, a Xen / Oracle VM vm.cfg,
// a PowerShell script that builds a Hyper-V VM, the disk containers of an EC2
// image import and an Azure Resource Manager template.  Each writer is a pure
// function from the description to text (one source file per format, beside
// the reader of the same format); none does I/O, so tests work on strings.
//
// Shared rules of every writer:
//   * every value from the description is escaped for the syntax it lands
//     in; a name holding quotes, newlines, '<', '&', "$(...)" or ';' stays
//     one value and never adds a key, an element or a command;
//   * hard disks are named by their restored file's name (the last component
//     of SDisk::fileName), under SNativeWriteInput::strDiskFolder when that
//     is given; CD-ROM drives are written without a medium (the source's
//     image is not restored with the VM);
//   * a disk whose controller, bus and slot cannot exist on the destination
//     controller goes to the next free address that can, and the writer says
//     so in a note; the description itself is not changed;
//   * every network card joins the network or bridge that
//     SNativeWriteInput::networks maps its source network to
//     (NetworkMap.h); a format that names no kind of network writes the
//     name alone;
//   * UEFI secure boot, where the description states it (SecureBoot.h), is
//     written by the formats that have it (.vmx, libvirt, Hyper-V).
//
//===----------------------------------------------------------------------===//
#pragma once

#include "formats/common/NetworkMap.h"
#include "model/VMInfoStructs.h"
#include "model/ZyExport.h"

#include <cstdint>
#include <string>
#include <vector>

// What a writer needs beyond the description.
struct SNativeWriteInput {
  std::string strDiskFolder;  // prefix of disk paths; empty: bare names
  // The S3 bucket the disk images are uploaded to (EC2); empty: a marked
  // placeholder the user replaces.
  std::string strS3Bucket;
  // The user's network mapping; empty: every card stays on its source
  // network's name (libvirt: the network "default", or the source's bridge).
  SNetworkMap networks;
};

struct SNativeDescription {
  std::string text;
  // One sentence per disk written at another address than the description
  // gives ("Disk [d3.img] at ide 0:2 cannot be there on the destination;
  // written at ide 1:0"), and one per value the user must fill in.
  std::vector<std::string> vNotes;
  // Why the description cannot be written, one sentence naming the VM;
  // text is then empty and nothing may be written.
  std::string error;
};

// The image format name qemu and libvirt use for a destination disk type, as
// the disk image component writes it: "vmdk", "vpc" (VHD), "vhdx", "qcow2",
// "raw" (model/ImageFormats.h).
ZY_PLATFORM_API const char* QemuFormatName(int32_t diskType);

// VMware .vmx (destination kinds 100, 101).
ZY_PLATFORM_API SNativeDescription WriteVmx(const VMInfoStructs::SVMInfo& info,
                                            const SNativeWriteInput& input);
// libvirt domain XML (the KVM-based kinds).
ZY_PLATFORM_API SNativeDescription WriteLibvirtDomain(
    const VMInfoStructs::SVMInfo& info, const SNativeWriteInput& input);
// Xen / Oracle VM vm.cfg (701, 801).
ZY_PLATFORM_API SNativeDescription WriteXenDomain(
    const VMInfoStructs::SVMInfo& info, const SNativeWriteInput& input);
// PowerShell script that builds the VM on a Hyper-V host (102, 402, 403).
ZY_PLATFORM_API SNativeDescription WriteHyperVScript(
    const VMInfoStructs::SVMInfo& info, const SNativeWriteInput& input);
// EC2 image import request (301).
ZY_PLATFORM_API SNativeDescription WriteEc2Import(
    const VMInfoStructs::SVMInfo& info, const SNativeWriteInput& input);
// Azure Resource Manager template of the VM (401).
ZY_PLATFORM_API SNativeDescription WriteAzureTemplate(
    const VMInfoStructs::SVMInfo& info, const SNativeWriteInput& input);
