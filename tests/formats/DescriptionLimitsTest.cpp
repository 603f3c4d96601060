//===- DescriptionLimitsTest.cpp - What the writer writes, the reader reads -===//
//
// The description file's lists and snapshot tree have caps that reader and
// writer hold alike: a description at a cap is written and read back, one
// element over it is refused by both with the list named.
//
//===----------------------------------------------------------------------===//
#include "formats/zyf/RecordJsonCodec.h"
#include "formats/common/FormatText.h"
#include "platform/support/BoundedFile.h"

#include <gtest/gtest.h>

using namespace VMInfoStructs;

namespace {

const char kHeader[] = R"({"format":"ZyVMConfig","version":1,"vm":{)";

// A description whose list holds count elements: prefix, the elements
// (with "#" replaced by the element's number), suffix.
std::string ListText(const std::string& prefix, const std::string& element,
                     const std::string& suffix, size_t count) {
  std::string text = kHeader + prefix;
  for (size_t i = 0; i < count; ++i) {
    std::string one = element;
    size_t mark = one.find('#');
    if (mark != std::string::npos) one.replace(mark, 1, std::to_string(i));
    text += (i ? "," : "") + one;
  }
  return text + suffix + "}}";
}

// A chain of snapshots levels deep; the deepest has an empty child list.
std::string SnapshotChain(int levels) {
  std::string text = std::string(kHeader) + "\"vSnapshots\":";
  for (int i = 0; i < levels; ++i) text += "[{\"vChildren\":";
  text += "[]";
  for (int i = 0; i < levels; ++i) text += "}]";
  return text + "}}";
}

}  // namespace

TEST(DescriptionLimits, ListsAtTheirCapRoundTripAndOneMoreIsRefusedByBoth) {
  struct Row {
    int line;
    size_t cap;
    const char* prefix;
    const char* element;
    const char* suffix;
    void (*grow)(SVMInfo&);  // adds one element to the list
    const char* error;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, ZyRecordJson::ListCapOf("vDisks"), R"("vDisks":[)", "{}", "]",
       [](SVMInfo& i) { i.vDisks.emplace_back(); }, "vm.vDisks has more than"},
      {__LINE__, ZyRecordJson::ListCapOf("vFiles"), R"("fileLayout":{"vFiles":[)", "{}", "]}",
       [](SVMInfo& i) { i.fileLayout.vFiles.emplace_back(); }, "more than 4096 elements"},
      {__LINE__, ZyRecordJson::ListCapOf("properties"),
       R"("fileLayout":{"vFiles":[{"properties":{)", R"("key#":"v")", "}}]}",
       [](SVMInfo& i) { i.fileLayout.vFiles[0].properties["~"] = ""; },
       "vm.fileLayout.vFiles[0].properties has more than"},
      {__LINE__, ZyRecordJson::ListCapOf("vNetworkCards"), R"("vNetworkCards":[)", "{}", "]",
       [](SVMInfo& i) { i.vNetworkCards.emplace_back(); }, "vm.vNetworkCards has more than"},
      {__LINE__, ZyRecordJson::kMaxSnapshots, R"("vSnapshots":[)", "{}", "]",
       [](SVMInfo& i) { i.vSnapshots.emplace_back(); }, "more than 1024 snapshots"},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    SVMInfo atCap;
    std::string error;
    ASSERT_TRUE(ParseZyf(ListText(row.prefix, row.element, row.suffix, row.cap),
                         atCap, error))
        << error;
    std::string written = WriteZyf(atCap, error);
    SVMInfo readBack;
    ASSERT_TRUE(ParseZyf(written, readBack, error)) << error;
    EXPECT_EQ(WriteZyf(readBack), written);

    SVMInfo over;
    EXPECT_FALSE(ParseZyf(
        ListText(row.prefix, row.element, row.suffix, row.cap + 1), over,
        error));
    EXPECT_NE(error.find(row.error), std::string::npos) << error;
    row.grow(atCap);
    EXPECT_EQ(WriteZyf(atCap, error), "");
    EXPECT_NE(error.find(row.error), std::string::npos) << error;
  }
}

TEST(DescriptionLimits, ASnapshotTreeOfTheDeepestAllowedLevelRoundTrips) {
  const int deepest = ZyRecordJson::kMaxSnapshotLevels;
  SVMInfo info;
  std::string error;
  ASSERT_TRUE(ParseZyf(SnapshotChain(deepest), info, error)) << error;
  std::string written = WriteZyf(info, error);
  SVMInfo readBack;
  ASSERT_TRUE(ParseZyf(written, readBack, error)) << error;
  EXPECT_EQ(WriteZyf(readBack), written);

  EXPECT_FALSE(ParseZyf(SnapshotChain(deepest + 1), readBack, error));
  EXPECT_NE(error.find("nests too deeply (more than 256 levels)"),
            std::string::npos)
      << error;
  SSnapshot* leaf = &info.vSnapshots[0];
  while (!leaf->vChildren.empty()) leaf = &leaf->vChildren[0];
  leaf->vChildren.emplace_back();
  EXPECT_EQ(WriteZyf(info, error), "");
  EXPECT_NE(error.find("nests too deeply"), std::string::npos) << error;
}

TEST(DescriptionLimits, ATextLargerThanTheReadersTakeIsNotWritten) {
  SVMInfo huge;
  huge.strVMName.assign(kMaxInputFileBytes, 'x');
  std::string error;
  EXPECT_EQ(WriteZyf(huge, error), "");
  EXPECT_NE(error.find("more than the 16777216 a description may have"),
            std::string::npos)
      << error;
}
