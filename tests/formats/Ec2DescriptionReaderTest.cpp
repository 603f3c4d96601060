//===- Ec2DescriptionReaderTest.cpp - Amazon instance descriptions --------===//
//
// Regions, namespaces and nested values are golden cases in
// tests/data/readers/ec2/ (ReadersGoldenTest), the choice among several
// instances a case of the tool's Ec2InstanceChoiceTest; this file keeps the
// documents too large or too hostile to keep as files.
//
//===----------------------------------------------------------------------===//
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/support/EvDebug.h"
#include "formats/common/FormatText.h"
#include "platform/support/XercesInit.h"

using VMInfoStructs::SVMInfo;

namespace {

std::string Instance(const std::string& inner) {
  return "<item><instanceId>i-1</instanceId>" + inner + "</item>";
}

std::string Describe(const std::string& instances) {
  return "<DescribeInstancesResponse xmlns=\"http://ec2.amazonaws.com/doc/"
         "2013-10-15/\"><reservationSet><item><instancesSet>" + instances +
         "</instancesSet></item></reservationSet></DescribeInstancesResponse>";
}

}  // namespace

TEST(Ec2Description, HostileDocumentsAreRefusedWithoutHarm) {
  std::string deep;
  for (int i = 0; i < 200000; ++i) deep += "<a>";
  for (int i = 0; i < 200000; ++i) deep += "</a>";
  std::string attributes = "<x";
  for (int i = 0; i < 100000; ++i)
    attributes += " a" + std::to_string(i) + "='='";
  attributes += "/>";
  // A DOCTYPE, an unclosed element: tests/data/readers/ec2/bad-*.xml.
  // UTF-16 would hide the DOCTYPE from a byte search.
  std::string utf16 = "\xff\xfe";
  for (char c :
       std::string("<!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/hostname\">]>"
                   "<DescribeInstancesResponse><reservationSet/>"
                   "</DescribeInstancesResponse>")) {
    utf16 += c;
    utf16 += '\0';
  }
  struct Row {
    int line;
    std::string text;
    const char* error;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, utf16, "not UTF-8"},
      {__LINE__, Describe(Instance("<instanceType>" + deep + "</instanceType>")),
       "elements nest deeper than 100 levels"},
      {__LINE__, Describe(Instance(attributes)), "more than 32 attributes"},
      {__LINE__, std::string("<a>\0</a>", 8), "not UTF-8"},
      {__LINE__, "", ""},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    SVMInfo info;
    std::string error;
    EXPECT_FALSE(ParseEc2Description(row.text, info, error));
    EXPECT_FALSE(error.empty());
    EXPECT_NE(error.find(row.error), std::string::npos) << error;
    EXPECT_EQ(info.strGUID, "");
  }
}

TEST(XercesInit, EveryThreadSeesOneInitialisedParser) {
  std::vector<std::thread> threads;
  std::vector<int> ready(8, 0);
  for (int& slot : ready)
    threads.emplace_back(
        [&slot] { slot = ZyEnsureXercesInitialized() ? 1 : 0; });
  for (std::thread& thread : threads) thread.join();
  for (int slot : ready) EXPECT_EQ(slot, 1);
}
