//===- ZyP2VUtils.h - Physical machines restored as virtual machines ------===//
//
// A protected physical machine restored as a virtual machine: the restore
// request (Ida::VMOpReq) carries the machine's bare-metal recovery response
// (the Kestrel response), which these static operations turn into a VM
// description and a restore context for a destination platform.
//
//   CopyVMInfoFromKestrelResponse  the response as an SVMInfo: hardware,
//                                  disks and CD-ROM laid out for a virtual
//                                  machine, guest OS, network cards, and
//                                  the response itself as "machine.id"
//   CopyRestoreCtxFromVmOpReq      the restore context from the request and
//                                  from the description filled above
//
// The layout operations give every device an address a virtual machine can
// take: IDE has buses 0 and 1 with slots 0 and 1; SCSI has buses 0 to 3
// with slots 0 to 15, bus 3 slot 15 the last.  They work on a copy of the
// response's hardware configuration, never on the request.
//
// The class holds no state.  No operation throws.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/Contexts.h"
#include "model/VMInfoStructs.h"
#include "model/VirtualServerTypes.h"
#include "model/ZyExport.h"
#include "platform/messages/RecoveryMessages.h"

#include <cstddef>
#include <string>
#include <vector>

class ZY_API ZyP2VUtils {
 public:
  ZyP2VUtils();
  ~ZyP2VUtils();

  // --- Recovery response to VM description --------------------------------

  // Fills the description from the request's recovery response for the
  // destination kind.  0 on success; 1 when the request carries no
  // response, the response names no client, or no CD-ROM can be made.
  // The request's first client gets its id and host name written in.
  static long CopyVMInfoFromKestrelResponse(Ida::VMOpReq& req,
                                            VMInfoStructs::SVMInfo& vmInfo,
                                            VirtualServerInstanceType eDest);
  // Appends the destination's security groups, when the request has them.
  static void CopySecurityGroupsInfo(Ida::VMOpReq& req,
                                     VMInfoStructs::SVMInfo& vmInfo);
  // "efi" for EFI firmware, empty for every other value.
  static void getBootFirmware(ResponseFile::BOOT_FIRMWARE eFirmware,
                              std::string& strFirmware);

  // --- Disk bus and slot layout -------------------------------------------

  // IDE position index (modulo 4) to bus and slot; a negative index leaves
  // both alone.
  static void GetBusAndSlotForIDEDisk(int nIndex, int& nBus, int& nSlot);
  static bool IsBusAndSlotForSCSIDiskValid(int nBus, int nSlot);
  // The SCSI address after (bus, slot); false after bus 3 slot 15 or for an
  // invalid address.
  static bool GetNextBusAndSlotForSCSIDisk(int nBus, int nSlot, int& nNextBus,
                                           int& nNextSlot);
  // Whether the second address directly follows the first; false (and
  // bAdjacent untouched) when the first has no successor.
  static bool IsSecondSCSIDiskImmediatelyAfterFirst(int nFirstBus,
                                                    int nFirstSlot,
                                                    int nSecondBus,
                                                    int nSecondSlot,
                                                    bool& bAdjacent);
  // Inserts a disk moved off IDE at position nPos of the SCSI list, at the
  // address after element nPos - 1; as the first disk (the boot disk) it
  // takes element 0's address instead and element 0 moves to nPos.
  static bool AddIDEDiskToListOfSCSIDisks(
      ResponseFile::DiskInfo disk, std::vector<ResponseFile::DiskInfo>& vScsi,
      size_t nPos, bool bAsFirst);
  // Drops disks neither selected for restore nor kept; CD-ROMs stay.
  static void RemoveUnselectedDisksFromKestrelDiskConfig(
      ResponseFile::HardwareConfig& hw);
  // Lays a Windows machine's disks out: unselected disks dropped, IDE
  // devices renumbered onto buses 0 and 1, and disks beyond four IDE
  // devices moved into the gaps and onto the end of the SCSI list.
  static bool ProcessWinKestrelDiskConfig(ResponseFile::HardwareConfig& hw);
  // Adds an IDE CD-ROM at the first free IDE position, or, with IDE full,
  // moves the disk at IDE 1:1 to a free SCSI address on bus 0 or 1 and
  // turns its position into the CD-ROM.  0 on success, 1 when nothing is
  // free.
  static long createIDECDROMDevice(ResponseFile::HardwareConfig& hw);
  // Writes the first free IDE position into device; 1 when all four are
  // taken.
  static long getNextFreeIde(std::vector<ResponseFile::DiskInfo> vIde,
                             ResponseFile::DiskInfo& device);

  // --- Guest OS identifiers and restore options ---------------------------

  // The VMware guest identifier of the client; always 0.
  static long GetVMWareGuestOSIdentifier(int nClientId, std::string& strGuestId,
                                         bool bIsWindows, bool bIs64Bit);
  // The client's OS description; false (and empty) when it cannot be read.
  static bool GetGuestOsInfoFromDb(int nClientId, std::string& strOSInfo);
  // Fills the restore context from the request and from its own vmInfo.
  static void CopyRestoreCtxFromVmOpReq(RestoreCtx& ctx, Ida::VMOpReq& req);
};
