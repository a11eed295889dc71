// The syntax of catalogue documents. No trimming anywhere: a line starting
// with "[" is a section header (every bracket in it removed), any other line
// is split at its first "=" into key and value, and a line without "=" is
// ignored. Sections and keys are matched ignoring case, the first value of a
// key wins, and pairs outside RELEASE, SETUP, POSTSETUP and DELTA are dropped. A
// leading UTF-8 byte-order mark is skipped.
#pragma once

#include <string_view>

#include "catalogue/module_records.h"

namespace tw {

inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Lines whose first "=" lies beyond this character are not read.
inline constexpr size_t kMaxKeyLength = 32767;

// Adds the pairs of `text` to `info`.
void ParseModuleINI(std::string_view text, ModuleINIInfo& info);

}  // namespace tw
