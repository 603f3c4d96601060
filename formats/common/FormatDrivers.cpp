//===- FormatDrivers.cpp - The table of description formats --------------===//
#include "formats/common/FormatDrivers.h"

#include "platform/support/FXString.h"

#include <cstring>

using VMInfoStructs::SVMInfo;

namespace {

bool ReadVmx(const std::string& text, const SFormatReadInput& input,
             SVMInfo& info, std::string& error) {
  return ParseVmxConfig(text, input.path, info, error);
}

bool ReadXen(const std::string& text, const SFormatReadInput&, SVMInfo& info,
             std::string& error) {
  return ParseXenDomainConfig(text, info, error);
}

bool ReadEc2(const std::string& text, const SFormatReadInput& input,
             SVMInfo& info, std::string& error) {
  return ParseEc2Description(text, info, error, input.sizes);
}

bool ReadZyf(const std::string& text, const SFormatReadInput&, SVMInfo& info,
             std::string& error) {
  return ParseZyf(text, info, error);
}

// clang-format off
constexpr SFormatDriver kDrivers[] = {
    {"vmx", nullptr, ".vmx", "vmx vmtx", {VS_VMWARE}, {VS_KIND_100, VS_VMWARE},
     ReadVmx, ReadVmxFile, WriteVmx, PlaceVmx, false},
    {"hyperv", nullptr, ".ps1", "", {}, {VS_HYPERV, VS_AZURE_2, VS_AZURE_3},
     nullptr, nullptr, WriteHyperVScript, PlaceHyperVScript, false},
    {"xen", "vm.cfg", nullptr, "cfg", {VS_ORACLE_VM}, {VS_ORACLE_VM, VS_KIND_801},
     ReadXen, ReadXenFile, WriteXenDomain, PlaceXenDomain, true},
    {"ec2", "import-image.json", nullptr, "xml", {VS_AMAZON}, {VS_AMAZON},
     ReadEc2, ReadDescriptionFile, WriteEc2Import, PlaceEc2Import, false},
    {"azure", "azure-vm.json", nullptr, "", {}, {VS_AZURE_1},
     nullptr, nullptr, WriteAzureTemplate, PlaceAzureTemplate, false},
    {"libvirt", nullptr, ".xml", "", {},
     {VS_KIND_103, VS_RHEV, VS_NUTANIX, VS_OPENSTACK, VS_KIND_1101, VS_KIND_1102,
      VS_KIND_1301, VS_KIND_1401},
     nullptr, nullptr, WriteLibvirtDomain, PlaceLibvirtDomain, false},
    {"zyf", "VMConfig.zyf", nullptr, "zyf", {}, {},
     ReadZyf, ReadDescriptionFile, nullptr, nullptr, false},
};
// clang-format on

bool Lists(const VirtualServerInstanceType (&kinds)[kFormatKinds],
           VirtualServerInstanceType kind) {
  for (VirtualServerInstanceType listed : kinds)
    if (listed != VS_NONE && listed == kind) return true;
  return false;
}

// Whether extension is one of the space-separated words of list.
bool HasWord(const char* list, const std::string& extension) {
  std::string words = std::string(" ") + list + " ";
  return !extension.empty() &&
         words.find(" " + FXString::ToLower(extension) + " ") !=
             std::string::npos;
}

bool EndsWith(const std::string& text, const char* suffix) {
  size_t n = std::strlen(suffix);
  return text.size() > n && text.compare(text.size() - n, n, suffix) == 0;
}

}  // namespace

const SFormatDriver* FormatDriversBegin() { return std::begin(kDrivers); }
const SFormatDriver* FormatDriversEnd() { return std::end(kDrivers); }

const SFormatDriver* FindFormat(const std::string& name) {
  for (const SFormatDriver& driver : kDrivers)
    if (name == driver.name) return &driver;
  return nullptr;
}

const SFormatDriver* FormatWrittenFor(VirtualServerInstanceType kind) {
  for (const SFormatDriver& driver : kDrivers)
    if (driver.write && Lists(driver.writes, kind)) return &driver;
  return nullptr;
}

const SFormatDriver* FormatReadFor(VirtualServerInstanceType kind,
                                   const std::string& extension) {
  for (const SFormatDriver& driver : kDrivers)
    if (Lists(driver.reads, kind) && HasWord(driver.readExtensions, extension))
      return &driver;
  return nullptr;
}

bool SourceNamesBridges(VirtualServerInstanceType kind) {
  for (const SFormatDriver& driver : kDrivers)
    if (Lists(driver.reads, kind) && driver.namesBridges) return true;
  return false;
}

bool SourceKindHasFormat(VirtualServerInstanceType kind) {
  for (const SFormatDriver& driver : kDrivers)
    if (Lists(driver.reads, kind)) return true;
  return false;
}

std::string NativeFileName(const SFormatDriver& driver,
                           const std::string& vmName) {
  return driver.fileName ? driver.fileName : vmName + driver.suffix;
}

bool IsNativeFileName(const SFormatDriver& driver, const std::string& name) {
  return driver.fileName ? name == driver.fileName
                         : EndsWith(name, driver.suffix);
}

bool IsConfigExtension(const std::string& extension) {
  for (const SFormatDriver& driver : kDrivers)
    if (HasWord(driver.readExtensions, extension)) return true;
  return false;
}
