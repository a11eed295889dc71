#include "catalogue/module_records.h"

#include "common/text.h"

namespace tw {

template <typename Self>
auto ModuleINIInfo::KeySet(Self& self, std::string_view section) -> decltype(&self.ReleaseKeys) {
  if (EqualsIgnoreCase(section, "RELEASE")) return &self.ReleaseKeys;
  if (EqualsIgnoreCase(section, "SETUP")) return &self.SetupKeys;
  if (EqualsIgnoreCase(section, "POSTSETUP")) return &self.PostSetupKeys;
  if (EqualsIgnoreCase(section, "DELTA")) return &self.DeltaKeys;
  return nullptr;
}

std::string ModuleINIInfo::GetKey(std::string_view section, std::string_view key) const {
  const auto* keys = KeySet(*this, section);
  const std::string* value = keys ? keys->Find(key) : nullptr;
  return value ? *value : std::string();
}

std::string ModuleINIInfo::AddKey(std::string_view section, std::string_view key,
                                  std::string_view value) {
  if (auto* keys = KeySet(*this, section))
    keys->Add(std::string(value), std::string(key));
  return {};
}

}  // namespace tw
