// The program started as a program (not by the session bus): start-up
// sequence with the splash, the repository dialog, then the main window
// when the command line asks for one.
#pragma once

#include <string>

namespace tw {

// Makes the application object (a widget application whenever a display
// is there) and runs the standalone start; the process's exit status.
int StandaloneMain(int& argc, char** argv, const std::string& command_line,
                   const std::string& executable);

// The same once the application object exists: the tests run it in their
// own process. `display` says whether windows can be shown.
int RunStandalone(const std::string& command_line, const std::string& executable, bool display);

}  // namespace tw
