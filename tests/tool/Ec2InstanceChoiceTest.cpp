//===- Ec2InstanceChoiceTest.cpp - zyvmconvert restore from Amazon --------===//
//
// A restore from an Amazon description that lists two instances: the one
// chosen with --instance-id (else the first, with a warning naming the
// other), sized from its instance type (the platform's table of types
// first), or refused naming what is missing.
//
//===----------------------------------------------------------------------===//
#include "tests/tool/ToolRun.h"

#include "support/Golden.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace fs = std::filesystem;
using namespace tool_test;

// tests/data/tool/ec2-instances.cases: the instance chosen and its size.
TEST(ToolEc2Instance, TheNamedInstanceElseTheFirstIsRestoredWithItsSize) {
  for (const auto& c : golden::Table("tool/ec2-instances")) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(c.fields.size(), 7u);
    TempDir dir;
    std::string root = dir.File("root");
    fs::copy(kExamples + "/platform", root, fs::copy_options::recursive);
    fs::create_directories(root + "/amazon/shop");
    fs::copy(golden::Data("readers/ec2/"
                          "describe-unknown-type-sizes-left-unknown.xml"),
             root + "/amazon/shop/shop.xml");
    if (c.fields[1] == "1")
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
    if (!c.fields[0].empty())
      args.insert(args.end(), {"--instance-id", c.fields[0]});
    if (c.fields[2] == "1")
      args.insert(args.end(), {"--ec2-xml", root + "/amazon/shop/shop.xml"});
    ToolResult run = RunTool(dir, args);
    EXPECT_EQ(run.status, std::stoi(c.fields[3]));
    EXPECT_NE(run.err.find(c.fields[6]), std::string::npos) << run.err;
    if (run.status != 0) continue;
    auto built = nlohmann::json::parse(
        TempDir::Read(root + "/hyperv/shop/VMConfig.zyf"))["vm"];
    EXPECT_EQ(built["strGUID"], c.fields[4]);
    EXPECT_EQ(built["i64NumCPUs"], std::stoi(c.fields[5]));
  }
}
