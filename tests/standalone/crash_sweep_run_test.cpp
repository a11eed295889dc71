// The program killed (SIGKILL) at random moments of a hidden run over
// several modules with post-setup programs, then started again: every
// module file is whole, and every newly installed module has had its
// post-setup program run exactly once.
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <filesystem>
#include <gtest/gtest.h>
#include <algorithm>
#include <map>
#include <random>
#include <sstream>

#include "common/settings_keys.h"
#include "platform/qt/qt_settings_store.h"
#include "support/nginx_server.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using testing::ReadTextFile;
using testing::WriteTextFile;

constexpr long long kJan2021 = 1609502400;
// d1 and d2 are installed in an older version; the others are new.
const std::vector<std::string> kModules = {"d0", "d1", "d2", "d3", "d4", "d5"};
bool IsNew(const std::string& module) { return module != "d1" && module != "d2"; }

std::string Content(const std::string& module, char seed) {
  std::string text(1 << 20, '\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(seed + module[1] + i % 251);
  return text;
}

class RunCrashSweep : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(nginx_.running());
    base_ = nginx_.FreshBase();
    fs::create_directories(Suite("Eseguibili"));
    fs::copy_file(TARNWICK_EXECUTABLE, Suite("Eseguibili/Tarnwick"));
    WriteTextFile(Suite("Eseguibili/post.sh"), "#!/bin/sh\necho \"$1\" >> \"" + dir_ / "post-setup.txt" + "\"\n");
    fs::permissions(Suite("Eseguibili/post.sh"), fs::perms::owner_all);
    std::string setup;
    for (const std::string& m : kModules) {
      if (m != "d0") setup += m + "={DATI}\\" + m + ".dat\r\n";
      nginx_.Put(base_ + "/dati/" + m + ".dat", Content(m, 'N'), kJan2021);
    }
    for (const std::string& m : kModules)
      nginx_.Put(base_ + "/dati/" + m + ".dat.ini", "[Release]\r\n" + std::string(m == "d0" ? "[Setup]\r\n" + setup : "") +
                                                        "[PostSetup]\r\n1={ESEGUIBILI}\\post.sh " + m + "\r\n");
  }
  std::string Suite(const std::string& relative) { return dir_ / ("Suite/" + relative); }

  // The suite as it was before any run, and settings that know only the
  // repository.
  void Reset() {
    fs::remove_all(Suite("Dati"));
    fs::create_directories(Suite("Dati"));
    for (const std::string& m : kModules)
      if (!IsNew(m)) {
        WriteTextFile(Suite("Dati/" + m + ".dat"), Content(m, 'o'));
        fs::last_write_time(Suite("Dati/" + m + ".dat"), fs::file_time_type::clock::now() - std::chrono::hours(24 * 3650));
      }
    fs::remove(dir_ / "post-setup.txt");
    QtSettingsStore settings;
    fs::remove(settings.FilePath(settings::kApplication));
    settings.Write(settings::kApplication, settings::kSection, settings::kRemoteHost, nginx_.Location(base_));
    settings.Flush();
  }

  // Starts a hidden run without a display; killed after `kill_after_ms`
  // (-1: never). True when the kill found it still running.
  bool Run(int kill_after_ms) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(QString::fromStdString(Suite("Eseguibili/Tarnwick")), {"@h", "@m", "{DATI}\\d0.dat"});
    if (kill_after_ms < 0) return !process.waitForFinished(120000);
    process.waitForStarted();
    if (process.waitForFinished(kill_after_ms)) return false;
    process.kill();
    process.waitForFinished();
    return true;
  }

  // How many files hold neither their old nor their new content.
  int Damaged() {
    int damaged = 0;
    for (const std::string& m : kModules) {
      const std::string path = Suite("Dati/" + m + ".dat");
      if (!fs::exists(path)) continue;
      const std::string content = ReadTextFile(path);
      if (content != Content(m, 'N') && (IsNew(m) || content != Content(m, 'o'))) ++damaged;
    }
    return damaged;
  }

  std::map<std::string, int> PostSetupRuns() {
    std::map<std::string, int> runs;
    std::istringstream lines(fs::exists(dir_ / "post-setup.txt") ? ReadTextFile(dir_ / "post-setup.txt") : "");
    for (std::string line; std::getline(lines, line);) ++runs[line];
    return runs;
  }

  testing::NginxServer& nginx_ = testing::NginxServer::Shared();
  testing::TempDir dir_;
  std::string base_;
};

TEST_F(RunCrashSweep, KilledAtRandomMomentsTheNextStartLeavesEveryFileWholeAndEveryPostSetupRunOnce) {
  // How long a whole run takes here (the longer of two): the kills fall
  // across it.
  int whole_run_ms = 0;
  for (int i = 0; i < 2; ++i) {
    Reset();
    QElapsedTimer clock;
    clock.start();
    ASSERT_FALSE(Run(-1));
    whole_run_ms = std::max(whole_run_ms, static_cast<int>(clock.elapsed()));
    ASSERT_EQ(Damaged(), 0);
  }

  std::mt19937 random(20261209);
  // A run's length varies with the machine's load: the range of the
  // moments follows it, shrinking after a kill that found the run ended.
  int range_ms = whole_run_ms;
  int inside = 0, damaged = 0, missed = 0, twice = 0;
  constexpr int kKills = 40;
  for (int i = 0; i < kKills; ++i) {
    Reset();
    const int moment = std::uniform_int_distribution<int>(1, std::max(range_ms, 20))(random);
    if (Run(moment)) ++inside;
    else range_ms = moment;
    damaged += Damaged();
    ASSERT_FALSE(Run(-1));  // started again, to its end
    damaged += Damaged();
    auto runs = PostSetupRuns();
    for (const std::string& m : kModules) {
      const int count = runs[m];
      EXPECT_EQ(ReadTextFile(Suite("Dati/" + m + ".dat")), Content(m, 'N')) << m;
      if (!IsNew(m)) EXPECT_EQ(count, 0) << m;  // an update has no post-setup
      else if (count == 0) ++missed;
      else if (count > 1) ++twice;
    }
  }
  std::printf("[ figures  ] %d kills at random moments of a %d ms run, %d inside it: "
              "%d damaged files, %d post-setup programs missed, %d run twice\n",
              kKills, whole_run_ms, inside, damaged, missed, twice);
  EXPECT_EQ(damaged, 0);
  EXPECT_EQ(missed, 0);
  // A kill while a program runs (it goes on without the updater) or before
  // its entry is removed: its start marker keeps the next start from
  // running it again.
  EXPECT_EQ(twice, 0);
  EXPECT_GT(inside, 0);
}

}  // namespace
}  // namespace tw
