//===- FormatDrivers.h - The table of description formats -------*- C++ -*-===//
//
// One row per description format: its name, the file it lives in, the
// platform kinds that hand it to us (read) and that take it from us
// (write), and its functions.  Every caller that picks a format by kind,
// file name or name looks it up here:
//
//   name     file                 reads           writes
//   vmx      <vm>.vmx (.vmtx)     VMware          100, VMware
//   xen      vm.cfg (.cfg)        Oracle VM       Oracle VM, 801
//            (its cards name host bridges)
//   libvirt  <vm>.xml             -               the KVM-based kinds
//   hyperv   <vm>.ps1             -               Hyper-V, Azure 2 and 3
//   ec2      import-image.json    Amazon (.xml)   Amazon
//   azure    azure-vm.json        -               Azure 1
//   zyf      VMConfig.zyf         every kind      -
//
// A format's folder (formats/<name>/) holds its syntax, its reader, its
// writer and its placement reader.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "formats/common/DiskPlacement.h"
#include "formats/common/FormatText.h"
#include "formats/common/NativeWriters.h"
#include "model/VirtualServerTypes.h"

// What a reader takes beside the text.
struct SFormatReadInput {
  std::string path;       // the file's path, for messages and disk names
  Ec2InstanceSizes sizes;  // the platform's instance types (ec2)
};

// Text to description; false with one sentence in error.
using FormatReader = bool (*)(const std::string& text,
                              const SFormatReadInput& input,
                              VMInfoStructs::SVMInfo& info,
                              std::string& error);
// File to description, the failure in the platform log (as the readers of
// backed-up VMs have always reported).
using FormatFileReader = bool (*)(const std::string& path,
                                  VMInfoStructs::SVMInfo& info);
using FormatWriter = SNativeDescription (*)(const VMInfoStructs::SVMInfo&,
                                            const SNativeWriteInput&);
// Native description to the placement of its disks; files are the disk
// files beside it (the cloud files name disks by file name only).
using PlacementReader = bool (*)(const std::string& text,
                                 const std::vector<std::string>& files,
                                 SDiskPlacement& placement,
                                 std::string& error);

constexpr int kFormatKinds = 8;

struct SFormatDriver {
  const char* name;
  const char* fileName;  // a fixed file name, or null
  const char* suffix;    // null, or the file is <vm><suffix>
  // Extensions of the source configuration files it reads ("vmx vmtx").
  const char* readExtensions;
  VirtualServerInstanceType reads[kFormatKinds];   // VS_NONE-padded
  VirtualServerInstanceType writes[kFormatKinds];  // VS_NONE-padded
  FormatReader read;
  FormatFileReader readFile;
  FormatWriter write;
  PlacementReader place;
  // The network a card of this format names is a host bridge.
  bool namesBridges;
};

// Every driver, in the order a VM folder is searched for its native
// description.
ZY_PLATFORM_API const SFormatDriver* FormatDriversBegin();
ZY_PLATFORM_API const SFormatDriver* FormatDriversEnd();

// The driver named name ("vmx"); null for none.
ZY_PLATFORM_API const SFormatDriver* FindFormat(const std::string& name);
// The driver that writes the native description of a destination kind.
ZY_PLATFORM_API const SFormatDriver* FormatWrittenFor(
    VirtualServerInstanceType kind);
// The driver that reads a source kind's configuration file of that
// extension (any letter case); null when the file is not one.
ZY_PLATFORM_API const SFormatDriver* FormatReadFor(
    VirtualServerInstanceType kind, const std::string& extension);
// Whether the cards of a source kind's VMs name host bridges, as the format
// that reads its configuration files says.
ZY_PLATFORM_API bool SourceNamesBridges(VirtualServerInstanceType kind);
// Whether a source kind has a configuration file reader at all.
ZY_PLATFORM_API bool SourceKindHasFormat(VirtualServerInstanceType kind);
// The file name a driver's description of the VM named vmName has.
ZY_PLATFORM_API std::string NativeFileName(const SFormatDriver& driver,
                                           const std::string& vmName);
// Whether a file name is the driver's native description.
ZY_PLATFORM_API bool IsNativeFileName(const SFormatDriver& driver,
                                      const std::string& name);
// Whether a file of that extension (any letter case) is a configuration
// file some format reads.
ZY_PLATFORM_API bool IsConfigExtension(const std::string& extension);
