//===- InstanceSizeTest.cpp - Instance size and region selection ----------===//
#include "converter/ZyVMConverter.h"
#include "support/Golden.h"
#include "support/RecordingVMInfo.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

using VMInfoStructs::SVMSizeInfo;

namespace {

struct Offer {
  std::string name;
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

// "name:CPUs:MB,..." as the cases write the offers.
std::vector<Offer> Offers(const std::string& text) {
  std::vector<Offer> offers;
  std::istringstream in(text);
  for (std::string item; std::getline(in, item, ',');) {
    size_t first = item.find(':'), second = item.rfind(':');
    offers.push_back({item.substr(0, first),
                      std::stoi(item.substr(first + 1, second - first - 1)),
                      std::stoi(item.substr(second + 1))});
  }
  return offers;
}

}  // namespace

// tests/data/converter/instance-size/adjust.cases holds the sizing cases,
// adjust.expected each case's result, chosen size, calls and log lines.
TEST(InstanceSize, AdjustVMSizePerKindOffersAndRequest) {
  golden::CheckCases("converter/instance-size/adjust", 7, [](const golden::Case& c) {
    SizingFixture f(
        static_cast<VirtualServerInstanceType>(std::stoi(c.fields[0])),
        Offers(c.fields[1]));
    f.request.osName = c.fields[4];
    f.request.strVMSize = c.fields[5];
    if (!c.fields[6].empty())
      f.script->results["GetAvailableInstanceTypes"] = std::stoi(c.fields[6]);
    bool ok = f.Adjust(std::stoll(c.fields[2]), std::stoll(c.fields[3]));
    return (ok ? "ok" : "failed") + (" size [" + f.request.strVMSize + "]\n") +
           f.script->Calls() + golden::Lines(f.capture.sink().Records());
  });
}

TEST(InstanceSize, NoDestinationCountsAsAFailedListing) {
  SizingFixture f(VS_AMAZON, {{"a", 4, 16384}});
  f.converter.pDestVMInfo = nullptr;
  EXPECT_FALSE(f.Adjust(2, 4096));
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

TEST(InstanceSize, TypeMatchingAndTheAmazonGate) {
  for (const auto& c : golden::Table("converter/instance-size/type-matching")) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(c.fields.size(), 4u);
    ZyVMConverter converter;
    converter.eDestInstType =
        static_cast<VirtualServerInstanceType>(std::stoi(c.fields[0]));
    EXPECT_EQ(converter.DoesInstanceTypeSupports32Bit(c.fields[1]),
              c.fields[2] == "1");
    EXPECT_EQ(converter.IsKVMInstanceType(c.fields[1]), c.fields[3] == "1");
  }
}

// Positions past either end of the classic sizes' table count one disk.
TEST(InstanceSize, AzureDiskCountsOutsideTheClassicSizesAreOne) {
  ZyVMConverter converter;
  EXPECT_EQ(converter.GetNumOfAzureDiskSupportedForVMSize(8), 17);
  for (int position : {-1, 9, -2147483647 - 1, 2147483647})
    EXPECT_EQ(converter.GetNumOfAzureDiskSupportedForVMSize(position), 1)
        << position;
}

// Memory order and ties: kind 1401 in adjust.cases.
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
