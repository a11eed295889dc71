#include "ui/batch_command.h"

#include "common/text.h"

namespace tw {

BatchLaunch SplitBatchCommand(std::string_view command) {
  std::string_view program = command;
  std::string_view arguments;
  const size_t dot = command.find('.');
  if (dot != std::string_view::npos) {
    const size_t blank = command.find(' ', dot);
    if (blank != std::string_view::npos) {
      program = command.substr(0, blank);
      arguments = command.substr(blank + 1);
    }
  }
  return {std::string(TrimBlanks(program)), std::string(TrimBlanks(arguments))};
}

}  // namespace tw
