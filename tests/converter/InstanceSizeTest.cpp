//===- InstanceSizeTest.cpp - Instance size and region selection ----------===//
#include "converter/ZyVMConverter.h"
#include "support/RecordingVMInfo.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using VMInfoStructs::SVMSizeInfo;

namespace {

struct Offer {
  const char* name;
  int cpus;
  int memoryMB;
};

// A converter bound for one kind, with a recording destination it does not
// own.
struct SizingFixture {
  explicit SizingFixture(VirtualServerInstanceType kind,
                         std::vector<Offer> offers = {}) {
    converter.eDestInstType = kind;
    converter.pDestVMInfo = &destination;
    for (const Offer& offer : offers) {
      SVMSizeInfo size;
      size.strInstanceType = offer.name;
      size.nNumCPUs = offer.cpus;
      size.nMemoryMB = offer.memoryMB;
      script->instanceTypes.push_back(size);
    }
    request.strRegion = "us-east-1";
    request.strDestinationHost = "zone-a";
  }
  bool Adjust(int64_t cpus, int64_t memoryMB) {
    request.vmInfo.i64NumCPUs = cpus;
    request.vmInfo.i64MemoryMB = memoryMB;
    return converter.AdjustVMSize(request);
  }

  std::shared_ptr<VMInfoScript> script = std::make_shared<VMInfoScript>();
  RecordingVMInfo destination{script};
  ScopedLogCapture capture;
  ZyVMConverter converter;
  RestoreCtx request;
};

struct SelectionRow {
  int line;
  int kind;
  std::vector<Offer> offers;
  int64_t cpus;
  int64_t memoryMB;
  const char* osName;
  const char* chosen;  // null: none found
};

const Offer a{"a", 4, 16384}, b{"b", 2, 2048}, c{"c", 2, 8192}, d{"d", 1, 1024},
    e{"e", 1, 2048};

// clang-format off
const SelectionRow kSelectionRows[] = {
    // Kind 1401 sorts the offers (d, b, c, a) before choosing.
    {__LINE__, 1401, {a, b, c, d}, 2, 4096, "", "c"},
    {__LINE__, 1401, {d, e}, 2, 4096, "", "e"},
    {__LINE__, 1401, {e, d}, 2, 4096, "", "e"},
    {__LINE__, 1401, {a, b}, 2, -1, "", "b"},
    {__LINE__, 1401, {a, c, b}, 2, 2048, "", "b"},
    {__LINE__, 1401, {{"big", 2, 4096}, {"small", 2, 1024}}, 2, 8192, "",
     "big"},
    // Equal offers keep the platform's order.
    {__LINE__, 1401, {{"first", 2, 4096}, {"second", 2, 4096}}, 2, 8192, "",
     "first"},
    {__LINE__, 1401, {}, 1, 1024, "", nullptr},
    // Amazon takes the offers as listed.
    {__LINE__, 301, {a, b, c, d}, 2, 4096, "", "a"},
    {__LINE__, 301, {b, c, a}, 2, 4096, "", "c"},
    {__LINE__, 301, {d, e}, 2, 4096, "", "e"},
    // A tie on the shortfall keeps the earlier offer.
    {__LINE__, 301, {{"x", 2, 6144}, {"y", 4, 6144}}, 2, 8192, "", "x"},
    {__LINE__, 301, {{"x", 2, 6144}, {"y", 4, 6144}, {"z", 4, 7168}}, 2, 8192,
     "", "z"},
    // Once enough CPUs were seen, CPUs are not tested again.
    {__LINE__, 301, {{"wide", 4, 2048}, {"narrow", 1, 8192}}, 4, 8192, "",
     "narrow"},
    {__LINE__, 301, {{"wide", 4, 2048}, {"narrow", 1, 4096}}, 4, 8192, "",
     "narrow"},
    // Memory not reported: the first offer with enough CPUs.
    {__LINE__, 301, {d, b, a}, 2, -1, "", "b"},
    // KVM families are never chosen; 32-bit guests only get 32-bit types.
    {__LINE__, 301, {{"m5.large", 2, 8192}, {"t2.micro", 1, 1024},
                     {"c5.large", 2, 4096}}, 1, 1024, "Windows_x86", "t2.micro"},
    {__LINE__, 301, {{"m5.large", 2, 8192}, {"t2.micro", 1, 1024}}, 2, 8192,
     "", "t2.micro"},
    {__LINE__, 301, {{"m4.large", 2, 8192}, {"t2.large", 2, 8192}}, 1, 1024,
     "Windows_X86", nullptr},
    {__LINE__, 301, {{"m4.large", 2, 8192}, {"t2.medium", 2, 4096}}, 2, 8192,
     "Linux_x86", "t2.medium"},
    {__LINE__, 301, {{"m4.large", 2, 8192}}, 1, 1024, "Windows_x64",
     "m4.large"},
    {__LINE__, 301, {{"c5.large", 2, 4096}}, 1, 1024, "", nullptr},
    {__LINE__, 301, {}, 1, 1024, "", nullptr},
};
// clang-format on

}  // namespace

TEST(InstanceSize, SelectionFollowsCpusThenMemory) {
  for (const auto& row : kSelectionRows) {
    SCOPED_TRACE(row.line);
    SizingFixture f(static_cast<VirtualServerInstanceType>(row.kind),
                    row.offers);
    f.request.strVMSize = "AUTO";
    f.request.osName = row.osName;
    EXPECT_EQ(f.Adjust(row.cpus, row.memoryMB), row.chosen != nullptr);
    EXPECT_EQ(f.request.strVMSize, row.chosen ? row.chosen : "AUTO");
    EXPECT_EQ(f.script->Count("GetAvailableInstanceTypes"), 1);
    if (!row.chosen) {
      const int memoryGB = static_cast<int>(row.memoryMB) / 1024;
      EXPECT_TRUE(f.capture.sink().Contains(
          LogKind::Debug,
          "Could not find the instance type for [" + std::to_string(row.cpus) +
              " CPU] [" + std::to_string(memoryGB) + " RAM] configuration."));
    }
  }
}

TEST(InstanceSize, KindFourteenHundredOneAsksForRegionAndHost) {
  SizingFixture f(VS_KIND_1401, {a, b, c, d});
  ASSERT_TRUE(f.Adjust(2, 4096));
  ASSERT_EQ(f.script->calls.size(), 1u);
  EXPECT_EQ(f.script->calls[0].args,
            (std::vector<std::string>{"us-east-1|zone-a", "0", "0"}));
  const auto& sink = f.capture.sink();
  EXPECT_TRUE(sink.Contains(LogKind::Debug, "VMSize "));
  EXPECT_TRUE(sink.Contains(
      LogKind::Debug,
      "Instance type selected [c], CPU [2], RAM in GB [8]; Required "
      "configuration CPU [2], RAM in GB [4]"));
}

TEST(InstanceSize, AmazonAsksForTheRegionAndLogsRemovedKvmTypes) {
  SizingFixture f(
      VS_AMAZON,
      {{"m5.large", 2, 8192}, {"t2.micro", 1, 1024}, {"c5.large", 2, 4096}});
  f.request.osName = "Windows_x86";
  ASSERT_TRUE(f.Adjust(1, 1024));
  EXPECT_EQ(f.script->lastInstanceTypesKey, "us-east-1");
  const auto& sink = f.capture.sink();
  EXPECT_TRUE(sink.ContainsAtLevel("Removed KVM instance type [m5.large]", 2));
  EXPECT_TRUE(sink.ContainsAtLevel("Removed KVM instance type [c5.large]", 2));
  EXPECT_TRUE(sink.Contains(
      LogKind::Debug,
      "Instance type selected [t2.micro] / [1 CPU] / [1 GB RAM]; Required "
      "configuration [1 CPU] / [1 GB RAM]"));
}

TEST(InstanceSize, AdjacentKvmTypesAreAllRemoved) {
  SizingFixture f(VS_AMAZON, {{"m5.large", 8, 8192},
                              {"c5.xlarge", 8, 8192},
                              {"t3.small", 8, 8192},
                              {"m4.large", 1, 1024}});
  ASSERT_TRUE(f.Adjust(2, 2048));
  EXPECT_EQ(f.request.strVMSize, "m4.large");
  int removed = 0;
  for (const auto& record : f.capture.sink().Records())
    removed += record.message.rfind("Removed KVM instance type", 0) == 0;
  EXPECT_EQ(removed, 3);
}

TEST(InstanceSize, RequestedTypesStandWithoutListing) {
  for (int kind : {301, 1401}) {
    SCOPED_TRACE(kind);
    SizingFixture f(static_cast<VirtualServerInstanceType>(kind), {a});
    f.request.strVMSize = "t2.large";
    EXPECT_TRUE(f.Adjust(2, 4096));
    EXPECT_EQ(f.request.strVMSize, "t2.large");
    EXPECT_TRUE(f.script->calls.empty());
  }
  SizingFixture lower(VS_AMAZON, {a});
  lower.request.strVMSize = "auto";
  EXPECT_TRUE(lower.Adjust(2, 4096));
  EXPECT_EQ(lower.request.strVMSize, "a");
}

TEST(InstanceSize, FailedListingKeepsTheRequestedValue) {
  for (int kind : {301, 1401}) {
    SCOPED_TRACE(kind);
    SizingFixture f(static_cast<VirtualServerInstanceType>(kind), {a});
    f.script->results["GetAvailableInstanceTypes"] = 0;
    EXPECT_FALSE(f.Adjust(2, 4096));
    EXPECT_EQ(f.request.strVMSize, "");
    EXPECT_TRUE(f.capture.sink().Contains(
        LogKind::Debug,
        "Failed to get available instance types for region [us-east-1]"));
  }
}

TEST(InstanceSize, NoDestinationCountsAsAFailedListing) {
  SizingFixture f(VS_AMAZON, {a});
  f.converter.pDestVMInfo = nullptr;
  EXPECT_FALSE(f.Adjust(2, 4096));
}

TEST(InstanceSize, AzureOnlyLogsAndOtherKindsDoNothing) {
  for (int kind : {401, 402, 403}) {
    SCOPED_TRACE(kind);
    SizingFixture automatic(static_cast<VirtualServerInstanceType>(kind), {a});
    EXPECT_TRUE(automatic.Adjust(2, 4096));
    EXPECT_TRUE(automatic.capture.sink().ContainsAtLevel(
        "VM size is empty or set to AUTO SELECT. VM size will be determined "
        "based on it's configuration..",
        0));
    SizingFixture named(static_cast<VirtualServerInstanceType>(kind), {a});
    named.request.strVMSize = "Standard_A2";
    EXPECT_TRUE(named.Adjust(2, 4096));
    EXPECT_EQ(named.request.strVMSize, "Standard_A2");
    EXPECT_TRUE(named.capture.sink().ContainsAtLevel(
        "VM size is set to [Standard_A2]", 0));
    EXPECT_TRUE(automatic.script->calls.empty());
  }
  for (int kind : {0, 101, 1402}) {
    SCOPED_TRACE(kind);
    SizingFixture f(static_cast<VirtualServerInstanceType>(kind), {a});
    EXPECT_TRUE(f.Adjust(2, 4096));
    EXPECT_EQ(f.request.strVMSize, "");
    EXPECT_TRUE(f.script->calls.empty());
    EXPECT_TRUE(f.capture.sink().Records().empty());
  }
}

TEST(InstanceSize, AzureRegionIsClearedOthersKeepTheirs) {
  for (int kind : {301, 401, 403, 102}) {
    SCOPED_TRACE(kind);
    SizingFixture f(static_cast<VirtualServerInstanceType>(kind));
    f.request.vmInfo.strRegion = "westeurope";
    EXPECT_TRUE(f.converter.AdjustVMRegion(f.request));
    const bool azure = kind >= 401 && kind <= 403;
    EXPECT_EQ(f.request.vmInfo.strRegion, azure ? "" : "westeurope");
    EXPECT_EQ(
        f.capture.sink().Contains(
            LogKind::Debug, "Resetting VM Region from [westeurope] to []"),
        azure);
  }
}

TEST(InstanceSize, TypeTablesAnswerOnlyForAmazon) {
  struct Row {
    int line;
    int kind;
    const char* type;
    bool supports32Bit;
    bool kvm;
  };
  const Row rows[] = {{__LINE__, 301, "t2.micro", true, false},
                      {__LINE__, 301, "c1.medium", true, false},
                      {__LINE__, 301, "T2.micro", false, false},
                      {__LINE__, 301, "t2.micro ", false, false},
                      {__LINE__, 301, "t2.large", false, false},
                      {__LINE__, 301, "t3a.nano", false, true},
                      {__LINE__, 301, "T3.nano", false, false},
                      {__LINE__, 301, "i3.metal", false, true},
                      {__LINE__, 301, "i3.large", false, false},
                      {__LINE__, 301, "p3dn.24xlarge", false, true},
                      {__LINE__, 1401, "t2.micro", false, false},
                      {__LINE__, 401, "c5.large", false, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    ZyVMConverter converter;
    converter.eDestInstType = static_cast<VirtualServerInstanceType>(row.kind);
    EXPECT_EQ(converter.DoesInstanceTypeSupports32Bit(row.type),
              row.supports32Bit);
    EXPECT_EQ(converter.IsKVMInstanceType(row.type), row.kvm);
  }
}

TEST(InstanceSize, AzureDiskCountsOutsideTheClassicSizesAreOne) {
  ZyVMConverter converter;
  EXPECT_EQ(converter.GetNumOfAzureDiskSupportedForVMSize(0), 3);
  EXPECT_EQ(converter.GetNumOfAzureDiskSupportedForVMSize(8), 17);
  for (int position : {-1, 9, -2147483647 - 1, 2147483647})
    EXPECT_EQ(converter.GetNumOfAzureDiskSupportedForVMSize(position), 1)
        << position;
}

TEST(InstanceSize, CompareVMSizeOrdersByCpusThenMemory) {
  struct Row {
    int line;
    Offer first;
    Offer second;
    bool less;
  };
  // clang-format off
  const Row rows[] = {
      {__LINE__, {"p", 1, 9999}, {"q", 2, 1}, true},
      {__LINE__, {"p", 2, 1}, {"q", 1, 9999}, false},
      {__LINE__, {"p", 2, 1024}, {"q", 2, 2048}, true},
      {__LINE__, {"p", 2, 2048}, {"q", 2, 1024}, false},
      {__LINE__, {"p", 2, 2048}, {"q", 2, 2048}, false},
      {__LINE__, {"p", -1, 0}, {"q", 0, 0}, true},
      {__LINE__, {"p", 2, -2147483647 - 1}, {"q", 2, 2147483647}, true},
  };
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    SVMSizeInfo x, y;
    x.nNumCPUs = row.first.cpus;
    x.nMemoryMB = row.first.memoryMB;
    y.nNumCPUs = row.second.cpus;
    y.nMemoryMB = row.second.memoryMB;
    EXPECT_EQ(CompareVMSize(x, y), row.less);
  }
}
