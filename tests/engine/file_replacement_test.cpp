#include "engine/file_replacement.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <functional>
#include <utility>

#include "catalogue/path_mapping.h"
#include "common/settings_keys.h"
#include "engine/engine_context.h"
#include "engine/engine_fixture.h"
#include "platform/posix/posix_file_system.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

using testing::ReadTextFile;
using testing::TempDir;
using testing::WriteTextFile;

const DateValue kDate = DateValue::FromCalendar(1994, 11, 6, 9, 49, 37);

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The real file system under a folder of the test's own.
class ReplacementOnDisk : public ::testing::Test {
 protected:
  ReplacementOnDisk()
      : ctx_{f_.paths, f_.repo, disk_, f_.settings, f_.system, f_.catalogue, f_.launcher, ""} {}

  bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
  }
  unsigned Mode(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
  }

  TempDir dir_;
  testing::EngineFixture f_;
  PosixFileSystem disk_;
  EngineContext ctx_;
};

TEST_F(ReplacementOnDisk, NewTargetInNewFoldersGetsContentDateAndRecord) {
  const std::string target = dir_ / "Dati/Utenti/pc1/conf.ini";
  ASSERT_TRUE(UpdateFile(ctx_, target, Bytes("nuovo"), kDate));
  EXPECT_EQ(ReadTextFile(target), "nuovo");
  EXPECT_FALSE(Exists(target + ".new"));
  EXPECT_FALSE(Exists(target + ".old"));
  EXPECT_EQ(disk_.LastModified(target), DateValue::FromCalendar(1994, 11, 6, 9, 49, 37).ToUnixSeconds());
  EXPECT_EQ(f_.settings.Get(settings::kLastModifiedSection, target), kDate.ToSettingsText());
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(Mode(target), 0644u & ~mask);
  ASSERT_TRUE(UpdateFile(ctx_, dir_ / "Eseguibili/Run", Bytes("\x7F" "ELF..."), kDate));
  EXPECT_EQ(Mode(dir_ / "Eseguibili/Run"), 0755u & ~mask);
  ASSERT_TRUE(UpdateFile(ctx_, dir_ / "Eseguibili/post.sh", Bytes("#!/bin/sh\n"), kDate));
  EXPECT_EQ(Mode(dir_ / "Eseguibili/post.sh"), 0755u & ~mask);
}

TEST_F(ReplacementOnDisk, ExistingTargetKeepsItsPermissionBitsAndLeftoversAreReplaced) {
  const std::string target = dir_ / "prog";
  WriteTextFile(target, "vecchio");
  ::chmod(target.c_str(), 0750);
  WriteTextFile(target + ".new", "un resto molto più lungo del nuovo contenuto");
  WriteTextFile(target + ".old", "resto");
  ASSERT_TRUE(UpdateFile(ctx_, target, Bytes("nuovo"), kDate));
  EXPECT_EQ(ReadTextFile(target), "nuovo");
  EXPECT_EQ(Mode(target), 0750u);
  EXPECT_FALSE(Exists(target + ".new"));
  EXPECT_FALSE(Exists(target + ".old"));
}

TEST_F(ReplacementOnDisk, TargetMovedAsideByAnEarlierCrashIsPutBack) {
  const std::string target = dir_ / "prog";
  WriteTextFile(target + ".old", "vecchio");  // the target itself is gone
  // ".new" cannot be written (a folder holds its name): the replacement
  // fails, and the old content is in place again.
  std::filesystem::create_directory(target + ".new");
  ASSERT_FALSE(UpdateFile(ctx_, target, Bytes("nuovo"), kDate));
  EXPECT_EQ(ReadTextFile(target), "vecchio");
  std::filesystem::remove(target + ".new");
  ASSERT_TRUE(UpdateFile(ctx_, target, Bytes("nuovo"), kDate));
  EXPECT_EQ(ReadTextFile(target), "nuovo");
}

TEST_F(ReplacementOnDisk, AnotherUserReplacesAFileInAFolderTheSuiteShares) {
  // The suite's users share its folders (a group with write access): the
  // replacements lock the folder itself, and leave no lock file among the
  // modules for another user to trip over or aim elsewhere.
  const std::string folder = dir_ / "Dati";
  std::filesystem::create_directory(folder);
  ::chmod(dir_.path().c_str(), 0755);
  ::chmod(folder.c_str(), 0777);
  const std::string target = folder + "/comune.dat";
  ASSERT_TRUE(UpdateFile(ctx_, target, Bytes("primo"), kDate));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);

  auto replace = [this, &target] {
    PosixFileSystem disk;
    EngineContext ctx{f_.paths, f_.repo, disk, f_.settings, f_.system, f_.catalogue, f_.launcher, ""};
    return static_cast<bool>(UpdateFile(ctx, target, Bytes("secondo"), kDate));
  };
  if (::geteuid() == 0) {
    // The superuser opens anything: the other user is a real one.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const bool other = ::setgid(65534) == 0 && ::setuid(65534) == 0;
      ::_exit(other ? (replace() ? 0 : 1) : 2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  } else {
    EXPECT_TRUE(replace());
  }
  EXPECT_EQ(ReadTextFile(target), "secondo");
  EXPECT_FALSE(Exists(target + ".new"));
  EXPECT_FALSE(Exists(target + ".old"));
}

// A download under way holds only its own ".new": another file of the
// same folder is replaced at once, and another process replacing the same
// file takes its turn when the download has been put in place.
TEST_F(ReplacementOnDisk, ADownloadUnderWayHoldsNoLockOfItsFolder) {
  const std::string folder = dir_ / "Dati", large = folder + "/grande.dat", small = folder + "/piccolo.dat";
  auto staged = StagedFile::Open(ctx_, large);
  ASSERT_TRUE(staged);
  ASSERT_TRUE(staged->Write(Bytes("la prima parte")));  // the rest has not arrived yet
  ASSERT_TRUE(UpdateFile(ctx_, small, Bytes("ventidue byte in tutto"), kDate));
  // Only "grande.dat.new" and "piccolo.dat": no lock file.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 2);

  const pid_t other = ::fork();
  ASSERT_GE(other, 0);
  if (other == 0) ::_exit(UpdateFile(ctx_, large, Bytes("dell'altro processo"), kDate) ? 0 : 1);
  ASSERT_TRUE(staged->Write(Bytes(" e il resto")));
  ASSERT_TRUE(staged->Finish(kDate));
  ASSERT_TRUE(staged->Commit());
  int status = 0;
  ASSERT_EQ(::waitpid(other, &status, 0), other);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadTextFile(large), "dell'altro processo");  // its turn came after ours
  EXPECT_FALSE(Exists(large + ".new"));
}

TEST_F(ReplacementOnDisk, ALinkPlantedUnderTheStagingNameIsNotWrittenThrough) {
  const std::string target = dir_ / "Dati/comune.dat";
  const std::string elsewhere = dir_ / "altrui.txt";
  WriteTextFile(target, "vecchio");
  WriteTextFile(elsewhere, "di un altro");
  auto staged = StagedFile::Open(ctx_, target);
  ASSERT_TRUE(staged);
  // Someone else with access to the folder, while the download waits: the
  // link is nobody's staging file, and goes.
  std::filesystem::create_symlink(elsewhere, target + ".new");
  EXPECT_TRUE(staged->Write(Bytes("contenuto nuovo")));
  EXPECT_EQ(ReadTextFile(elsewhere), "di un altro");
  EXPECT_EQ(ReadTextFile(target), "vecchio");
  ASSERT_TRUE(staged->Finish(kDate));
  ASSERT_TRUE(staged->Commit());
  EXPECT_EQ(ReadTextFile(target), "contenuto nuovo");
  EXPECT_EQ(ReadTextFile(elsewhere), "di un altro");
}

// A folder of the way swapped for a link after the path was checked, as
// the replacement opens it: refused, and nothing lands outside the suite.
class SwappingFileSystem : public PosixFileSystem {
 public:
  std::function<void()> before_open;
  Expected<std::unique_ptr<OpenFolder>, FileError> OpenFolderBelow(std::string_view top,
                                                                  std::string_view folder) override {
    if (before_open) std::exchange(before_open, nullptr)();
    return PosixFileSystem::OpenFolderBelow(top, folder);
  }
};

TEST_F(ReplacementOnDisk, AFolderSwappedForALinkAfterTheCheckIsNotWrittenThrough) {
  namespace fs = std::filesystem;
  const std::string suite = dir_ / "suite", outside = dir_ / "altrove", users = suite + "/Dati/Utenti";
  fs::create_directories(users + "/pc1");
  fs::create_directories(outside);
  PathMapping paths(MakePlaceholderTable({suite, "/pc1", "", "", ""}, '/'), "pc1", '/');
  SwappingFileSystem disk;
  disk.before_open = [&] {
    fs::rename(users, suite + "/Dati/Vecchi");
    fs::create_symlink(outside, users);
  };
  EngineContext ctx{paths, f_.repo, disk, f_.settings, f_.system, f_.catalogue, f_.launcher, ""};
  const auto replaced = UpdateFile(ctx, users + "/pc1/Impostazioni.dat", Bytes("nuovo"), kDate);
  ASSERT_FALSE(replaced);
  EXPECT_EQ(replaced.error().Number, ELOOP);
  EXPECT_TRUE(fs::is_empty(outside));
}

// Where no second name can be made the old content is copied; a copy that
// fails part-way (the disk fills up) is not left behind.
TEST(LinkOrCopyOnDisk, ACopyThatFailsPartWayLeavesNothingBehind) {
  // The kernel refuses a user a link to another user's file: the way to a
  // copy on an ordinary disk, for a superuser that can be another user.
  if (::geteuid() != 0 || ReadTextFile("/proc/sys/fs/protected_hardlinks") != "1\n")
    GTEST_SKIP() << "needs the superuser and protected hard links";
  TempDir dir;
  ::chmod(dir.path().c_str(), 0777);
  const std::string source = dir / "modulo.bin", copy = source + ".old";
  WriteTextFile(source, std::string(64 * 1024, 'x'));
  ::chmod(source.c_str(), 0644);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Files of this process end at 4 KiB, as a full disk would end them.
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    PosixFileSystem disk;
    const FileResult result = disk.LinkOrCopy(source, copy);
    struct stat st {};
    ::_exit(!result ? 1 : ::lstat(copy.c_str(), &st) == 0 ? 2 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);  // 1: no failure, 2: the half copy stayed
}

class ReplacementFailures : public ::testing::Test {
 protected:
  testing::EngineFixture f_;
  const std::string target_ = "/opt/suite/Eseguibili/prog.exe";
};

TEST_F(ReplacementFailures, UnwritableFolderReportsTheErrorAndLeavesTheTarget) {
  f_.files.AddFile(target_, "vecchio");
  f_.files.FailNext("CreateFile", target_ + ".new", FileError{EACCES, "Permesso negato"});
  const ReplaceResult replaced = UpdateFile(f_.ctx, target_, Bytes("nuovo"), kDate);
  ASSERT_FALSE(replaced);
  EXPECT_EQ(replaced.error().Number, EACCES);
  EXPECT_EQ(replaced.error().Source, "UpdateFile");
  EXPECT_EQ(replaced.error().Description, "Permesso negato");
  EXPECT_EQ(f_.files.Content(target_), "vecchio");
  EXPECT_FALSE(f_.files.NormalFileExists(target_ + ".new"));
  EXPECT_FALSE(f_.settings.Get(settings::kLastModifiedSection, target_).has_value());
}

TEST_F(ReplacementFailures, FailedSwapAfterTheOldContentWasKeptLeavesTheOldContent) {
  f_.files.AddFile(target_, "vecchio");
  f_.files.FailNext("Rename", target_ + ".new", FileError{ENOSPC, "Spazio su disco insufficiente"});
  const ReplaceResult replaced = UpdateFile(f_.ctx, target_, Bytes("nuovo"), kDate);
  ASSERT_FALSE(replaced);
  EXPECT_EQ(replaced.error().Number, ENOSPC);
  EXPECT_EQ(f_.files.Content(target_), "vecchio");
  EXPECT_EQ(f_.files.files.count(target_ + ".old"), 0u);
  EXPECT_EQ(f_.files.files.count(target_ + ".new"), 0u);
}

TEST_F(ReplacementFailures, OldContentIsKeptBeforeTheSwapAndDroppedAfter) {
  f_.files.AddFile(target_, "vecchio");
  ASSERT_TRUE(UpdateFile(f_.ctx, target_, Bytes("nuovo"), kDate));
  std::vector<std::string> order;
  for (const std::string& call : f_.files.calls)
    if (call.rfind("Delete", 0) != 0 && call.rfind("CreateFolder", 0) != 0) order.push_back(call);
  // The folder's lock is taken for short turns only: the clean-up, the
  // claim of ".new" (held from then on), and the swap.
  const std::string folder = "TryLock /opt/suite/Eseguibili";
  EXPECT_EQ(order, (std::vector<std::string>{folder, folder,
                                             "TryLock " + target_ + ".new",
                                             "CreateFile " + target_ + ".new",
                                             "TryLock " + target_ + ".new",
                                             "Finish " + target_ + ".new",
                                             "SetModificationTime " + target_ + ".new",
                                             folder,
                                             "LinkOrCopy " + target_,
                                             "Rename " + target_ + ".new",
                                             "SyncFolder /opt/suite/Eseguibili"}));
  EXPECT_EQ(f_.files.calls.back(), "Delete " + target_ + ".old");
  EXPECT_TRUE(f_.files.locked.empty());
}

TEST_F(ReplacementFailures, ModuleWithoutAFolderHereIsRefused) {
  testing::EngineFixture bare;  // its {FONTS} folder is empty
  const auto error = CheckModuleHasFolder(bare.ctx, "{FONTS}\\Verdana.ttf");
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->Source, "UpdateFile");
  EXPECT_FALSE(CheckModuleHasFolder(bare.ctx, "{ESEGUIBILI}\\prog.exe").has_value());
}

}  // namespace
}  // namespace tw
