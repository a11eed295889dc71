// The main window's running account of an update run: one time-stamped
// entry per line, kept for the life of the window, never trimmed.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "common/date_value.h"

namespace tw {

// The clocks the main window reads: the local date and time for the log's
// stamps, and a steady clock to space progress updates.
struct Clock {
  std::function<DateValue()> local_now;
  std::function<std::chrono::steady_clock::time_point()> steady_now;
};

// The computer's own clocks.
Clock SystemClock();

class ActivityLog {
 public:
  // Appends "dd/mm/yyyy hh:nn:ss - " + `message` as the new last line and
  // returns that line (without the line break put before it). A message
  // holding line breaks is kept as it is.
  std::string Add(std::string_view message, DateValue now);

  // The whole log: lines joined by a carriage return and a line feed, none
  // after the last.
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace tw
