// A helper process replaces a 1 MiB file and is killed, at every step of
// the replacement in turn and then at random moments: the target must
// always hold the whole old or the whole new content. Two helpers replacing
// one file at once take turns.
#include <fcntl.h>
#include <poll.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <thread>

#include "support/temp_dir.h"

namespace tw {
namespace {

using testing::ReadTextFile;
using testing::WriteTextFile;

std::string Pattern(char seed) {
  std::string text(1 << 20, '\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(seed + i % 251);
  return text;
}

// `signal_fd`: where the helper says "S" as its replacements start and
// "E" when they have ended (-1: nowhere).
pid_t Spawn(const std::string& target, const std::string& content, int die_at, int repeats = 1,
            int signal_fd = -1) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const std::string step = std::to_string(die_at), times = std::to_string(repeats),
                      fd = std::to_string(signal_fd);
    ::execl(REPLACE_HELPER, REPLACE_HELPER, target.c_str(), content.c_str(), step.c_str(), times.c_str(),
            fd.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return pid;
}

// A pipe whose write end the helper inherits; what it said is read back
// once it has ended.
class HelperSignals {
 public:
  HelperSignals() {
    if (::pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
    ::fcntl(fds_[0], F_SETFL, O_NONBLOCK);
    ::fcntl(fds_[0], F_SETFD, FD_CLOEXEC);
  }
  ~HelperSignals() {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  int write_end() const { return fds_[1]; }
  // Waits, without taking the processor from the helper, until something
  // can be read.
  bool Wait() {
    pollfd ready{fds_[0], POLLIN, 0};
    return ::poll(&ready, 1, 20000) == 1;
  }
  // Everything said since the last call.
  std::string Said() {
    std::string out;
    char buffer[16];
    ssize_t n;
    while ((n = ::read(fds_[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
    return out;
  }

 private:
  int fds_[2] = {-1, -1};
};

// True when the helper finished on its own.
bool Finished(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class CrashSweep : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteTextFile(old_file_, old_);
    WriteTextFile(new_file_, new_);
  }
  const std::string& Holds() {
    const std::string content = ReadTextFile(target_);
    if (content == old_) return old_;
    if (content == new_) return new_;
    ADD_FAILURE() << "the target holds " << content.size() << " bytes of neither version";
    return old_;
  }

  testing::TempDir dir_;
  const std::string target_ = dir_ / "Eseguibili/modulo.dll";
  const std::string old_file_ = dir_ / "old.bin", new_file_ = dir_ / "new.bin";
  const std::string old_ = Pattern('a'), new_ = Pattern('A');
};

TEST_F(CrashSweep, KilledAtEveryStepTheTargetIsWholeAndTheNextRunFinishes) {
  int steps = 0;
  for (;; ++steps) {
    ASSERT_LT(steps, 50);
    WriteTextFile(target_, old_);
    const bool finished = Finished(Spawn(target_, new_file_, steps));
    const std::string& holds = Holds();
    if (finished) {
      EXPECT_EQ(&holds, &new_);
    }
    // Whatever was left behind, the next run completes the replacement.
    ASSERT_TRUE(Finished(Spawn(target_, new_file_, -1))) << "step " << steps;
    EXPECT_EQ(&Holds(), &new_);
    if (finished) break;
  }
  EXPECT_GE(steps, 7);
  std::printf("[ figures  ] killed before each of %d file operations: target whole every time\n", steps);
}

// Where the replacement lies after a spawn, in microseconds: the medians
// of its start and end over several runs (the first, cold run is no guide
// to the others). Empty when a helper ended without replacing.
struct Stretch {
  long earliest = 0, latest = 0;
};
std::optional<Stretch> TimeTheReplacement(const std::function<pid_t()>& spawn, HelperSignals& signals,
                                          const std::function<bool(pid_t)>& finished) {
  using Clock = std::chrono::steady_clock;
  std::vector<long> starts, ends;
  for (int run = 0; run < 5; ++run) {
    const auto spawned = Clock::now();
    const pid_t pid = spawn();
    std::string said;
    long started = -1;
    while (said.find('E') == std::string::npos) {
      if (!signals.Wait()) return std::nullopt;
      said += signals.Said();
      const auto now = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - spawned).count();
      if (started < 0 && said.find('S') != std::string::npos) started = static_cast<long>(now);
      if (said.find('E') != std::string::npos) ends.push_back(static_cast<long>(now));
    }
    starts.push_back(started);
    if (!finished(pid)) return std::nullopt;
  }
  std::sort(starts.begin(), starts.end());
  std::sort(ends.begin(), ends.end());
  return Stretch{starts[starts.size() / 2], ends[ends.size() / 2]};
}

TEST_F(CrashSweep, KilledAtRandomMomentsInsideTheReplacementTheTargetIsWhole) {
  WriteTextFile(target_, old_);
  HelperSignals signals;
  std::mt19937 random(20261208);
  const std::string* expected = &old_;
  int kills = 0, completed = 0, outside = 0, inside_old = 0, inside_new = 0;
  // Rounds until enough kills landed inside: a busy machine moves the
  // stretch, so each round times it again.
  for (int round = 0; round < 6 && inside_old + inside_new <= 20; ++round) {
    const auto stretch = TimeTheReplacement(
        [&] { return Spawn(target_, expected == &old_ ? old_file_ : new_file_, -1, 1, signals.write_end()); },
        signals, [&](pid_t pid) { return Finished(pid); });
    ASSERT_TRUE(stretch) << "the helper ended without replacing";
    const long margin = (stretch->latest - stretch->earliest) / 4;
    std::uniform_int_distribution<long> delay(std::max(0L, stretch->earliest - margin), stretch->latest + margin);
    for (int i = 0; i < 100; ++i, ++kills) {
      const bool to_new = expected == &old_;
      const pid_t pid = Spawn(target_, to_new ? new_file_ : old_file_, -1, 1, signals.write_end());
      std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
      ::kill(pid, SIGKILL);
      const bool finished = Finished(pid);
      const std::string said = signals.Said();
      const std::string* holds = &Holds();
      // Only a kill between "S" and "E" lands inside the replacement.
      if (finished) ++completed;
      else if (said != "S") ++outside;
      else if (holds == expected) ++inside_old;
      else ++inside_new;
      expected = holds;
    }
  }
  std::printf("[ figures  ] %d random kills: %d completed, %d outside the replacement, %d inside it before the "
              "swap (old content), %d after it (new content), 0 damaged\n",
              kills, completed, outside, inside_old, inside_new);
  EXPECT_GT(inside_old + inside_new, 20);
}

TEST_F(CrashSweep, TwoProcessesReplacingOneFileTakeTurnsAndTheTargetIsAlwaysWhole) {
  // Smaller contents, so that many replacements overlap in little time.
  const std::string first(64 << 10, 'a'), second(64 << 10, 'b');
  WriteTextFile(old_file_, first);
  WriteTextFile(new_file_, second);
  WriteTextFile(target_, first);
  const pid_t a = Spawn(target_, old_file_, -1, 150);
  const pid_t b = Spawn(target_, new_file_, -1, 150);
  int reads = 0, damaged = 0;
  int status_a = -1, status_b = -1;
  // The target is read over and over until both helpers have ended.
  while (status_a < 0 || status_b < 0) {
    const std::string content = ReadTextFile(target_);
    ++reads;
    if (content != first && content != second) ++damaged;
    int status = 0;
    if (status_a < 0 && ::waitpid(a, &status, WNOHANG) == a) status_a = status;
    if (status_b < 0 && ::waitpid(b, &status, WNOHANG) == b) status_b = status;
  }
  EXPECT_TRUE(WIFEXITED(status_a) && WEXITSTATUS(status_a) == 0);
  EXPECT_TRUE(WIFEXITED(status_b) && WEXITSTATUS(status_b) == 0);
  EXPECT_EQ(damaged, 0) << "of " << reads << " reads";
  EXPECT_FALSE(std::filesystem::exists(target_ + ".new"));
  EXPECT_FALSE(std::filesystem::exists(target_ + ".old"));
  std::printf("[ figures  ] 2 x 150 concurrent replacements, %d reads of the target: all whole\n", reads);
}

// Root ignores permissions, so the unwritable folder is met by the helper
// running as an ordinary user (a copy of it in the test's own folder, which
// that user can reach).
TEST_F(CrashSweep, UnwritableFolderFailsAndLeavesTheTarget) {
  WriteTextFile(target_, old_);
  const std::string helper = dir_ / "replace_helper";
  std::filesystem::copy_file(REPLACE_HELPER, helper);
  for (const std::string& path : {dir_.path(), new_file_, target_, helper})
    ::chmod(path.c_str(), path == new_file_ || path == target_ ? 0644 : 0755);
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], 1);
    if (::geteuid() == 0) {
      ::execlp("setpriv", "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", helper.c_str(),
               target_.c_str(), new_file_.c_str(), "-1", static_cast<char*>(nullptr));
    } else {
      ::chmod((dir_ / "Eseguibili").c_str(), 0555);
      ::execl(helper.c_str(), helper.c_str(), target_.c_str(), new_file_.c_str(), "-1",
              static_cast<char*>(nullptr));
    }
    ::_exit(127);
  }
  ::close(out[1]);
  char buffer[256] = {};
  const ssize_t n = ::read(out[0], buffer, sizeof buffer - 1);
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::chmod((dir_ / "Eseguibili").c_str(), 0755);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  // The replacement itself reported the failure, with the system's number.
  EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0), "errore 13: Permesso negato\n");
  EXPECT_EQ(&Holds(), &old_);
  EXPECT_EQ(ReadTextFile(target_ + ".new"), "");
}

}  // namespace
}  // namespace tw
