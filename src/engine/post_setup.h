// Programs a catalogue document asks the updater to start: post-setup
// programs and files that register themselves. Besides lying inside the
// suite, none may be the updater itself, its ".update" copy or the
// launcher: the updater runs whatever a batch switch hands it, so starting
// it from a document would run any command line the document wrote.
#pragma once

#include <string>
#include <string_view>

namespace tw {

struct EngineContext;

// True when the local path names the running updater, the updater the
// self-update keeps in the executables folder, either's ".update" copy or
// the launcher, in any spelling or through any link the platform can see.
bool IsUpdaterProgram(EngineContext& ctx, std::string_view program);

// Runs a post-setup command line and waits for its end, as the suite's
// own programs are run. The updater and the launcher are refused, and a
// program that could not run or ended with a failure is logged; either
// way it counts as done. True when it ran and ended well.
// A `started_marker` path is made as the program starts (see
// ProcessLauncher::RunAndWait).
bool RunPostSetupProgram(EngineContext& ctx, std::string_view command_line, const std::string& started_marker = {});

}  // namespace tw
