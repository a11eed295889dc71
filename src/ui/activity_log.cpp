#include "ui/activity_log.h"

#include <ctime>

namespace tw {

Clock SystemClock() {
  Clock clock;
  clock.local_now = [] {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return DateValue::FromCalendar(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                   local.tm_min, local.tm_sec);
  };
  clock.steady_now = [] { return std::chrono::steady_clock::now(); };
  return clock;
}

std::string ActivityLog::Add(std::string_view message, DateValue now) {
  std::string line = now.FormatLogStamp();
  line += " - ";
  line += message;
  if (!text_.empty()) text_ += "\r\n";
  text_ += line;
  return line;
}

}  // namespace tw
