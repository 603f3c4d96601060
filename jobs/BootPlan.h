//===- BootPlan.h - How a destination VM's disks are booted in qemu -------===//
//
// The boot check reads the native description a destination VM folder holds
// (a VMware .vmx, a libvirt domain .xml, an Oracle VM vm.cfg, a Hyper-V .ps1,
// the Amazon and Azure import files) and turns it into a boot plan: the
// firmware and, for each disk, its image, the controller model qemu stands
// in with, and its bus and unit.  The plan then becomes qemu's command line.
// Everything here works on text and names only, so it is tested without
// qemu; the runner (BootRunner.h) starts qemu.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "Job.h"

#include <string>
#include <vector>

namespace zyjobs {

// The controllers qemu emulates, as qemu's device names are chosen for them,
// and the ones it does not.
enum class BootController {
  kIde,         // PIIX IDE, two buses of two units
  kSata,        // AHCI, six ports a controller
  kLsiLogic,    // lsi53c895a
  kLsiSas,      // mptsas1068
  kPvscsi,      // VMware paravirtual SCSI
  kVirtioBlk,   // one PCI device a disk
  kVirtioScsi,  // virtio-scsi-pci
  kNvme,        // one controller a disk
  kNone,        // qemu has no model of it: the disk cannot be checked
};

struct BootDisk {
  std::string file;    // the image's file name in the VM's folder
  std::string format;  // qemu's format name; empty: from the image itself
  std::string controllerName;  // as the description names it
  BootController controller = BootController::kNone;
  int bus = 0;
  int unit = 0;  // unit, port or SCSI id
  int lun = 0;   // SCSI logical unit
  bool boot = false;  // the disk the firmware boots from
};

struct BootPlan {
  std::string description;  // the native description's file name
  bool efi = false;
  std::vector<BootDisk> disks;
};

// The plan of a VM from its native description's text; kind is the file's
// kind: "vmx", "libvirt", "xen", "hyperv", "ec2", "azure".  For the cloud
// kinds (whose files name the disks but no controller), files are the disk
// files the folder holds.  The kinds are the format drivers' names
// (formats/common/FormatDrivers.h) that have a placement reader.  False,
// with error, for a description that cannot be read or names no disk.
bool PlanFromDescription(const std::string& kind, const std::string& text,
                         const std::vector<std::string>& files, BootPlan& plan,
                         SJobError& error);

// "web01.vmdk on lsilogic 0:0 (boot)".
std::string BootDiskText(const BootDisk& disk);

// The plan of the VM in folder, from its native description.  False, with
// error, when the folder holds none or it cannot be read.
bool ReadBootPlan(const std::string& folder, BootPlan& plan, SJobError& error);

// The native description in a folder: its kind and file name, the first
// file a format driver names, in the drivers' order.
// False when the folder holds none.
bool FindNativeDescription(const std::string& folder, std::string& kind,
                           std::string& file);

// What a plan cannot boot: the boot disk's controller when qemu has no
// model of it ("cannot check: <controller>"), else empty.
std::string UncheckableController(const BootPlan& plan);

// qemu's arguments for the plan's disks (after the machine's own), images
// named by their path in folder.  Disks on a controller qemu lacks, other
// than the boot disk, are left out.  formats gives each disk's format when
// its plan leaves it open.  False, with error, for a bus or unit no
// machine has.
bool QemuDiskArguments(const BootPlan& plan, const std::string& folder,
                       const std::vector<std::string>& formats,
                       std::vector<std::string>& args, SJobError& error);

// qemu's format name for an image from its first and last sectors: qcow2,
// vmdk (sparse or descriptor), vhdx, vpc (VHD), else raw.
std::string SniffImageFormat(const std::string& head, const std::string& tail);

}  // namespace zyjobs
