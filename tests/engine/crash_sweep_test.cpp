// A helper process replaces a 1 MiB file and is killed, at every step of
// the replacement in turn and then at random moments: the target must
// always hold the whole old or the whole new content.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
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

pid_t Spawn(const std::string& target, const std::string& content, int die_at) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const std::string step = std::to_string(die_at);
    ::execl(REPLACE_HELPER, REPLACE_HELPER, target.c_str(), content.c_str(), step.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return pid;
}

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

TEST_F(CrashSweep, KilledAtRandomMomentsTheTargetIsWhole) {
  WriteTextFile(target_, old_);
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(Finished(Spawn(target_, old_file_, -1)));
  const auto full_run = std::chrono::steady_clock::now() - start;
  const auto longest = std::chrono::duration_cast<std::chrono::microseconds>(full_run * 3 / 2);

  std::mt19937 random(20261208);
  std::uniform_int_distribution<long> delay(0, longest.count());
  const std::string* expected = &old_;
  int completed = 0, interrupted_old = 0, interrupted_new = 0;
  for (int i = 0; i < 200; ++i) {
    const bool to_new = expected == &old_;
    const pid_t pid = Spawn(target_, to_new ? new_file_ : old_file_, -1);
    std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
    ::kill(pid, SIGKILL);
    const bool finished = Finished(pid);
    const std::string* holds = &Holds();
    if (finished) ++completed;
    else if (holds == expected) ++interrupted_old;
    else ++interrupted_new;
    expected = holds;
  }
  std::printf("[ figures  ] 200 random kills (full run %lld us): %d completed, %d cut before the "
              "swap (old content), %d cut after it (new content), 0 damaged\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(full_run).count()),
              completed, interrupted_old, interrupted_new);
  EXPECT_GT(interrupted_old + interrupted_new, 20);
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
