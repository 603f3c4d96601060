//===- TranslationGoldenTest.cpp - Recovery requests against golden files -===//
//
// tests/data/p2v/<kind>-<case>.xml holds a restore request for a physical
// machine, <kind> the destination kind's name or number; beside it
//   <case>.expected  the description the translation gives, as the zyf
//                    writer writes it
//   <case>.messages  the lines the translation logs
//   <case>.start     (optional) the description the translation starts from
//   <case>.error     (optional) the translation fails and logs a line
//                    holding this text; a case named "...-rejected" must
//                    also leave the request as it was
// The client database knows "pm01".  ZY_UPDATE_GOLDEN=1 rewrites .expected
// and .messages from what the translation gives now (review before commit).
//
//===----------------------------------------------------------------------===//
#include "model/PlatformKinds.h"
#include "p2v/ZyP2VUtils.h"
#include "formats/zyf/VMConfigFile.h"
#include "platform/support/EvDebug.h"
#include "formats/common/FormatText.h"
#include "platform/settings/PlatformConfig.h"
#include "support/Golden.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using VMInfoStructs::SVMInfo;
namespace fs = std::filesystem;

namespace {

fs::path Beside(fs::path input, const char* extension) {
  return input.replace_extension(extension);
}

void RunCase(const fs::path& input) {
  std::string stem = input.stem().string();
  VirtualServerInstanceType kind = VS_NONE;
  ASSERT_TRUE(ParsePlatformKind(stem.substr(0, stem.find('-')), kind)) << stem;
  Ida::VMOpReq req;
  std::string error;
  ASSERT_TRUE(req.parse(TempDir::Read(input.string()), error)) << error;
  SVMInfo vm;
  if (fs::exists(Beside(input, ".start"))) {
    ASSERT_TRUE(VMConfigFile(Beside(input, ".start").string()).Load(vm));
  }
  std::string before;
  req.serialize(before);

  ScopedLogCapture capture;
  long result = ZyP2VUtils::CopyVMInfoFromKestrelResponse(req, vm, kind);
  std::string messages = golden::Lines(capture.sink().Records());
  golden::Check(Beside(input, ".expected"), WriteZyf(vm));
  golden::Check(Beside(input, ".messages"), messages);
  if (!fs::exists(Beside(input, ".error"))) {
    EXPECT_EQ(result, 0);
    return;
  }
  EXPECT_EQ(result, 1);
  std::string text = TempDir::Read(Beside(input, ".error").string());
  text.erase(text.find_last_not_of("\r\n") + 1);
  EXPECT_NE(messages.find(text), std::string::npos) << text;
  if (stem.size() > 9 && stem.compare(stem.size() - 9, 9, "-rejected") == 0) {
    std::string after;
    req.serialize(after);
    EXPECT_EQ(after, before) << "a rejected request was changed";
  }
}

}  // namespace

TEST(TranslationGolden, RequestsGiveTheirDescriptions) {
  ZyClientRecord client;
  client.nId = 7;
  client.strName = "pm01";
  client.strHostName = "pm01.corp.example";
  client.nOperatingSystemId = 211;
  client.strOSInfo = "Windows Server 2012 R2 Standard";
  PlatformConfig::AddClient(client);
  std::vector<fs::path> inputs = golden::Files(golden::Data("p2v"), ".xml");
  for (const fs::path& input : inputs) {
    SCOPED_TRACE(input.filename().string());
    RunCase(input);
  }
  PlatformConfig::ClearInProcess();
  EXPECT_GE(inputs.size(), 20u) << "the golden folder is missing or misnamed";
}
