// The program's date value: days since 30 December 1899 00:00 as a double,
// the fraction being the time of day; 0 stands for no date. Dates travel in
// local standard time unless a function says otherwise.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

struct CalendarTime {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
  int day_of_week = 6;  // 0 = Sunday .. 6 = Saturday
};

class DateValue {
 public:
  constexpr DateValue() = default;
  constexpr explicit DateValue(double serial) : serial_(serial) {}

  // Builds a date the way the platform's date serial does: a month beyond
  // 1..12 carries into the year, a day beyond the month into the following
  // months, and the time's fields carry into the day.
  static DateValue FromCalendar(long long year, long long month, long long day, long long hour = 0,
                                long long minute = 0, long long second = 0);
  static DateValue FromUnixSeconds(long long seconds);

  constexpr double Serial() const { return serial_; }
  constexpr bool IsZero() const { return serial_ == 0.0; }

  // The calendar fields, rounded to the nearest second.
  CalendarTime ToCalendar() const;
  // Whole seconds since 1970-01-01 00:00 of the same clock, nearest second.
  long long ToUnixSeconds() const;
  DateValue AddMinutes(double minutes) const;

  // The text kept in the settings store: the shortest decimal text that
  // reads back as exactly the same double.
  std::string ToSettingsText() const;
  // Reads that text back; a comma is accepted as decimal separator, as a
  // user's locale may have written it.
  static std::optional<DateValue> FromSettingsText(std::string_view text);

  // "YYYY.MM.DD.HHNNSS"
  std::string FormatVersionStamp() const;
  // "dd/mm/yyyy hh:nn:ss"
  std::string FormatLogStamp() const;

  friend constexpr bool operator==(DateValue a, DateValue b) { return a.serial_ == b.serial_; }

 private:
  double serial_ = 0.0;
};

// Whole seconds of a - b, truncated toward zero: dates that differ by less
// than a second count as equal.
long long DifferenceInSeconds(DateValue a, DateValue b);

}  // namespace tw
