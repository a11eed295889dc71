#include "ui/run_log.h"

namespace tw {

void RunLog::Line(std::string_view line, LogLevel level) {
  if (file_) file_->Write(line);
  if (!echo_ || !err_) return;
  if (journal_) *err_ << WithPriority(line, level) << '\n' << std::flush;
  else *err_ << line << '\n' << std::flush;
}

}  // namespace tw
