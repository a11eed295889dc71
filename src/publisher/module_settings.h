// The module settings a vendor keeps beside the suite, never in the web
// root: "tarnwick-moduli.ini" at the top of the suite folder, one section
// per module named by its repository path ("/" for the whole suite's
// document):
//
//   [eseguibili/contabilita.exe]
//   Register=self
//   ForceUpdate=0
//   Setup.1={DATI}\Archivio.mdb
//   PostSetup.1={ESEGUIBILI}\Contabilita.exe /init
//
// A section replaces the keys of the module's published document as a
// whole (Version and SHA256 always come from the file).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tw::publisher {

inline constexpr const char* kModuleSettingsFile = "tarnwick-moduli.ini";

class ModuleSettings {
 public:
  // The settings of the file at the top of `suite_folder`; none when it is
  // not there.
  static ModuleSettings Read(const std::string& suite_folder);
  static ModuleSettings Parse(std::string_view text);

  // The module's keys as the catalogue document text they stand for;
  // nothing when the file has no section for `repository_path`
  // ("/eseguibili/prog.exe", "" for the suite).
  std::optional<std::string> DocumentFor(std::string_view repository_path) const;

 private:
  std::map<std::string, std::string> documents_;  // lower-case section -> document text
};

// The section of tarnwick-moduli.ini that stands for `document` (the signed
// part of a published document): Register, ForceUpdate, OnDemand and any
// other [Release] key but Version and SHA256, [Setup], [PostSetup].
std::string SettingsSection(std::string_view repository_path, std::string_view document);

}  // namespace tw::publisher
