//===- RecoveryMessages.h - Restore request and recovery response classes -===//
//
// The generated message classes that a physical-machine restore reads: the
// virtual-machine operation request Ida::VMOpReq with its destination
// settings, and the bare-metal recovery response it carries (the Kestrel
// response, RecoveryResponse, and the ResponseFile classes under it).
//
// Each class's fields are one constexpr table, one row per field, written
//   Kind(name, slot, presence, field identifier[, member class | enum def])
// exactly as the message schema lists them.  The class identifier fills in
// every row.  Each class names its rows (DiskInfo::bus, ...) so that code
// reads msg.getint64(ResponseFile::DiskInfo::bus); the row carries the slot,
// presence index and identifiers the platform's accessors take.
//
// (namespace, class) pairs that the schema fixes: VMOpReq's members
// DestinationSettings (22,108), DestinationPlacement (22,100), DatastoreRef
// (22,99), InstanceSizeRef (18,82), RecoveryResponse (33,18), ClientEntity
// (18,4), AddressRef (20,21), and HardwareConfig (33,16), DiskInfo (33,12),
// NetworkConfig (33,9), IP (33,8), Annotation::Text (27,33).  The others are
// this library's own.
//
// Counts: a list's element count is a separate integer field (ideCount for
// ideDevices, scsiCount for scsiDisks); whoever writes the list writes the
// count with it.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/messages/CNMessageBase.h"

#include <cassert>

// Declares a typed message class over CNMessageBase: the (namespace, class)
// pair, construction empty or from a message of the same class.  It adds no
// data, so lists and members convert freely.
#define ZY_MESSAGE_CLASS(Name, Ns, Cls, Table)                                \
 public:                                                                      \
  static constexpr int kNamespace = Ns;                                       \
  static constexpr int kClass = Cls;                                          \
  static constexpr const auto& kFields = Table;                               \
  Name() : CNMessageBase(Ns, Cls) {}                                          \
  explicit Name(const CNMessageBase& other) : CNMessageBase(other) {          \
    assert(messageClass().nNamespace == Ns && messageClass().nClass == Cls && \
           "message of another class");                                       \
  }

// Names a row of the class's table; a name not in the table does not compile.
#define ZY_MESSAGE_FIELD(name) \
  static constexpr const SMessageField& name = MessageFieldNamed(kFields, #name)

// Message class identifiers.
constexpr uint32_t kVMOpReqClassId = 373979782;
constexpr uint32_t kDestinationSettingsClassId = 384014044;
constexpr uint32_t kDestinationPlacementClassId = 371852245;
constexpr uint32_t kDatastoreRefClassId = 384000855;
constexpr uint32_t kInstanceSizeRefClassId = 317105517;
constexpr uint32_t kSecurityGroupsClassId = 370514260;
constexpr uint32_t kRecoveryResponseClassId = 562186957;
constexpr uint32_t kClientInfoClassId = 562219833;
constexpr uint32_t kClientEntityClassId = 305124270;
constexpr uint32_t kHardwareConfigClassId = 558437226;
constexpr uint32_t kCpuInfoClassId = 569630294;
constexpr uint32_t kDiskInfoClassId = 562181131;
constexpr uint32_t kMountPointClassId = 556248343;
constexpr uint32_t kNetworkConfigClassId = 563617520;
constexpr uint32_t kIPClassId = 553650471;
constexpr uint32_t kInterfaceClassId = 560434457;
constexpr uint32_t kProtocolClassId = 568652472;
constexpr uint32_t kAddressRefClassId = 347201741;
constexpr uint32_t kAnnotationTextClassId = 455588173;

// Enumeration class definitions (XMLDecoder).
constexpr uint32_t kScsiControllerTypeClassDef = 563900252;
constexpr uint32_t kNetworkAdapterTypeClassDef = 564127803;

// ---------------------------------------------------------------------------
// Field tables.
// ---------------------------------------------------------------------------

inline constexpr auto kVMOpReqFields = MessageFieldTable(
    kVMOpReqClassId,
    std::array{
        ObjectField("destinationSettings", 1, 1, 8303621, 22, 108),
        StringField("requestText", 3, 3, 15574602),
        ObjectField("recoveryResponse", 8, 5, 5717978, 33, 18),
        IntField("flagA", 26, kNoPresence, 6164347),
        IntField("flagB", 28, kNoPresence, 1576588),
        IntField("flagC", 33, kNoPresence, 13413142),
    });

inline constexpr auto kDestinationSettingsFields = MessageFieldTable(
    kDestinationSettingsClassId,
    std::array{
        ObjectField("placement", 20, 11, 2583436, 22, 100),
        ListField("securityGroups", 35, 23, 13552948, 22, 121),
        ObjectField("instanceSize", 40, 25, 14091826, 18, 82),
    });

inline constexpr auto kDestinationPlacementFields =
    MessageFieldTable(kDestinationPlacementClassId,
                      std::array{
                          StringField("hostName", 5, 2, 1232979),
                          StringField("region", 13, 4, 8406986),
                          ObjectField("datastore", 22, 7, 7422839, 22, 99),
                      });

inline constexpr auto kDatastoreRefFields = MessageFieldTable(
    kDatastoreRefClassId, std::array{
                              StringField("name", 1, 1, 3373707),
                          });

inline constexpr auto kInstanceSizeRefFields = MessageFieldTable(
    kInstanceSizeRefClassId, std::array{
                                 StringField("name", 1, 1, 16050545),
                             });

inline constexpr auto kSecurityGroupsFields = MessageFieldTable(
    kSecurityGroupsClassId, std::array{
                                StringField("groupId", 1, 1, 3373707),
                                StringField("groupName", 5, 2, 8215546),
                            });

inline constexpr auto kRecoveryResponseFields = MessageFieldTable(
    kRecoveryResponseClassId,
    std::array{
        IntField("osType", 9, kNoPresence, 12413043),
        ObjectField("networkConfig", 12, 6, 13681439, 33, 9),
        ListField("clients", 13, 7, 4949512, 33, 5),
        ObjectField("hardwareConfig", 14, 8, 12536081, 33, 16),
    });

inline constexpr auto kClientInfoFields = MessageFieldTable(
    kClientInfoClassId, std::array{
                            ObjectField("client", 1, 1, 1242059, 18, 4),
                            ObjectField("networkConfig", 9, 6, 13681439, 33, 9),
                        });

inline constexpr auto kClientEntityFields = MessageFieldTable(
    kClientEntityClassId, std::array{
                              IntField("clientId", 0, 0, 2438726),
                              StringField("clientName", 1, 1, 11732214),
                              StringField("hostName", 5, 2, 1232979),
                              StringField("clientValue", 10, 4, 11510996),
                          });

inline constexpr auto kHardwareConfigFields = MessageFieldTable(
    kHardwareConfigClassId,
    std::array{
        IntField("numCpus", 9, kNoPresence, 16209848),
        ListField("cpus", 10, 4, 14856405, 33, 11),
        IntField("memoryMB", 11, kNoPresence, 2510891),
        IntField("numNics", 12, kNoPresence, 9418776),
        IntField("ideCount", 13, 7, 10494778),
        IntField("scsiCount", 14, 8, 13494326),
        ListField("scsiDisks", 15, 9, 14237085, 33, 12),
        ListField("ideDevices", 16, 10, 11237537, 33, 12),
        ObjectField("bootDisk", 17, 11, 4867180, 33, 12),
        ListField("mountPoints", 20, 14, 4527730, 33, 14),
        IntField("useVolumeLayout", 21, kNoPresence, 4392158),
        IntField("hardwareFlag", 23, kNoPresence, 13980578),
        StringField("machineName", 24, 18, 8440290),
        EnumField("bootFirmware", 28, kNoPresence, 12961485, 0),
        IntField("extraValuesSet", 29, 20, 12186973),
        IntField("extraValueA", 30, kNoPresence, 13181640),
        IntField("extraValueB", 31, kNoPresence, 2748378),
    });

inline constexpr auto kCpuInfoFields = MessageFieldTable(
    kCpuInfoClassId, std::array{
                         IntField("architecture", 1, kNoPresence, 14536845),
                     });

inline constexpr auto kDiskInfoFields = MessageFieldTable(
    kDiskInfoClassId, std::array{
                          IntField("isScsi", 1, 1, 9022485),
                          IntField("bus", 2, 2, 97920),
                          IntField("slot", 3, 3, 3533310),
                          IntField("deviceType", 4, 4, 951572),
                          IntField("sizeMB", 5, 5, 3530753),
                          StringField("datastore", 6, 6, 3915394),
                          IntField("keepFlag", 10, kNoPresence, 4692982),
                          StringField("name", 11, 8, 3373707),
                          IntField("selected", 15, kNoPresence, 9061930),
                          IntField("provisioning", 16, 10, 11336311),
                          EnumField("scsiControllerType", 17, 11, 14201660,
                                    kScsiControllerTypeClassDef),
                      });

inline constexpr auto kMountPointFields = MessageFieldTable(
    kMountPointClassId, std::array{
                            IntField("sizeBytes", 6, kNoPresence, 4736469),
                            IntField("onFirstDisk", 7, kNoPresence, 8516146),
                            IntField("onSecondDisk", 8, kNoPresence, 1018689),
                        });

inline constexpr auto kNetworkConfigFields = MessageFieldTable(
    kNetworkConfigClassId, std::array{
                               ObjectField("ip", 2, 2, 8947285, 33, 8),
                           });

inline constexpr auto kIPFields = MessageFieldTable(
    kIPClassId, std::array{
                    ListField("interfaces", 5, 2, 12073562, 33, 7),
                });

inline constexpr auto kInterfaceFields = MessageFieldTable(
    kInterfaceClassId,
    std::array{
        StringField("name", 1, 1, 3373707),
        StringField("detail", 5, 2, 107855),
        StringField("networkName", 9, 3, 12738918),
        ListField("protocols", 15, 6, 4670683, 33, 6),
        IntField("interfaceValue", 21, 9, 3622243),
        EnumField("adapterType", 22, 10, 7119695, kNetworkAdapterTypeClassDef),
        IntField("detailMode", 23, 11, 1667199),
    });

inline constexpr auto kProtocolFields = MessageFieldTable(
    kProtocolClassId, std::array{
                          ObjectField("address", 9, 3, 3367, 20, 21),
                          StringField("protocolValue", 11, 5, 14215512),
                      });

inline constexpr auto kAddressRefFields = MessageFieldTable(
    kAddressRefClassId, std::array{
                            StringField("text", 2, 2, 9935860),
                        });

inline constexpr auto kAnnotationTextFields = MessageFieldTable(
    kAnnotationTextClassId, std::array{
                                StringField("text", 0, 0, 3556653),
                            });

// ---------------------------------------------------------------------------
// Classes.
// ---------------------------------------------------------------------------

class DatastoreRef : public CNMessageBase {
  ZY_MESSAGE_CLASS(DatastoreRef, 22, 99, kDatastoreRefFields)
  ZY_MESSAGE_FIELD(name);
};

class InstanceSizeRef : public CNMessageBase {
  ZY_MESSAGE_CLASS(InstanceSizeRef, 18, 82, kInstanceSizeRefFields)
  ZY_MESSAGE_FIELD(name);
};

class DestinationPlacement : public CNMessageBase {
  ZY_MESSAGE_CLASS(DestinationPlacement, 22, 100, kDestinationPlacementFields)
  ZY_MESSAGE_FIELD(hostName);
  ZY_MESSAGE_FIELD(region);
  ZY_MESSAGE_FIELD(datastore);
};

namespace Ida {
class SecurityGroups : public CNMessageBase {
  ZY_MESSAGE_CLASS(SecurityGroups, 22, 121, kSecurityGroupsFields)
  ZY_MESSAGE_FIELD(groupId);
  ZY_MESSAGE_FIELD(groupName);
};
}  // namespace Ida

class DestinationSettings : public CNMessageBase {
  ZY_MESSAGE_CLASS(DestinationSettings, 22, 108, kDestinationSettingsFields)
  ZY_MESSAGE_FIELD(placement);
  ZY_MESSAGE_FIELD(securityGroups);
  ZY_MESSAGE_FIELD(instanceSize);
};

class ClientEntity : public CNMessageBase {
  ZY_MESSAGE_CLASS(ClientEntity, 18, 4, kClientEntityFields)
  ZY_MESSAGE_FIELD(clientId);
  ZY_MESSAGE_FIELD(clientName);
  ZY_MESSAGE_FIELD(hostName);
  ZY_MESSAGE_FIELD(clientValue);
};

class AddressRef : public CNMessageBase {
  ZY_MESSAGE_CLASS(AddressRef, 20, 21, kAddressRefFields)
  ZY_MESSAGE_FIELD(text);
};

namespace Annotation {
// The display text of an enumeration value (XMLDecoder::FillAnnotation).
class Text : public CNMessageBase {
  ZY_MESSAGE_CLASS(Text, 27, 33, kAnnotationTextFields)
  ZY_MESSAGE_FIELD(text);
};
}  // namespace Annotation

namespace ResponseFile {

// Boot firmware of the protected machine.
enum BOOT_FIRMWARE : int32_t {
  BOOT_FIRMWARE_DEFAULT = 0,
  BOOT_FIRMWARE_EFI = 1,
};

class CpuInfo : public CNMessageBase {
  ZY_MESSAGE_CLASS(CpuInfo, 33, 11, kCpuInfoFields)
  ZY_MESSAGE_FIELD(architecture);  // 0: 32-bit, otherwise 64-bit
};

// One disk or CD-ROM device.  deviceType 0 is a CD-ROM, 1 a disk; sizeMB is
// in units of 1,000,000 bytes; selected or keepFlag non-zero keeps a disk.
class DiskInfo : public CNMessageBase {
  ZY_MESSAGE_CLASS(DiskInfo, 33, 12, kDiskInfoFields)
  ZY_MESSAGE_FIELD(isScsi);
  ZY_MESSAGE_FIELD(bus);
  ZY_MESSAGE_FIELD(slot);
  ZY_MESSAGE_FIELD(deviceType);
  ZY_MESSAGE_FIELD(sizeMB);
  ZY_MESSAGE_FIELD(datastore);
  ZY_MESSAGE_FIELD(keepFlag);
  ZY_MESSAGE_FIELD(name);
  ZY_MESSAGE_FIELD(selected);
  ZY_MESSAGE_FIELD(provisioning);
  ZY_MESSAGE_FIELD(scsiControllerType);
};

// One volume of the protected machine.
class MountPoint : public CNMessageBase {
  ZY_MESSAGE_CLASS(MountPoint, 33, 14, kMountPointFields)
  ZY_MESSAGE_FIELD(sizeBytes);
  ZY_MESSAGE_FIELD(onFirstDisk);
  ZY_MESSAGE_FIELD(onSecondDisk);
};

class HardwareConfig : public CNMessageBase {
  ZY_MESSAGE_CLASS(HardwareConfig, 33, 16, kHardwareConfigFields)
  ZY_MESSAGE_FIELD(numCpus);
  ZY_MESSAGE_FIELD(cpus);
  ZY_MESSAGE_FIELD(memoryMB);
  ZY_MESSAGE_FIELD(numNics);
  ZY_MESSAGE_FIELD(ideCount);
  ZY_MESSAGE_FIELD(scsiCount);
  ZY_MESSAGE_FIELD(scsiDisks);
  ZY_MESSAGE_FIELD(ideDevices);
  ZY_MESSAGE_FIELD(bootDisk);
  ZY_MESSAGE_FIELD(mountPoints);
  ZY_MESSAGE_FIELD(useVolumeLayout);
  ZY_MESSAGE_FIELD(hardwareFlag);
  ZY_MESSAGE_FIELD(machineName);
  ZY_MESSAGE_FIELD(bootFirmware);
  ZY_MESSAGE_FIELD(extraValuesSet);
  ZY_MESSAGE_FIELD(extraValueA);
  ZY_MESSAGE_FIELD(extraValueB);
};

class Protocol : public CNMessageBase {
  ZY_MESSAGE_CLASS(Protocol, 33, 6, kProtocolFields)
  ZY_MESSAGE_FIELD(address);
  ZY_MESSAGE_FIELD(protocolValue);
};

// One network interface of the protected machine.
class Interface : public CNMessageBase {
  ZY_MESSAGE_CLASS(Interface, 33, 7, kInterfaceFields)
  ZY_MESSAGE_FIELD(name);
  ZY_MESSAGE_FIELD(detail);
  ZY_MESSAGE_FIELD(networkName);
  ZY_MESSAGE_FIELD(protocols);
  ZY_MESSAGE_FIELD(interfaceValue);
  ZY_MESSAGE_FIELD(adapterType);
  ZY_MESSAGE_FIELD(detailMode);
};

class IP : public CNMessageBase {
  ZY_MESSAGE_CLASS(IP, 33, 8, kIPFields)
  ZY_MESSAGE_FIELD(interfaces);
};

class NetworkConfig : public CNMessageBase {
  ZY_MESSAGE_CLASS(NetworkConfig, 33, 9, kNetworkConfigFields)
  ZY_MESSAGE_FIELD(ip);
};

class ClientInfo : public CNMessageBase {
  ZY_MESSAGE_CLASS(ClientInfo, 33, 5, kClientInfoFields)
  ZY_MESSAGE_FIELD(client);
  ZY_MESSAGE_FIELD(networkConfig);
};

}  // namespace ResponseFile

// The bare-metal recovery response of a protected machine.  osType 1 is
// Windows, 0 any other operating system.
class RecoveryResponse : public CNMessageBase {
  ZY_MESSAGE_CLASS(RecoveryResponse, 33, 18, kRecoveryResponseFields)
  ZY_MESSAGE_FIELD(osType);
  ZY_MESSAGE_FIELD(networkConfig);
  ZY_MESSAGE_FIELD(clients);
  ZY_MESSAGE_FIELD(hardwareConfig);
};

namespace Ida {
// A virtual-machine operation request: a restore of a protected machine.
class VMOpReq : public CNMessageBase {
  ZY_MESSAGE_CLASS(VMOpReq, 22, 1, kVMOpReqFields)
  ZY_MESSAGE_FIELD(destinationSettings);
  ZY_MESSAGE_FIELD(requestText);
  ZY_MESSAGE_FIELD(recoveryResponse);
  ZY_MESSAGE_FIELD(flagA);
  ZY_MESSAGE_FIELD(flagB);
  ZY_MESSAGE_FIELD(flagC);
};
}  // namespace Ida

#undef ZY_MESSAGE_FIELD
#undef ZY_MESSAGE_CLASS
