#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <ctime>

#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_system_info.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

using testing::TempDir;

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = ::getenv(name)) old_ = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
    ::tzset();
  }
  ~ScopedEnv() {
    old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_);
    ::tzset();
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(PosixSystemInfo, SpecialFoldersArePerUserAndOverridable) {
  ScopedEnv home("HOME", "/home/anna");
  ScopedEnv data("XDG_DATA_HOME", nullptr);
  ScopedEnv sys("TARNWICK_SYSTEM_DIR", nullptr);
  ScopedEnv fonts("TARNWICK_FONTS_DIR", "/srv/fonts/");
  ScopedEnv windows("TARNWICK_WINDOWS_DIR", nullptr);
  EXPECT_EQ(PerUserSpecialFolder(SpecialFolder::System), "/home/anna/.local/lib");
  EXPECT_EQ(PerUserSpecialFolder(SpecialFolder::Windows), "/home/anna/.local/share/Velmora/Windows");
  EXPECT_EQ(PerUserSpecialFolder(SpecialFolder::Fonts), "/srv/fonts");
  EXPECT_EQ(PerUserDataFolder(), "/home/anna/.local/share");
  ScopedEnv data2("XDG_DATA_HOME", "/data/");
  // The Windows folder is the suite's own, never the whole data folder
  // where user services and desktop entries live.
  EXPECT_EQ(PerUserSpecialFolder(SpecialFolder::Windows), "/data/Velmora/Windows");
  EXPECT_EQ(PerUserDataFolder(), "/data");
  {
    // Relative: ignored, as if unset.
    ScopedEnv relative("XDG_DATA_HOME", "dati");
    EXPECT_EQ(PerUserDataFolder(), "/home/anna/.local/share");
    EXPECT_EQ(PerUserSpecialFolder(SpecialFolder::Windows), "/home/anna/.local/share/Velmora/Windows");
  }
  ScopedEnv windows2("TARNWICK_WINDOWS_DIR", "/srv/win");
  EXPECT_EQ(PerUserSpecialFolder(SpecialFolder::Windows), "/srv/win");
}

TEST(PosixSystemInfo, BiasIsTheStandardOffsetInEverySeason) {
  PosixSystemInfo info("", "/opt/suite/Eseguibili/Tarnwick", StartMode::Standalone);
  {
    ScopedEnv tz("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(info.TimeZoneBias(), -60);
  }
  {
    ScopedEnv tz("TZ", "EST5EDT,M3.2.0,M11.1.0");
    EXPECT_EQ(info.TimeZoneBias(), 300);
  }
  {
    ScopedEnv tz("TZ", "UTC0");
    EXPECT_EQ(info.TimeZoneBias(), 0);
    EXPECT_EQ(info.CurrentUtcBias(), 0);
  }
  EXPECT_EQ(info.ProgramFolder(), "/opt/suite/Eseguibili");
  EXPECT_EQ(info.ExecutableName(), "Tarnwick");
}

TEST(PosixFileSystem, ALockHeldByThisProcessFailsInsteadOfWaitingForItself) {
  TempDir dir;
  PosixFileSystem files;
  const std::string path = dir / ".tarnwick.lock";
  {
    auto first = files.LockFile(path);
    ASSERT_TRUE(first);
    const auto second = PosixFileSystem().LockFile(path);
    ASSERT_FALSE(second);
    EXPECT_EQ(second.error().number, EDEADLK);
  }
  EXPECT_TRUE(files.LockFile(path));
}

TEST(PosixFileSystem, ModificationTimeChangesAloneAndHiddenFilesCountAsMissing) {
  TempDir dir;
  PosixFileSystem fs;
  const std::string file = dir / "modulo.dat";
  const std::uint8_t bytes[] = {1, 2, 3};
  ASSERT_FALSE(fs.WriteBytes(file, bytes).has_value());
  struct stat before {};
  ASSERT_EQ(::stat(file.c_str(), &before), 0);
  ASSERT_FALSE(fs.SetModificationTime(file, 784111777).has_value());
  struct stat after {};
  ASSERT_EQ(::stat(file.c_str(), &after), 0);
  EXPECT_EQ(after.st_mtim.tv_sec, 784111777);
  EXPECT_EQ(after.st_atim.tv_sec, before.st_atim.tv_sec);
  EXPECT_EQ(after.st_atim.tv_nsec, before.st_atim.tv_nsec);
  EXPECT_EQ(fs.LastModified(file), 784111777);
  EXPECT_TRUE(fs.NormalFileExists(file));
  EXPECT_FALSE(fs.NormalFileExists(dir.path()));
  ASSERT_FALSE(fs.WriteBytes(dir / ".nascosto", bytes).has_value());
  EXPECT_FALSE(fs.NormalFileExists(dir / ".nascosto"));

  const FileResult missing = fs.SetModificationTime(dir / "assente", 1);
  ASSERT_TRUE(missing.has_value());
  EXPECT_EQ(missing->description, "Percorso non trovato");
}

}  // namespace
}  // namespace tw
