//===- JobPlatform.h - What a job needs of the platform it runs on --------===//
//
// A restore reaches the destination through its access object (IVMInfo);
// beyond that it needs to know where a platform keeps a VM's files (the
// source VM's backed-up files, the destination VM's built ones) and to hand
// an adjusted description back.  A platform that keeps no files answers
// with empty folders, and the job then skips the checks of the built files.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/VMInfoStructs.h"
#include "model/VirtualServerTypes.h"
#include "platform/access/IVMInfo.h"
#include "formats/common/FormatText.h"
#include "formats/common/NetworkMap.h"

#include <string>
#include <vector>

namespace zyjobs {

class IJobPlatform {
 public:
  virtual ~IJobPlatform() = default;
  // A new access object for kind (released with IVMInfo::DeleteObject);
  // with an output folder, one that builds the VM in that folder.  Null
  // when the platform has none for kind.
  virtual IVMInfo* OpenDestination(VirtualServerInstanceType kind,
                                   const std::string& outputFolder) = 0;
  // The networks the cards of the VMs the access object opened above builds
  // join, in every native description it writes; a platform that writes
  // none ignores them.
  virtual void MapNetworks(IVMInfo* destination,
                           const SNetworkMap& networks) = 0;
  // The folder of the VM called name on the access object opened above;
  // empty when the platform keeps no files.
  virtual std::string BuiltVMFolder(IVMInfo* destination,
                                    const std::string& name) = 0;
  // Takes the lock of the VM called name on the access object opened
  // above, held until that object is released, so that one run at a time
  // builds it; false with the platform's reason ("... is being restored by
  // another run (pid N)").  A platform that keeps no files answers true.
  virtual bool ReserveDestination(IVMInfo* destination, const std::string& name,
                                  std::string& error) = 0;
  // The names of the entries the platform creates while it builds the VM
  // called name, beside the disk files (its folder, lock, descriptions and
  // their temporary names); empty when it keeps no files.
  virtual std::vector<std::string> NamesCreatedFor(IVMInfo* destination,
                                                   const std::string& name) = 0;
  // Replaces the description of the VM called name after the adjustments;
  // false with the platform's reason.
  virtual bool UpdateDescription(IVMInfo* destination, const std::string& name,
                                 const VMInfoStructs::SVMInfo& info,
                                 std::string& error) = 0;
  // The folder holding the files of the source VM called name of kind.
  virtual std::string SourceVMFolder(VirtualServerInstanceType kind,
                                     const std::string& name) = 0;
  // The description of the source VM called name of kind; false with the
  // platform's reason.
  virtual bool ReadSourceVM(VirtualServerInstanceType kind,
                            const std::string& name,
                            VMInfoStructs::SVMInfo& info,
                            std::string& error) = 0;
  // The backup client whose guest OS facts the conversion asks for: the
  // request's clientId, else one the platform answers from the VM's facts.
  virtual int AnswerClient(int clientId,
                           const VMInfoStructs::SVMInfo& facts) = 0;
  // The platform's own table of EC2 instance types; null when it has none.
  virtual Ec2InstanceSizes InstanceSizes() = 0;
};

// An access object of the platform for a kind (or for a VM built in
// outputFolder), initialised and connected as the agent opens one, and
// released at the end; JobFailure naming the kind when it cannot be had.
class PlatformAccess {
 public:
  PlatformAccess(IJobPlatform& platform, VirtualServerInstanceType kind,
                 const std::string& outputFolder = std::string());
  ~PlatformAccess();
  PlatformAccess(const PlatformAccess&) = delete;
  PlatformAccess& operator=(const PlatformAccess&) = delete;
  IVMInfo* get() const { return object_; }

 private:
  IVMInfo* object_;
};

}  // namespace zyjobs
