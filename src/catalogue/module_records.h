// The records that carry module data between the catalogue reader, the
// catalogue walk and their consumers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "common/date_value.h"
#include "common/keyed_collection.h"

namespace tw {

// The parsed catalogue document of one module.
class ModuleINIInfo {
 public:
  // The Last-Modified date the repository reports for the module's own
  // file; the zero date when unknown.
  DateValue LastModifiedDate;
  KeyedCollection<std::string> ReleaseKeys;
  KeyedCollection<std::string> SetupKeys;
  KeyedCollection<std::string> PostSetupKeys;
  // The patches from earlier versions of the module's file, one key each:
  // "OLDSHA256 PATCHSHA256 PATCHSIZE PATCHPATH".
  KeyedCollection<std::string> DeltaKeys;

  // The value under `key` (case ignored) of section RELEASE, SETUP,
  // POSTSETUP or DELTA (case ignored); "" for an unknown section or a missing key.
  std::string GetKey(std::string_view section, std::string_view key) const;
  // Appends under `key`; an unknown section is ignored and a present key
  // keeps its first value. Always returns "".
  std::string AddKey(std::string_view section, std::string_view key, std::string_view value);

 private:
  // The key set of a section name, or none.
  template <typename Self>
  static auto KeySet(Self& self, std::string_view section) -> decltype(&self.ReleaseKeys);
};

// One module that is to be installed or updated.
struct ModuleUpdateInfo {
  std::string MetaPath;       // placeholder form
  std::string Register;       // "regsvr32", "self" or anything else
  std::string LocalVersion;   // display texts of the versions compared
  std::string RemoteVersion;
  bool ForceUpdate = true;
  bool OnDemand = false;
  std::int32_t InstallationType = 0;  // 0 new installation, 1 update
  // Local paths of the programs to run after a new installation.
  KeyedCollection<std::string> PostSetup;
};

// The walk's result: upper-case placeholder path to record, in insertion
// order (dependencies before the modules that need them).
using UpdateDictionary = KeyedCollection<std::shared_ptr<ModuleUpdateInfo>>;

}  // namespace tw
