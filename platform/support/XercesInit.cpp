//===- XercesInit.cpp - One Xerces-C initialisation per process -----------===//
#include "platform/support/XercesInit.h"

#include <mutex>
#include <xercesc/util/PlatformUtils.hpp>

namespace {

// Set once, under the call_once below, before any caller can read it.
bool g_xercesReady = false;

void InitializeXerces() {
  try {
    xercesc::XMLPlatformUtils::Initialize();
    g_xercesReady = true;
  } catch (...) {
    // A process that cannot initialise Xerces cannot read XML descriptions;
    // the callers report it as a failed read.
    g_xercesReady = false;
  }
}

}  // namespace

bool ZyEnsureXercesInitialized() {
  static std::once_flag once;
  std::call_once(once, InitializeXerces);
  return g_xercesReady;
}
