// Last-Modified texts in the three forms HTTP servers send, turned into the
// program's date value in local standard time.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "common/date_value.h"

namespace tw {

// Compared exactly: "sun" or "nov" is not a name.
inline constexpr std::array<std::string_view, 7> kShortDayNames = {"Mon", "Tue", "Wed", "Thu",
                                                                   "Fri", "Sat", "Sun"};
inline constexpr std::array<std::string_view, 7> kLongDayNames = {
    "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
inline constexpr std::array<std::string_view, 12> kMonthNames = {
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// `bias` is the standard time-zone bias in minutes (UTC = local + bias). Each
// gives the zero date for text not of its form, and for text whose day,
// year or time fields are not numbers.
DateValue ParseRfc1123Date(std::string_view text, int bias);  // Sun, 06 Nov 1994 08:49:37 GMT
DateValue ParseRfc850Date(std::string_view text, int bias);   // Sunday, 06-Nov-94 08:49:37 GMT
DateValue ParseAsctimeDate(std::string_view text, int bias);  // Sun Nov  6 08:49:37 1994

// "Sun, 06 Nov 1994 08:49:37 GMT" for seconds since 1970 (UTC).
std::string FormatRfc1123Date(long long unix_seconds);

// The three forms in that order; the zero date when none matches.
DateValue ParseHttpDate(std::string_view text, int bias);

}  // namespace tw
