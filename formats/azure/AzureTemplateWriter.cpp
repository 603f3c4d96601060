//===- AzureTemplateWriter.cpp - Azure Resource Manager template of a VM
//---===//
//
// azure-vm.json: a deployment template (JSON) that creates one managed disk
// per uploaded VHD (createOption Import from
// "<vhdContainerUri>/<restored file>"), one network interface per card
// (in the subnet given as parameter subnetId) and the virtual machine with
// the disks attached.
//   parameters   location, vhdContainerUri, storageAccountId, subnetId, and
//                vmSize when the description names no size (the
//                deployment then asks for one)
//   resources    Microsoft.Compute/disks "<vm>-disk<n>" (osType and
//                hyperVGeneration on the OS disk; securityProfile
//                securityType TrustedLaunch with secure boot),
//                Microsoft.Network/networkInterfaces "<vm>-nic<n>" (tag
//                network: the mapped network name),
//                Microsoft.Compute/virtualMachines "<vm>": hardwareProfile.vmSize (strVMSize,
//                else the vmSize parameter),
//                storageProfile.osDisk (osType Windows/Linux, Attach) and
//                dataDisks (lun 0.., Attach), networkProfile (first card
//                primary), securityProfile (a Generation 2 machine the
//                description states secure boot for: TrustedLaunch with
//                uefiSettings.secureBootEnabled), tags.sourceName (the
//                description's name)
// Resource names keep only letters, digits, '.', '_' and '-'.  A text that
// begins with '[' is an expression to Resource Manager: texts from the
// description get a second '[' in front, which makes them literal, and file
// names inside an expression are quoted with doubled single quotes.
//
//===----------------------------------------------------------------------===//
#include "formats/common/SecureBoot.h"
#include "formats/common/WriterSupport.h"

#include <nlohmann/json.hpp>

#include <cctype>

using VMInfoStructs::SVMInfo;
using namespace native;
using Json = nlohmann::ordered_json;

namespace {

constexpr char kSchema[] =
    "https://schema.management.azure.com/schemas/2019-04-01/"
    "deploymentTemplate.json#";
constexpr char kDiskApi[] = "2023-04-02";
constexpr char kNicApi[] = "2023-05-01";
constexpr char kVmApi[] = "2023-03-01";
constexpr size_t kMaxResourceName = 64;

std::string Literal(const std::string& text) {
  return !text.empty() && text[0] == '[' ? "[" + text : text;
}

std::string InExpression(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

std::string ResourceName(const std::string& text) {
  std::string name;
  for (char c : text)
    name += std::isalnum(static_cast<unsigned char>(c)) || c == '.' ||
                    c == '_' || c == '-'
                ? c
                : '-';
  if (name.empty()) name = "vm";
  return name.substr(0, kMaxResourceName);
}

Json Parameter(const char* type, const char* defaultValue = nullptr) {
  Json parameter;
  parameter["type"] = type;
  if (defaultValue) parameter["defaultValue"] = defaultValue;
  return parameter;
}

std::string ResourceId(const char* type, const std::string& name) {
  return "[resourceId(" + InExpression(type) + ", " + InExpression(name) + ")]";
}

Json Disk(const SVMInfo& info, const VMInfoStructs::SDisk& disk,
          const std::string& name, bool os) {
  Json resource;
  resource["type"] = "Microsoft.Compute/disks";
  resource["apiVersion"] = kDiskApi;
  resource["name"] = name;
  resource["location"] = "[parameters('location')]";
  resource["sku"]["name"] = "Standard_LRS";
  Json& properties = resource["properties"];
  if (os) {
    properties["osType"] = IsWindows(info) ? "Windows" : "Linux";
    properties["hyperVGeneration"] = IsEfi(info) ? "V2" : "V1";
    // A Trusted Launch machine attaches only an OS disk made for one.
    if (SecureBootOf(info) == SecureBoot::kOn)
      properties["securityProfile"]["securityType"] = "TrustedLaunch";
  }
  properties["creationData"]["createOption"] = "Import";
  properties["creationData"]["storageAccountId"] =
      "[parameters('storageAccountId')]";
  properties["creationData"]["sourceUri"] =
      "[concat(parameters('vhdContainerUri'), '/', " +
      InExpression(DiskFileName(disk)) + ")]";
  return resource;
}

Json Nic(const VMInfoStructs::SVMNetworkCard& card, const std::string& name,
         const SNetworkMap& networks) {
  Json resource;
  resource["type"] = "Microsoft.Network/networkInterfaces";
  resource["apiVersion"] = kNicApi;
  resource["name"] = name;
  resource["location"] = "[parameters('location')]";
  std::string network = MapNetwork(networks, card.strNetworkName).strName;
  if (!network.empty()) resource["tags"]["network"] = Literal(network);
  Json configuration;
  configuration["name"] = "ipconfig1";
  configuration["properties"]["privateIPAllocationMethod"] = "Dynamic";
  configuration["properties"]["subnet"]["id"] = "[parameters('subnetId')]";
  resource["properties"]["ipConfigurations"] = Json::array({configuration});
  return resource;
}

}  // namespace

SNativeDescription WriteAzureTemplate(const SVMInfo& info,
                                      const SNativeWriteInput& input) {
  std::string vm = ResourceName(info.strVMName);
  Json resources = Json::array();
  Json dependsOn = Json::array();
  Json osDisk, dataDisks = Json::array(), nics = Json::array();
  int n = 0;
  for (const auto* disk : DisksOSFirst(info)) {
    std::string name = vm + "-disk" + std::to_string(++n);
    resources.push_back(Disk(info, *disk, name, n == 1));
    dependsOn.push_back(ResourceId("Microsoft.Compute/disks", name));
    Json attached;
    if (n > 1) attached["lun"] = n - 2;
    attached["createOption"] = "Attach";
    attached["managedDisk"]["id"] = ResourceId("Microsoft.Compute/disks", name);
    if (n == 1) {
      osDisk["osType"] = IsWindows(info) ? "Windows" : "Linux";
      osDisk.update(attached);
    } else {
      dataDisks.push_back(attached);
    }
  }
  for (size_t i = 0; i < info.vNetworkCards.size(); ++i) {
    std::string name = vm + "-nic" + std::to_string(i);
    resources.push_back(Nic(info.vNetworkCards[i], name, input.networks));
    dependsOn.push_back(
        ResourceId("Microsoft.Network/networkInterfaces", name));
    Json nic;
    nic["id"] = ResourceId("Microsoft.Network/networkInterfaces", name);
    nic["properties"]["primary"] = i == 0;
    nics.push_back(nic);
  }
  Json machine;
  machine["type"] = "Microsoft.Compute/virtualMachines";
  machine["apiVersion"] = kVmApi;
  machine["name"] = vm;
  machine["location"] = "[parameters('location')]";
  machine["tags"]["sourceName"] = Literal(info.strVMName);
  machine["dependsOn"] = dependsOn;
  Json& properties = machine["properties"];
  bool askSize = info.strVMSize.empty();
  properties["hardwareProfile"]["vmSize"] =
      askSize ? "[parameters('vmSize')]" : Literal(info.strVMSize);
  if (!osDisk.is_null()) properties["storageProfile"]["osDisk"] = osDisk;
  properties["storageProfile"]["dataDisks"] = dataDisks;
  properties["networkProfile"]["networkInterfaces"] = nics;
  // Secure boot is a Trusted Launch setting; SecureBootOf states it only for
  // EFI (Generation 2) machines, the only ones Trusted Launch takes.
  if (SecureBootOf(info) == SecureBoot::kOn) {
    properties["securityProfile"]["securityType"] = "TrustedLaunch";
    properties["securityProfile"]["uefiSettings"]["secureBootEnabled"] = true;
  }
  resources.push_back(machine);

  Json document;
  document["$schema"] = kSchema;
  document["contentVersion"] = "1.0.0.0";
  document["parameters"]["location"] =
      Parameter("string", "[resourceGroup().location]");
  document["parameters"]["vhdContainerUri"] = Parameter("string");
  document["parameters"]["storageAccountId"] = Parameter("string");
  document["parameters"]["subnetId"] = Parameter("string");
  if (askSize) document["parameters"]["vmSize"] = Parameter("string");
  document["resources"] = resources;
  SNativeDescription out;
  out.text =
      document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
  return out;
}
