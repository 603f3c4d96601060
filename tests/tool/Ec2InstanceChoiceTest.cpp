//===- Ec2InstanceChoiceTest.cpp - zyvmconvert restore from Amazon --------===//
//
// A restore from an Amazon description that lists two instances: the one
// chosen with --instance-id (else the first, with a warning naming the
// other), sized from its instance type (the platform's table of types
// first), or refused naming what is missing.
//
//===----------------------------------------------------------------------===//
#include "tests/tool/ToolRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace fs = std::filesystem;
using namespace tool_test;

namespace {

struct Row {
  int line;
  const char* instanceId;  // "" for none
  bool typeInPlatformTable;
  int status;
  const char* guid;     // of the VM built, for status 0
  int cpus;             // of the VM built, for status 0
  const char* message;  // in the error output
  bool fromFile = false;  // the description given with --ec2-xml
};

// clang-format off
const Row kRows[] = {
    {__LINE__, "", false, 1, "", 0, "not i-0other (choose one with --instance-id)"},
    {__LINE__, "", false, 1, "", 0, "shop to hyperv: The VM description gives no i64NumCPUs, i64MemoryMB"},
    {__LINE__, "i-0other", false, 0, "i-0other", 1, ""},
    {__LINE__, "i-0future", true, 0, "i-0future", 96, ""},
    // The platform's table wins over the built-in one (t2.micro: 1 CPU).
    {__LINE__, "i-0other", true, 0, "i-0other", 3, ""},
    {__LINE__, "i-0other", true, 0, "i-0other", 3, "", true},
    {__LINE__, "i-0gone", false, 1, "", 0, "[i-0gone] is not in"},
    {__LINE__, "", false, 1, "", 0, "not i-0other (choose one with --instance-id)", true},
    {__LINE__, "i-0other", false, 0, "i-0other", 1, "", true},
};
// clang-format on

TEST(ToolEc2Instance, TheNamedInstanceElseTheFirstIsRestoredWithItsSize) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.line);
    TempDir dir;
    std::string root = dir.File("root");
    fs::copy(kExamples + "/platform", root, fs::copy_options::recursive);
    fs::create_directories(root + "/amazon/shop");
    fs::copy(std::string(ZY_TEST_DATA_DIR) +
                 "/readers/ec2/describe-unknown-type-sizes-left-unknown.xml",
             root + "/amazon/shop/shop.xml");
    if (row.typeInPlatformTable)
      dir.Write("root/amazon/instance-types.json",
                R"({"ap-south-1": [{"name": "z9q.colossal", "cpus": 96,
                    "memoryMB": 786432},
                    {"name": "t2.micro", "cpus": 3, "memoryMB": 3072}]})");
    std::string request = dir.Write(
        "request.json", R"({"strSourceVMName": "shop", "vDisks": [
            {"diskIndexName": "shop.xml", "nFileType": 0}]})");
    std::vector<std::string> args = {"--root", root, "--log", dir.File("log"),
                                     "--json", "restore", request, "--from",
                                     "amazon", "--to", "hyperv"};
    if (*row.instanceId) args.insert(args.end(), {"--instance-id", row.instanceId});
    if (row.fromFile)
      args.insert(args.end(), {"--ec2-xml", root + "/amazon/shop/shop.xml"});
    ToolResult run = RunTool(dir, args);
    EXPECT_EQ(run.status, row.status);
    EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
    if (row.status != 0) continue;
    auto built = nlohmann::json::parse(
        TempDir::Read(root + "/hyperv/shop/VMConfig.zyf"))["vm"];
    EXPECT_EQ(built["strGUID"], row.guid);
    EXPECT_EQ(built["i64NumCPUs"], row.cpus);
  }
}

}  // namespace
