//===- ZyP2VUtilsResponse.cpp - Recovery response to VM description -------===//
//
// CopyVMInfoFromKestrelResponse turns the bare-metal recovery response that
// a restore request carries into the VM description of the new machine:
// name, guest OS, processors and memory, a disk and CD-ROM layout a virtual
// machine can take, network cards, placement, and the response itself,
// Base64-encoded, as the option "machine.id" that identifies the machine
// once it runs.
//
// The layout is worked out on a copy of the response's hardware
// configuration.  The request is changed in two fields only: its first
// client gets the id and network host name the platform knows it by, so
// that "machine.id" carries them.
//
// Machines of other platforms rebuild their disks from their volumes when
// the response asks for it (non-Windows machines only): one disk for the
// volumes on the first disk, one for those on the second, each with a
// tenth of headroom, and a CD-ROM; on IDE for Hyper-V, on SCSI elsewhere.
//
//===----------------------------------------------------------------------===//
#include "p2v/ZyP2VUtils.h"

#include "p2v/ZyP2VDeviceLists.h"
#include "p2v/ZyP2VRanges.h"
#include "platform/support/EvDebug.h"
#include "platform/settings/PlatformConfig.h"
#include "platform/messages/XMLDecoder.h"
#include "platform/support/XercesInit.h"

#include <cstdarg>
#include <cstdint>
#include <exception>
#include <limits>

using namespace zy_p2v;
using Ida::VMOpReq;
using ResponseFile::ClientInfo;
using ResponseFile::Interface;
using ResponseFile::MountPoint;
using ResponseFile::Protocol;

namespace {

const char kCopyVMInfoFn[] =
    "static long int ZyP2VUtils::CopyVMInfoFromKestrelResponse(Ida::VMOpReq&, "
    "VMInfoStructs::SVMInfo&, VirtualServerInstanceType)";

const char kMachineIdOption[] = "machine.id";
constexpr int32_t kWindows = 1;
constexpr int32_t kOtherOS = 0;

// Headroom added to every disk: sizes are in MB of 1,000,000 bytes.
constexpr int64_t kBytesPerMB = 1000000;
constexpr int64_t kDiskHeadroomBytes = 10000000;
// A volume-built disk gets a tenth more than its volumes hold.
constexpr double kVolumeHeadroom = 0.1;

// No platform gives a machine this many network cards; a response asking
// for more is not describing one.
constexpr int32_t kMaxNetworkCards = 64;

// DiskInfo::provisioning to SDisk::eProvisioningType.
struct SProvisioningRow {
  int32_t nResponseValue;
  int32_t eProvisioningType;
};
constexpr SProvisioningRow kProvisioning[] = {{2, 1}, {1, 2}};

int32_t ProvisioningType(int32_t responseValue) {
  for (const auto& row : kProvisioning)
    if (row.nResponseValue == responseValue) return row.eProvisioningType;
  return 0;
}

int64_t SaturatingAdd(int64_t a, int64_t b) {
  int64_t sum = 0;
  if (!__builtin_add_overflow(a, b, &sum)) return sum;
  return b > 0 ? std::numeric_limits<int64_t>::max()
               : std::numeric_limits<int64_t>::min();
}

// Size in MB with a tenth of headroom, truncated to 32 bits; a size beyond
// the 32-bit range is clamped to it.
int32_t WithVolumeHeadroom(int64_t mb) {
  double size =
      static_cast<double>(mb) + static_cast<double>(mb) * kVolumeHeadroom;
  if (size >= static_cast<double>(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
  if (size <= static_cast<double>(std::numeric_limits<int32_t>::min()))
    return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(size);
}

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = VFormatString(format, args);
  va_end(args);
  EvDebug().Debug(kCopyVMInfoFn, "%s", text.c_str());
}

// Base64 of the text as the Xerces-C encoder lays it out (lines broken
// with line feeds); false when the encoder gives nothing.
bool EncodeBase64(const std::string& text, std::string& encoded) {
  return ZyBase64Encode(text, encoded);
}

// One call of CopyVMInfoFromKestrelResponse: the request, the description
// being filled, and the working copy of the hardware configuration with its
// device lists.
class KestrelTranslation {
 public:
  KestrelTranslation(VMOpReq& req, VMInfoStructs::SVMInfo& vm,
                     VirtualServerInstanceType eDest)
      : m_req(req), m_vm(vm), m_eDest(eDest) {}

  long Run() {
    if (!m_req.isSet(VMOpReq::recoveryResponse)) {
      Log("Kestrel Response file/Recovery Point is not set in the input "
          "request ");
      return 1;
    }
    CNMessageBase& response =
        m_req.getObjectAccessor(VMOpReq::recoveryResponse, false);
    if (response.GetList<ClientInfo>(RecoveryResponse::clients).empty()) {
      Log("The recovery response lists no client; the machine cannot be "
          "identified");
      return 1;
    }
    m_osType = response.getint32(RecoveryResponse::osType);
    m_hw = response.GetObject<HW>(RecoveryResponse::hardwareConfig);
    if (!CheckFigures()) return 1;
    if (m_osType == kWindows) ZyP2VUtils::ProcessWinKestrelDiskConfig(m_hw);

    CopyBootFirmware();
    CopyPlacement();
    CopyHardwareFigures();
    IdentifyClient(response);
    DetermineGuestOS();
    TakeDeviceLists();
    AdjustDiskList();
    if (!EnsureIdeCdrom()) return 1;
    TakeDeviceLists();
    BuildDisks();
    if (!CheckAddresses()) return 1;
    m_vm.strRequestText = m_req.getstring(VMOpReq::requestText);
    BuildNetworkCards(response);
    CopyInstanceSize();
    ZyP2VUtils::CopySecurityGroupsInfo(m_req, m_vm);
    SetMachineIdOption(response);
    return 0;
  }

 private:
  static bool Refuse(const std::string& error) {
    EvDebug().Error(kCopyVMInfoFn, "%s", error.c_str());
    return false;
  }

  // Figures out of range stop the translation; a count that disagrees with
  // its list is reported and the whole list is used.
  bool CheckFigures() {
    std::string error;
    if (!CheckHardwareFigures(m_hw, error)) return Refuse(error);
    for (const std::string& line : CountMismatches(m_hw))
      Log("%s", line.c_str());
    TakeWholeLists(m_hw);
    return true;
  }

  bool CheckAddresses() const {
    std::string error;
    return CheckLayoutAddresses(m_vm.vDisks, error) || Refuse(error);
  }

  DestinationPlacement Placement() const {
    auto settings =
        m_req.GetObject<DestinationSettings>(VMOpReq::destinationSettings);
    return settings.GetObject<DestinationPlacement>(
        DestinationSettings::placement);
  }

  void CopyBootFirmware() {
    std::string firmware;
    ZyP2VUtils::getBootFirmware(static_cast<ResponseFile::BOOT_FIRMWARE>(
                                    m_hw.getint32(HW::bootFirmware)),
                                firmware);
    if (!firmware.empty()) m_vm.strBootFirmware = firmware;
  }

  void CopyPlacement() {
    DestinationPlacement placement = Placement();
    m_vm.strRegion = placement.getstring(DestinationPlacement::region);
    m_vm.strDestinationHost =
        placement.getstring(DestinationPlacement::hostName);
    m_vm.strDatastore =
        placement.GetObject<DatastoreRef>(DestinationPlacement::datastore)
            .getstring(DatastoreRef::name);
  }

  void CopyHardwareFigures() {
    m_vm.i64NumCPUs = m_hw.getint32(HW::numCpus);
    // Memory goes to the machine in whole multiples of 4 MB.
    int64_t memory = m_hw.getint64(HW::memoryMB);
    m_vm.i64MemoryMB = memory - memory % 4;
    m_vm.nNumNetworkCards = m_hw.getint32(HW::numNics);
    if (m_hw.isSet(HW::extraValuesSet) &&
        m_hw.getint64(HW::extraValuesSet) != 0) {
      m_vm.bHardwareValuesSet = true;
      m_vm.i64HardwareValueA = m_hw.getint64(HW::extraValueA);
      m_vm.i64HardwareValueB = m_hw.getint64(HW::extraValueB);
    }
  }

  // The platform's id and host name of the protected client, written into
  // the request's own response so that "machine.id" carries them.
  void IdentifyClient(CNMessageBase& response) {
    CNMessageBase& first = response.getlistobject(RecoveryResponse::clients)[0];
    CNMessageBase& client = first.getObjectAccessor(ClientInfo::client, true);
    m_clientName = client.getstring(ClientEntity::clientName);
    ZyClient platformClient(m_clientName, false, 0);
    int64_t id = platformClient.getClientId();
    std::string hostName = platformClient.getNetworkHostname();
    m_vm.nClientId = static_cast<int32_t>(id);
    client.setint64(ClientEntity::clientId, id);
    client.setstring(ClientEntity::hostName, hostName);

    const std::string& machineName = m_hw.getstringByRef(HW::machineName);
    m_vm.strVMName = !machineName.empty() && machineName != m_clientName
                         ? machineName
                         : m_clientName;
  }

  void DetermineGuestOS() {
    bool isWindows = m_osType == kWindows;
    // A machine is 64-bit unless its first processor says otherwise.
    bool is64Bit = true;
    auto cpus = m_hw.GetList<ResponseFile::CpuInfo>(HW::cpus);
    if (!cpus.empty() &&
        cpus[0].getint32(ResponseFile::CpuInfo::architecture) == 0)
      is64Bit = false;
    if (m_eDest == VS_VMWARE)
      ZyP2VUtils::GetVMWareGuestOSIdentifier(m_vm.nClientId, m_vm.strGuestOS,
                                             isWindows, is64Bit);
    else
      ZyP2VUtils::GetGuestOsInfoFromDb(m_vm.nClientId, m_vm.strGuestOS);
    Log(" Setting guest OS as [%s]", m_vm.strGuestOS.c_str());
  }

  // Both lists are taken again after every change to the configuration,
  // so the disks built are those of the final layout.
  void TakeDeviceLists() {
    m_ide = IdeDevices(m_hw);
    m_scsi = ScsiDisks(m_hw);
  }

  void AdjustDiskList() {
    if (m_hw.getint64(HW::useVolumeLayout) != 0 && m_osType == kOtherOS) {
      RebuildDisksFromVolumes();
    } else if (m_osType != kWindows) {
      ZyP2VUtils::RemoveUnselectedDisksFromKestrelDiskConfig(m_hw);
    }
    // Windows machines were laid out when the configuration was copied.
    TakeDeviceLists();
  }

  void RebuildDisksFromVolumes() {
    int64_t firstBytes = 0;
    int64_t secondBytes = 0;
    for (const auto& volume : m_hw.GetList<MountPoint>(HW::mountPoints)) {
      int64_t size = volume.getint64(MountPoint::sizeBytes);
      if (volume.getint64(MountPoint::onFirstDisk) != 0)
        firstBytes = SaturatingAdd(firstBytes, size);
      else if (volume.getint64(MountPoint::onSecondDisk) != 0)
        secondBytes = SaturatingAdd(secondBytes, size);
    }
    const int64_t firstMB = firstBytes / kBytesPerMB;
    const int64_t secondMB = secondBytes / kBytesPerMB;
    // Hyper-V machines boot from IDE; elsewhere the disks go on SCSI and
    // only the CD-ROM stays on IDE.
    const bool hyperV = m_eDest == VS_HYPERV;
    const DiskList before = m_ide;
    DiskList ide;
    DiskList scsi;
    DiskList& disks = hyperV ? ide : scsi;

    Disk device;
    SetAddress(device, hyperV ? 1 : 0, 0);
    device.setint64(Disk::isScsi, 0);
    device.setint64(Disk::deviceType, kCdrom);
    ide.push_back(device);

    device.setint64(Disk::isScsi, hyperV ? 0 : 1);
    device.setint64(Disk::sizeMB, WithVolumeHeadroom(firstMB));
    device.setint64(Disk::deviceType, kHardDisk);
    if (!before.empty()) TakePlacementOf(before[0], device);
    SetAddress(device, 0, 0);
    disks.push_back(device);

    if (secondMB >= 1) {
      device.setint64(Disk::slot, 1);
      device.setint64(Disk::sizeMB, WithVolumeHeadroom(secondMB));
      if (before.size() > 1) TakePlacementOf(before[1], device);
      disks.push_back(device);
    }
    WriteIdeDevices(m_hw, ide);
    if (hyperV || !scsi.empty()) WriteScsiDisks(m_hw, scsi);
  }

  void TakePlacementOf(const Disk& original, Disk& device) const {
    device.setint64(Disk::provisioning, original.getint64(Disk::provisioning));
    const std::string& datastore = original.getstringByRef(Disk::datastore);
    device.setstring(Disk::datastore,
                     datastore.empty() ? m_vm.strDatastore : datastore);
  }

  // A virtual machine needs a CD-ROM on IDE; one at slot 1 with slot 0 of
  // its bus free moves to slot 0.
  bool EnsureIdeCdrom() {
    auto cdrom = std::find_if(m_ide.begin(), m_ide.end(), [](const Disk& d) {
      return d.getint32(Disk::deviceType) == kCdrom;
    });
    if (cdrom == m_ide.end()) {
      Log(" No IDE CDROM device exists in the physical machine, creating a new "
          "CDROM device");
      if (ZyP2VUtils::createIDECDROMDevice(m_hw) != 0) {
        Log(" Failed to create IDE CDROM device");
        return false;
      }
      return true;
    }
    const int bus = cdrom->getint32(Disk::bus);
    const int slot = cdrom->getint32(Disk::slot);
    if (slot != 1 || (bus != 0 && bus != 1)) return true;
    Log(" CDROM device index [%d] exists at bus [%d] slot [%d]",
        static_cast<int>(cdrom - m_ide.begin()), bus, slot);
    bool slotZeroTaken =
        std::any_of(m_ide.begin(), m_ide.end(),
                    [bus](const Disk& d) { return IsAt(d, bus, 0); });
    if (slotZeroTaken) return true;
    Log(" No device exists at bus [%d] slot [%d], correcting CDROM slot", bus,
        0);
    cdrom->setint64(Disk::slot, 0);
    WriteIdeDevices(m_hw, m_ide);
    return true;
  }

  void BuildDisks() {
    std::vector<VMInfoStructs::SDisk> disks;
    int64_t diskCount = static_cast<int64_t>(m_ide.size() + m_scsi.size());
    for (const auto& device : m_ide) {
      int32_t type = device.getint32(Disk::deviceType);
      if (type != kCdrom && type != kHardDisk) continue;
      disks.push_back(MakeDisk(device,
                               type == kCdrom
                                   ? VMInfoStructs::kDeviceTypeCdrom
                                   : VMInfoStructs::kDeviceTypeHardDisk,
                               "ide"));
    }
    for (const auto& device : m_scsi) {
      int32_t type = device.getint32(Disk::deviceType);
      if (type == kCdrom) --diskCount;
      if (type != kHardDisk) continue;
      AddScsiController(device);
      disks.push_back(
          MakeDisk(device, VMInfoStructs::kDeviceTypeHardDisk, "scsi"));
    }
    m_vm.i64DiskCount = diskCount;
    m_vm.vDisks = disks;
  }

  VMInfoStructs::SDisk MakeDisk(const Disk& device, int32_t deviceType,
                                const char* controller) const {
    VMInfoStructs::SDisk disk;
    disk.nDeviceType = deviceType;
    disk.strControllerType = controller;
    disk.eProvisioningType =
        ProvisioningType(device.getint32(Disk::provisioning));
    disk.i64MaxSizeInBytes =
        device.getint64(Disk::sizeMB) * kBytesPerMB +
        kDiskHeadroomBytes;
    disk.i64CurrSizeInBytes = disk.i64MaxSizeInBytes;
    disk.nSlot = device.getint32(Disk::slot);
    disk.nBus = device.getint32(Disk::bus);
    disk.strName = device.getstring(Disk::name);
    const std::string& datastore = device.getstringByRef(Disk::datastore);
    disk.strDatastore = datastore.empty() ? m_vm.strDatastore : datastore;
    return disk;
  }

  // One controller per SCSI bus; its model comes from the first disk seen
  // on the bus.
  void AddScsiController(const Disk& device) {
    const int32_t bus = device.getint32(Disk::bus);
    for (const auto& c : m_vm.vDiskControllers)
      if (c.nBusNumber == bus) return;
    VMInfoStructs::SVMDiskController controller;
    controller.strName = "scsi";
    controller.nBusNumber = bus;
    if (device.isSet(Disk::scsiControllerType) &&
        device.getint32(Disk::scsiControllerType) != 0) {
      const SEnumClassDef* def =
          XMLDecoder::GetClassDef(kScsiControllerTypeClassDef);
      if (def)
        controller.strControllerType = XMLDecoder::getEnumString(
            def, device.getint32(Disk::scsiControllerType));
      else
        Log("Unable to set scsi Controller Type");
    }
    m_vm.vDiskControllers.push_back(controller);
  }

  // VMware and Hyper-V restores take the interfaces the client reported;
  // the other destinations those of the response's own network
  // configuration.
  std::vector<Interface> Interfaces(CNMessageBase& response) const {
    ResponseFile::NetworkConfig network;
    if (m_eDest == VS_VMWARE || m_eDest == VS_HYPERV) {
      auto clients = response.GetList<ClientInfo>(RecoveryResponse::clients);
      network = clients[0].GetObject<ResponseFile::NetworkConfig>(
          ClientInfo::networkConfig);
    } else {
      network = response.GetObject<ResponseFile::NetworkConfig>(
          RecoveryResponse::networkConfig);
    }
    return network.GetObject<ResponseFile::IP>(ResponseFile::NetworkConfig::ip)
        .GetList<Interface>(ResponseFile::IP::interfaces);
  }

  void BuildNetworkCards(CNMessageBase& response) {
    if (m_eDest == VS_KIND_1101) return;
    const std::vector<Interface> interfaces = Interfaces(response);
    int32_t count = m_hw.getint32(HW::numNics);
    m_vm.nNumNetworkCards = count;
    // Cards beyond the interfaces keep their defaults; a count far beyond
    // both is cut rather than trusted.
    const size_t limit = std::max<size_t>(kMaxNetworkCards, interfaces.size());
    if (count > 0 && static_cast<size_t>(count) > limit) {
      count = static_cast<int32_t>(limit);
      Log("The response asks for [%d] network cards; creating [%d]",
          m_vm.nNumNetworkCards, count);
      m_vm.nNumNetworkCards = count;
    }
    std::vector<VMInfoStructs::SVMNetworkCard> cards;
    for (int32_t i = 0; i < count; ++i) {
      VMInfoStructs::SVMNetworkCard card;
      if (static_cast<size_t>(i) < interfaces.size())
        FillCard(interfaces[static_cast<size_t>(i)], i == 0, card);
      cards.push_back(card);
    }
    m_vm.vNetworkCards = cards;
  }

  void FillCard(const Interface& iface, bool primary,
                VMInfoStructs::SVMNetworkCard& card) {
    card.strNetworkName = iface.getstring(Interface::networkName);
    if (primary)
      m_vm.strPrimaryInterfaceName = iface.getstring(Interface::name);
    auto protocols = iface.GetList<Protocol>(Interface::protocols);
    if (iface.isSet(Interface::protocols) && !protocols.empty()) {
      card.strProtocolValue = protocols[0].getstring(Protocol::protocolValue);
      if (protocols[0].isSet(Protocol::address))
        card.strProtocolAddress = protocols[0]
                                      .GetObject<AddressRef>(Protocol::address)
                                      .getstring(AddressRef::text);
    }
    if (iface.isSet(Interface::interfaceValue))
      card.nInterfaceValue = iface.getint32(Interface::interfaceValue);
    if (iface.isSet(Interface::adapterType)) SetAdapterType(iface, card);
    if (iface.isSet(Interface::detailMode) &&
        iface.getint32(Interface::detailMode) == 1 &&
        iface.isSet(Interface::detail) &&
        !iface.getstringByRef(Interface::detail).empty())
      card.strInterfaceDetail = iface.getstring(Interface::detail);
  }

  static void SetAdapterType(const Interface& iface,
                             VMInfoStructs::SVMNetworkCard& card) {
    const SEnumClassDef* def =
        XMLDecoder::GetClassDef(kNetworkAdapterTypeClassDef);
    if (!def) {
      Log("Unable to set Network Adapter Type");
      return;
    }
    std::string name =
        XMLDecoder::getEnumString(def, iface.getint32(Interface::adapterType));
    Annotation::Text annotation;
    XMLDecoder::FillAnnotation(def, annotation, name);
    const std::string& text = annotation.getstringByRef(Annotation::Text::text);
    card.strAdapterType = text.empty() ? name : text;
  }

  void CopyInstanceSize() {
    auto settings =
        m_req.GetObject<DestinationSettings>(VMOpReq::destinationSettings);
    if (settings.isSet(DestinationSettings::instanceSize))
      m_vm.strVMSize =
          settings.GetObject<InstanceSizeRef>(DestinationSettings::instanceSize)
              .getstring(InstanceSizeRef::name);
  }

  // The response as the request now carries it (with the client's id and
  // host name, without the layout changes made on the working copy).
  void SetMachineIdOption(const CNMessageBase& response) {
    std::string xml;
    response.serialize(xml);
    std::string encoded;
    m_vm.vExtraOptions.clear();
    if (!EncodeBase64(xml, encoded)) return;
    VMInfoStructs::SVMOptionValue option;
    option.strName = kMachineIdOption;
    option.strValue = encoded;
    m_vm.vExtraOptions.push_back(option);
  }

  VMOpReq& m_req;
  VMInfoStructs::SVMInfo& m_vm;
  const VirtualServerInstanceType m_eDest;
  int32_t m_osType = kOtherOS;
  HW m_hw;
  DiskList m_ide;
  DiskList m_scsi;
  std::string m_clientName;
};

}  // namespace

ZyP2VUtils::ZyP2VUtils() = default;
ZyP2VUtils::~ZyP2VUtils() = default;

long ZyP2VUtils::CopyVMInfoFromKestrelResponse(
    Ida::VMOpReq& req, VMInfoStructs::SVMInfo& vmInfo,
    VirtualServerInstanceType eDest) {
  try {
    return KestrelTranslation(req, vmInfo, eDest).Run();
  } catch (const std::exception& e) {
    Log("Translation of the recovery response failed: %s", e.what());
  } catch (...) {
    Log("Translation of the recovery response failed");
  }
  return 1;
}

void ZyP2VUtils::CopySecurityGroupsInfo(Ida::VMOpReq& req,
                                        VMInfoStructs::SVMInfo& vmInfo) {
  auto settings =
      req.GetObject<DestinationSettings>(VMOpReq::destinationSettings);
  if (!settings.isSet(DestinationSettings::securityGroups)) return;
  for (const auto& group : settings.GetList<Ida::SecurityGroups>(
           DestinationSettings::securityGroups)) {
    VMInfoStructs::SSecurityGroupInfo info;
    info.strGroupId = group.getstring(Ida::SecurityGroups::groupId);
    info.strGroupName = group.getstring(Ida::SecurityGroups::groupName);
    vmInfo.vSecurityGroups.push_back(info);
  }
}

void ZyP2VUtils::getBootFirmware(ResponseFile::BOOT_FIRMWARE eFirmware,
                                 std::string& strFirmware) {
  strFirmware = eFirmware == ResponseFile::BOOT_FIRMWARE_EFI ? "efi" : "";
}
