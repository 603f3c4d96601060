//===- XMLDecoder.cpp - Names and display texts of message enumerations ---===//
#include "platform/messages/XMLDecoder.h"

#include "platform/messages/RecoveryMessages.h"

namespace {

// Value 0 is "not given": a response leaves the model to the destination.
// clang-format off
constexpr SEnumValue kScsiControllerTypes[] = {
    {0, "Default", ""},
    {1, "lsilogic", "LSI Logic"},
    {2, "lsisas1068", "LSI Logic SAS"},
    {3, "pvscsi", "Paravirtual"},
    {4, "buslogic", "BusLogic"},
};
// clang-format on

// clang-format off
constexpr SEnumValue kNetworkAdapterTypes[] = {
    {0, "Default", ""},
    {1, "e1000", "E1000"},
    {2, "e1000e", "E1000E"},
    {3, "vmxnet3", "VMXNET3"},
    {4, "legacy", "Legacy"},
};
// clang-format on

template <size_t N>
constexpr SEnumClassDef Definition(uint32_t id, const char* name,
                                   const SEnumValue (&values)[N]) {
  return {id, name, values, N};
}

constexpr SEnumClassDef kEnumClassDefs[] = {
    Definition(kScsiControllerTypeClassDef, "ScsiControllerType",
               kScsiControllerTypes),
    Definition(kNetworkAdapterTypeClassDef, "NetworkAdapterType",
               kNetworkAdapterTypes),
};

}  // namespace

const SEnumClassDef* XMLDecoder::GetClassDef(uint32_t classDefId) {
  for (const auto& def : kEnumClassDefs)
    if (def.id == classDefId) return &def;
  return nullptr;
}

std::string XMLDecoder::getEnumString(const SEnumClassDef* def, int64_t value) {
  if (!def) return {};
  for (size_t i = 0; i < def->nValueCount; ++i)
    if (def->values[i].value == value) return def->values[i].name;
  return {};
}

void XMLDecoder::FillAnnotation(const SEnumClassDef* def,
                                CNMessageBase& annotation,
                                const std::string& name) {
  std::string text;
  for (size_t i = 0; def && i < def->nValueCount; ++i) {
    if (name == def->values[i].name) {
      text = def->values[i].displayText;
      break;
    }
  }
  annotation.setstring(Annotation::Text::text, text);
}
