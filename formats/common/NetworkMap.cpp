//===- NetworkMap.cpp - Which destination network each network card joins -===//
#include "formats/common/NetworkMap.h"

#include <algorithm>

SNetworkTarget MapNetwork(const SNetworkMap& map, const std::string& source) {
  const SNetworkMapping* every = nullptr;
  for (const SNetworkMapping& rule : map.vMappings) {
    if (rule.strSource.empty()) every = &rule;
    if (!rule.strSource.empty() && rule.strSource == source)
      return {rule.strTarget, rule.bBridge, true};
  }
  if (every) return {every->strTarget, every->bBridge, true};
  return {source, map.bSourceBridges && !source.empty(), false};
}

namespace {

std::string Listed(const std::vector<std::string>& names) {
  std::string text;
  for (auto name = names.begin(); name != names.end(); ++name)
    if (!name->empty() && std::find(names.begin(), name, *name) == name)
      text += (text.empty() ? "[" : ", [") + *name + "]";
  return text.empty() ? "none" : text;
}

}  // namespace

std::string CheckNetworkMap(const SNetworkMap& map,
                            const std::vector<std::string>& networks) {
  const auto& rules = map.vMappings;
  for (auto rule = rules.begin(); rule != rules.end(); ++rule) {
    auto same = [&rule](const SNetworkMapping& other) {
      return other.strSource == rule->strSource;
    };
    if (std::any_of(rules.begin(), rule, same))
      return rule->strSource.empty()
                 ? "two network mappings name no source network"
                 : "the source network [" + rule->strSource +
                       "] is mapped twice";
    if (!rule->strSource.empty() &&
        std::find(networks.begin(), networks.end(), rule->strSource) ==
            networks.end())
      return "the network mapping names the source network [" +
             rule->strSource + "], which no network card of the VM is on (" +
             Listed(networks) + ")";
  }
  return std::string();
}
