//===- RecoveryResponseTest.cpp - Recovery response to VM description -----===//
//
// What the translation does to the request itself; the descriptions it gives
// are pinned by the golden files of TranslationGoldenTest.
//
//===----------------------------------------------------------------------===//
#include "p2v/ZyP2VUtils.h"
#include "platform/support/EvDebug.h"
#include "platform/settings/PlatformConfig.h"
#include "platform/support/XercesInit.h"
#include "tests/p2v/P2VRequests.h"

#include <gtest/gtest.h>
#include <xercesc/util/Base64.hpp>
#include <xercesc/util/PlatformUtils.hpp>

using namespace p2v_test;
using VMInfoStructs::SVMInfo;

namespace {

std::string DecodeBase64(const std::string& text) {
  ZyEnsureXercesInitialized();
  XMLSize_t length = 0;
  auto* mm = xercesc::XMLPlatformUtils::fgMemoryManager;
  XMLByte* bytes = xercesc::Base64::decode(
      reinterpret_cast<const XMLByte*>(text.c_str()), &length, mm);
  if (!bytes) return "<undecodable>";
  std::string out(reinterpret_cast<const char*>(bytes), length);
  mm->deallocate(bytes);
  return out;
}

class RecoveryResponseTranslation : public ::testing::Test {
 protected:
  void SetUp() override {
    ZyClientRecord c;
    c.nId = 7;
    c.strName = "pm01";
    c.strHostName = "pm01.corp.example";
    c.nOperatingSystemId = 211;
    c.strOSInfo = "Windows Server 2012 R2 Standard";
    PlatformConfig::AddClient(c);
  }
  void TearDown() override { PlatformConfig::ClearInProcess(); }

  long Translate(Ida::VMOpReq& req, VirtualServerInstanceType dest) {
    return ZyP2VUtils::CopyVMInfoFromKestrelResponse(req, vm, dest);
  }

  SVMInfo vm;
};

}  // namespace

TEST_F(RecoveryResponseTranslation,
       MachineIdCarriesTheResponseWithTheClientIdentity) {
  HW hw = MakeHw({MakeDevice(0, 0, kHd, 100, "sda", false),
                  MakeDevice(0, 1, kHd, 100, "sdb")},
                 {});
  Ida::VMOpReq req = MakeRequest(hw, 0);
  ASSERT_EQ(Translate(req, VS_AMAZON), 0);

  // The request's client now carries its id and host name ...
  CNMessageBase& client = FirstClient(req).getObjectAccessor(
      ResponseFile::ClientInfo::client, false);
  EXPECT_EQ(client.getint64(ClientEntity::clientId), 7);
  EXPECT_EQ(client.getstring(ClientEntity::hostName), "pm01.corp.example");
  // ... the layout changes stay off the request ...
  CNMessageBase& hwInRequest = Hardware(req);
  EXPECT_EQ(hwInRequest.getint64(HW::ideCount), 2);
  // ... and "machine.id" is exactly the response as the request has it.
  ASSERT_EQ(vm.vExtraOptions.size(), 1u);
  EXPECT_EQ(vm.vExtraOptions[0].strName, "machine.id");
  std::string xml;
  Response(req).serialize(xml);
  EXPECT_EQ(DecodeBase64(vm.vExtraOptions[0].strValue), xml);
}
