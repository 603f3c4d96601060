//===- Ec2Description.cpp - Amazon EC2 instance descriptions --------------===//
//
// An Amazon description is the XML response of the EC2 query API action
// DescribeInstances (RunInstancesResponse, which lists instances the same
// way, is read too).  It is read with a Xerces-C DOM.
//
// Format facts and quirks handled:
//   * every API version puts the response in its own namespace
//     ("http://ec2.amazonaws.com/doc/2016-11-15/"); elements are matched on
//     their local names only, so any version reads;
//   * lists are <item> wrappers; instances sit in
//     reservationSet/item/instancesSet/item.  A response with several
//     instances describes several machines: the one whose instanceId the
//     description already carries (strGUID) is read, else the first, and
//     the others are named in a debug line (ListEc2Instances lists them);
//   * EC2-Classic responses give an instance's security groups on its
//     reservation (reservationSet/item/groupSet), VPC responses inside the
//     instance; the instance's own list wins when it has one;
//   * the response carries no memory size and, before cpuOptions, no CPU
//     count: both come from the instance type, from the platform's table of
//     instance types when the caller gives one that lists it, else from
//     kInstanceTypes when it is a common one, and are otherwise left as
//     they were;
//   * the same element names occur at several depths (groupSet, privateIp-
//     Address, status), so children are always looked up directly under their
//     parent, never anywhere below it;
//   * empty elements are self-closing (<value/>, <groupSet/>); texts are
//     trimmed of surrounding white space;
//   * an error response (<Response><Errors><Error>) is refused with its code
//     and message;
//   * the XML may come from anywhere, so it is read defensively: it must be
//     UTF-8 (as EC2 writes it), a document with a DOCTYPE is refused before
//     and after parsing, no DTD or external entity is ever loaded, entity
//     expansion is capped, elements may nest kMaxElementDepth levels and
//     carry kMaxAttributes attributes, a response holds at most kMaxElements
//     elements, and the parser works on the text in
//     memory only.
//
// Element (under the instance item) -> description member:
//   instanceId             strGUID; also strVMName without a Name tag
//   tagSet/item "Name"     strVMName (the tag's value)
//   instanceType           strVMSize
//   placement/availabilityZone
//                          strRegion: the zone up to and with the number
//                          that ends the region name ("us-west-2a" ->
//                          "us-west-2", "us-west-2-lax-1a" -> "us-west-2")
//   platform, platformDetails
//                          strGuestOS ("Windows" or "Linux/UNIX", or
//                          platformDetails as given); guestOSInfo.OSType
//                          "Windows"/"Unix", GuestOSName "Windows"/"Linux"
//   architecture           guestOSInfo.CPUArch (x86_64 -> "x64",
//                          i386 -> "x86", arm64 -> "arm64")
//   currentInstanceBootMode, else bootMode
//                          strBootFirmware ("uefi" -> "EFI",
//                          "legacy-bios" -> "BIOS")
//   cpuOptions             i64NumCPUs: coreCount x threadsPerCore, else
//                          the instance type's vCPUs
//   instanceType           i64MemoryMB: the instance type's memory
//   keyName                vKeyPairs[0].strName
//   groupSet/item          vSecurityGroups: groupId, groupName (else the
//                          reservation's groupSet/item)
//   blockDeviceMapping/item
//                          vDisks, in file order: fileName and
//                          strConfigDiskName the ebs/volumeId,
//                          strDisplayName and strName the deviceName, nSlot
//                          the position, isOSDisk when deviceName equals
//                          rootDeviceName.  Items without an EBS volume
//                          (instance store) are passed over.
//   networkInterfaceSet/item
//                          vNetworkCards, by attachment/deviceIndex: strName
//                          networkInterfaceId, strNetworkName subnetId,
//                          strNetworkId vpcId, strMacAddress macAddress,
//                          strProtocolAddress privateIpAddress,
//                          strAdapterType interfaceType, nInterfaceValue the
//                          device index, bPrimary for device index 0
//
//===----------------------------------------------------------------------===//
#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>
#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/util/XMLUniDefs.hpp>

#include "platform/support/EvDebug.h"
#include "platform/support/ExceptionText.h"
#include "platform/support/FXString.h"
#include "formats/common/FormatText.h"
#include "platform/support/XercesInit.h"

using namespace VMInfoStructs;
using namespace xercesc;

namespace {

constexpr const char kParseFunction[] =
    "bool ParseEc2Description(const string&, VMInfoStructs::SVMInfo&, string&)";
constexpr size_t kMaxElementDepth = 100;
constexpr size_t kMaxAttributes = 32;
// A page of DescribeInstances lists at most 1000 instances of about a
// hundred elements each; the parser's tree costs about a hundred bytes an
// element, so a file of tiny elements would cost thirty times its size.
constexpr size_t kMaxElements = 1 << 18;

//===----------------------------------------------------------------------===//
// Text helpers.
//===----------------------------------------------------------------------===//

// Never throws: a text that cannot be transcoded reads as empty.
std::string ToUtf8(const XMLCh* text) { return ZyXmlUtf8(text); }

// Compares a DOM name with an ASCII name without transcoding.
bool NameIs(const XMLCh* name, const char* ascii) {
  if (!name) return false;
  size_t i = 0;
  for (; ascii[i]; ++i)
    if (name[i] != static_cast<XMLCh>(static_cast<unsigned char>(ascii[i])))
      return false;
  return name[i] == 0;
}

bool LocalNameIs(const DOMElement* element, const char* name) {
  const XMLCh* local = element->getLocalName();
  return NameIs(local ? local : element->getTagName(), name);
}

std::string LocalName(const DOMElement* element) {
  const XMLCh* local = element->getLocalName();
  return ToUtf8(local ? local : element->getTagName());
}

// The first child element with this local name, directly under parent.
const DOMElement* Child(const DOMElement* parent, const char* name) {
  if (!parent) return nullptr;
  for (const DOMElement* e = parent->getFirstElementChild(); e;
       e = e->getNextElementSibling())
    if (LocalNameIs(e, name)) return e;
  return nullptr;
}

// Every child element with this local name, in document order.
std::vector<const DOMElement*> Children(const DOMElement* parent,
                                        const char* name) {
  std::vector<const DOMElement*> found;
  if (!parent) return found;
  for (const DOMElement* e = parent->getFirstElementChild(); e;
       e = e->getNextElementSibling())
    if (LocalNameIs(e, name)) found.push_back(e);
  return found;
}

// The <item> elements of a list element such as groupSet.
std::vector<const DOMElement*> Items(const DOMElement* parent,
                                     const char* list) {
  return Children(Child(parent, list), "item");
}

// The element's own text (its text and CDATA children).  DOM's
// getTextContent walks the whole subtree recursively, which a hostile,
// deeply nested document would turn into a stack overflow.
std::string Text(const DOMElement* element) {
  if (!element) return std::string();
  std::string text;
  for (const DOMNode* node = element->getFirstChild(); node;
       node = node->getNextSibling()) {
    DOMNode::NodeType type = node->getNodeType();
    if (type == DOMNode::TEXT_NODE || type == DOMNode::CDATA_SECTION_NODE)
      text += ToUtf8(node->getNodeValue());
  }
  return FXString::Trim(text);
}

// The trimmed text of a path of children ("placement", "availabilityZone").
std::string TextAt(const DOMElement* parent,
                   std::initializer_list<const char*> path) {
  const DOMElement* at = parent;
  for (const char* name : path) at = Child(at, name);
  return Text(at);
}

bool ParseSmallCount(const std::string& text, int64_t& value) {
  if (text.empty() || text.size() > 6) return false;
  value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

//===----------------------------------------------------------------------===//
// Value tables.
//===----------------------------------------------------------------------===//

struct ArchitectureRow {
  const char* ec2;
  const char* cpuArch;
};
// clang-format off
constexpr ArchitectureRow kArchitectures[] = {
    {"x86_64", "x64"},  {"x86_64_mac", "x64"},  {"i386", "x86"},
    {"arm64", "arm64"}, {"arm64_mac", "arm64"},
};
// clang-format on

std::string CpuArchOf(const std::string& architecture) {
  for (const ArchitectureRow& row : kArchitectures)
    if (architecture == row.ec2) return row.cpuArch;
  return architecture;
}

struct BootModeRow {
  const char* ec2;
  const char* firmware;
};
// clang-format off
constexpr BootModeRow kBootModes[] = {
    {"uefi", "EFI"},
    {"legacy-bios", "BIOS"},
};
// clang-format on

// vCPUs and memory of common EC2 instance types, from Amazon's published
// instance type specifications ("Amazon EC2 Instance Types", previous and
// current generation tables); memory in MiB (m1.small's 1.7 GiB is 1740).
struct InstanceTypeRow {
  const char* name;
  int64_t cpus;
  int64_t memoryMB;
};
// clang-format off
constexpr InstanceTypeRow kInstanceTypes[] = {
    {"t1.micro", 1, 627},      {"m1.small", 1, 1740},
    {"m1.medium", 1, 3840},    {"m1.large", 2, 7680},
    {"m1.xlarge", 4, 15360},   {"m3.medium", 1, 3840},
    {"m3.large", 2, 7680},     {"m3.xlarge", 4, 15360},
    {"m3.2xlarge", 8, 30720},  {"c3.large", 2, 3840},
    {"c4.large", 2, 3840},     {"c4.xlarge", 4, 7680},
    {"t2.nano", 1, 512},       {"t2.micro", 1, 1024},
    {"t2.small", 1, 2048},     {"t2.medium", 2, 4096},
    {"t2.large", 2, 8192},     {"t2.xlarge", 4, 16384},
    {"t2.2xlarge", 8, 32768},  {"t3.nano", 2, 512},
    {"t3.micro", 2, 1024},     {"t3.small", 2, 2048},
    {"t3.medium", 2, 4096},    {"t3.large", 2, 8192},
    {"t3.xlarge", 4, 16384},   {"t3.2xlarge", 8, 32768},
    {"t4g.micro", 2, 1024},    {"t4g.small", 2, 2048},
    {"t4g.medium", 2, 4096},   {"m4.large", 2, 8192},
    {"m4.xlarge", 4, 16384},   {"m5.large", 2, 8192},
    {"m5.xlarge", 4, 16384},   {"m5.2xlarge", 8, 32768},
    {"m5.4xlarge", 16, 65536}, {"m6i.large", 2, 8192},
    {"m6i.xlarge", 4, 16384},  {"c5.large", 2, 4096},
    {"c5.xlarge", 4, 8192},    {"c5.2xlarge", 8, 16384},
    {"r5.large", 2, 16384},    {"r5.xlarge", 4, 32768},
};
// clang-format on

const InstanceTypeRow* FindInstanceType(const std::string& name) {
  for (const InstanceTypeRow& row : kInstanceTypes)
    if (name == row.name) return &row;
  return nullptr;
}

// Regions are named <area>-<direction>-<number> ("us-gov-west-1"); a zone
// adds a letter ("us-gov-west-1a") or, for local and wavelength zones, more
// dash-separated parts ("us-west-2-lax-1a").  The region ends with the first
// part that starts with a digit, cut after its digits.
std::string RegionOfZone(const std::string& zone) {
  size_t start = 0;
  while (start < zone.size()) {
    size_t end = zone.find('-', start);
    if (end == std::string::npos) end = zone.size();
    if (std::isdigit(static_cast<unsigned char>(zone[start]))) {
      size_t digits = start;
      while (digits < end &&
             std::isdigit(static_cast<unsigned char>(zone[digits])))
        ++digits;
      return zone.substr(0, digits);
    }
    start = end + 1;
  }
  return zone;  // not shaped like a zone: kept as given
}

//===----------------------------------------------------------------------===//
// The instance.
//===----------------------------------------------------------------------===//

void ReadGuestOS(const DOMElement* instance, SVMInfo& info) {
  std::string platform = TextAt(instance, {"platform"});
  std::string details = TextAt(instance, {"platformDetails"});
  bool windows = platform == "windows" || details.compare(0, 7, "Windows") == 0;
  info.strGuestOS = !details.empty() ? details
                    : windows        ? "Windows"
                                     : "Linux/UNIX";
  info.guestOSInfo.OSType = windows ? "Windows" : "Unix";
  info.guestOSInfo.GuestOSName = windows ? "Windows" : "Linux";
  std::string architecture = TextAt(instance, {"architecture"});
  if (!architecture.empty()) info.guestOSInfo.CPUArch = CpuArchOf(architecture);
}

void ReadFirmware(const DOMElement* instance, SVMInfo& info) {
  std::string mode = TextAt(instance, {"currentInstanceBootMode"});
  if (mode.empty()) mode = TextAt(instance, {"bootMode"});
  for (const BootModeRow& row : kBootModes)
    if (mode == row.ec2) info.strBootFirmware = row.firmware;
}

// coreCount x threadsPerCore; 0 without cpuOptions.
int64_t CpusOfOptions(const DOMElement* instance) {
  int64_t cores = 0;
  int64_t threads = 1;
  if (!ParseSmallCount(TextAt(instance, {"cpuOptions", "coreCount"}), cores))
    return 0;
  std::string perCore = TextAt(instance, {"cpuOptions", "threadsPerCore"});
  if (!perCore.empty() && !ParseSmallCount(perCore, threads)) return 0;
  return cores * threads;
}

// CPUs and memory of an instance type: the platform's table first, then
// the built-in one.
bool SizeOfType(const std::string& type, const Ec2InstanceSizes& sizes,
                int64_t& cpus, int64_t& memoryMB) {
  if (type.empty()) return false;
  if (sizes && sizes(type, cpus, memoryMB) && cpus > 0 && memoryMB > 0)
    return true;
  const InstanceTypeRow* known = FindInstanceType(type);
  if (!known) return false;
  cpus = known->cpus;
  memoryMB = known->memoryMB;
  return true;
}

void ReadSize(const DOMElement* instance, const Ec2InstanceSizes& sizes,
              SVMInfo& info) {
  std::string type = TextAt(instance, {"instanceType"});
  if (!type.empty()) info.strVMSize = type;
  int64_t typeCpus = 0, typeMemoryMB = 0;
  bool known = SizeOfType(type, sizes, typeCpus, typeMemoryMB);
  int64_t cpus = CpusOfOptions(instance);
  if (cpus > 0)
    info.i64NumCPUs = cpus;
  else if (known)
    info.i64NumCPUs = typeCpus;
  if (known) info.i64MemoryMB = typeMemoryMB;
}

void ReadName(const DOMElement* instance, SVMInfo& info) {
  for (const DOMElement* tag : Items(instance, "tagSet")) {
    if (TextAt(tag, {"key"}) == "Name" && !TextAt(tag, {"value"}).empty()) {
      info.strVMName = TextAt(tag, {"value"});
      return;
    }
  }
  info.strVMName = info.strGUID;
}

void ReadAccess(const DOMElement* instance, const DOMElement* reservation,
                SVMInfo& info) {
  std::string keyName = TextAt(instance, {"keyName"});
  info.vKeyPairs.clear();
  if (!keyName.empty()) {
    SKeyPairInfo keyPair;
    keyPair.strName = keyName;
    info.vKeyPairs.push_back(keyPair);
  }
  info.vSecurityGroups.clear();
  std::vector<const DOMElement*> groups = Items(instance, "groupSet");
  if (groups.empty()) groups = Items(reservation, "groupSet");
  for (const DOMElement* group : groups) {
    SSecurityGroupInfo entry;
    entry.strGroupId = TextAt(group, {"groupId"});
    entry.strGroupName = TextAt(group, {"groupName"});
    info.vSecurityGroups.push_back(entry);
  }
}

void ReadDisks(const DOMElement* instance, SVMInfo& info) {
  std::string rootDevice = TextAt(instance, {"rootDeviceName"});
  info.vDisks.clear();
  for (const DOMElement* mapping : Items(instance, "blockDeviceMapping")) {
    std::string volume = TextAt(mapping, {"ebs", "volumeId"});
    if (volume.empty()) continue;  // instance store: nothing to restore
    SDisk disk;
    disk.fileName = volume;
    disk.strConfigDiskName = volume;
    disk.strDisplayName = TextAt(mapping, {"deviceName"});
    disk.strName = disk.strDisplayName;
    disk.nSlot = static_cast<int32_t>(info.vDisks.size());
    disk.isOSDisk = !rootDevice.empty() && disk.strDisplayName == rootDevice;
    info.vDisks.push_back(disk);
  }
}

void ReadNetworkCards(const DOMElement* instance, SVMInfo& info) {
  std::vector<SVMNetworkCard> cards;
  for (const DOMElement* item : Items(instance, "networkInterfaceSet")) {
    SVMNetworkCard card;
    card.strName = TextAt(item, {"networkInterfaceId"});
    card.strNetworkName = TextAt(item, {"subnetId"});
    card.strNetworkId = TextAt(item, {"vpcId"});
    card.strMacAddress = TextAt(item, {"macAddress"});
    card.strProtocolAddress = TextAt(item, {"privateIpAddress"});
    card.strAdapterType = TextAt(item, {"interfaceType"});
    int64_t index = 0;
    if (ParseSmallCount(TextAt(item, {"attachment", "deviceIndex"}), index))
      card.nInterfaceValue = static_cast<int32_t>(index);
    else
      card.nInterfaceValue = static_cast<int32_t>(cards.size());
    card.bPrimary = card.nInterfaceValue == 0;
    cards.push_back(card);
  }
  std::stable_sort(cards.begin(), cards.end(),
                   [](const SVMNetworkCard& a, const SVMNetworkCard& b) {
                     return a.nInterfaceValue < b.nInterfaceValue;
                   });
  info.vNetworkCards = cards;
}

// An instance item and the reservation item it is listed in (null for a
// RunInstancesResponse, which has no reservation list).
struct Listed {
  const DOMElement* instance;
  const DOMElement* reservation;
};

void ReadInstance(const Listed& listed, const Ec2InstanceSizes& sizes,
                  SVMInfo& info) {
  const DOMElement* instance = listed.instance;
  info.strGUID = TextAt(instance, {"instanceId"});
  ReadName(instance, info);
  ReadSize(instance, sizes, info);
  std::string zone = TextAt(instance, {"placement", "availabilityZone"});
  if (!zone.empty()) info.strRegion = RegionOfZone(zone);
  ReadGuestOS(instance, info);
  ReadFirmware(instance, info);
  ReadAccess(instance, listed.reservation, info);
  ReadDisks(instance, info);
  ReadNetworkCards(instance, info);
}

// The instance items of a response, in document order.
std::vector<Listed> Instances(const DOMElement* root) {
  std::vector<Listed> instances;
  if (LocalNameIs(root, "RunInstancesResponse")) {
    for (const DOMElement* instance : Items(root, "instancesSet"))
      instances.push_back({instance, nullptr});
    return instances;
  }
  for (const DOMElement* reservation : Items(root, "reservationSet"))
    for (const DOMElement* instance : Items(reservation, "instancesSet"))
      instances.push_back({instance, reservation});
  return instances;
}

// The instance whose id is wanted, else the first.
const Listed& Chosen(const std::vector<Listed>& instances,
                     const std::string& wanted) {
  for (const Listed& listed : instances)
    if (!wanted.empty() && TextAt(listed.instance, {"instanceId"}) == wanted)
      return listed;
  return instances.front();
}

//===----------------------------------------------------------------------===//
// Parsing.
//===----------------------------------------------------------------------===//

// Where a markup construct that starts at pos ends (one past its end), or
// npos; attributes counts the '=' of a tag's attributes.
size_t EndOfMarkup(const std::string& xml, size_t pos, size_t& attributes) {
  struct Skip {
    const char* open;
    const char* close;
  };
  static constexpr Skip kSkips[] = {
      {"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}};
  attributes = 0;
  for (const Skip& skip : kSkips) {
    if (xml.compare(pos, std::strlen(skip.open), skip.open) != 0) continue;
    size_t end = xml.find(skip.close, pos + std::strlen(skip.open));
    return end == std::string::npos ? end : end + std::strlen(skip.close);
  }
  char quote = 0;
  for (size_t i = pos + 1; i < xml.size(); ++i) {
    char c = xml[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '=') {
      ++attributes;
    } else if (c == '>') {
      return i + 1;
    }
  }
  return std::string::npos;
}

// The parser slows down more than linearly with element depth and with the
// number of attributes of one element, so a hostile file could stall the
// reader; an EC2 response nests about ten levels and has no attributes but
// its namespace.  One pass over the tags checks both.
bool CheckMarkupShape(const std::string& xml, std::string& error) {
  size_t depth = 0, elements = 0;
  size_t pos = xml.find('<');
  while (pos != std::string::npos) {
    size_t attributes = 0;
    size_t end = EndOfMarkup(xml, pos, attributes);
    if (end == std::string::npos) return true;  // the parser reports it
    bool construct =
        xml.compare(pos, 2, "<!") == 0 || xml.compare(pos, 2, "<?") == 0;
    if (attributes > kMaxAttributes && !construct) {
      error = "an element has more than " + std::to_string(kMaxAttributes) +
              " attributes";
      return false;
    }
    if (xml.compare(pos, 2, "</") == 0) {
      if (depth > 0) --depth;
    } else if (!construct && ++elements > kMaxElements) {
      error = "the response holds more than " + std::to_string(kMaxElements) +
              " elements";
      return false;
    } else if (!construct && xml[end - 2] != '/' &&
               ++depth > kMaxElementDepth) {
      error = "elements nest deeper than " + std::to_string(kMaxElementDepth) +
              " levels";
      return false;
    }
    pos = xml.find('<', end);
  }
  return true;
}

// The root of a DescribeInstances or RunInstances response, or null with
// error set.
const DOMElement* ResponseRoot(const DOMDocument* document,
                               std::string& error) {
  if (!document || !document->getDocumentElement()) {
    error = "the document has no root element";
    return nullptr;
  }
  if (document->getDoctype()) {
    error = "a document type declaration (DOCTYPE) is not allowed";
    return nullptr;
  }
  const DOMElement* root = document->getDocumentElement();
  if (LocalNameIs(root, "Response") && Child(root, "Errors")) {
    const DOMElement* failure = Child(Child(root, "Errors"), "Error");
    error = "the response is an EC2 error: " + TextAt(failure, {"Code"}) +
            ": " + TextAt(failure, {"Message"});
    return nullptr;
  }
  if (!LocalNameIs(root, "DescribeInstancesResponse") &&
      !LocalNameIs(root, "RunInstancesResponse")) {
    error = "root element <" + LocalName(root) +
            "> is not an EC2 DescribeInstancesResponse";
    return nullptr;
  }
  return root;
}

bool ReadDocument(const DOMDocument* document, const Ec2InstanceSizes& sizes,
                  SVMInfo& info, std::string& error) {
  const DOMElement* root = ResponseRoot(document, error);
  if (!root) return false;
  std::vector<Listed> instances = Instances(root);
  if (instances.empty()) {
    error = "the response describes no instance";
    return false;
  }
  SVMInfo read;
  CopyVMInfoWhole(info, read);
  ReadInstance(Chosen(instances, info.strGUID), sizes, read);
  if (instances.size() > 1) {
    EvDebug().Debug(
        kParseFunction,
        "The description lists %zu instances; reading [%s]",
        instances.size(), read.strGUID.c_str());
  }
  if (read.strGUID.empty()) {
    error = "the instance has no instanceId";
    return false;
  }
  CopyVMInfoWhole(read, info);
  return true;
}

bool ListDocument(const DOMDocument* document, std::vector<std::string>& ids,
                  std::string& error) {
  const DOMElement* root = ResponseRoot(document, error);
  if (!root) return false;
  ids.clear();
  for (const Listed& listed : Instances(root))
    ids.push_back(TextAt(listed.instance, {"instanceId"}));
  return true;
}

bool KeepDocumentInstance(const DOMDocument* document, const std::string& id,
                          std::string& out, std::string& error) {
  const DOMElement* root = ResponseRoot(document, error);
  if (!root) return false;
  std::vector<Listed> instances = Instances(root);
  if (std::none_of(instances.begin(), instances.end(), [&](const Listed& l) {
        return TextAt(l.instance, {"instanceId"}) == id;
      })) {
    error = "the response does not list instance [" + id + "]";
    return false;
  }
  // The document is the parser's own, alive for this call only.
  for (const Listed& listed : instances) {
    if (TextAt(listed.instance, {"instanceId"}) == id) continue;
    auto* item = const_cast<DOMElement*>(listed.instance);
    item->getParentNode()->removeChild(item)->release();
  }
  out = ZyXmlText(*document);
  return true;
}

// Parses the response safely and hands its document to read.
template <typename Read>
bool ParseResponse(const std::string& xml, std::string& error, Read read) {
  error.clear();
  // Other encodings would hide markup from the checks below.
  if (xml.find('\0') != std::string::npos) {
    error = "the description is not UTF-8 text";
    return false;
  }
  if (ZyHasDoctype(xml)) {
    error = "a document type declaration (DOCTYPE) is not allowed";
    return false;
  }
  if (!CheckMarkupShape(xml, error)) return false;
  return ZyParseXml(
      xml, "document",
      [&](const DOMDocument& document, std::string&) { return read(&document); },
      error);
}

}  // namespace

bool ParseEc2Description(const std::string& xml, SVMInfo& info,
                         std::string& error, const Ec2InstanceSizes& sizes) {
  return ParseResponse(xml, error, [&](const DOMDocument* document) {
    return ReadDocument(document, sizes, info, error);
  });
}

bool KeepEc2Instance(const std::string& xml, const std::string& id,
                     std::string& out, std::string& error) {
  return ParseResponse(xml, error, [&](const DOMDocument* document) {
    return KeepDocumentInstance(document, id, out, error);
  });
}

bool ListEc2Instances(const std::string& xml, std::vector<std::string>& ids,
                      std::string& error) {
  return ParseResponse(xml, error, [&](const DOMDocument* document) {
    return ListDocument(document, ids, error);
  });
}
