//===- XercesLoad.cpp - Finding the XML module's table --------------------===//
//
// Built twice.  In the shared platform library the table comes from the
// module zyxerces.so, loaded on the first call from the folder
// "zyvmconverter" beside the library (in the build tree and in an installed
// tree alike), with its own symbols kept to itself.  In the static archive
// (ZY_XERCES_LINKED) the module's code is linked in and the table is at
// hand.
//
//===----------------------------------------------------------------------===//
#include "platform/support/XercesTable.h"

#ifdef ZY_XERCES_LINKED

const SZyXercesTable* ZyXercesModule(std::string&) {
  return zy_xerces_table();
}

#else

#include <dlfcn.h>

namespace {

constexpr const char kModuleFile[] = "zyvmconverter/zyxerces.so";

struct SLoaded {
  const SZyXercesTable* table = nullptr;
  std::string error;
};

// The module's place: beside the library that holds this function.
std::string ModulePath() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&ZyXercesModule), &info) ||
      !info.dli_fname)
    return kModuleFile;
  std::string library = info.dli_fname;
  size_t slash = library.rfind('/');
  if (slash == std::string::npos) return kModuleFile;
  return library.substr(0, slash + 1) + kModuleFile;
}

SLoaded Load() {
  SLoaded loaded;
  std::string path = ModulePath();
  // Never closed: Xerces stays initialised until the process ends.
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* failure = dlerror();
    std::string why = failure ? failure : "unknown reason";
    // The loader's message names the file first; it is named already.
    if (why.compare(0, path.size() + 2, path + ": ") == 0)
      why.erase(0, path.size() + 2);
    loaded.error = "cannot load the XML reader " + path + ": " + why;
    return loaded;
  }
  auto table = reinterpret_cast<const SZyXercesTable* (*)()>(
      dlsym(module, "zy_xerces_table"));
  if (!table || !table() || table()->version != kZyXercesTableVersion) {
    loaded.error = "cannot load the XML reader " + path +
                   ": it is not of this build";
    return loaded;
  }
  loaded.table = table();
  return loaded;
}

}  // namespace

const SZyXercesTable* ZyXercesModule(std::string& error) {
  try {
    // Loaded by the first caller; the others wait for it.
    static const SLoaded loaded = Load();
    if (!loaded.table) error = loaded.error;
    return loaded.table;
  } catch (...) {
    error = "out of memory while loading the XML reader";
    return nullptr;
  }
}

#endif
