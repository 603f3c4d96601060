//===- LibvirtPlacement.cpp - Where a libvirt domain finds its disks ------===//
//
// A disk's <address type='drive' controller= bus= target= unit=/> means, as
// libvirt has it: on IDE, bus is the channel and unit the unit; on SATA,
// controller and unit (the port); on SCSI, controller, target (the SCSI
// id) and unit (the LUN).  A disk without an address sits where its target
// name puts it (hdc: IDE 1:0; sdc, vdc: the third).
//
//===----------------------------------------------------------------------===//
#include "formats/common/DiskPlacement.h"
#include "platform/support/FXString.h"
#include "platform/support/XercesInit.h"

#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/XMLString.hpp>

#include <cctype>
#include <cstdlib>
#include <map>

namespace {

using xercesc::DOMElement;

std::string Utf8(const XMLCh* text) {
  if (!text) return "";
  char* bytes = xercesc::XMLString::transcode(text);
  std::string result = bytes ? bytes : "";
  xercesc::XMLString::release(&bytes);
  return result;
}

std::string Attribute(const DOMElement* element, const char* name) {
  if (!element) return "";
  XMLCh* key = xercesc::XMLString::transcode(name);
  std::string value = Utf8(element->getAttribute(key));
  xercesc::XMLString::release(&key);
  return value;
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
    placed.bus = addressed ? controller : 0;
    placed.unit = addressed ? unit : index;
  } else if (bus == "scsi") {
    placed.bus = addressed ? controller : 0;
    placed.unit = addressed ? scsiId : index;
    placed.lun = addressed ? unit : 0;
    auto model = scsiModels.find(placed.bus);
    placed.controller =
        model == scsiModels.end() ? "lsilogic" : FXString::ToLower(model->second);
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
  for (const DOMElement* disk : Children(devices, "disk")) {
    std::string device = Attribute(disk, "device");
    if (!device.empty() && device != "disk") continue;
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
