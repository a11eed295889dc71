#include "platform/posix/posix_process_launcher.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

extern char** environ;

namespace tw {
namespace {

// Spawns the program, named by its full path (PATH is never searched);
// -1 when it cannot be started. Descriptors from 3 up are closed in the
// child whether or not their owner (libcurl, Qt) marked them close-on-exec.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& folder,
            const std::string& started_marker = {}) {
  if (argv.empty() || argv[0].empty() || argv[0].front() != '/') return -1;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  // Made by the child between fork and exec: it exists whenever the
  // program may have run, also when this process was killed meanwhile.
  if (!started_marker.empty()) {
    posix_spawn_file_actions_addopen(&actions, 3, started_marker.c_str(),
                                     O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    posix_spawn_file_actions_addclose(&actions, 3);
  }
  // An ignored signal stays ignored across exec. The libraries of this
  // process (the session bus's among them) ignore SIGPIPE for their own
  // sockets; a program started with it ignored would go on writing into
  // pipes whose reader has gone.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

// Waits for the child until `timeout_ms` has passed; false when it still
// runs then. A process descriptor turns readable when the child ends;
// without one the child is asked every few milliseconds.
bool WaitUntil(pid_t pid, int timeout_ms, bool use_pidfd, int& status) {
  const int pidfd = use_pidfd ? static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)) : -1;
  if (pidfd >= 0) {
    pollfd watch{pidfd, POLLIN, 0};
    int ready;
    while ((ready = ::poll(&watch, 1, timeout_ms)) < 0 && errno == EINTR) {
    }
    ::close(pidfd);
    if (ready == 0) return false;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno != EINTR)) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
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

int PosixProcessLauncher::RunAndWait(const std::vector<std::string>& argv, int timeout_ms,
                                     const std::string& started_marker) {
  pid_t pid = Spawn(argv, "", started_marker);
  // A marker that cannot be made must not keep the program from running.
  if (pid <= 0 && !started_marker.empty()) pid = Spawn(argv, "");
  if (pid <= 0) return 0;
  int status = 0;
  if (timeout_ms < 0) {
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  } else if (!WaitUntil(pid, timeout_ms, pidfd_, status)) {
    // Still running at the limit: it goes on, and its code is not known.
    Reap(pid);
    return 259;  // the platform's "still active" exit code
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 0;
}

// The desktop's opener is a system tool, taken from where the system keeps
// it rather than from PATH, which a user's own folders may come first in.
bool PosixProcessLauncher::OpenDocument(const std::string& path, const std::string& folder) {
  static constexpr const char* kOpeners[] = {"/usr/bin/xdg-open", "/usr/local/bin/xdg-open", "/bin/xdg-open"};
  std::string opener;
  for (const char* candidate : kOpeners)
    if (IsProgram(candidate)) {
      opener = candidate;
      break;
    }
  const pid_t pid = Spawn({opener, path}, folder);
  if (pid <= 0) return false;
  Reap(pid);
  return true;
}

bool PosixProcessLauncher::IsProgram(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace tw
