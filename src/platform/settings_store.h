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

  // While a batch is open, reads take in what other processes wrote only at
  // the first read of each file: a walk reads a setting for every module of
  // the suite, and one view of the settings per walk is all it needs.
  // Batches nest.
  virtual void BeginBatch() {}
  virtual void EndBatch() {}
};

// A batch for the life of the object.
class SettingsBatch {
 public:
  explicit SettingsBatch(SettingsStore& store) : store_(store) { store_.BeginBatch(); }
  ~SettingsBatch() { store_.EndBatch(); }
  SettingsBatch(const SettingsBatch&) = delete;
  SettingsBatch& operator=(const SettingsBatch&) = delete;

 private:
  SettingsStore& store_;
};

}  // namespace tw
