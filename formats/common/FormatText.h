//===- FormatText.h - Configuration formats as pure text functions ---===//
//
// The configuration readers keep parsing apart from file reading: each format
// has a function from text to a VM description (and, for our own format, back
// to text), so tests and fuzzers work on buffers.  The reader classes
// (VMConfigFile, OracleVMConfigFile, VMXFile) read the file, call these and
// write the one log line of a failure.
//
// Common rules of every parser here:
//   * it never throws and never crashes on any input;
//   * on failure it returns false, leaves the description untouched and puts
//     one sentence into error saying what is wrong and where ("line 12: ...",
//     or the member path for a well-formed file with a wrong value);
//   * on success it sets the members its format carries and leaves the others
//     as they were, so several files can be read into one description.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "model/VMInfoStructs.h"
#include "model/ZyExport.h"

// The generalised description "VMConfig.zyf" (JSON).  ParseZyf takes every
// member the file names; WriteZyf writes every member of the description, so
// WriteZyf followed by ParseZyf gives back an equal description.
ZY_PLATFORM_API bool ParseZyf(const std::string& text,
                              VMInfoStructs::SVMInfo& info, std::string& error);
ZY_PLATFORM_API std::string WriteZyf(const VMInfoStructs::SVMInfo& info);
// The same, with the reason in error when the text is empty: a list over its
// cap, or a text larger than the readers take.
ZY_PLATFORM_API std::string WriteZyf(const VMInfoStructs::SVMInfo& info,
                                     std::string& error);

// CPUs and memory (MiB) of an EC2 instance type from a platform's own
// table of instance types; false when the table does not list the type.
using Ec2InstanceSizes =
    std::function<bool(const std::string& type, int64_t& cpus,
                       int64_t& memoryMB)>;

// An Amazon EC2 DescribeInstances (or RunInstances) response, any API
// version.  Documents with a DOCTYPE are refused.  Of several instances the
// one whose instanceId info.strGUID already holds is read, else the first.
// The response names no memory size (and, before cpuOptions, no CPU
// count): they come from the instance type, looked up in sizes first and
// then in a built-in table of common types.
ZY_PLATFORM_API bool ParseEc2Description(
    const std::string& xml, VMInfoStructs::SVMInfo& info, std::string& error,
    const Ec2InstanceSizes& sizes = nullptr);
// The instanceIds of every instance of such a response, in document order.
ZY_PLATFORM_API bool ListEc2Instances(const std::string& xml,
                                      std::vector<std::string>& ids,
                                      std::string& error);
// The response with every instance but id left out (UTF-8, no XML
// declaration): what a restore of that one instance keeps.
ZY_PLATFORM_API bool KeepEc2Instance(const std::string& xml,
                                     const std::string& id, std::string& out,
                                     std::string& error);

// A VMware configuration (.vmx) already in memory; origin names it in
// messages.
ZY_PLATFORM_API bool ParseVmxConfig(const std::string& text,
                                    const std::string& origin,
                                    VMInfoStructs::SVMInfo& info,
                                    std::string& error);

// An Oracle VM or Xen domain configuration file (vm.cfg).
ZY_PLATFORM_API bool ParseXenDomainConfig(const std::string& text,
                                          VMInfoStructs::SVMInfo& info,
                                          std::string& error);

// A configuration file to a description, the failure in the platform log
// (as the readers of backed-up VMs have always reported): a .vmx, a Xen
// domain file, and an Amazon or generalised description (told apart by the
// content).
bool ReadVmxFile(const std::string& path, VMInfoStructs::SVMInfo& info);
bool ReadXenFile(const std::string& path, VMInfoStructs::SVMInfo& info);
bool ReadDescriptionFile(const std::string& path, VMInfoStructs::SVMInfo& info);

// Which of our formats a text holds, judged by its first non-blank character.
enum class ZyConfigTextKind { Zyf, Ec2Xml, Unknown };
ZY_PLATFORM_API ZyConfigTextKind DetectConfigTextKind(const std::string& text);

// Copies a description whole, disk controllers included (the record's own
// copy leaves them out).
ZY_PLATFORM_API void CopyVMInfoWhole(const VMInfoStructs::SVMInfo& from,
                                     VMInfoStructs::SVMInfo& to);
