//===- PlatformKindsTest.cpp - The kind table agrees with itself ----------===//
#include "model/PlatformKinds.h"
#include "support/Golden.h"

#include <gtest/gtest.h>

#include <set>

using namespace zykinds;

TEST(PlatformKinds, EveryRowIsConsistent) {
  std::set<std::string> names;
  for (const KindFacts& row : kKinds) {
    SCOPED_TRACE(static_cast<int>(row.kind));
    // A destination needs a format to write its disks in.
    EXPECT_EQ(MayBeDestination(row.kind), row.diskFormat != DT_NONE);
    EXPECT_TRUE(names.insert(PlatformKindName(row.kind)).second);
    VirtualServerInstanceType parsed = VS_KIND_1401;
    ASSERT_TRUE(ParsePlatformKind(PlatformKindName(row.kind), parsed));
    EXPECT_EQ(parsed, row.kind);
    EXPECT_TRUE(!Has(row.kind, kAzureFamily) || Has(row.kind, kCloud));
    EXPECT_TRUE(!Has(row.kind, kTakesRequestedNetworkCards) ||
                Has(row.kind, kHyperVFamily));
  }
  EXPECT_FALSE(MayBeDestination(static_cast<VirtualServerInstanceType>(999)));
  EXPECT_TRUE(KeepsCdroms(static_cast<VirtualServerInstanceType>(999)));
}

// tests/data/platform/kind-names.cases: names and numbers users give.
TEST(PlatformKinds, NamesReadBothWaysAndUnnamedKindsAreNumbers) {
  for (const auto& c : golden::Table("platform/kind-names")) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(c.fields.size(), 3u);
    VirtualServerInstanceType kind = VS_NONE;
    ASSERT_EQ(ParsePlatformKind(c.fields[0], kind), !c.fields[1].empty());
    if (c.fields[1].empty()) continue;
    EXPECT_EQ(kind, std::stoi(c.fields[1]));
    EXPECT_EQ(PlatformKindName(kind), c.fields[2]);
  }
  EXPECT_EQ(KnownPlatformKinds().size(), 17u);
}
