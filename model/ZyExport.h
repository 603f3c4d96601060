//===- ZyExport.h - Symbol visibility for the exported interface ----------===//
//
// Both shared libraries are built with hidden visibility; only what carries
// one of these marks is exported.  ZY_API marks the converter's interface,
// ZY_PLATFORM_API the platform stand-in's.  ZY_TEST_SEAM marks what only the
// tests use (they link the static archives): it stays unexported even inside
// an exported class.
//
//===----------------------------------------------------------------------===//
#pragma once

#define ZY_API __attribute__((visibility("default")))
#define ZY_PLATFORM_API __attribute__((visibility("default")))
#define ZY_TEST_SEAM __attribute__((visibility("hidden")))
