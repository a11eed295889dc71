#include "platform/posix/posix_process_launcher.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

extern char** environ;

namespace tw {
namespace {

// Spawns the program; -1 when it cannot be started.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& folder) {
  if (argv.empty() || argv[0].empty()) return -1;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  pid_t pid = -1;
  const int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

// A child started without waiting is reaped by a thread of its own, so it
// never lingers as a zombie.
void Reap(pid_t pid) {
  std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
}

}  // namespace

bool PosixProcessLauncher::Start(const std::vector<std::string>& argv, WindowStyle,
                                 const std::string& folder) {
  const pid_t pid = Spawn(argv, folder);
  if (pid <= 0) return false;
  Reap(pid);
  return true;
}

int PosixProcessLauncher::RunAndWait(const std::vector<std::string>& argv, int timeout_ms) {
  const pid_t pid = Spawn(argv, "");
  if (pid <= 0) return 0;
  int status = 0;
  if (timeout_ms < 0) {
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  } else {
    // A process descriptor turns readable when the child ends.
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    pollfd watch{pidfd, POLLIN, 0};
    if (pidfd >= 0 && ::poll(&watch, 1, timeout_ms) == 0) {
      // Still running at the limit: it goes on, and its code is not known.
      ::close(pidfd);
      Reap(pid);
      return 259;  // the platform's "still active" exit code
    }
    if (pidfd >= 0) ::close(pidfd);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 0;
}

bool PosixProcessLauncher::OpenDocument(const std::string& path, const std::string& folder) {
  return Start({"xdg-open", path}, WindowStyle::Normal, folder);
}

bool PosixProcessLauncher::IsProgram(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace tw
