#include "publisher/module_settings.h"

#include "catalogue/ini_document.h"
#include "common/text.h"
#include "publisher/repository_files.h"
#include "trust/trust_policy.h"

namespace tw::publisher {
namespace {

constexpr std::string_view kEnd = "\r\n";

std::string SectionName(std::string_view repository_path) {
  std::string name = ToLower(repository_path);
  while (!name.empty() && name.front() == '/') name.erase(0, 1);
  return name.empty() ? "/" : name;
}

struct Pending {
  std::string release, setup, post_setup;
  std::string Document() const {
    std::string text = "[Release]\r\n" + release;
    if (!setup.empty()) text += "[Setup]\r\n" + setup;
    if (!post_setup.empty()) text += "[PostSetup]\r\n" + post_setup;
    return text;
  }
};

void AddKey(Pending& section, std::string_view key, std::string_view value) {
  const std::string line = std::string(value) + std::string(kEnd);
  if (StartsWith(ToLower(key), "setup.")) section.setup += std::string(key.substr(6)) + "=" + line;
  else if (StartsWith(ToLower(key), "postsetup.")) section.post_setup += std::string(key.substr(10)) + "=" + line;
  else if (!EqualsIgnoreCase(key, "Version") && !EqualsIgnoreCase(key, kSha256Key))
    section.release += std::string(key) + "=" + line;
}

}  // namespace

ModuleSettings ModuleSettings::Read(const std::string& suite_folder) {
  return Parse(ReadWholeFile(suite_folder + "/" + kModuleSettingsFile).value_or(""));
}

ModuleSettings ModuleSettings::Parse(std::string_view text) {
  std::map<std::string, Pending> sections;
  Pending* current = nullptr;
  for (std::string_view line : Split(text, "\n")) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = TrimBlanks(line);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      current = &sections[SectionName(TrimBlanks(line.substr(1, line.size() - 2)))];
      continue;
    }
    const size_t equals = line.find('=');
    if (current && equals != std::string_view::npos)
      AddKey(*current, TrimBlanks(line.substr(0, equals)), TrimBlanks(line.substr(equals + 1)));
  }
  ModuleSettings settings;
  for (const auto& [name, section] : sections) settings.documents_[name] = section.Document();
  return settings;
}

std::optional<std::string> ModuleSettings::DocumentFor(std::string_view repository_path) const {
  const auto found = documents_.find(SectionName(repository_path));
  if (found == documents_.end()) return std::nullopt;
  return found->second;
}

std::string SettingsSection(std::string_view repository_path, std::string_view document) {
  ModuleINIInfo info;
  ParseModuleINI(document, info);
  std::string out = "[" + SectionName(repository_path) + "]\r\n";
  for (const auto& item : info.ReleaseKeys)
    if (item.key && !EqualsIgnoreCase(*item.key, "Version") && !EqualsIgnoreCase(*item.key, kSha256Key))
      out += *item.key + "=" + item.value + "\r\n";
  for (const auto& item : info.SetupKeys)
    if (item.key) out += "Setup." + *item.key + "=" + item.value + "\r\n";
  for (const auto& item : info.PostSetupKeys)
    if (item.key) out += "PostSetup." + *item.key + "=" + item.value + "\r\n";
  return out;
}

}  // namespace tw::publisher
