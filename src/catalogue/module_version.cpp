#include "catalogue/module_version.h"

#include "common/text.h"

namespace tw {
namespace {

std::uint16_t ToNumber(std::string_view piece) {
  const auto value = ParseInteger(TrimBlanks(piece));
  if (!value || *value < 0 || *value > 65535) return 0;
  return static_cast<std::uint16_t>(*value);
}

std::int32_t Sign(long long value) { return value > 0 ? 1 : value < 0 ? -1 : 0; }

}  // namespace

ModuleVersion MakeModuleVersion(std::string_view text, DateValue date) {
  ModuleVersion v;
  v.Kind = text.empty() ? VersionKindDate : VersionKindNumbers;
  const auto pieces = Split(text, ".");
  std::uint16_t* fields[] = {&v.Major, &v.Minor, &v.Build, &v.Revision};
  for (size_t i = 0; i < 4 && i < pieces.size(); ++i) *fields[i] = ToNumber(pieces[i]);
  v.Date = date;
  return v;
}

bool IsVersionEmpty(const ModuleVersion& v) {
  if (v.Kind == VersionKindDate) return v.Date.IsZero();
  if (v.Kind != VersionKindNumbers) return false;
  return v.Major == 0 && v.Minor == 0 && v.Build == 0 && v.Revision == 0;
}

std::int32_t CompareVersionNumbers(const ModuleVersion& a, const ModuleVersion& b) {
  const int left[] = {a.Major, a.Minor, a.Build, a.Revision};
  const int right[] = {b.Major, b.Minor, b.Build, b.Revision};
  for (int i = 0; i < 4; ++i)
    if (left[i] != right[i]) return left[i] > right[i] ? 1 : -1;
  return 0;
}

std::int32_t CompareVersionDates(const ModuleVersion& a, const ModuleVersion& b) {
  return Sign(DifferenceInSeconds(a.Date, b.Date));
}

std::int32_t CompareVersions(ModuleVersion& a, ModuleVersion& b) {
  const bool numbers_first = a.Kind == VersionKindNumbers;
  std::int32_t r = numbers_first ? CompareVersionNumbers(a, b) : CompareVersionDates(a, b);
  if (r == 0) {
    r = numbers_first ? CompareVersionDates(a, b) : CompareVersionNumbers(a, b);
    if (r != 0) a.Kind = b.Kind = numbers_first ? VersionKindDate : VersionKindNumbers;
  }
  return r;
}

std::string VersionText(const ModuleVersion& v) {
  if (v.Kind == VersionKindNumbers)
    return std::to_string(v.Major) + "." + std::to_string(v.Minor) + "." +
           std::to_string(v.Build) + "." + std::to_string(v.Revision);
  if (v.Kind == VersionKindDate && !v.Date.IsZero()) return v.Date.FormatVersionStamp();
  return "-.-.-.-";
}

}  // namespace tw
