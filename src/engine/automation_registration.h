// Registration of the automation server with the session bus: an activation
// file that lets the bus start the program for the first call.
#pragma once

#include <string>

namespace tw {

class SystemInfo;

inline constexpr char kAutomationService[] = "it.velmora.Tarnwick";
inline constexpr char kAutomationPath[] = "/Global";
inline constexpr char kAutomationInterface[] = "it.velmora.Tarnwick.Global";

// <user data folder>/dbus-1/services/it.velmora.Tarnwick.service; "" when
// the system reports no data folder.
std::string ActivationFilePath(SystemInfo& system);
// Writes the file, whose Exec line starts `executable` with --automation.
bool RegisterAutomationServer(SystemInfo& system, const std::string& executable);
bool UnregisterAutomationServer(SystemInfo& system);

}  // namespace tw
