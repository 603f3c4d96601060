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

#include <nlohmann/json.hpp>

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
  std::string marker;  // the id of the test marker its image holds; "" none
};

struct BootPlan {
  std::string description;  // the native description's file name
  std::string kind;         // its format driver's name ("libvirt")
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

// How qemu opens one disk's image: a node graph pinned in full, so that
// qemu follows no name the image carries.  The file node reads file (a
// path, or /dev/fdset/N for a descriptor the caller holds) read-only; the
// format node is format with no backing file; a writable qcow2 overlay
// (when overlay is given) takes the guest's writes, as -snapshot would.
struct BootImage {
  std::string file;
  std::string format;   // qemu's format driver
  std::string overlay;  // the overlay's path; "" attaches the image itself
  // A mounted VM's thin image reads through to the backed-up image: its
  // file node and format, pinned the same way; "" for an image that stands
  // alone.
  std::string backingFile;
  std::string backingFormat;
};

// The image's format node over its file node, read-only, with no backing
// file but the backing image it names, as -blockdev and qemu-img's json:
// take it.
nlohmann::json PinnedImageNode(const BootImage& image);

// qemu's arguments for the plan's disks (after the machine's own), one
// image a disk in the plan's order.  Disks on a controller qemu lacks,
// other than the boot disk, are left out.  False, with error, for a bus or
// unit no machine has.
bool QemuDiskArguments(const BootPlan& plan,
                       const std::vector<BootImage>& images,
                       std::vector<std::string>& args, SJobError& error);

// ---- The OS check ----------------------------------------------------------
//
// The Linux test guest (tests/boot/make-linux-guest.sh) reports on its
// serial port one line per disk its kernel sees ("ZYVM DISK dev=sda
// driver=ata_piix ... scsi=0:0:0:0 ... marker=data1"), between "ZYVM BOOT
// ..." and "ZYVM DONE disks=N".  Every test disk carries its marker,
// "ZYVMDISK <id>", at sector 2047 (the last sector of the first MiB, which
// no partition uses); the guest's own OS disk carries "os-bios" or
// "os-uefi".  That marker on the boot disk is the guest's signature: the
// boot check reads sector 2047 of every disk through the same pinned node
// graph before the boot, so it knows, without booting, that the OS disk
// holds the guest and which marker each disk must show.  The 512-byte
// guest's disks hold "ZYVMMARK" there and get the firmware check only.

// The marker's id in a disk's sector 2047, "" when it holds none.
std::string MarkerOf(const std::string& sector);

// Whether the plan's boot disk holds the Linux test guest.
bool HoldsLinuxGuest(const BootPlan& plan);

// The controller of an attached disk that qemu has but the guest's stock
// kernel cannot bring up on qemu (LSI SAS 1068), "" when there is none.
std::string OsUncheckableController(const BootPlan& plan);

// The guest's own report lines in its serial output: each whole line's
// part from "ZYVM " on (SeaBIOS leaves "Booting from Hard Disk..." before
// it), printable ASCII only; nothing else the guest writes is kept.
std::vector<std::string> GuestReportLines(const std::string& serial);

// The OS check of a finished report: every attached disk of the plan
// appears once with its marker (an unmarked disk as one more unmarked
// disk), bound to the driver of the controller its description names, and
// on a SCSI controller at its target and LUN.  seen gets one line a disk
// found ("web01.vmdk: sda, vmw_pvscsi 0:0:0:0, marker os-bios"); false with
// failure naming the first disk that is missing or misplaced.
bool CheckOsReport(const BootPlan& plan, const std::vector<std::string>& lines,
                   std::vector<std::string>& seen, std::string& failure);

// qemu's format name for an image from its first and last sectors: qcow2,
// vmdk (sparse or descriptor), vhdx, vpc (VHD), else raw.
std::string SniffImageFormat(const std::string& head, const std::string& tail);

}  // namespace zyjobs
