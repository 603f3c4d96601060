//===- P2VRequests.h - Building restore requests for the p2v tests --------===//
#pragma once

#include "platform/messages/RecoveryMessages.h"

#include <string>
#include <vector>

namespace p2v_test {

using Disk = ResponseFile::DiskInfo;
using HW = ResponseFile::HardwareConfig;
using DiskList = std::vector<Disk>;

constexpr int kCd = 0;
constexpr int kHd = 1;

inline Disk MakeDevice(int bus, int slot, int type = kHd, int sizeMB = 0,
                       const std::string& name = "", bool selected = true) {
  Disk d;
  d.setint64(Disk::bus, bus);
  d.setint64(Disk::slot, slot);
  d.setint64(Disk::deviceType, type);
  d.setint64(Disk::sizeMB, sizeMB);
  d.setint64(Disk::selected, selected ? 1 : 0);
  if (!name.empty()) d.setstring(Disk::name, name);
  return d;
}

inline HW MakeHw(const DiskList& ide, const DiskList& scsi) {
  HW hw;
  hw.SetList(HW::ideDevices, ide);
  hw.setint64(HW::ideCount, static_cast<int64_t>(ide.size()));
  hw.SetList(HW::scsiDisks, scsi);
  hw.setint64(HW::scsiCount, static_cast<int64_t>(scsi.size()));
  return hw;
}

struct SAddr {
  int bus;
  int slot;
  bool operator==(const SAddr& o) const {
    return bus == o.bus && slot == o.slot;
  }
};

inline std::vector<SAddr> Addresses(const DiskList& list) {
  std::vector<SAddr> out;
  for (const auto& d : list)
    out.push_back({d.getint32(Disk::bus), d.getint32(Disk::slot)});
  return out;
}
inline DiskList Ide(const HW& hw) { return hw.GetList<Disk>(HW::ideDevices); }
inline DiskList Scsi(const HW& hw) { return hw.GetList<Disk>(HW::scsiDisks); }

// A request for the client "pm01" with the hardware configuration given.
inline Ida::VMOpReq MakeRequest(const HW& hw, int osType,
                                const std::string& clientName = "pm01") {
  ClientEntity client;
  client.setstring(ClientEntity::clientName, clientName);
  client.setstring(ClientEntity::clientValue, "guid-pm01");
  ResponseFile::ClientInfo info;
  info.SetObject(ResponseFile::ClientInfo::client, client);

  RecoveryResponse response;
  response.setint64(RecoveryResponse::osType, osType);
  response.SetList(RecoveryResponse::clients,
                   std::vector<ResponseFile::ClientInfo>{info});
  response.SetObject(RecoveryResponse::hardwareConfig, hw);

  DatastoreRef datastore;
  datastore.setstring(DatastoreRef::name, "ds1");
  DestinationPlacement placement;
  placement.setstring(DestinationPlacement::hostName, "esx01");
  placement.setstring(DestinationPlacement::region, "eu-west-1");
  placement.SetObject(DestinationPlacement::datastore, datastore);
  DestinationSettings settings;
  settings.SetObject(DestinationSettings::placement, placement);

  Ida::VMOpReq req;
  req.SetObject(Ida::VMOpReq::destinationSettings, settings);
  req.setstring(Ida::VMOpReq::requestText, "restore pm01");
  req.SetObject(Ida::VMOpReq::recoveryResponse, response);
  return req;
}

// In-place access to parts of a request, for tests that adjust one field.
inline CNMessageBase& Response(Ida::VMOpReq& req) {
  return req.getObjectAccessor(Ida::VMOpReq::recoveryResponse, true);
}
inline CNMessageBase& Hardware(Ida::VMOpReq& req) {
  return Response(req).getObjectAccessor(RecoveryResponse::hardwareConfig,
                                         true);
}
inline CNMessageBase& FirstClient(Ida::VMOpReq& req) {
  return Response(req).getlistobject(RecoveryResponse::clients)[0];
}

}  // namespace p2v_test
