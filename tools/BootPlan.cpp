//===- BootPlan.cpp - How a destination VM's disks are booted in qemu -----===//
//
// Reads each native description kind into a boot plan and writes the plan
// as qemu's disk arguments.  The VMware and Oracle VM files go through this
// system's own readers; the libvirt domain through Xerces; the Hyper-V
// script line by line; the cloud import files are JSON whose strings name
// the disks, the OS disk first, booted as the cloud boots them (Amazon's
// instances from NVMe, Azure's generation 1 Hyper-V from IDE 0:0).
//
//===----------------------------------------------------------------------===//
#include "BootPlan.h"

#include "ToolSupport.h"

#include "platform/diskimage/ImageSniffer.h"
#include "platform/readers/VMConfigFormat.h"
#include "platform/readers/VMXFile.h"
#include "platform/support/BoundedFile.h"
#include "platform/support/FXPath.h"
#include "platform/support/FXString.h"
#include "platform/support/XercesInit.h"

#include <nlohmann/json.hpp>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/HandlerBase.hpp>
#include <xercesc/util/XMLString.hpp>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <utility>

namespace zytool {
namespace {

namespace fs = std::filesystem;
using VMInfoStructs::SDisk;
using VMInfoStructs::SVMInfo;

struct ControllerName {
  const char* name;
  BootController controller;
};
// Controller names as the descriptions write them (lower case).  Xen's
// emulated disks of an HVM guest are IDE; VMware's BusLogic and Hyper-V's
// synthetic SCSI have no qemu model.
constexpr ControllerName kControllers[] = {
    {"ide", BootController::kIde},
    {"sata", BootController::kSata},
    {"ahci", BootController::kSata},
    {"lsilogic", BootController::kLsiLogic},
    {"lsisas1068", BootController::kLsiSas},
    {"pvscsi", BootController::kPvscsi},
    {"vmpvscsi", BootController::kPvscsi},
    {"virtio", BootController::kVirtioBlk},
    {"virtio-blk", BootController::kVirtioBlk},
    {"virtio-scsi", BootController::kVirtioScsi},
    {"virtio_scsi", BootController::kVirtioScsi},
    {"nvme", BootController::kNvme},
};

struct QemuController {
  BootController controller;
  const char* device;  // the controller's device, once a bus; "" none
};
constexpr QemuController kQemuControllers[] = {
    {BootController::kSata, "ahci"},
    {BootController::kLsiLogic, "lsi53c895a"},
    {BootController::kLsiSas, "mptsas1068"},
    {BootController::kPvscsi, "pvscsi"},
    {BootController::kVirtioScsi, "virtio-scsi-pci"},
};

BootController ControllerOf(const std::string& name) {
  std::string lower = FXString::ToLower(name);
  for (const ControllerName& row : kControllers)
    if (lower == row.name) return row.controller;
  return BootController::kNone;
}

BootDisk MakeDisk(const std::string& file, const std::string& controller,
                  int bus, int unit) {
  BootDisk disk;
  // Descriptions name images by their path on the destination; the image is
  // looked for in the VM's folder under its file name.
  disk.file = CQiPath::GetBaseName(file);
  disk.controllerName = controller;
  disk.controller = ControllerOf(controller);
  disk.bus = bus;
  disk.unit = unit;
  return disk;
}

// The first disk is booted unless one is marked.
void MarkFirstAsBoot(BootPlan& plan) {
  for (const BootDisk& disk : plan.disks)
    if (disk.boot) return;
  if (!plan.disks.empty()) plan.disks.front().boot = true;
}

bool IsHardDisk(const SDisk& disk) {
  return disk.nDeviceType != VMInfoStructs::kDeviceTypeCdrom &&
         !disk.fileName.empty();
}

// VMware: a SCSI disk takes its bus's controller model (LSI Logic when the
// file names none, as VMware does); the BIOS boots bios.hddOrder's device,
// else the first disk.
BootPlan PlanFromVmx(const std::string& text) {
  VMXFile file;
  SVMInfo info;
  if (!file.LoadText(text, "vmx") || !file.GetVMInfo(info))
    throw ToolError("the VMware configuration cannot be read");
  BootPlan plan;
  plan.efi = FXString::ToLower(info.strBootFirmware) == "efi";
  std::string bootDevice = FXString::ToLower(file.GetValue("bios.hddOrder"));
  bootDevice = bootDevice.substr(0, bootDevice.find(','));
  for (const SDisk& disk : info.vDisks) {
    if (!IsHardDisk(disk)) continue;
    std::string controller = disk.strControllerType;
    if (controller == "scsi") {
      controller = "lsilogic";
      for (const auto& bus : info.vDiskControllers)
        if (bus.strName == "scsi" && bus.nBusNumber == disk.nBus &&
            !bus.strControllerType.empty())
          controller = bus.strControllerType;
    }
    plan.disks.push_back(
        MakeDisk(disk.fileName, controller, disk.nBus, disk.nSlot));
    plan.disks.back().boot = bootDevice == disk.strControllerType +
                                               std::to_string(disk.nBus) + ":" +
                                               std::to_string(disk.nSlot);
  }
  MarkFirstAsBoot(plan);
  return plan;
}

// Oracle VM: an HVM guest sees its first four xvd disks as IDE (xvda is IDE
// 0:0); a paravirtual guest (no firmware) boots through its own loader.
BootPlan PlanFromXen(const std::string& text) {
  SVMInfo info;
  std::string error;
  if (!ParseXenDomainConfig(text, info, error))
    throw ToolError("the Oracle VM configuration cannot be read: " + error);
  BootPlan plan;
  plan.efi = FXString::ToLower(info.strBootFirmware) == "efi";
  bool hvm = !info.strBootFirmware.empty();
  for (const SDisk& disk : info.vDisks) {
    if (!IsHardDisk(disk)) continue;
    BootDisk boot =
        MakeDisk(disk.fileName, disk.strControllerType, disk.nBus, disk.nSlot);
    if (disk.strControllerType == "xen")
      boot =
          hvm && disk.nSlot < 4
              ? MakeDisk(disk.fileName, "ide", disk.nSlot / 2, disk.nSlot % 2)
              : MakeDisk(disk.fileName, "xen paravirtual", 0, disk.nSlot);
    if (disk.strControllerType == "scsi")
      boot.controller = BootController::kLsiLogic;
    boot.boot = disk.isOSDisk;
    plan.disks.push_back(boot);
  }
  MarkFirstAsBoot(plan);
  return plan;
}

// ---- libvirt domain XML --------------------------------------------------

std::string Utf8(const XMLCh* text) {
  if (!text) return "";
  char* bytes = xercesc::XMLString::transcode(text);
  std::string result = bytes ? bytes : "";
  xercesc::XMLString::release(&bytes);
  return result;
}

std::string Attribute(const xercesc::DOMElement* element, const char* name) {
  if (!element) return "";
  XMLCh* key = xercesc::XMLString::transcode(name);
  std::string value = Utf8(element->getAttribute(key));
  xercesc::XMLString::release(&key);
  return value;
}

std::vector<const xercesc::DOMElement*> Children(
    const xercesc::DOMElement* parent, const char* name) {
  std::vector<const xercesc::DOMElement*> found;
  if (!parent) return found;
  for (auto* node = parent->getFirstElementChild(); node;
       node = node->getNextElementSibling())
    if (Utf8(node->getTagName()) == name) found.push_back(node);
  return found;
}

const xercesc::DOMElement* Child(const xercesc::DOMElement* parent,
                                 const char* name) {
  auto found = Children(parent, name);
  return found.empty() ? nullptr : found.front();
}

int Number(const std::string& text, int otherwise) {
  if (text.empty()) return otherwise;
  try {
    return std::stoi(text, nullptr, 0);
  } catch (const std::exception&) {
    throw ToolError("[" + text + "] is not a number");
  }
}

// A target name's index: "hdc", "sdc", "vdc" -> 2.
int TargetIndex(const std::string& dev) {
  int index = 0;
  for (size_t i = 2;
       i < dev.size() && std::islower(static_cast<unsigned char>(dev[i])); ++i)
    index = index * 26 + (dev[i] - 'a') + (i > 2 ? 26 : 0);
  return index;
}

BootDisk DiskFromLibvirt(const xercesc::DOMElement* disk,
                         const std::map<int, std::string>& scsiModels) {
  const auto* target = Child(disk, "target");
  const auto* address = Child(disk, "address");
  std::string bus = FXString::ToLower(Attribute(target, "bus"));
  int index = TargetIndex(Attribute(target, "dev"));
  int controller = Number(Attribute(address, "controller"), 0);
  int unit = Number(Attribute(address, "unit"), -1);
  std::string file = Attribute(Child(disk, "source"), "file");
  BootDisk boot;
  if (bus == "ide")
    boot = unit < 0 ? MakeDisk(file, bus, index / 2, index % 2)
                    : MakeDisk(file, bus, Number(Attribute(address, "bus"), 0),
                               unit);
  else if (bus == "sata" || bus == "scsi")
    boot =
        MakeDisk(file, bus, unit < 0 ? 0 : controller, unit < 0 ? index : unit);
  else
    boot = MakeDisk(file, bus, 0, index);
  if (bus == "scsi") {
    auto model = scsiModels.find(boot.bus);
    boot.controllerName =
        model == scsiModels.end() ? "lsilogic" : model->second;
    boot.controller = ControllerOf(boot.controllerName);
  }
  boot.format = FXString::ToLower(Attribute(Child(disk, "driver"), "type"));
  if (boot.format == "vhd") boot.format = "vpc";
  boot.boot = Child(disk, "boot") != nullptr &&
              Attribute(Child(disk, "boot"), "order") == "1";
  return boot;
}

BootPlan PlanFromDomain(const xercesc::DOMElement* domain) {
  if (!domain || Utf8(domain->getTagName()) != "domain")
    throw ToolError("the libvirt description is not a <domain>");
  BootPlan plan;
  const auto* os = Child(domain, "os");
  plan.efi = FXString::ToLower(Attribute(os, "firmware")) == "efi" ||
             Child(os, "loader") != nullptr;
  const auto* devices = Child(domain, "devices");
  std::map<int, std::string> scsiModels;
  for (const auto* controller : Children(devices, "controller"))
    if (Attribute(controller, "type") == "scsi")
      scsiModels[Number(Attribute(controller, "index"), 0)] =
          Attribute(controller, "model");
  for (const auto* disk : Children(devices, "disk")) {
    std::string device = Attribute(disk, "device");
    if (!device.empty() && device != "disk") continue;
    plan.disks.push_back(DiskFromLibvirt(disk, scsiModels));
  }
  MarkFirstAsBoot(plan);
  return plan;
}

class ThrowingErrors : public xercesc::HandlerBase {
 public:
  void error(const xercesc::SAXParseException& e) override { throw e; }
  void fatalError(const xercesc::SAXParseException& e) override { throw e; }
};

BootPlan PlanFromLibvirt(const std::string& text) {
  if (text.find("<!DOCTYPE") != std::string::npos)
    throw ToolError("the libvirt description has a DOCTYPE");
  if (!ZyEnsureXercesInitialized())
    throw ToolError("the XML parser cannot be initialised");
  try {
    xercesc::XercesDOMParser parser;
    parser.setValidationScheme(xercesc::XercesDOMParser::Val_Never);
    parser.setLoadExternalDTD(false);
    parser.setDisableDefaultEntityResolution(true);
    ThrowingErrors errors;
    parser.setErrorHandler(&errors);
    xercesc::MemBufInputSource source(
        reinterpret_cast<const XMLByte*>(text.data()), text.size(), "domain",
        false);
    parser.parse(source);
    return PlanFromDomain(parser.getDocument()->getDocumentElement());
  } catch (const xercesc::SAXParseException& e) {
    throw ToolError("the libvirt description cannot be read: line " +
                    std::to_string(e.getLineNumber()) + ": " +
                    Utf8(e.getMessage()));
  } catch (const xercesc::XMLException& e) {
    throw ToolError("the libvirt description cannot be read: " +
                    Utf8(e.getMessage()));
  }
}

// ---- Hyper-V script ------------------------------------------------------

// A PowerShell command line's words, quotes removed.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  char quote = 0;
  bool inWord = false;
  for (char c : line) {
    if (quote) {
      if (c == quote)
        quote = 0;
      else
        word += c;
    } else if (c == '"' || c == '\'') {
      quote = c;
      inWord = true;
    } else if (std::isspace(static_cast<unsigned char>(c))) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

std::string Parameter(const std::vector<std::string>& words,
                      const std::string& name) {
  for (size_t i = 0; i + 1 < words.size(); ++i)
    if (FXString::ToLower(words[i]) == FXString::ToLower(name))
      return words[i + 1];
  return "";
}

// A -Path value, plain or "(Join-Path $Folder 'file')".
std::string PathParameter(const std::vector<std::string>& words,
                          const std::string& name) {
  for (size_t i = 0; i + 1 < words.size(); ++i) {
    if (FXString::ToLower(words[i]) != FXString::ToLower(name)) continue;
    if (FXString::ToLower(words[i + 1]) != "(join-path") return words[i + 1];
    std::string child = i + 3 < words.size() ? words[i + 3] : "";
    if (!child.empty() && child.back() == ')') child.pop_back();
    return child;
  }
  return "";
}

// Generation 1 boots from its first IDE disk; generation 2 from its first
// SCSI disk, on Hyper-V's synthetic controller.  New-VM's -VHDPath disk sits
// on IDE 0:0 (generation 1) or SCSI 0:0 (generation 2).
// The script's commands, each as its words; a line ending in a backtick
// goes on on the next.
std::vector<std::vector<std::string>> Commands(const std::string& text) {
  std::vector<std::vector<std::string>> commands;
  std::istringstream lines(text);
  std::string line, joined;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.back() == '`') {
      joined += line.substr(0, line.size() - 1) + " ";
      continue;
    }
    std::vector<std::string> words = Words(joined + line);
    joined.clear();
    if (!words.empty()) words[0] = FXString::ToLower(words[0]);
    if (!words.empty()) commands.push_back(words);
  }
  return commands;
}

// The disk the firmware boots: the lowest IDE disk (generation 1) or the
// lowest SCSI disk (generation 2).
void MarkHyperVBootDisk(BootPlan& plan) {
  const char* bootOn = plan.efi ? "hyper-v scsi" : "ide";
  BootDisk* first = nullptr;
  for (BootDisk& disk : plan.disks)
    if (disk.controllerName == bootOn &&
        (!first || std::make_pair(disk.bus, disk.unit) <
                       std::make_pair(first->bus, first->unit)))
      first = &disk;
  if (first) first->boot = true;
}

BootPlan PlanFromHyperV(const std::string& text) {
  auto commands = Commands(text);
  BootPlan plan;
  for (const auto& words : commands)
    if (words[0] == "new-vm") plan.efi = Parameter(words, "-Generation") == "2";
  for (const auto& words : commands) {
    if (words[0] == "new-vm" && !PathParameter(words, "-VHDPath").empty())
      plan.disks.push_back(MakeDisk(PathParameter(words, "-VHDPath"),
                                    plan.efi ? "hyper-v scsi" : "ide", 0, 0));
    if (words[0] != "add-vmharddiskdrive") continue;
    std::string type = FXString::ToLower(Parameter(words, "-ControllerType"));
    plan.disks.push_back(MakeDisk(
        PathParameter(words, "-Path"), type == "ide" ? "ide" : "hyper-v scsi",
        Number(Parameter(words, "-ControllerNumber"), 0),
        Number(Parameter(words, "-ControllerLocation"), 0)));
  }
  MarkHyperVBootDisk(plan);
  return plan;
}

// ---- cloud import files --------------------------------------------------

// Where a file name stands alone in a text: at its start or after a path
// separator or quote, and at its end or before a quote or parenthesis.
size_t FindFileName(const std::string& text, const std::string& name) {
  for (size_t at = text.find(name); at != std::string::npos;
       at = text.find(name, at + 1)) {
    size_t end = at + name.size();
    bool starts = at == 0 ||
                  std::string("/\\'\"").find(text[at - 1]) != std::string::npos;
    bool ends = end == text.size() ||
                std::string("'\")").find(text[end]) != std::string::npos;
    if (starts && ends) return at;
  }
  return std::string::npos;
}

// The folder's files the document's texts name, in document order; with
// osOnly, only those under an "osDisk" key (any case).
void CollectFileNames(const nlohmann::ordered_json& value,
                      const std::vector<std::string>& files, bool osOnly,
                      std::vector<std::string>& found) {
  if (value.is_string() && !osOnly) {
    std::string text = value.get<std::string>();
    std::vector<std::pair<size_t, std::string>> named;
    for (const std::string& file : files) {
      size_t at = FindFileName(text, file);
      if (at != std::string::npos) named.emplace_back(at, file);
    }
    std::sort(named.begin(), named.end());
    for (const auto& item : named)
      if (std::find(found.begin(), found.end(), item.second) == found.end())
        found.push_back(item.second);
  } else if (value.is_object()) {
    for (const auto& item : value.items())
      CollectFileNames(item.value(), files,
                       osOnly && FXString::ToLower(item.key()) != "osdisk",
                       found);
  } else if (value.is_array()) {
    for (const auto& item : value) CollectFileNames(item, files, osOnly, found);
  }
}

// Whether the document has key (any case) with the text value (any case)
// anywhere.
bool HasSetting(const nlohmann::ordered_json& value, const char* key,
                const char* setting) {
  if (!value.is_structured()) return false;
  for (auto item = value.begin(); item != value.end(); ++item) {
    if (value.is_object() && FXString::ToLower(item.key()) == key &&
        item->is_string() &&
        FXString::ToLower(item->get<std::string>()) == setting)
      return true;
    if (HasSetting(*item, key, setting)) return true;
  }
  return false;
}

BootPlan PlanFromCloud(const std::string& kind, const std::string& text,
                       const std::vector<std::string>& files) {
  nlohmann::ordered_json document =
      nlohmann::ordered_json::parse(text, nullptr, false);
  if (document.is_discarded())
    throw ToolError("the " + kind + " description is not JSON");
  std::vector<std::string> names;
  CollectFileNames(document, files, true, names);
  CollectFileNames(document, files, false, names);
  BootPlan plan;
  plan.efi = HasSetting(document, "hypervgeneration", "v2") ||
             HasSetting(document, "bootmode", "uefi");
  for (size_t i = 0; i < names.size(); ++i) {
    int unit = static_cast<int>(i);
    if (kind == "amazon")
      plan.disks.push_back(MakeDisk(names[i], "nvme", 0, unit));
    else if (i == 0 && !plan.efi)
      plan.disks.push_back(MakeDisk(names[i], "ide", 0, 0));
    else
      plan.disks.push_back(MakeDisk(names[i], "hyper-v scsi", 0, unit));
    // Azure takes fixed VHDs only, whatever the names say.
    if (kind == "azure") plan.disks.back().format = "vpc";
  }
  MarkFirstAsBoot(plan);
  return plan;
}

// ---- qemu ----------------------------------------------------------------

// qemu's option values separate with commas; a comma in a value is doubled.
std::string OptionValue(const std::string& text) {
  std::string escaped;
  for (char c : text)
    escaped += c == ',' ? std::string(",,") : std::string(1, c);
  return escaped;
}

std::string DiskDevice(const BootDisk& disk, const std::string& drive) {
  std::string b = std::to_string(disk.bus), u = std::to_string(disk.unit);
  switch (disk.controller) {
    case BootController::kIde:
      if (disk.bus > 1 || disk.unit > 1 || disk.bus < 0 || disk.unit < 0)
        throw ToolError("IDE " + b + ":" + u + " does not exist");
      return "ide-hd,drive=" + drive + ",bus=ide." + b + ",unit=" + u;
    case BootController::kSata:
      if (disk.unit > 5 || disk.unit < 0)
        throw ToolError("SATA port " + u + " does not exist");
      return "ide-hd,drive=" + drive + ",bus=sata" + b + "." + u;
    case BootController::kVirtioBlk:
      return "virtio-blk-pci,drive=" + drive;
    case BootController::kNvme:
      return "nvme,drive=" + drive + ",serial=" + drive;
    case BootController::kNone:
      return "";
    default:
      return "scsi-hd,drive=" + drive + ",bus=scsi" + b + ".0,scsi-id=" + u;
  }
}

const char* ControllerDevice(BootController controller) {
  for (const QemuController& row : kQemuControllers)
    if (row.controller == controller) return row.device;
  return "";
}

}  // namespace

BootPlan PlanFromDescription(const std::string& kind, const std::string& text,
                             const std::vector<std::string>& files) {
  BootPlan plan;
  if (kind == "vmx")
    plan = PlanFromVmx(text);
  else if (kind == "xen")
    plan = PlanFromXen(text);
  else if (kind == "libvirt")
    plan = PlanFromLibvirt(text);
  else if (kind == "hyperv")
    plan = PlanFromHyperV(text);
  else if (kind == "amazon" || kind == "azure")
    plan = PlanFromCloud(kind, text, files);
  else
    throw ToolError("unknown description kind [" + kind + "]");
  if (plan.disks.empty()) throw ToolError("the description names no disk");
  for (const BootDisk& disk : plan.disks)
    if (disk.file.empty() || disk.file == "." || disk.file == "..")
      throw ToolError("a disk of the description names no file");
  return plan;
}

std::string BootDiskText(const BootDisk& disk) {
  return disk.file + " on " + disk.controllerName + " " +
         std::to_string(disk.bus) + ":" + std::to_string(disk.unit) +
         (disk.boot ? " (boot)" : "") +
         (disk.controller == BootController::kNone ? " (not attached)" : "");
}

BootPlan ReadBootPlan(const std::string& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec))
    throw ToolError("[" + folder + "] is not a folder");
  std::string kind, file;
  if (!FindNativeDescription(folder, kind, file))
    throw ToolError("no native description of the VM in [" + folder + "]");
  std::string text, error;
  if (!ReadBoundedFile(folder + "/" + file, text, error))
    throw ToolError(error);
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (entry.is_regular_file(ec)) files.push_back(entry.path().filename());
  BootPlan plan;
  try {
    plan = PlanFromDescription(kind, text, files);
  } catch (const ToolError& e) {
    throw ToolError("[" + file + "]: " + e.what());
  }
  plan.description = file;
  return plan;
}

bool FindNativeDescription(const std::string& folder, std::string& kind,
                           std::string& file) {
  struct Row {
    const char* kind;
    const char* name;  // a file name, or an extension starting with "."
  };
  constexpr Row kRows[] = {
      {"vmx", ".vmx"},
      {"hyperv", ".ps1"},
      {"xen", "vm.cfg"},
      {"amazon", "import-image.json"},
      {"azure", "azure-vm.json"},
      {"libvirt", ".xml"},
  };
  std::error_code ec;
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (entry.is_regular_file(ec)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  for (const Row& row : kRows)
    for (const std::string& name : names) {
      bool extension = row.name[0] == '.';
      size_t length = std::strlen(row.name);
      if (extension
              ? name.size() > length &&
                    name.compare(name.size() - length, length, row.name) == 0
              : name == row.name) {
        kind = row.kind;
        file = name;
        return true;
      }
    }
  return false;
}

std::string UncheckableController(const BootPlan& plan) {
  for (const BootDisk& disk : plan.disks)
    if (disk.boot && disk.controller == BootController::kNone)
      return disk.controllerName.empty() ? "none" : disk.controllerName;
  return "";
}

std::vector<std::string> QemuDiskArguments(
    const BootPlan& plan, const std::string& folder,
    const std::vector<std::string>& formats) {
  std::vector<std::string> args;
  std::set<std::pair<BootController, int>> controllers;
  for (size_t i = 0; i < plan.disks.size(); ++i) {
    const BootDisk& disk = plan.disks[i];
    std::string drive = "disk" + std::to_string(i);
    std::string device = DiskDevice(disk, drive);
    if (device.empty()) continue;
    std::string controller = ControllerDevice(disk.controller);
    if (!controller.empty() &&
        controllers.insert({disk.controller, disk.bus}).second)
      args.insert(
          args.end(),
          {"-device",
           controller + ",id=" +
               (disk.controller == BootController::kSata ? "sata" : "scsi") +
               std::to_string(disk.bus)});
    std::string format = !disk.format.empty() ? disk.format
                         : i < formats.size() ? formats[i]
                                              : "raw";
    args.insert(args.end(),
                {"-drive",
                 "if=none,id=" + drive + ",format=" + format +
                     ",file=" + OptionValue(folder + "/" + disk.file),
                 "-device", device + (disk.boot ? ",bootindex=0" : "")});
  }
  return args;
}

std::string SniffImageFormat(const std::string& head, const std::string& tail) {
  return zydisk::SniffImage(head.data(), head.size(), tail.data(), tail.size())
      .driver;
}

}  // namespace zytool
