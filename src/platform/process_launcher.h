// Starting programs: the logic hands over a program and its arguments,
// already split, so that no shell ever reads text from a catalogue.
#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace tw {

// Window styles of the started program, kept for platforms that use them.
enum class WindowStyle { Hidden = 0, Normal = 1, MinimizedActive = 2 };

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;
  // argv[0] is the program by its full path: no search path is tried.
  // The program inherits no descriptor beyond 0, 1 and 2. False when it
  // could not be started; nothing is waited for.
  virtual bool Start(const std::vector<std::string>& argv, WindowStyle style,
                     const std::string& folder = "") = 0;
  // Runs the program (started as Start does) and waits for its end, at
  // most `timeout_ms` (-1: no limit). Its exit code; 0 when it could not
  // be started; 259 when it still runs at the limit. A `started_marker`
  // path is created by the new process itself just before the program
  // replaces it, so the file exists once the program may have run, even
  // when this process dies an instant after starting it.
  virtual int RunAndWait(const std::vector<std::string>& argv, int timeout_ms,
                         const std::string& started_marker = {}) = 0;
  // Opens a document with the desktop's default application.
  virtual bool OpenDocument(const std::string& path, const std::string& folder) = 0;
  // Lets `ms` milliseconds pass before returning; a launcher whose waits
  // keep an event loop running keeps it running here too.
  virtual void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  // A file this platform can run as a program.
  virtual bool IsProgram(const std::string& path) = 0;
};

}  // namespace tw
