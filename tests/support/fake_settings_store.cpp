#include "support/fake_settings_store.h"

#include "common/settings_keys.h"

namespace tw::testing {
namespace {

std::tuple<std::string, std::string, std::string> Address(std::string_view a, std::string_view s,
                                                          std::string_view k) {
  return {std::string(a), std::string(s), std::string(k)};
}

}  // namespace

std::string FakeSettingsStore::Read(std::string_view application, std::string_view section,
                                    std::string_view key, std::string_view default_value) {
  auto it = values.find(Address(application, section, key));
  return it == values.end() ? std::string(default_value) : it->second;
}

bool FakeSettingsStore::Write(std::string_view application, std::string_view section,
                              std::string_view key, std::string_view value) {
  if (fail_writes) return false;
  values[Address(application, section, key)] = std::string(value);
  ++unflushed;
  return true;
}

bool FakeSettingsStore::Delete(std::string_view application, std::string_view section,
                               std::string_view key) {
  ++unflushed;
  return values.erase(Address(application, section, key)) > 0;
}

void FakeSettingsStore::Set(std::string_view section, std::string_view key,
                            std::string_view value) {
  values[Address(settings::kApplication, section, key)] = std::string(value);
}

std::optional<std::string> FakeSettingsStore::Get(std::string_view section,
                                                  std::string_view key) const {
  auto it = values.find(Address(settings::kApplication, section, key));
  if (it == values.end()) return std::nullopt;
  return it->second;
}

}  // namespace tw::testing
