#include "ui/console_main_view.h"

#include "common/text.h"
#include "resources/string_table.h"
#include "ui/main_window_controller.h"

namespace tw {
namespace {

// One line per message: the question's own line break becomes a blank.
std::string OneLine(std::string_view text) { return ReplaceAll(ReplaceAll(text, "\r\n", " "), "\n", " "); }

}  // namespace

bool DisplayAvailable(const std::function<const char*(const char*)>& getenv) {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = getenv(name);
    if (value && *value) return true;
  }
  return false;
}

void ConsoleMainView::AppendLogLine(std::string_view line) {
  if (log_lines_) out_ << line << '\n' << std::flush;
}

bool ConsoleMainView::Ask(int, std::string_view text) {
  out_ << kProgramTitle << ": " << OneLine(text) << " " << LoadResString(1102) << '\n' << std::flush;
  return false;
}

void ConsoleMainView::ShowMessage(int, std::string_view text) {
  out_ << kProgramTitle << ": " << OneLine(text) << '\n' << std::flush;
}

int RunWithoutDisplay(MainWindowController& controller, std::ostream& out) {
  if (controller.Load() == LoadOutcome::Closed) return controller.ExitStatus();
  out << kProgramTitle
      << ": la finestra principale non può essere mostrata senza uno schermo "
         "(DISPLAY, WAYLAND_DISPLAY o QT_QPA_PLATFORM)\n"
      << std::flush;
  return 2;
}

}  // namespace tw
