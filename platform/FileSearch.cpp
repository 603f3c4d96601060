//===- FileSearch.cpp - Finding files in a folder ---===//
// Not built yet.
#include "platform/FileSearch.h"

bool GetFirstFileByExtension(const std::string&, const std::string&, std::string&) { return false; }
