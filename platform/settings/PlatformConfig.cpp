//===- PlatformConfig.cpp - Platform settings and client records ----------===//
#include "platform/settings/PlatformConfig.h"

#include "platform/support/BoundedFile.h"
#include "platform/support/EvDebug.h"

#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

namespace {

const char kFunction[] = "PlatformConfig";

struct ConfigData {
  std::map<std::string, std::map<std::string, std::string>> settings;
  std::vector<ZyClientRecord> clients;
};

struct FileStamp {
  std::string path;
  off_t size = -1;
  long long mtimeNs = -1;
  bool operator==(const FileStamp& o) const {
    return path == o.path && size == o.size && mtimeNs == o.mtimeNs;
  }
};

struct ConfigState {
  std::mutex mutex;
  FileStamp stamp;
  bool loaded = false;
  ConfigData file;
  ConfigData inProcess;
};

ConfigState& State() {
  static ConfigState state;
  return state;
}

FileStamp CurrentStamp() {
  FileStamp stamp;
  const char* path = std::getenv("ZY_PLATFORM_CONFIG");
  if (!path || !*path) return stamp;
  stamp.path = path;
  struct stat info {};
  if (::stat(path, &info) == 0) {
    stamp.size = info.st_size;
    stamp.mtimeNs = static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL +
                    info.st_mtim.tv_nsec;
  }
  return stamp;
}

ZyClientRecord ClientFromJson(const nlohmann::json& j) {
  ZyClientRecord c;
  c.nId = j.value("id", 0);
  c.strName = j.value("name", std::string());
  c.strHostName = j.value("hostName", std::string());
  c.nOperatingSystemId = j.value("operatingSystemId", 0);
  c.strOSInfo = j.value("osInfo", std::string());
  return c;
}

ConfigData ParseConfig(const std::string& text) {
  ConfigData data;
  nlohmann::json root = nlohmann::json::parse(text);
  if (!root.is_object()) throw std::runtime_error("top level is not an object");
  if (auto it = root.find("settings"); it != root.end()) {
    for (auto& [section, values] : it->items()) {
      for (auto& [name, value] : values.items())
        data.settings[section][name] = value.get<std::string>();
    }
  }
  if (auto it = root.find("clients"); it != root.end()) {
    for (const auto& client : *it)
      data.clients.push_back(ClientFromJson(client));
  }
  return data;
}

void LoadFile(ConfigState& state, const FileStamp& stamp) {
  state.file = ConfigData();
  state.stamp = stamp;
  state.loaded = true;
  if (stamp.path.empty() || stamp.size < 0) return;
  EvDebug log;
  std::string text;
  std::string error;
  if (!ReadBoundedFile(stamp.path, text, error)) {
    log.Error(kFunction, "Cannot read the platform configuration; ignored: %s",
              error.c_str());
    return;
  }
  try {
    state.file = ParseConfig(text);
  } catch (const std::exception& e) {
    log.Error(kFunction,
              "Platform configuration [%s] is malformed; ignored: %s",
              stamp.path.c_str(), e.what());
    state.file = ConfigData();
  }
}

// Runs f on the in-process data first and then on the file's, under the lock.
template <typename F>
bool Lookup(F f) {
  ConfigState& state = State();
  FileStamp stamp = CurrentStamp();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (f(state.inProcess)) return true;
  if (!state.loaded || !(stamp == state.stamp)) LoadFile(state, stamp);
  return f(state.file);
}

bool FindSetting(const ConfigData& data, const std::string& section,
                 const std::string& name, std::string& out) {
  auto s = data.settings.find(section);
  if (s == data.settings.end()) return false;
  auto v = s->second.find(name);
  if (v == s->second.end()) return false;
  out = v->second;
  return true;
}

template <typename Match>
bool FindClient(const ConfigData& data, Match match, ZyClientRecord& out) {
  for (const auto& c : data.clients) {
    if (match(c)) {
      out = c;
      return true;
    }
  }
  return false;
}

}  // namespace

bool PlatformConfig::GetSetting(const std::string& section,
                                const std::string& name, std::string& out) {
  return Lookup(
      [&](const ConfigData& d) { return FindSetting(d, section, name, out); });
}

bool PlatformConfig::FindClientById(int id, ZyClientRecord& out) {
  auto match = [id](const ZyClientRecord& c) { return c.nId == id; };
  return Lookup([&](const ConfigData& d) { return FindClient(d, match, out); });
}

bool PlatformConfig::FindClientByName(const std::string& name,
                                      ZyClientRecord& out) {
  auto match = [&name](const ZyClientRecord& c) { return c.strName == name; };
  return Lookup([&](const ConfigData& d) { return FindClient(d, match, out); });
}

void PlatformConfig::SetSetting(const std::string& section,
                                const std::string& name,
                                const std::string& value) {
  ConfigState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.inProcess.settings[section][name] = value;
}

void PlatformConfig::AddClient(const ZyClientRecord& client) {
  ConfigState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.inProcess.clients.push_back(client);
}

void PlatformConfig::ClearInProcess() {
  ConfigState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.inProcess = ConfigData();
}

bool ZyPlatformInfo::getString(const std::string& section,
                               const std::string& name, std::string& out) {
  out.clear();
  return PlatformConfig::GetSetting(section, name, out);
}

ZyClient::ZyClient(int clientId) {
  known_ = clientId > 0 && PlatformConfig::FindClientById(clientId, record_);
}

ZyClient::ZyClient(const std::string& clientName, bool /*create*/,
                   int /*flags*/) {
  known_ = !clientName.empty() &&
           PlatformConfig::FindClientByName(clientName, record_);
}

int ZyClient::getOperatingSystemId(int& id, void* /*reserved*/) {
  if (!known_) return 1;
  id = record_.nOperatingSystemId;
  return 0;
}

int ZyClient::getClientId() const { return known_ ? record_.nId : 0; }

std::string ZyClient::getNetworkHostname() const {
  return known_ ? record_.strHostName : std::string();
}

ClientProperties::ClientProperties(int clientId) {
  known_ = clientId > 0 && PlatformConfig::FindClientById(clientId, record_);
}

int ClientProperties::getSimOSInfo(std::string& text, void* /*reserved*/) {
  text = known_ ? record_.strOSInfo : std::string();
  return known_ ? 0 : 1;
}
