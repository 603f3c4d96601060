//===- MessageXmlTest.cpp - Messages and their XML text -------------------===//
#include "platform/messages/CNMessageBase.h"
#include "platform/messages/RecoveryMessages.h"

#include "support/Golden.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

using ResponseFile::DiskInfo;
using ResponseFile::HardwareConfig;

RecoveryResponse SampleResponse() {
  DiskInfo disk;
  disk.setint64(DiskInfo::bus, 1);
  disk.setint64(DiskInfo::slot, 0);
  disk.setint64(DiskInfo::sizeMB, INT64_MAX);
  disk.setint64(DiskInfo::selected, INT64_MIN);
  disk.setstring(DiskInfo::name, "disk <0> & \"1\" 'x'\r\n\tü€😀");
  disk.setstring(DiskInfo::datastore, std::string("ctl\x01\x1f", 5));
  disk.setint64(DiskInfo::scsiControllerType, 2);
  DiskInfo cd;
  cd.setint64(DiskInfo::deviceType, 0);
  cd.setstring(DiskInfo::name, "\xff\xfe not utf-8 \xc0\x80");

  HardwareConfig hw;
  hw.setint64(HardwareConfig::numCpus, 2);
  hw.SetList(HardwareConfig::ideDevices, std::vector<DiskInfo>{disk, cd});
  hw.setint64(HardwareConfig::ideCount, 2);
  hw.SetList(HardwareConfig::scsiDisks,
             std::vector<DiskInfo>());  // present, empty
  hw.SetObject(HardwareConfig::bootDisk, disk);
  hw.setstring(HardwareConfig::machineName, "");

  ClientEntity client;
  client.setstring(ClientEntity::clientName, "pm01");
  ResponseFile::ClientInfo info;
  info.SetObject(ResponseFile::ClientInfo::client, client);

  RecoveryResponse response;
  response.setint64(RecoveryResponse::osType, 1);
  response.SetList(RecoveryResponse::clients,
                   std::vector<ResponseFile::ClientInfo>{info});
  response.SetObject(RecoveryResponse::hardwareConfig, hw);
  return response;
}

}  // namespace

TEST(Messages, AccessorsAddressFieldsBySlotAndPresence) {
  DiskInfo disk;
  EXPECT_FALSE(disk.isSet(2, kDiskInfoClassId, 97920));
  EXPECT_EQ(disk.getint64(2, kDiskInfoClassId, 97920), 0);
  disk.setint64(2, 2, 3, kDiskInfoClassId, 97920);
  EXPECT_TRUE(disk.isSet(DiskInfo::bus));
  EXPECT_EQ(disk.getint64(DiskInfo::bus), 3);
  disk.setint64(DiskInfo::sizeMB, (int64_t{1} << 32) + 7);
  EXPECT_EQ(disk.getint32(DiskInfo::sizeMB), 7);
  disk.setstring(8, 11, "sda", kDiskInfoClassId, 3373707);
  EXPECT_EQ(disk.getstringByRef(DiskInfo::name), "sda");
  EXPECT_EQ(disk.getstring(8, 11, kDiskInfoClassId, 3373707), "sda");

  // Reaching a member or a list does not make it present.
  HardwareConfig hw;
  hw.getObjectAccessor(HardwareConfig::bootDisk, false);
  hw.getlistobject(HardwareConfig::ideDevices).push_back(disk);
  EXPECT_FALSE(hw.isSet(HardwareConfig::bootDisk));
  EXPECT_FALSE(hw.isSet(HardwareConfig::ideDevices));
  hw.getObjectAccessor(HardwareConfig::bootDisk, true);
  EXPECT_TRUE(hw.isSet(HardwareConfig::bootDisk));

  // Copies are deep.
  HardwareConfig copy = hw;
  copy.getObjectAccessor(HardwareConfig::bootDisk, true)
      .setint64(DiskInfo::bus, 9);
  EXPECT_EQ(
      hw.GetObject<DiskInfo>(HardwareConfig::bootDisk).getint64(DiskInfo::bus),
      0);
}

#ifndef NDEBUG
TEST(MessagesDeathTest, IdentifiersOfAnotherFieldAreAProgrammingError) {
  DiskInfo disk;
  EXPECT_DEATH(disk.getint64(2, kDiskInfoClassId, 3533310), "");
  EXPECT_DEATH(disk.getint64(2, kHardwareConfigClassId, 97920), "");
  EXPECT_DEATH(disk.getint64(HardwareConfig::numCpus), "");
  EXPECT_DEATH(disk.getstring(DiskInfo::bus.nPresence, DiskInfo::bus.nSlot,
                              kDiskInfoClassId, 97920),
               "");
}
#endif

TEST(MessageXml, RoundTripIsExact) {
  RecoveryResponse response = SampleResponse();
  std::string xml;
  response.serialize(xml);
  RecoveryResponse back;
  std::string error;
  ASSERT_TRUE(back.parse(xml, error)) << error;
  std::string again;
  back.serialize(again);
  EXPECT_EQ(again, xml);

  auto hw = back.GetObject<HardwareConfig>(RecoveryResponse::hardwareConfig);
  auto ide = hw.GetList<DiskInfo>(HardwareConfig::ideDevices);
  ASSERT_EQ(ide.size(), 2u);
  EXPECT_EQ(ide[0].getstring(DiskInfo::name), "disk <0> & \"1\" 'x'\r\n\tü€😀");
  EXPECT_EQ(ide[0].getstring(DiskInfo::datastore),
            std::string("ctl\x01\x1f", 5));
  EXPECT_EQ(ide[1].getstring(DiskInfo::name), "\xff\xfe not utf-8 \xc0\x80");
  EXPECT_EQ(ide[0].getint64(DiskInfo::selected), INT64_MIN);
  EXPECT_TRUE(hw.isSet(HardwareConfig::scsiDisks));
  EXPECT_FALSE(hw.isSet(HardwareConfig::cpus));
  EXPECT_TRUE(back == response);
}

TEST(MessageXml, ReadsIndentedTextWithDeclarationAndComments) {
  const char* text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!-- a restore -->\n"
      "<VMOpReq>\n"
      "  <requestText>a &amp; b &#x41;</requestText>\n"
      "  <flagC>-12</flagC>\n"
      "  <recoveryResponse><clients/></recoveryResponse>\n"
      "</VMOpReq>\n";
  Ida::VMOpReq req;
  std::string error;
  ASSERT_TRUE(req.parse(text, error)) << error;
  EXPECT_EQ(req.getstring(Ida::VMOpReq::requestText), "a & b A");
  EXPECT_EQ(req.getint64(Ida::VMOpReq::flagC), -12);
  EXPECT_TRUE(req.isSet(Ida::VMOpReq::recoveryResponse));
  EXPECT_FALSE(req.isSet(Ida::VMOpReq::destinationSettings));
}

TEST(MessageXml, MalformedOrHostileTextIsRejected) {
  struct Row {
    int line;
    std::string text;
    std::string reason;  // part of the error
    std::string file = "";
  };
  // Message classes do not nest themselves: deep nesting is stopped at the
  // first element that is not a field.
  std::string deep = "<VMOpReq>";
  for (int i = 0; i < 100000; ++i) deep += "<recoveryResponse>";
  std::string many = "<VMOpReq><recoveryResponse><clients>";
  for (int i = 0; i < 100001; ++i) many += "<ClientInfo/>";
  many += "</clients></recoveryResponse></VMOpReq>";
  // clang-format off
  const Row rows[] = {
      {__LINE__, deep, "unknown element <recoveryResponse> in RecoveryResponse"},
      {__LINE__, many, "more than 100000 elements"},
      {__LINE__, std::string(16 * 1024 * 1024 + 1, ' '), "larger than 16 MiB"},
  };
  // clang-format on
  std::vector<Row> all(std::begin(rows), std::end(rows));
  // tests/data/messages/bad-<case>.xml: a text each, .error part of the
  // error it must give.
  for (const auto& xml : golden::Files(golden::Data("messages"), ".xml")) {
    std::string reason =
        TempDir::Read(fs::path(xml).replace_extension(".error").string());
    all.push_back({0, TempDir::Read(xml.string()),
                   reason.substr(0, reason.find('\n')), xml.filename().string()});
  }
  EXPECT_GE(all.size(), 20u);
  for (const auto& row : all) {
    SCOPED_TRACE(row.line);
    SCOPED_TRACE(row.file);
    Ida::VMOpReq req;
    req.setstring(Ida::VMOpReq::requestText, "unchanged");
    std::string error;
    EXPECT_FALSE(req.parse(row.text, error));
    EXPECT_FALSE(error.empty());
    EXPECT_NE(error.find(row.reason), std::string::npos) << error;
    EXPECT_EQ(req.getstring(Ida::VMOpReq::requestText), "unchanged");
  }
}

TEST(MessageXml, ErrorsSayWhere) {
  Ida::VMOpReq req;
  std::string error;
  EXPECT_FALSE(req.parse("<VMOpReq>\n  <flagB>x</flagB>\n</VMOpReq>", error));
  EXPECT_EQ(error.rfind("line 2, column ", 0), 0u) << error;
  EXPECT_NE(
      error.find("field <flagB> of Ida::VMOpReq: [x] is not a 64-bit integer"),
      std::string::npos)
      << error;
}
