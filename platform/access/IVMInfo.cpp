//===- IVMInfo.cpp - Access object factory registry -----------------------===//
#include "platform/access/IVMInfo.h"

#include <map>
#include <mutex>

namespace {

struct Registry {
  std::mutex mutex;
  std::map<int32_t, IVMInfo::Factory> byKind;
  IVMInfo::Factory fallback;
  IVMInfo::Factory builtIn;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

IVMInfo::~IVMInfo() = default;

IVMInfo* IVMInfo::CreateObject(VirtualServerInstanceType kind) {
  Factory factory;
  {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = registry.byKind.find(kind);
    factory = it != registry.byKind.end() ? it->second : registry.fallback;
    if (!factory) factory = registry.builtIn;
  }
  try {
    return factory ? factory(kind) : nullptr;
  } catch (...) {
    return nullptr;
  }
}

void IVMInfo::DeleteObject(IVMInfo* object) { delete object; }

void IVMInfo::RegisterFactory(VirtualServerInstanceType kind, Factory factory) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  registry.byKind[kind] = std::move(factory);
}

void IVMInfo::RegisterDefaultFactory(Factory factory) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  registry.fallback = std::move(factory);
}

void IVMInfo::RegisterBuiltInFactory(Factory factory) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  registry.builtIn = std::move(factory);
}

void IVMInfo::ClearFactories() {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  registry.byKind.clear();
  registry.fallback = nullptr;
}
