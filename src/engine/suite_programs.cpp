#include "engine/suite_programs.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "catalogue/path_mapping.h"
#include "catalogue/placeholders.h"
#include "common/text.h"
#include "engine/command_line.h"

namespace tw {
namespace {

bool IsAbsolute(std::string_view path, char separator) {
  if (separator == '/') return path.starts_with('/');
  return path.size() >= 3 && path[1] == ':' && path[2] == separator;
}

// The segments of an absolute path with "." and ".." resolved; nothing
// when ".." would climb above the root.
std::optional<std::vector<std::string>> Segments(std::string_view path, char separator) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(separator, start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(start, end - start);
    if (part == "..") {
      if (out.size() <= 1) return std::nullopt;
      out.pop_back();
    } else if (!part.empty() && part != ".") {
      out.emplace_back(part);
    }
    start = end + 1;
  }
  return out;
}

std::optional<std::vector<std::string>> SuiteArguments(const PathMapping& paths, std::string_view command_line) {
  std::vector<std::string> argv = SplitCommandLine(command_line);
  if (argv.empty() || !IsInsideSuite(paths, argv[0])) return std::nullopt;
  return argv;
}

}  // namespace

bool IsInsideSuite(const PathMapping& paths, std::string_view path) {
  const char separator = paths.LocalSeparator();
  if (!IsAbsolute(path, separator)) return false;
  const auto program = Segments(path, separator);
  if (!program) return false;
  for (std::string_view token : kPlaceholderList) {
    const std::string folder = paths.LocalFolder(token);
    if (!IsAbsolute(folder, separator)) continue;
    const auto inside = Segments(folder, separator);
    // A folder that resolves to the root would let everything in.
    if (!inside || inside->empty() || inside->size() >= program->size()) continue;
    if (std::equal(inside->begin(), inside->end(), program->begin())) return true;
  }
  return false;
}

bool SamePathText(std::string_view a, std::string_view b, char separator) {
  const auto left = Segments(a, separator), right = Segments(b, separator);
  if (!left || !right || left->size() != right->size()) return false;
  for (size_t i = 0; i < left->size(); ++i)
    if (ToUpper((*left)[i]) != ToUpper((*right)[i])) return false;
  return true;
}

bool StartSuiteCommand(ProcessLauncher& launcher, const PathMapping& paths, std::string_view command_line,
                       WindowStyle style) {
  const auto argv = SuiteArguments(paths, command_line);
  return argv && launcher.Start(*argv, style);
}

int RunSuiteCommandAndWait(ProcessLauncher& launcher, const PathMapping& paths, std::string_view command_line,
                           int timeout_ms) {
  const auto argv = SuiteArguments(paths, command_line);
  return argv ? launcher.RunAndWait(*argv, timeout_ms) : 0;
}

}  // namespace tw
