//===- FolderJobPlatform.cpp - The jobs on the folder platform ------------===//
#include "FolderJobPlatform.h"

#include "platform/folder/FolderVMInfo.h"

namespace zyjobs {

IVMInfo* FolderJobPlatform::OpenDestination(VirtualServerInstanceType kind,
                                            const std::string& outputFolder) {
  auto* folder =
      new FolderVMInfo(kind, outputFolder.empty() ? root_ : outputFolder);
  if (!outputFolder.empty()) folder->BuildVMIn(outputFolder);
  opened_[folder] = folder;
  return folder;
}

void FolderJobPlatform::MapNetworks(IVMInfo* destination,
                                    const SNetworkMap& networks) {
  auto found = opened_.find(destination);
  if (found != opened_.end()) found->second->MapNetworks(networks);
}

std::string FolderJobPlatform::BuiltVMFolder(IVMInfo* destination,
                                             const std::string& name) {
  auto found = opened_.find(destination);
  return found == opened_.end() ? std::string() : found->second->VMFolder(name);
}

bool FolderJobPlatform::ReserveDestination(IVMInfo* destination,
                                           const std::string& name,
                                           std::string& error) {
  auto found = opened_.find(destination);
  if (found == opened_.end() || found->second->LockVM(name)) return true;
  error = found->second->GetLastErrorText();
  return false;
}

std::vector<std::string> FolderJobPlatform::NamesCreatedFor(
    IVMInfo* destination, const std::string& name) {
  auto found = opened_.find(destination);
  if (found == opened_.end()) return {};
  return found->second->NamesCreatedFor(name);
}

bool FolderJobPlatform::UpdateDescription(IVMInfo* destination,
                                          const std::string& name,
                                          const VMInfoStructs::SVMInfo& info,
                                          std::string& error) {
  auto found = opened_.find(destination);
  if (found == opened_.end()) return true;
  if (found->second->UpdateVMDescription(name, info)) return true;
  error = found->second->GetLastErrorText();
  return false;
}

std::string FolderJobPlatform::SourceVMFolder(VirtualServerInstanceType kind,
                                              const std::string& name) {
  return FolderVMInfo(kind, root_).VMFolder(name);
}

bool FolderJobPlatform::ReadSourceVM(VirtualServerInstanceType kind,
                                     const std::string& name,
                                     VMInfoStructs::SVMInfo& info,
                                     std::string& error) {
  FolderVMInfo platform(kind, root_);
  if (platform.GetVMInfo(name, "", "", 0, 0, info)) return true;
  error = platform.GetLastErrorText();
  return false;
}

int FolderJobPlatform::AnswerClient(int clientId,
                                    const VMInfoStructs::SVMInfo& facts) {
  return AnswerClientFromDescription(clientId, facts);
}

Ec2InstanceSizes FolderJobPlatform::InstanceSizes() {
  return PlatformInstanceSizes(root_);
}

}  // namespace zyjobs
