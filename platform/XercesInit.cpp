//===- XercesInit.cpp - One-time Xerces-C initialisation -------------------===//
#include "platform/XercesInit.h"

#include <xercesc/util/PlatformUtils.hpp>

#include <mutex>

void ZyEnsureXercesInitialized() {
  static std::once_flag once;
  std::call_once(once, [] { xercesc::XMLPlatformUtils::Initialize(); });
}
