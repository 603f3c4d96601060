//===- FileSearch.h - Finding files in a folder ---===//
#pragma once

#include "model/VMInfoStructs.h"
#include "model/ZyExport.h"

#include <string>

// Sets found to the path of the first file (by name order) in folder whose
// extension is extension (without the dot, any letter case).  False when
// there is none or the folder cannot be read.
ZY_PLATFORM_API bool GetFirstFileByExtension(const std::string& folder,
                                             const std::string& extension,
                                             std::string& found);
