// Registration of the automation server with the session bus: an activation
// file that lets the bus start the program for the first call.
#pragma once

#include <string>

namespace tw {

inline constexpr char kAutomationService[] = "it.velmora.Tarnwick";
inline constexpr char kAutomationPath[] = "/Global";
inline constexpr char kAutomationInterface[] = "it.velmora.Tarnwick.Global";

// $XDG_DATA_HOME/dbus-1/services/it.velmora.Tarnwick.service
std::string ActivationFilePath();
// Writes the file, whose Exec line starts `executable` with --automation.
bool RegisterAutomationServer(const std::string& executable);
bool UnregisterAutomationServer();

}  // namespace tw
