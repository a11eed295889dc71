// The per-user settings store: text values addressed by application,
// section and key. A read of a missing key gives the caller's default.
#pragma once

#include <string>
#include <string_view>

namespace tw {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  virtual std::string Read(std::string_view application, std::string_view section,
                           std::string_view key, std::string_view default_value) = 0;
  // False when the value could not be stored; callers pass over it.
  virtual bool Write(std::string_view application, std::string_view section,
                     std::string_view key, std::string_view value) = 0;
  virtual bool Delete(std::string_view application, std::string_view section,
                      std::string_view key) = 0;
  // Makes every write so far durable and visible to other processes. A
  // store may gather writes until then.
  virtual void Flush() {}
};

}  // namespace tw
