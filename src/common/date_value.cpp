#include "common/date_value.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "common/text.h"

namespace tw {
namespace {

constexpr long long kSecondsPerDay = 86400;
constexpr long long kUnixEpochSerial = 25569;  // 1970-01-01 counted from 1899-12-30
// The platform's dates run from 1 January 100 to 31 December 9999.
constexpr long long kFirstSerial = -657434;
constexpr long long kLastSerial = 2958465;
constexpr long long kFieldLimit = 1'000'000'000;

long long FloorDiv(long long a, long long b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days since 1970-01-01 of a proleptic Gregorian date (month 1..12).
long long DaysFromCivil(long long y, long long m, long long d) {
  y -= m <= 2;
  const long long era = FloorDiv(y, 400);
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(long long z, CalendarTime& out) {
  z += 719468;
  const long long era = FloorDiv(z, 146097);
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  out.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  out.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  out.year = static_cast<int>(yoe + era * 400 + (out.month <= 2));
}

bool InFieldRange(long long v) { return v > -kFieldLimit && v < kFieldLimit; }

}  // namespace

DateValue DateValue::FromCalendar(long long year, long long month, long long day, long long hour,
                                  long long minute, long long second) {
  for (long long v : {year, month, day, hour, minute, second})
    if (!InFieldRange(v)) return DateValue();
  year += FloorDiv(month - 1, 12);
  month = (month - 1) - FloorDiv(month - 1, 12) * 12 + 1;
  const long long days = DaysFromCivil(year, month, 1) + kUnixEpochSerial + (day - 1);
  const long long seconds = hour * 3600 + minute * 60 + second;
  const long long whole_days = days + FloorDiv(seconds, kSecondsPerDay);
  if (whole_days < kFirstSerial || whole_days > kLastSerial) return DateValue();
  return DateValue(static_cast<double>(days) + static_cast<double>(seconds) / kSecondsPerDay);
}

DateValue DateValue::FromUnixSeconds(long long seconds) {
  return DateValue(static_cast<double>(kUnixEpochSerial) +
                   static_cast<double>(seconds) / kSecondsPerDay);
}

CalendarTime DateValue::ToCalendar() const {
  // Values outside the platform's range (a damaged settings entry) show as
  // the zero date rather than overflow.
  const bool in_range = std::isfinite(serial_) && serial_ >= kFirstSerial && serial_ < kLastSerial + 1;
  const long long total = in_range ? std::llround(serial_ * kSecondsPerDay) : 0;
  const long long days = FloorDiv(total, kSecondsPerDay);
  const long long secs = total - days * kSecondsPerDay;
  CalendarTime out;
  CivilFromDays(days - kUnixEpochSerial, out);
  out.hour = static_cast<int>(secs / 3600);
  out.minute = static_cast<int>(secs / 60 % 60);
  out.second = static_cast<int>(secs % 60);
  out.day_of_week = static_cast<int>(((days + 6) % 7 + 7) % 7);
  return out;
}

long long DateValue::ToUnixSeconds() const {
  if (!std::isfinite(serial_) || serial_ < kFirstSerial || serial_ >= kLastSerial + 1) return 0;
  return std::llround((serial_ - kUnixEpochSerial) * kSecondsPerDay);
}

DateValue DateValue::AddMinutes(double minutes) const {
  return DateValue(serial_ + minutes / (24.0 * 60.0));
}

std::string DateValue::ToSettingsText() const {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, serial_);
  return ec == std::errc() ? std::string(buffer, end) : std::string("0");
}

std::optional<DateValue> DateValue::FromSettingsText(std::string_view text) {
  auto number = ParseNumber(text);
  if (!number || !std::isfinite(*number)) return std::nullopt;
  return DateValue(*number);
}

std::string DateValue::FormatVersionStamp() const {
  const CalendarTime t = ToCalendar();
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%04d.%02d.%02d.%02d%02d%02d", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return buffer;
}

std::string DateValue::FormatLogStamp() const {
  const CalendarTime t = ToCalendar();
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d %02d:%02d:%02d", t.day, t.month, t.year,
                t.hour, t.minute, t.second);
  return buffer;
}

long long DifferenceInSeconds(DateValue a, DateValue b) {
  // A small tolerance keeps two renderings of the same second (one a hair
  // below it through floating-point error) from counting as a second apart.
  const double seconds = (a.Serial() - b.Serial()) * kSecondsPerDay;
  if (!std::isfinite(seconds)) return 0;
  if (seconds > 9e18) return 9'000'000'000'000'000'000;
  if (seconds < -9e18) return -9'000'000'000'000'000'000;
  return static_cast<long long>(seconds >= 0 ? std::floor(seconds + 1e-4) : std::ceil(seconds - 1e-4));
}

}  // namespace tw
