//===- LibvirtPlacement.cpp - Where a libvirt domain finds its disks ------===//
//
// Also the domain's copy a check host runs (LibvirtCheckCopy.h), which
// counts the hard disks as the placement does.
//
// A disk's <address type='drive' controller= bus= target= unit=/> means, as
// libvirt's QEMU driver has it: on IDE, bus is the channel and unit the
// unit; on SATA, controller and unit (the port); on SCSI, controller,
// target (the SCSI id) and unit (the LUN), but on an LSI Logic controller
// (libvirt's default SCSI model) unit is the SCSI id, the LUN 0.  A disk
// without an address sits where libvirt puts it by its target name's index
// N (hdc, sdc, vdc: 2): IDE channel N / 2, unit N % 2; SATA controller
// N / 6, port N % 6; SCSI controller N / 7, unit N % 7.
//
//===----------------------------------------------------------------------===//
#include "formats/common/DiskPlacement.h"
#include "formats/libvirt/LibvirtCheckCopy.h"
#include "platform/support/FXString.h"
#include "platform/support/XercesInit.h"

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>

#include <cctype>
#include <cstdlib>
#include <initializer_list>
#include <map>
#include <utility>
#include <vector>

namespace {

using xercesc::DOMElement;

std::string Utf8(const XMLCh* text) { return ZyXmlLocalText(text); }

std::string Attribute(const DOMElement* element, const char* name) {
  if (!element) return "";
  return Utf8(element->getAttribute(ZyXmlLocalChars(name).c_str()));
}

std::vector<const DOMElement*> Children(const DOMElement* parent,
                                        const char* name) {
  std::vector<const DOMElement*> found;
  for (auto* node = parent ? parent->getFirstElementChild() : nullptr; node;
       node = node->getNextElementSibling())
    if (Utf8(node->getTagName()) == name) found.push_back(node);
  return found;
}

const DOMElement* Child(const DOMElement* parent, const char* name) {
  auto found = Children(parent, name);
  return found.empty() ? nullptr : found.front();
}

// An attribute's number (decimal or 0x hex); otherwise when absent, false
// when it is not a number.
bool Number(const DOMElement* element, const char* name, int otherwise,
            int& value, std::string& error) {
  std::string text = Attribute(element, name);
  value = otherwise;
  if (text.empty()) return true;
  char* end = nullptr;
  long number = std::strtol(text.c_str(), &end, 0);
  if (*end || number < 0 || number > 1 << 20) {
    error = "[" + text + "] is not a number";
    return false;
  }
  value = static_cast<int>(number);
  return true;
}

// A target name's index: "hdc", "sdc", "vdc" -> 2; "sdaa" -> 26.
int TargetIndex(const std::string& dev) {
  int index = 0;
  for (size_t i = 2;
       i < dev.size() && std::islower(static_cast<unsigned char>(dev[i])); ++i)
    index = index * 26 + (dev[i] - 'a') + (i > 2 ? 26 : 0);
  return index;
}

// The domain's hard disks (no CD-ROM or floppy drive), in document order.
std::vector<const DOMElement*> HardDisks(const DOMElement* devices) {
  std::vector<const DOMElement*> disks;
  for (const DOMElement* disk : Children(devices, "disk")) {
    std::string device = Attribute(disk, "device");
    if (device.empty() || device == "disk") disks.push_back(disk);
  }
  return disks;
}

// libvirt's ports a SATA controller and units a narrow SCSI bus.
constexpr int kSataPorts = 6;
constexpr int kScsiUnits = 7;

bool PlaceDisk(const DOMElement* disk,
               const std::map<int, std::string>& scsiModels,
               SPlacedDisk& placed, std::string& error) {
  const DOMElement* target = Child(disk, "target");
  const DOMElement* address = Child(disk, "address");
  std::string bus = FXString::ToLower(Attribute(target, "bus"));
  int index = TargetIndex(Attribute(target, "dev"));
  int controller, channel, scsiId, unit;
  if (!Number(address, "controller", 0, controller, error) ||
      !Number(address, "bus", 0, channel, error) ||
      !Number(address, "target", 0, scsiId, error) ||
      !Number(address, "unit", -1, unit, error))
    return false;
  bool addressed = unit >= 0;
  placed.file = Attribute(Child(disk, "source"), "file");
  placed.controller = bus;
  if (bus == "ide") {
    placed.bus = addressed ? channel : index / 2;
    placed.unit = addressed ? unit : index % 2;
  } else if (bus == "sata") {
    placed.bus = addressed ? controller : index / kSataPorts;
    placed.unit = addressed ? unit : index % kSataPorts;
  } else if (bus == "scsi") {
    placed.bus = addressed ? controller : index / kScsiUnits;
    if (!addressed) scsiId = 0, unit = index % kScsiUnits;
    auto model = scsiModels.find(placed.bus);
    placed.controller = model == scsiModels.end() || model->second.empty()
                            ? "lsilogic"
                            : FXString::ToLower(model->second);
    bool lsi = placed.controller == "lsilogic";
    placed.unit = lsi ? unit : scsiId;
    placed.lun = lsi ? 0 : unit;
  } else {
    placed.unit = index;
  }
  placed.format = FXString::ToLower(Attribute(Child(disk, "driver"), "type"));
  if (placed.format == "vhd") placed.format = "vpc";
  placed.boot = Attribute(Child(disk, "boot"), "order") == "1";
  return true;
}

bool PlaceDomain(const xercesc::DOMDocument& document,
                 SDiskPlacement& placement, std::string& error) {
  const DOMElement* domain = document.getDocumentElement();
  if (Utf8(domain->getTagName()) != "domain") {
    error = "the libvirt description is not a <domain>";
    return false;
  }
  const DOMElement* os = Child(domain, "os");
  placement.efi = FXString::ToLower(Attribute(os, "firmware")) == "efi" ||
                  Child(os, "loader") != nullptr;
  const DOMElement* devices = Child(domain, "devices");
  std::map<int, std::string> scsiModels;
  for (const DOMElement* controller : Children(devices, "controller")) {
    int index;
    if (Attribute(controller, "type") != "scsi") continue;
    if (!Number(controller, "index", 0, index, error)) return false;
    scsiModels[index] = Attribute(controller, "model");
  }
  for (const DOMElement* disk : HardDisks(devices)) {
    SPlacedDisk placed;
    if (!PlaceDisk(disk, scsiModels, placed, error)) return false;
    placement.disks.push_back(placed);
  }
  MarkFirstAsBoot(placement);
  return true;
}

}  // namespace

bool PlaceLibvirtDomain(const std::string& text,
                        const std::vector<std::string>&,
                        SDiskPlacement& placement, std::string& error) {
  bool read = ZyParseXml(
      text, "libvirt description",
      [&placement](const xercesc::DOMDocument& document, std::string& why) {
        return PlaceDomain(document, placement, why);
      },
      error);
  if (!read) error = "the libvirt description cannot be read: " + error;
  return read;
}

namespace {

// ---- The check copy -------------------------------------------------------

class Editor {
 public:
  explicit Editor(DOMElement* domain)
      : document_(domain->getOwnerDocument()) {}

  DOMElement* Make(const char* tag,
                   std::initializer_list<std::pair<const char*, std::string>>
                       attributes = {}) {
    DOMElement* element = document_->createElement(X(tag).c_str());
    for (const auto& attribute : attributes) Set(element, attribute.first,
                                                 attribute.second);
    return element;
  }
  void Set(DOMElement* element, const char* name, const std::string& value) {
    element->setAttribute(X(name).c_str(), X(value.c_str()).c_str());
  }
  // Removes the element's children of these names.
  void Drop(DOMElement* parent, std::initializer_list<const char*> names) {
    for (const char* name : names)
      for (const DOMElement* child : Children(parent, name))
        parent->removeChild(const_cast<DOMElement*>(child))->release();
  }

 private:
  static std::basic_string<XMLCh> X(const char* text) {
    return ZyXmlLocalChars(text);
  }
  xercesc::DOMDocument* document_;
};

// <backingStore type='file'><format type=/><source file= fdgroup=/>...
// ending in an empty <backingStore/>: the chain stated in full.
DOMElement* BackingChain(Editor& edit, const SLibvirtCheckDisk& disk) {
  DOMElement* top = nullptr;
  DOMElement* last = nullptr;
  for (const SLibvirtHeldImage& image : disk.chain) {
    DOMElement* store = edit.Make("backingStore", {{"type", "file"}});
    store->appendChild(edit.Make("format", {{"type", image.format}}));
    store->appendChild(edit.Make(
        "source", {{"file", image.shownAs}, {"fdgroup", image.fdGroup}}));
    if (last) last->appendChild(store);
    else top = store;
    last = store;
  }
  if (last) last->appendChild(edit.Make("backingStore"));
  return top;
}

void CopyDisk(Editor& edit, DOMElement* disk, const SLibvirtCheckDisk& held) {
  edit.Set(disk, "type", "file");
  DOMElement* driver = const_cast<DOMElement*>(Child(disk, "driver"));
  if (!driver) driver = static_cast<DOMElement*>(
      disk->insertBefore(edit.Make("driver", {{"name", "qemu"}}),
                         disk->getFirstElementChild()));
  edit.Set(driver, "type", "qcow2");
  edit.Drop(disk, {"source", "backingStore"});
  DOMElement* after = driver->getNextElementSibling();
  disk->insertBefore(edit.Make("source", {{"file", held.overlay}}), after);
  disk->insertBefore(BackingChain(edit, held), after);
}

bool CopyDomain(const xercesc::DOMDocument& document,
                const SLibvirtCheckHost& host, std::string& copy,
                std::string& name, std::string& error) {
  // The document is the parser's own, alive for this call only.
  DOMElement* domain = const_cast<DOMElement*>(document.getDocumentElement());
  DOMElement* devices = const_cast<DOMElement*>(Child(domain, "devices"));
  if (Utf8(domain->getTagName()) != "domain" || !devices) {
    error = "the libvirt description is not a <domain> with <devices>";
    return false;
  }
  std::vector<const DOMElement*> disks = HardDisks(devices);
  if (disks.size() != host.disks.size()) {
    error = "the domain has " + std::to_string(disks.size()) +
            " hard disks, not " + std::to_string(host.disks.size());
    return false;
  }
  Editor edit(domain);
  if (!host.kvm) edit.Set(domain, "type", "qemu");
  for (size_t i = 0; i < disks.size(); ++i)
    CopyDisk(edit, const_cast<DOMElement*>(disks[i]), host.disks[i]);
  for (const DOMElement* card : Children(devices, "interface")) {
    auto* nic = const_cast<DOMElement*>(card);
    edit.Set(nic, "type", "user");
    edit.Drop(nic, {"source", "virtualport", "target"});
  }
  edit.Drop(devices, {"serial", "console"});
  DOMElement* serial = edit.Make("serial", {{"type", "file"}});
  serial->appendChild(edit.Make("source", {{"path", host.serial}}));
  devices->appendChild(serial);
  name = Utf8(Child(domain, "name") ? Child(domain, "name")->getTextContent()
                                    : nullptr);
  copy = ZyXmlText(document);
  return true;
}

}  // namespace

bool LibvirtCheckCopy(const std::string& text, const SLibvirtCheckHost& host,
                      std::string& copy, std::string& name,
                      std::string& error) {
  bool read = ZyParseXml(
      text, "libvirt description",
      [&](const xercesc::DOMDocument& document, std::string& why) {
        return CopyDomain(document, host, copy, name, why);
      },
      error);
  if (!read) error = "the libvirt description cannot be copied: " + error;
  return read;
}
