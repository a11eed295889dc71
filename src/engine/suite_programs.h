// Programs that catalogue documents name (post-setup programs, modules
// that register themselves) run only from the suite's own folders: a
// document cannot make us start a program elsewhere on the computer.
#pragma once

#include <string>
#include <string_view>

#include "platform/process_launcher.h"

namespace tw {

class PathMapping;

// True when the local `path` is absolute and, its "." and ".." segments
// resolved, lies inside the local folder of one of the suite's tokens.
bool IsInsideSuite(const PathMapping& paths, std::string_view path);

// True when the two local paths are one text once "." and ".." are
// resolved, in any letter case (a file system may ignore it).
bool SamePathText(std::string_view a, std::string_view b, char separator);

// Starts the command line when its program lies inside the suite; false,
// and nothing started, otherwise.
bool StartSuiteCommand(ProcessLauncher& launcher, const PathMapping& paths, std::string_view command_line,
                       WindowStyle style);

// Runs the command line and waits as RunAndWait does, when its program lies
// inside the suite; 0 and nothing started otherwise.
int RunSuiteCommandAndWait(ProcessLauncher& launcher, const PathMapping& paths, std::string_view command_line,
                           int timeout_ms);

}  // namespace tw
