#include "catalogue/ini_document.h"

#include <string>

#include "common/text.h"

namespace tw {

void ParseModuleINI(std::string_view text, ModuleINIInfo& info) {
  // Windows editors start UTF-8 files with a byte-order mark; left in place
  // it would hide the first section's header.
  if (StartsWith(text, kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  const std::string unified = ReplaceAll(text, "\r\n", "\n");
  std::string section;
  for (std::string_view line : Split(unified, "\n")) {
    if (!line.empty() && line.front() == '[') {
      section.clear();
      for (char c : line)
        if (c != '[' && c != ']') section += c;
      continue;
    }
    const size_t equals = line.find('=');
    // The position of "=" counts from 1; beyond 32,767 the line is not read.
    if (equals == std::string_view::npos || equals >= kMaxKeyLength) continue;
    info.AddKey(section, line.substr(0, equals), line.substr(equals + 1));
  }
}

}  // namespace tw
