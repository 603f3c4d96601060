//===- VMConfigFile.cpp - Generalised and Amazon VM descriptions ----------===//
//
// File reading and writing around the pure format functions of
// VMConfigFormat.h.  Every failure writes exactly one EvDebug Error line that
// names the file and, where the parser knows it, the line.
//
//===----------------------------------------------------------------------===//
#include "formats/zyf/VMConfigFile.h"

#include <cstring>
#include <utility>

#include "platform/support/AtomicFile.h"
#include "platform/support/BoundedFile.h"
#include "platform/support/EvDebug.h"
#include "platform/support/ExceptionText.h"
#include "formats/common/FormatText.h"

using VMInfoStructs::SVMInfo;

namespace {

// The platform's table of Amazon instance types, when it has one.
Ec2InstanceSizes& PlatformSizes() {
  static Ec2InstanceSizes sizes;
  return sizes;
}

constexpr const char kLoadFunction[] =
    "bool VMConfigFile::Load(VMInfoStructs::SVMInfo&)";
constexpr const char kSaveFunction[] =
    "bool VMConfigFile::Save(const VMInfoStructs::SVMInfo&)";

std::string SystemError(const char* what, int err) {
  return std::string(what) + ": " + std::strerror(err);
}

// Writes text whole over path (a new file beside it, renamed over it).
bool ReplaceFile(const std::string& path, const std::string& text,
                 std::string& error) {
  int err = WriteFileAtomically(path, text, ExistingFile::kReplace);
  if (err != 0) error = SystemError("cannot write", err);
  return err == 0;
}

}  // namespace

VMConfigFile::VMConfigFile(const std::string& path) : path_(path) {}

bool VMConfigFile::Load(SVMInfo& info) {
  try {
    return ReadDescription(info);
  } catch (...) {
    EvDebug().Error(kLoadFunction, "Cannot read VM description [%s]: %s",
                    path_.c_str(), CurrentExceptionText().c_str());
    return false;
  }
}

void VMConfigFile::SetPlatformInstanceSizes(Ec2InstanceSizes sizes) {
  PlatformSizes() = std::move(sizes);
}

bool VMConfigFile::ReadDescription(SVMInfo& info) {
  EvDebug log;
  std::string text;
  std::string error;
  if (!ReadBoundedFile(path_, text, error)) {
    log.Error(kLoadFunction, "Cannot read VM description: %s", error.c_str());
    return false;
  }
  bool ok = false;
  switch (DetectConfigTextKind(text)) {
    case ZyConfigTextKind::Zyf:
      ok = ParseZyf(text, info, error);
      break;
    case ZyConfigTextKind::Ec2Xml:
      ok = ParseEc2Description(text, info, error, PlatformSizes());
      break;
    case ZyConfigTextKind::Unknown:
      error =
          "neither a generalised description (JSON) nor an Amazon description "
          "(XML)";
      break;
  }
  if (!ok) {
    log.Error(kLoadFunction, "Invalid VM description [%s]: %s", path_.c_str(),
              error.c_str());
  }
  return ok;
}

bool VMConfigFile::Save(const SVMInfo& info) {
  std::string error;
  std::string text = WriteZyf(info, error);
  if (!text.empty() && ReplaceFile(path_, text, error))
    return true;
  EvDebug().Error(kSaveFunction, "Cannot write VM description [%s]: %s",
                  path_.c_str(), error.c_str());
  return false;
}

bool ReadDescriptionFile(const std::string& path, SVMInfo& info) {
  VMConfigFile file(path);
  return file.Load(info);
}
