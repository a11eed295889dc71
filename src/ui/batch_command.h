// The command the main window starts when it closes, as the launcher wrote
// it on the command line: a program path and its arguments in one text.
#pragma once

#include <string>
#include <string_view>

namespace tw {

struct BatchLaunch {
  std::string program;    // "" = nothing to start
  std::string arguments;
};

// The program part runs up to the first blank after the first "." (the
// extension's dot, as a rule), so blanks in folder names before it stay in
// the path; without such a blank the whole text is the program. Blanks
// around either part are dropped.
BatchLaunch SplitBatchCommand(std::string_view command);

}  // namespace tw
