//===- DiskPlacement.h - Where a booted VM finds its disks ------*- C++ -*-===//
//
// What a placement reader gives from a native description's text: the
// firmware and, for each hard disk, its file, the controller it sits on and
// its address there.  Placement readers are pure functions of the text (and,
// for the cloud files that name disks but no controller, of the disk files
// the VM's folder holds); each is the inverse of its format's writer.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/VMInfoStructs.h"

#include <string>
#include <vector>

struct SPlacedDisk {
  std::string file;        // the image's path as the description names it
  std::string format;      // qemu's format name; empty: not stated
  std::string controller;  // the controller model, lower case: "ide",
                           // "sata", "lsilogic", "pvscsi", "virtio",
                           // "virtio-scsi", "nvme", "hyper-v scsi", ...
  int bus = 0;   // controller number (IDE: channel)
  int unit = 0;  // unit, port or SCSI id on it
  int lun = 0;   // SCSI logical unit
  bool boot = false;  // the disk the firmware boots from
};

struct SDiskPlacement {
  bool efi = false;
  std::vector<SPlacedDisk> disks;
};

// The first disk is the boot disk unless one is marked.
void MarkFirstAsBoot(SDiskPlacement& placement);
// A disk of a read description that a booted VM finds: no CD-ROM drive, a
// file named.
bool NamesHardDisk(const VMInfoStructs::SDisk& disk);

// The placement readers, one per native description format (each in its
// format's folder).  False, with one sentence in error, for a text that
// cannot be read; a text that names no disk gives an empty placement.
bool PlaceVmx(const std::string& text, const std::vector<std::string>& files,
              SDiskPlacement& placement, std::string& error);
bool PlaceXenDomain(const std::string& text,
                    const std::vector<std::string>& files,
                    SDiskPlacement& placement, std::string& error);
bool PlaceLibvirtDomain(const std::string& text,
                        const std::vector<std::string>& files,
                        SDiskPlacement& placement, std::string& error);
bool PlaceHyperVScript(const std::string& text,
                       const std::vector<std::string>& files,
                       SDiskPlacement& placement, std::string& error);
bool PlaceEc2Import(const std::string& text,
                    const std::vector<std::string>& files,
                    SDiskPlacement& placement, std::string& error);
bool PlaceAzureTemplate(const std::string& text,
                        const std::vector<std::string>& files,
                        SDiskPlacement& placement, std::string& error);

// The disks a cloud import file (JSON) names: the folder's files its texts
// name, those under an "osDisk" key first, in document order; efi from a
// "hyperVGeneration": "V2" setting.  Disks are left unplaced (no
// controller): the caller places them as its cloud boots.
bool ReadNamedDisks(const std::string& text,
                    const std::vector<std::string>& files,
                    SDiskPlacement& placement, std::string& error);
