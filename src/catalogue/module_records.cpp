#include "catalogue/module_records.h"

#include "common/text.h"

namespace tw {

const KeyedCollection<std::string>* ModuleINIInfo::KeySet(std::string_view section) const {
  const std::string upper = ToUpper(section);
  if (upper == "RELEASE") return &ReleaseKeys;
  if (upper == "SETUP") return &SetupKeys;
  if (upper == "POSTSETUP") return &PostSetupKeys;
  return nullptr;
}

std::string ModuleINIInfo::GetKey(std::string_view section, std::string_view key) const {
  const auto* keys = KeySet(section);
  const std::string* value = keys ? keys->Find(key) : nullptr;
  return value ? *value : std::string();
}

std::string ModuleINIInfo::AddKey(std::string_view section, std::string_view key,
                                  std::string_view value) {
  if (auto* keys = const_cast<KeyedCollection<std::string>*>(KeySet(section)))
    keys->Add(std::string(value), std::string(key));
  return {};
}

}  // namespace tw
