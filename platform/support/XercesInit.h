//===- XercesInit.h - One Xerces-C initialisation per process ---*- C++ -*-===//
//
// Xerces-C must be initialised before any parser or DOM object is made, and
// must not be terminated while another thread may still use it.  Every part
// of the library that parses or writes XML calls ZyEnsureXercesInitialized()
// first: the first call initialises Xerces under std::call_once, later calls
// only report the outcome.  Xerces is never terminated by the library; the
// process ends with it initialised.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/ZyExport.h"

// True when Xerces-C is initialised and usable in this process.  Safe to call
// from any thread, any number of times; never throws.
ZY_PLATFORM_API bool ZyEnsureXercesInitialized();
