#include "transport/http_date.h"

#include <cstdio>
#include <ctime>

#include <optional>
#include <vector>

#include "common/text.h"

namespace tw {
namespace {

template <size_t N>
bool IsOneOf(std::string_view word, const std::array<std::string_view, N>& names) {
  for (std::string_view name : names)
    if (word == name) return true;
  return false;
}

std::optional<int> MonthNumber(std::string_view name) {
  for (size_t i = 0; i < kMonthNames.size(); ++i)
    if (name == kMonthNames[i]) return static_cast<int>(i) + 1;
  return std::nullopt;
}

// The word at `index`, or "" when there are fewer words.
std::string_view WordAt(const std::vector<std::string_view>& words, size_t index) {
  return index < words.size() ? words[index] : std::string_view();
}

// Far beyond any field of a real date, far below where sums overflow.
constexpr long long kFieldBound = 1'000'000'000;

// Two-digit years: 0-29 are 2000-2029, 30-99 are 1930-1999.
long long FullYear(long long year) {
  if (year >= 0 && year <= 29) return year + 2000;
  if (year >= 30 && year <= 99) return year + 1900;
  return year;
}

// The common final steps: date from year, month and day, the time "h:m:s"
// added, then the zone offset. A field that is not a number gives the zero
// date rather than a date built from the fields that happened to convert.
DateValue Compose(std::string_view year, int month, std::string_view day, std::string_view time,
                  int bias) {
  const auto y = ParseInteger(year);
  const auto d = ParseInteger(day);
  const auto parts = Split(TrimBlanks(time), ":");
  if (!y || !d || parts.size() != 3) return DateValue();
  const auto h = ParseInteger(parts[0]), n = ParseInteger(parts[1]), s = ParseInteger(parts[2]);
  if (!h || !n || !s) return DateValue();
  // A hostile server may send any number in any field: each is bounded
  // before the first sum, so no arithmetic below can overflow. Within the
  // bounds a field may still carry over into the next one.
  for (long long field : {*y, *d, *h, *n, *s})
    if (field <= -kFieldBound || field >= kFieldBound) return DateValue();
  // The offset goes into the minutes, so the result is exactly the date
  // serial of the local time.
  return DateValue::FromCalendar(FullYear(*y), month, *d, *h, *n - bias, *s);
}

}  // namespace

DateValue ParseRfc1123Date(std::string_view text, int bias) {
  if (text.size() < 4 || text[3] != ',' || !EndsWith(text, "GMT")) return DateValue();
  const auto pieces = Split(text, ",");
  if (!IsOneOf(pieces[0], kShortDayNames)) return DateValue();
  const auto words = Split(TrimBlanks(WordAt(pieces, 1)), " ");
  const auto month = MonthNumber(WordAt(words, 1));
  if (!month) return DateValue();
  return Compose(WordAt(words, 2), *month, WordAt(words, 0), WordAt(words, 3), bias);
}

DateValue ParseRfc850Date(std::string_view text, int bias) {
  if (!EndsWith(text, "GMT")) return DateValue();
  const auto pieces = Split(text, ",");
  if (!IsOneOf(pieces[0], kLongDayNames)) return DateValue();
  const auto words = Split(TrimBlanks(WordAt(pieces, 1)), " ");
  const auto date = Split(WordAt(words, 0), "-");
  const auto month = MonthNumber(WordAt(date, 1));
  if (!month) return DateValue();
  return Compose(WordAt(date, 2), *month, WordAt(date, 0), WordAt(words, 1), bias);
}

DateValue ParseAsctimeDate(std::string_view text, int bias) {
  std::vector<std::string_view> words;
  for (std::string_view w : Split(text, " "))
    if (!w.empty()) words.push_back(w);  // a run of blanks is one separator
  if (!IsOneOf(WordAt(words, 0), kShortDayNames)) return DateValue();
  const auto month = MonthNumber(WordAt(words, 1));
  if (!month) return DateValue();
  if (text.size() < 4 || !ParseInteger(text.substr(text.size() - 4))) return DateValue();
  return Compose(WordAt(words, 4), *month, WordAt(words, 2), WordAt(words, 3), bias);
}

DateValue ParseHttpDate(std::string_view text, int bias) {
  DateValue date = ParseRfc1123Date(text, bias);
  if (date.IsZero()) date = ParseRfc850Date(text, bias);
  if (date.IsZero()) date = ParseAsctimeDate(text, bias);
  return date;
}

std::string FormatRfc1123Date(long long unix_seconds) {
  const time_t when = static_cast<time_t>(unix_seconds);
  tm parts{};
  if (!gmtime_r(&when, &parts)) return {};
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT",
                std::string(kShortDayNames[(parts.tm_wday + 6) % 7]).c_str(), parts.tm_mday,
                std::string(kMonthNames[parts.tm_mon]).c_str(), parts.tm_year + 1900, parts.tm_hour,
                parts.tm_min, parts.tm_sec);
  return text;
}

}  // namespace tw
