// A module's version: four numbers (from a version resource or the
// catalogue's Version key) or a date (a download date, a file date, or the
// repository's Last-Modified date).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/date_value.h"

namespace tw {

inline constexpr std::int32_t VersionKindNumbers = 0;
inline constexpr std::int32_t VersionKindDate = 1;

struct ModuleVersion {
  std::int32_t Kind = VersionKindNumbers;
  // Version resources hold 16-bit unsigned fields: build numbers above
  // 32767 are common.
  std::uint16_t Major = 0;
  std::uint16_t Minor = 0;
  std::uint16_t Build = 0;
  std::uint16_t Revision = 0;
  DateValue Date;
};

// Kind 0 for a non-empty text, else kind 1. The text's first four pieces
// (split at ".") fill the numbers; a piece that is missing, not a number or
// outside 0..65535 leaves its number 0.
ModuleVersion MakeModuleVersion(std::string_view text, DateValue date);

// Kind 0: all four numbers are 0. Kind 1: no date.
bool IsVersionEmpty(const ModuleVersion& version);
// 1, 0 or -1.
std::int32_t CompareVersionNumbers(const ModuleVersion& a, const ModuleVersion& b);
// By whole seconds: dates less than a second apart are equal.
std::int32_t CompareVersionDates(const ModuleVersion& a, const ModuleVersion& b);
// `a` (the repository's) against `b` (the installed one); 1 means `a` is
// newer. A's kind chooses which comparison comes first; when the second one
// decides, both records take its kind, so their texts show the form that
// decided.
std::int32_t CompareVersions(ModuleVersion& a, ModuleVersion& b);
// "a.b.c.d", "YYYY.MM.DD.HHNNSS", or "-.-.-.-".
std::string VersionText(const ModuleVersion& version);

}  // namespace tw
