#include "catalogue/module_path_check.h"

#include <array>
#include <string>

#include "catalogue/path_mapping.h"
#include "common/text.h"
#include "transport/text_decoding.h"

namespace tw {
namespace {

constexpr size_t kMaxModulePath = 1024;
constexpr std::string_view kPerComputerToken = "{PCID}";
// Stands for "{PCID}" while the names are judged: a separator and a name.
constexpr std::string_view kPerComputerName = "\\pcid";

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

bool IsForbiddenInName(unsigned char c) {
  static constexpr std::string_view kForbidden = "\"*:<>?|#%@";
  return IsControl(c) || kForbidden.find(static_cast<char>(c)) != std::string_view::npos;
}

// The folder token the placeholder path starts with; "" when none does.
std::string_view LeadingFolderToken(std::string_view generic) {
  if (generic.empty() || generic.front() != '{') return {};
  for (std::string_view token : kPlaceholderList) {
    if (token == kPerComputerToken || generic.size() < token.size()) continue;
    if (EqualsIgnoreCase(generic.substr(0, token.size()), token)) return token;
  }
  return {};
}

bool HoldsFolderToken(std::string_view text) {
  if (text.find('{') == std::string_view::npos) return false;
  for (std::string_view token : kPlaceholderList)
    if (token != kPerComputerToken && FindIgnoreCase(text, token) != std::string_view::npos) return true;
  return false;
}

// Windows opens the device, not a file, for these names with any extension.
bool IsDeviceName(std::string_view name) {
  const std::string stem = ToUpper(name.substr(0, name.find('.')));
  static constexpr std::array<std::string_view, 4> kDevices = {"CON", "PRN", "AUX", "NUL"};
  for (std::string_view device : kDevices)
    if (stem == device) return true;
  return stem.size() == 4 && (StartsWith(stem, "COM") || StartsWith(stem, "LPT")) && stem[3] >= '1' &&
         stem[3] <= '9';
}

ModulePathFault NameFault(std::string_view name) {
  if (name.empty()) return ModulePathFault::kEmptyName;
  for (char c : name)
    if (IsForbiddenInName(static_cast<unsigned char>(c))) return ModulePathFault::kForbiddenCharacter;
  if (name.find_first_not_of(". ") == std::string_view::npos || name.back() == '.' || name.back() == ' ')
    return ModulePathFault::kDotName;
  if (IsDeviceName(name)) return ModulePathFault::kDeviceName;
  return ModulePathFault::kNone;
}

// A replacement writes "<file>.new", keeps "<file>.old" and resumes from
// "<file>.part": a module of such a name would be taken for them.
bool IsCompanionName(std::string_view name) {
  for (std::string_view suffix : {".new", ".old", ".part"})
    if (name.size() >= suffix.size() && EqualsIgnoreCase(name.substr(name.size() - suffix.size()), suffix))
      return true;
  return false;
}

// True when `local` lies below `folder`, both in this platform's local form,
// with no "." or ".." in the part below it.
bool LiesInside(std::string_view local, std::string folder, char separator) {
  folder = ReplaceAll(folder, std::string(1, separator == '/' ? '\\' : '/'), std::string(1, separator));
  if (folder.back() != separator) folder += separator;
  if (!StartsWith(local, folder)) return false;
  for (std::string_view name : Split(std::string_view(local).substr(folder.size()), std::string(1, separator)))
    if (!name.empty() && name.find_first_not_of(". ") == std::string_view::npos) return false;
  return true;
}

}  // namespace

ModulePathFault FindModulePathFault(const PathMapping& paths, std::string_view path) {
  const std::string generic = paths.GenericPath(path);
  return FindModulePathFault(paths, path, generic, paths.FromGeneric(generic, false));
}

ModulePathFault FindModulePathFault(const PathMapping& paths, std::string_view path, std::string_view generic,
                                    std::string_view local) {
  if (path.size() > kMaxModulePath || !IsValidUtf8(path)) return ModulePathFault::kInvalidText;
  for (char c : path)
    if (IsControl(static_cast<unsigned char>(c))) return ModulePathFault::kForbiddenCharacter;
  const std::string_view token = LeadingFolderToken(generic);
  if (token.empty()) return ModulePathFault::kNoFolderToken;
  std::string rest(generic.substr(token.size()));
  rest = ReplaceAllIgnoreCase(rest, "\\" + std::string(kPerComputerToken), kPerComputerToken);
  rest = ReplaceAllIgnoreCase(rest, kPerComputerToken, kPerComputerName);
  if (HoldsFolderToken(rest)) return ModulePathFault::kSecondToken;
  if (rest.size() < 2 || rest.front() != '\\') return ModulePathFault::kNoFileName;
  const auto names = Split(std::string_view(rest).substr(1), "\\");
  for (std::string_view name : names)
    if (const ModulePathFault fault = NameFault(name); fault != ModulePathFault::kNone) return fault;
  if (IsCompanionName(names.back())) return ModulePathFault::kCompanionName;

  // The names are sound; what remains is what the environment gave: the
  // folder values and the per-computer folder.
  const std::string folder = paths.LocalFolder(token);
  return folder.empty() || LiesInside(local, folder, paths.LocalSeparator())
             ? ModulePathFault::kNone
             : ModulePathFault::kOutsideFolder;
}

std::string CommandLineProgram(std::string_view command_line) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  size_t i = 0;
  while (i < command_line.size() && blank(command_line[i])) ++i;
  std::string program;
  bool quoted = false;
  for (; i < command_line.size() && (quoted || !blank(command_line[i])); ++i) {
    if (command_line[i] == '"')
      quoted = !quoted;
    else
      program += command_line[i];
  }
  return program;
}

}  // namespace tw
