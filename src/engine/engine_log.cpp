#include "engine/engine_log.h"

#include <string>

#include "catalogue/catalogue.h"
#include "resources/string_table.h"

namespace tw {

void EngineLog::Line(std::string_view text, LogLevel level) {
  Heard(text);
  if (!err_) return;
  // The same name the catalogue puts before its lines on standard error.
  const std::string line = "Tarnwick: " + std::string(text);
  *err_ << (journal_ ? WithPriority(line, level) : line) << '\n' << std::flush;
}

void EngineLog::Heard(std::string_view text) {
  if (!file_) return;
  std::string line = now_ ? now_().FormatLogStamp() : std::string();
  line += " - ";
  line += text;
  file_->Write(line);
}

void HearCatalogue(Catalogue& catalogue, EngineLog& log) {
  catalogue.SetRefusalListener([&log](const std::string& line) { log.Heard(line); });
}

std::string LogLineWithError(int text_id, std::string_view detail, int number, std::string_view description) {
  std::string line = std::string(LoadResString(text_id)) + " [" + std::string(detail);
  if (number != 0 || !description.empty()) line += ": " + std::to_string(number) + ": " + std::string(description);
  return line + "]";
}

}  // namespace tw
