//===- FolderVMInfo.h - The built-in folder platform ----------------------===//
//
// An access object (IVMInfo) whose platform is a folder tree, so the library
// runs for real without the closed platform libraries.  IVMInfo::CreateObject
// hands one out for every platform kind that has no factory of its own when
// the environment variable ZY_PLATFORM_ROOT names the root folder.
//
// Layout under the root (<kind> is PlatformKindName of the kind: "vmware",
// "hyperv", "amazon", "azure", "nutanix", "rhev", "openstack", "oraclevm",
// or the number of an unnamed kind):
//
//   <root>/<kind>/<vm>/VMConfig.zyf      the VM's generalised description;
//                                        a folder without it is no VM
//   <root>/<kind>/<vm>/<files>           its disk images and other files
//   <root>/<kind>/hosts.json             {"hosts": [{"name": "hv01",
//                                          "networks": ["LAN", "DMZ"]}]}
//   <root>/<kind>/instance-types.json    {"us-east-1": [{"name": "t2.micro",
//                                          "cpus": 1, "memoryMB": 1024}]}
//
// What the operations do:
//   GetVMInfo            reads <vm>/VMConfig.zyf (by name, else by GUID); a
//                        description without a GUID gets the folder's name
//   MountVM              hard-links (or copies) the VM's files into the
//                        mount folder, which must be empty or absent; the
//                        VM's folder is never changed
//   UnmountVM            removes what MountVM placed, and the folder it made
//   GetFullMountInfo     one record with a file entry per mounted file:
//                        configuration files (zyf, vmx, vmtx, cfg, xml) are
//                        type 0, disk images (named by the description or
//                        with a disk extension) type 1, anything else 2
//   GetHostInfo          the host of that name from hosts.json (the first
//                        for an empty name); GetLocalHostInfo the first host
//   GetAvailableInstanceTypes  the list of the key's region; a key
//                        "region|host" falls back to its region
//   PrepareRestoreConversion, StartPlatformConversion
//                        check that the destination VM does not exist yet
//   LockVM               takes the destination VM's lock: one run builds a
//                        VM at a time (<kind>/.<vm>.lock, or .build.lock in
//                        the folder given to BuildVMIn); a second run is
//                        refused at once with the holder's pid.  The lock
//                        is held until the object is deleted, then its
//                        file is removed, and the kind's folder when this
//                        object made it and it stayed empty
//   PrepareDestinationVM takes the lock (when not taken yet) and creates
//                        the destination VM's folder
//   ConfigureDestinationVM  places the restored disk files (found by their
//                        names in the request's staging or destination
//                        folder) in it and writes its VMConfig.zyf, with
//                        the request's instance type, and the sizes of disks
//                        the description gives none taken from their files;
//                        then the description the kind itself takes
//                        (NativeDescriptionName), never over an existing file
//   UpdateVMDescription  rewrites both after the Hyper-V adjustments
//   CompleteDestinationVM   reports the VM: strVMId "<kind>/<vm>",
//                        strResultInfo its folder
//   FinalizeConvertedVM  the three steps above in one call
// Kinds 1102 and 1301 get a description without disks from the library; the
// platform keeps the restored disk images in the VM's folder all the same,
// lists them in the VM's description and in strResultDetail.
// Every path stays below the root: VM and file names are single path
// components, no symbolic link below the root is followed (a link in a VM's
// folder, a linked VM folder, a staging or destination folder outside the
// root are refused with the reason as last error).
// The destination VM is named by the request's strVMName, else by its
// description's.  A failed destination step removes the VM folder it made;
// no operation changes or removes a file it did not place itself.
// GetLastErrorText tells what failed last.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/PlatformKinds.h"
#include "platform/access/IVMInfo.h"
#include "formats/common/NativeWriters.h"
#include "formats/common/FormatText.h"
#include "platform/support/RunLock.h"

#include <string>
#include <vector>

// The backup client a VM's guest OS facts are asked from.  A real platform
// knows every protected VM's client; without a configured client (none in
// the platform configuration under clientId), the folder platform answers
// from the VM's own description: a client registered in-process whose OS
// text is the description's guest OS name, version and architecture
// ("Windows Server 2019:-10.0:-:-x64"; "Any" for an unknown architecture).
// Returns the client id to use: clientId when that client is configured,
// else the registered one (clientId itself when positive); clientId
// unchanged when the description names no guest OS.
ZY_PLATFORM_API int AnswerClientFromDescription(
    int clientId, const VMInfoStructs::SVMInfo& description);
// The same for a physical machine's client, known by its name: when no
// client of that name is configured, one is registered whose OS text is
// osText (a whole "name:-version:-build:-arch", or a name completed with
// the architecture) and whose operating-system id is a 64-bit Windows
// server's or a 32-bit Windows machine's for Windows, 0 otherwise.
ZY_PLATFORM_API void AnswerMachineClient(const std::string& clientName,
                                         bool windows, bool is64Bit,
                                         const std::string& osText);
// The file name of the native description of a destination VM of kind
// ("<vm>.vmx", "<vm>.xml", "vm.cfg", "<vm>.ps1", "import-image.json",
// "azure-vm.json"); empty for a kind without one.
ZY_PLATFORM_API std::string NativeDescriptionName(
    VirtualServerInstanceType kind, const std::string& vmName);
// What the native writer of kind says about a description: one sentence per
// disk it writes at another address than the description gives, and per
// value the user must fill in (the S3 bucket when s3Bucket is empty), and
// per network card that joins a network no mapping chose (libvirt).
ZY_PLATFORM_API std::vector<std::string> NativeDescriptionNotes(
    VirtualServerInstanceType kind, const VMInfoStructs::SVMInfo& info,
    const std::string& s3Bucket = std::string(),
    const SNetworkMap& networks = SNetworkMap());

// The platform's table of Amazon instance types under root
// (amazon/instance-types.json, any region), for reading Amazon descriptions;
// a root without the table lists no type.
ZY_PLATFORM_API Ec2InstanceSizes PlatformInstanceSizes(const std::string& root);

// Makes the folder platform at root this process's platform: the access
// object of every kind, and its Amazon instance types for the Amazon
// descriptions read.
ZY_PLATFORM_API void UseFolderPlatform(const std::string& root);

// A folder platform for kind at the root named by ZY_PLATFORM_ROOT, or null
// when the variable is unset or empty.
ZY_PLATFORM_API IVMInfo* CreateFolderVMInfoFromEnvironment(
    VirtualServerInstanceType kind);

class ZY_PLATFORM_API FolderVMInfo : public IVMInfo {
 public:
  FolderVMInfo(VirtualServerInstanceType kind, std::string root);
  ~FolderVMInfo() override;

  int Initialize(int mode) override;
  int Uninitialize(int mode) override;
  int Connect(const std::string& host, const std::string& user,
              const std::string& password) override;
  int Disconnect() override;
  std::string GetLastErrorText() override;
  int GetVMInfo(const std::string& vmName, const std::string& vmGuid,
                const std::string& extra, int option1, int option2,
                VMInfoStructs::SVMInfo& info) override;
  int GetHostInfo(const std::string& hostName, uint64_t propertyMask,
                  int option, VMInfoStructs::SHostInfo& info) override;
  int GetLocalHostInfo(VMInfoStructs::SHostInfo& info, uint64_t propertyMask,
                       int option) override;
  int GetAvailableInstanceTypes(const std::string& key,
                                std::vector<VMInfoStructs::SVMSizeInfo>& types,
                                int option1, int option2) override;
  int MountVM(MountCtx& ctx) override;
  int UnmountVM(MountCtx& ctx) override;
  int GetFullMountInfo(
      MountCtx& ctx, std::vector<VMInfoStructs::SMountInfoFull>& info) override;
  int PrepareRestoreConversion(RestoreCtx& ctx) override;
  int PrepareDestinationVM(RestoreCtx& ctx) override;
  int ConfigureDestinationVM(RestoreCtx& ctx) override;
  int CompleteDestinationVM(RestoreCtx& ctx) override;
  bool StartPlatformConversion(RestoreCtx& ctx) override;
  bool FinalizeConvertedVM(RestoreCtx& ctx) override;
  int RunVMOperation(OperationCtx& ctx) override;

  // <root>/<kind>
  std::string KindFolder() const;
  // <root>/<kind>/<vm>, or the folder given to BuildVMIn.
  std::string VMFolder(const std::string& vmName) const;
  // Builds the destination VM in folder itself (created when absent)
  // instead of <root>/<kind>/<vm>: a VM converted from files a user named,
  // into a folder the user named.  The root still holds hosts.json and
  // instance-types.json.
  void BuildVMIn(const std::string& folder) { vmFolder_ = folder; }
  // The networks the cards of every native description this object writes
  // join (NetworkMap.h); by default their source networks' names.
  void MapNetworks(const SNetworkMap& networks) { networks_ = networks; }
  // Rewrites the description of an existing VM of this kind (after the
  // caller adjusted it), its disks named as ConfigureDestinationVM names
  // them; false, with the reason as last error, otherwise.
  bool UpdateVMDescription(const std::string& vmName,
                           const VMInfoStructs::SVMInfo& info);
  // Takes the lock of the destination VM called vmName (above); false,
  // with "... is being restored by another run (pid N)" or the system's
  // reason as last error, when it cannot.
  bool LockVM(const std::string& vmName);
  // The names of the entries a build of the VM called vmName creates: its
  // folder and lock file, its descriptions and their temporary names.
  std::vector<std::string> NamesCreatedFor(const std::string& vmName) const;

 private:
  int Fail(const std::string& text);
  // False, with the reason as last error, when path leaves the root or
  // goes through a symbolic link below it.
  bool Confined(const std::string& path);
  // For a kind whose description lists no disks, the restored disks the
  // platform keeps all the same (added to description); their file names.
  std::vector<std::string> KeepRestoredDisks(
      const RestoreCtx& ctx, VMInfoStructs::SVMInfo& description) const;
  bool FindVMFolder(const std::string& vmName, const std::string& vmGuid,
                    std::string& folder);
  bool CheckDestinationFree(const RestoreCtx& ctx, std::string& vmName);
  void RemoveCreatedVMFolder();
  std::string LockPath(const std::string& vmName) const;
  void UnlockVM();
  // Writes the VM's native description (NativeDescriptionName) beside
  // VMConfig.zyf; replace only for the VM's own update.
  bool WriteNativeDescription(const std::string& vmName,
                              const VMInfoStructs::SVMInfo& description,
                              SNativeWriteInput input, bool replace);

  VirtualServerInstanceType kind_;
  std::string root_;
  std::string lastError_;
  std::string vmFolder_;  // set by BuildVMIn
  SNetworkMap networks_;  // set by MapNetworks
  // What MountVM placed, so UnmountVM removes exactly that.
  std::string mountFolder_;
  bool createdMountFolder_ = false;
  std::vector<std::string> mountedFiles_;
  // The destination VM folder PrepareDestinationVM made, removed again when
  // a later step fails.
  std::string createdVMFolder_;
  // The destination VM's lock, and whether taking it made the kind folder.
  CRunLock lock_;
  bool createdKindFolder_ = false;
};
