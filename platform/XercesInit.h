//===- XercesInit.h - One-time Xerces-C initialisation ---------------------===//
//
// Xerces-C must be initialised once per process before any of its services
// (parsers, transcoders, Base64) is used.  Every user calls this first; the
// library is never terminated, since another user may still hold its
// objects while the process exits.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/ZyExport.h"

// Initialises Xerces-C on the first call; later calls return at once.  Safe
// to call from several threads.
ZY_PLATFORM_API void ZyEnsureXercesInitialized();
