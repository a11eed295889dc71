// Registration of installed files and the external programs the suite asks
// for: post-setup programs, which are waited for, and the batch command,
// opened through the desktop.
#pragma once

#include <string>
#include <string_view>

#include "platform/process_launcher.h"

namespace tw {

struct EngineContext;

// The registration of a file: "regsvr32" (any case) runs the system's
// registration tool silently on it, "self" runs the file itself; anything
// else registers nothing ("").
std::string RegistrationCommandLine(std::string_view kind, std::string_view system_folder,
                                    std::string_view local_path, char separator);
WindowStyle RegistrationWindowStyle(std::string_view kind);

// Starts a command line without waiting; a program that does not exist
// fails silently (false).
bool StartCommandLine(ProcessLauncher& launcher, std::string_view command_line, WindowStyle style);

// Runs a command line and waits for its end; its exit code, 0 when it
// could not be started.
int RunAndWait(ProcessLauncher& launcher, std::string_view command_line, int timeout_ms);

// The shell's verbs; any other verb, and an empty one, is "open".
std::string ShellVerb(std::string_view verb);

// "open" on a program runs it with `parameters`; any other file, or verb,
// goes to the desktop's default application. A blank `file` does nothing.
void ShellOpen(ProcessLauncher& launcher, std::string_view file, std::string_view parameters,
               std::string_view verb, std::string_view folder);

}  // namespace tw
