// Where the engine's own lines go when no window shows them (automation
// calls, the self-update): the administrators' log file, dated as the
// window dates its lines, and standard error, with the journal's priority
// when standard error is the journal.
#pragma once

#include <functional>
#include <ostream>
#include <string_view>

#include "common/date_value.h"
#include "platform/log_file.h"

namespace tw {

class Catalogue;

class EngineLog {
 public:
  // Any of `file` and `err` may be missing. `now` gives the local date and
  // time the lines carry. `journal`: standard error goes to the journal.
  EngineLog(LogFile* file, std::function<DateValue()> now, std::ostream* err, bool journal)
      : file_(file), now_(std::move(now)), err_(err), journal_(journal) {}

  // A line of the engine's own: to the file and to standard error.
  void Line(std::string_view text, LogLevel level);
  // A line the catalogue has already said on standard error: to the file.
  void Heard(std::string_view text);

 private:
  LogFile* file_;
  std::function<DateValue()> now_;
  std::ostream* err_;
  bool journal_;
};

// The catalogue's refusals (documents, paths, the index, post-setup
// programs) go to `log` until the catalogue is unhooked.
void HearCatalogue(Catalogue& catalogue, EngineLog& log);

// "<text> [<detail>: <number>: <description>]", or without the number and
// description when there is no system error ("<text> [<detail>]").
std::string LogLineWithError(int text_id, std::string_view detail, int number, std::string_view description);

}  // namespace tw
