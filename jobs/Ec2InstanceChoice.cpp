//===- Ec2InstanceChoice.cpp - Which instance of an Amazon description ----===//
#include "Ec2InstanceChoice.h"

#include "JobSupport.h"

#include "formats/common/FormatText.h"
#include "platform/support/BoundedFile.h"
#include "platform/support/FXPath.h"
#include "platform/support/FXString.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace zyjobs {
namespace {

// The backed-up Amazon description of the request ("xml" configuration
// file), or empty when it lists none.
std::string DescriptionFile(
    const RestoreCtx& request,
    const std::function<std::string(const std::string&)>& pathOf) {
  for (const VMInfoStructs::SDisk& entry : request.vDisks) {
    std::string name =
        entry.diskIndexName.empty() ? entry.strName : entry.diskIndexName;
    if (entry.nFileType == VMInfoStructs::kFileTypeConfig &&
        FXString::CompareNoCase(CQiPath::GetExt(name), "xml") == 0)
      return pathOf(name);
  }
  return std::string();
}

std::string Joined(const std::vector<std::string>& ids, const std::string& but) {
  std::string text;
  for (const std::string& id : ids) {
    if (id == but) continue;
    text += (text.empty() ? "" : ", ") + id;
  }
  return text;
}

}  // namespace

std::string ChooseEc2Instance(
    const RestoreCtx& request,
    const std::function<std::string(const std::string&)>& pathOf,
    const std::string& instanceId, IJobObserver& observer) {
  std::string path = DescriptionFile(request, pathOf);
  if (path.empty()) {
    if (!instanceId.empty())
      throw JobFailure(
          "--instance-id: the request lists no Amazon description "
          "(an xml configuration file)");
    return std::string();
  }
  std::string text, error;
  if (!ReadBoundedFile(path, text, error))
    throw JobFailure("Amazon description [" + path + "]: " + error);
  return ChooseListedInstance(path, text, request.vmInfo.strGUID, instanceId,
                              observer);
}

std::string ChooseListedInstance(const std::string& path,
                                 const std::string& text,
                                 const std::string& preferred,
                                 const std::string& instanceId,
                                 IJobObserver& observer) {
  std::string error;
  std::vector<std::string> ids;
  if (!ListEc2Instances(text, ids, error))
    throw JobFailure("Amazon description [" + path + "]: " + error);
  bool listed = std::find(ids.begin(), ids.end(), instanceId) != ids.end();
  if (!instanceId.empty() && !listed)
    throw JobFailure("instance [" + instanceId + "] is not in [" + path +
                     "]; it lists " + Joined(ids, ""));
  if (ids.size() < 2) return std::string();
  if (!instanceId.empty()) return instanceId;
  const std::string& chosen =
      std::find(ids.begin(), ids.end(), preferred) != ids.end() ? preferred
                                                                : ids.front();
  observer.OnWarning("[" + path + "] lists " + std::to_string(ids.size()) +
                     " instances; restoring [" + chosen + "], not " +
                     Joined(ids, chosen) + " (choose one with --instance-id)");
  return chosen;
}

void RestoreEc2Description(const std::string& from, const std::string& to,
                           const std::string& id) {
  std::string text, kept, error;
  if (!ReadBoundedFile(from, text, error) ||
      !KeepEc2Instance(text, id, kept, error))
    throw JobFailure("Amazon description [" + from + "]: " + error);
  std::FILE* out = std::fopen(to.c_str(), "wx");
  bool written = out && std::fwrite(kept.data(), 1, kept.size(), out) ==
                            kept.size();
  if (out && std::fclose(out) != 0) written = false;
  if (!written) {
    if (out) std::remove(to.c_str());
    throw JobFailure("cannot restore [" + from + "] to [" + to + "]");
  }
}

}  // namespace zyjobs
