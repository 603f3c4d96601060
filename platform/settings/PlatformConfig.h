//===- PlatformConfig.h - Platform settings and client records ------------===//
//
// The platform configuration is one JSON file, named by the environment
// variable ZY_PLATFORM_CONFIG:
//
//   {
//     "settings": { "VirtualServer": { "sConvertControllerTypeTo": "scsi" } },
//     "clients": [ { "id": 7, "name": "web01", "hostName": "web01.corp",
//                    "operatingSystemId": 2,
//                    "osInfo": "Windows Server 2019:-10.0:-17763:-x64" } ]
//   }
//
// The file is read once and read again only when it changes (path, size or
// modification time), so look-ups cost a stat.  An absent file or value
// yields nothing; a malformed file is reported once in the platform log and
// treated as empty.  Values the tests install in-process take precedence
// over the file.
//
// ZyPlatformInfo, ZyClient and ClientProperties are the platform's
// interfaces over it.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/ZyExport.h"

#include <string>

struct ZY_PLATFORM_API ZyClientRecord {
  int nId = 0;
  std::string strName;
  std::string strHostName;
  int nOperatingSystemId = 0;
  std::string strOSInfo;  // "name:-version:-build:-arch"
};

class ZY_PLATFORM_API PlatformConfig {
 public:
  // The value of a setting; false (and out untouched) when absent.
  static bool GetSetting(const std::string& section, const std::string& name,
                         std::string& out);
  static bool FindClientById(int id, ZyClientRecord& out);
  static bool FindClientByName(const std::string& name, ZyClientRecord& out);

  // In-process values, looked up before the file: the tests' seam, not
  // exported.
  ZY_TEST_SEAM static void SetSetting(const std::string& section,
                                      const std::string& name,
                                      const std::string& value);
  ZY_TEST_SEAM static void AddClient(const ZyClientRecord& client);
  ZY_TEST_SEAM static void ClearInProcess();
};

// Platform settings, by section and value name.
class ZY_PLATFORM_API ZyPlatformInfo {
 public:
  ZyPlatformInfo() = default;
  // Sets out to the setting's text, or to the empty string when absent.
  // Returns true when the setting exists.
  bool getString(const std::string& section, const std::string& name,
                 std::string& out);
};

// A backup client, found by id or by name.
class ZY_PLATFORM_API ZyClient {
 public:
  explicit ZyClient(int clientId);
  ZyClient(const std::string& clientName, bool create, int flags);

  // 0 on success; id keeps its value for an unknown client.
  int getOperatingSystemId(int& id, void* reserved);
  // The client's numeric id, 0 when unknown.
  int getClientId() const;
  // The client's network host name, empty when unknown.
  std::string getNetworkHostname() const;
  bool IsKnown() const { return known_; }

 private:
  ZyClientRecord record_;
  bool known_ = false;
};

// Properties registered by a backup client.
class ZY_PLATFORM_API ClientProperties {
 public:
  explicit ClientProperties(int clientId);
  // The client's OS text "name:-version:-build:-arch"; 0 on success, 1 for
  // an unknown client (text empty).
  int getSimOSInfo(std::string& text, void* reserved);

 private:
  ZyClientRecord record_;
  bool known_ = false;
};
