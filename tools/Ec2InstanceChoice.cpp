//===- Ec2InstanceChoice.cpp - Which instance of an Amazon description ----===//
#include "Ec2InstanceChoice.h"

#include "ToolSupport.h"

#include "formats/common/FormatText.h"
#include "platform/support/BoundedFile.h"
#include "platform/support/FXPath.h"
#include "platform/support/FXString.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace zytool {
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
    const std::string& instanceId) {
  std::string path = DescriptionFile(request, pathOf);
  if (path.empty()) {
    if (!instanceId.empty())
      throw ToolError("--instance-id: the request lists no Amazon description "
                      "(an xml configuration file)");
    return std::string();
  }
  std::string text, error;
  if (!ReadBoundedFile(path, text, error))
    throw ToolError("Amazon description [" + path + "]: " + error);
  return ChooseListedInstance(path, text, request.vmInfo.strGUID, instanceId);
}

std::string ChooseListedInstance(const std::string& path,
                                 const std::string& text,
                                 const std::string& preferred,
                                 const std::string& instanceId) {
  std::string error;
  std::vector<std::string> ids;
  if (!ListEc2Instances(text, ids, error))
    throw ToolError("Amazon description [" + path + "]: " + error);
  bool listed = std::find(ids.begin(), ids.end(), instanceId) != ids.end();
  if (!instanceId.empty() && !listed)
    throw ToolError("instance [" + instanceId + "] is not in [" + path +
                    "]; it lists " + Joined(ids, ""));
  if (ids.size() < 2) return std::string();
  if (!instanceId.empty()) return instanceId;
  const std::string& chosen =
      std::find(ids.begin(), ids.end(), preferred) != ids.end() ? preferred
                                                                : ids.front();
  std::fprintf(stderr,
               "warning: [%s] lists %zu instances; restoring [%s], not %s "
               "(choose one with --instance-id)\n",
               path.c_str(), ids.size(), chosen.c_str(),
               Joined(ids, chosen).c_str());
  return chosen;
}

void RestoreEc2Description(const std::string& from, const std::string& to,
                           const std::string& id) {
  std::string text, kept, error;
  if (!ReadBoundedFile(from, text, error) ||
      !KeepEc2Instance(text, id, kept, error))
    throw ToolError("Amazon description [" + from + "]: " + error);
  std::FILE* out = std::fopen(to.c_str(), "wx");
  bool written = out && std::fwrite(kept.data(), 1, kept.size(), out) ==
                            kept.size();
  if (out && std::fclose(out) != 0) written = false;
  if (!written) {
    if (out) std::remove(to.c_str());
    throw ToolError("cannot restore [" + from + "] to [" + to + "]");
  }
}

}  // namespace zytool
