//===- RecoveryMessages.cpp - Registry of the recovery message classes ----===//
//
// The message library finds a class by its (namespace, class) pair when a
// message or a member object is constructed.
//
//===----------------------------------------------------------------------===//
#include "platform/messages/RecoveryMessages.h"

namespace {

template <class T>
constexpr SMessageClass ClassRow(const char* name, const char* xmlName) {
  return {name,
          xmlName,
          T::kNamespace,
          T::kClass,
          T::kFields[0].uClassId,
          T::kFields.data(),
          T::kFields.size()};
}

constexpr SMessageClass kMessageClasses[] = {
    ClassRow<Ida::VMOpReq>("Ida::VMOpReq", "VMOpReq"),
    ClassRow<DestinationSettings>("DestinationSettings", "DestinationSettings"),
    ClassRow<DestinationPlacement>("DestinationPlacement",
                                   "DestinationPlacement"),
    ClassRow<DatastoreRef>("DatastoreRef", "DatastoreRef"),
    ClassRow<InstanceSizeRef>("InstanceSizeRef", "InstanceSizeRef"),
    ClassRow<Ida::SecurityGroups>("Ida::SecurityGroups", "SecurityGroups"),
    ClassRow<RecoveryResponse>("RecoveryResponse", "RecoveryResponse"),
    ClassRow<ResponseFile::ClientInfo>("ResponseFile::ClientInfo",
                                       "ClientInfo"),
    ClassRow<ClientEntity>("ClientEntity", "ClientEntity"),
    ClassRow<ResponseFile::HardwareConfig>("ResponseFile::HardwareConfig",
                                           "HardwareConfig"),
    ClassRow<ResponseFile::CpuInfo>("ResponseFile::CpuInfo", "CpuInfo"),
    ClassRow<ResponseFile::DiskInfo>("ResponseFile::DiskInfo", "DiskInfo"),
    ClassRow<ResponseFile::MountPoint>("ResponseFile::MountPoint",
                                       "MountPoint"),
    ClassRow<ResponseFile::NetworkConfig>("ResponseFile::NetworkConfig",
                                          "NetworkConfig"),
    ClassRow<ResponseFile::IP>("ResponseFile::IP", "IP"),
    ClassRow<ResponseFile::Interface>("ResponseFile::Interface", "Interface"),
    ClassRow<ResponseFile::Protocol>("ResponseFile::Protocol", "Protocol"),
    ClassRow<AddressRef>("AddressRef", "AddressRef"),
    ClassRow<Annotation::Text>("Annotation::Text", "Text"),
};

}  // namespace

const SMessageClass* FindMessageClass(int nNamespace, int nClass) {
  for (const auto& c : kMessageClasses)
    if (c.nNamespace == nNamespace && c.nClass == nClass) return &c;
  return nullptr;
}
