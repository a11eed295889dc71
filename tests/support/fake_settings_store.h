// An in-memory settings store for tests.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <tuple>

#include "platform/settings_store.h"

namespace tw::testing {

class FakeSettingsStore : public SettingsStore {
 public:
  std::string Read(std::string_view application, std::string_view section, std::string_view key,
                   std::string_view default_value) override;
  bool Write(std::string_view application, std::string_view section, std::string_view key,
             std::string_view value) override;
  bool Delete(std::string_view application, std::string_view section,
              std::string_view key) override;
  void Flush() override { unflushed = 0; }

  // Shortcuts for the program's own application name.
  void Set(std::string_view section, std::string_view key, std::string_view value);
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;

  std::map<std::tuple<std::string, std::string, std::string>, std::string> values;
  bool fail_writes = false;
  // Writes and deletions not yet made durable and visible to other
  // processes.
  int unflushed = 0;
};

}  // namespace tw::testing
