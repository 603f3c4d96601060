//===- FolderJobPlatform.h - The jobs on the folder platform --------------===//
//
// The folder platform at a root: VMs are <root>/<kind>/<name> folders, a
// destination with an output folder is built there instead.  It knows the
// access objects it opened, so it answers for them without asking their
// type.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "JobPlatform.h"

#include <map>

class FolderVMInfo;

namespace zyjobs {

class FolderJobPlatform : public IJobPlatform {
 public:
  explicit FolderJobPlatform(std::string root) : root_(std::move(root)) {}
  IVMInfo* OpenDestination(VirtualServerInstanceType kind,
                           const std::string& outputFolder) override;
  void MapNetworks(IVMInfo* destination, const SNetworkMap& networks) override;
  std::string BuiltVMFolder(IVMInfo* destination,
                            const std::string& name) override;
  bool ReserveDestination(IVMInfo* destination, const std::string& name,
                          std::string& error) override;
  std::vector<std::string> NamesCreatedFor(IVMInfo* destination,
                                           const std::string& name) override;
  bool UpdateDescription(IVMInfo* destination, const std::string& name,
                         const VMInfoStructs::SVMInfo& info,
                         std::string& error) override;
  std::string SourceVMFolder(VirtualServerInstanceType kind,
                             const std::string& name) override;
  bool ReadSourceVM(VirtualServerInstanceType kind, const std::string& name,
                    VMInfoStructs::SVMInfo& info, std::string& error) override;
  int AnswerClient(int clientId, const VMInfoStructs::SVMInfo& facts) override;
  Ec2InstanceSizes InstanceSizes() override;

 private:
  std::string root_;
  std::map<IVMInfo*, FolderVMInfo*> opened_;
};

}  // namespace zyjobs
