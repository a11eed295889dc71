#include "engine/module_download.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <utility>

#include "common/settings_keys.h"
#include "engine/engine_fixture.h"
#include "engine/global.h"
#include "engine/install.h"
#include "engine/suite_programs.h"

namespace tw {
namespace {

using testing::kNew;
using Words = std::vector<std::string>;

const std::string kTarget = "/opt/suite/Eseguibili/prog.exe";

// Sees what a main window or a digest check would see.
class Recorder : public DownloadObserver {
 public:
  bool OnBytes(std::span<const std::uint8_t> bytes) override {
    seen.append(bytes.begin(), bytes.end());
    return !refuse;
  }
  void OnProgress(std::uint64_t received, std::int64_t total) override {
    progress.push_back({received, total});
  }
  std::string seen;
  std::vector<std::pair<std::uint64_t, std::int64_t>> progress;
  bool refuse = false;
};

class StagedDownload : public ::testing::Test {
 protected:
  void SetUp() override {
    f_.repo.Put("/eseguibili/prog.exe", "contenuto nuovo", kNew);
    f_.files.AddFile(kTarget, "vecchio");
  }
  testing::EngineFixture f_;
};

TEST_F(StagedDownload, TheObserverSeesEveryPieceAndTheReplacementFollowsFromTheStagingFile) {
  Recorder recorder;
  auto staged = DownloadModuleToStaging(f_.ctx, "{ESEGUIBILI}\\prog.exe", &recorder);
  ASSERT_TRUE(staged);
  EXPECT_EQ(f_.files.Content(kTarget + ".new"), "contenuto nuovo");
  EXPECT_EQ(f_.files.Content(kTarget), "vecchio");
  EXPECT_EQ(recorder.seen, "contenuto nuovo");
  ASSERT_FALSE(recorder.progress.empty());
  EXPECT_EQ(recorder.progress.back(), (std::pair<std::uint64_t, std::int64_t>{15, 15}));
  EXPECT_EQ(f_.files.locked.size(), 1u);  // held from the download to the replacement

  ASSERT_TRUE(ReplaceFromStaging(std::move(*staged)));
  EXPECT_EQ(f_.files.Content(kTarget), "contenuto nuovo");
  EXPECT_EQ(f_.files.files[kTarget].mtime, kNew.ToUnixSeconds());
  EXPECT_EQ(f_.settings.Get(settings::kLastModifiedSection, kTarget), kNew.ToSettingsText());
  EXPECT_TRUE(f_.files.locked.empty());
  EXPECT_EQ(f_.files.files.count(kTarget + ".new"), 0u);
}

TEST_F(StagedDownload, ContentDroppedAfterTheDownloadOrRefusedOnTheWayInstallsNothing) {
  {
    auto staged = DownloadModuleToStaging(f_.ctx, "{ESEGUIBILI}\\prog.exe");
    ASSERT_TRUE(staged);  // and then not wanted, as after a digest mismatch
  }
  Recorder refusing;
  refusing.refuse = true;
  const auto refused = DownloadModuleToStaging(f_.ctx, "{ESEGUIBILI}\\prog.exe", &refusing);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().reason, DownloadError::Refused);
  EXPECT_EQ(f_.files.Content(kTarget), "vecchio");
  EXPECT_EQ(f_.files.files.count(kTarget + ".new"), 0u);
  EXPECT_FALSE(f_.settings.Get(settings::kLastModifiedSection, kTarget).has_value());
  EXPECT_TRUE(f_.files.locked.empty());
}

TEST_F(StagedDownload, DownloadFailuresAndStagingFailuresAreToldApart) {
  const auto missing = DownloadModuleToStaging(f_.ctx, "{ESEGUIBILI}\\assente.exe");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().reason, DownloadError::NotAvailable);
  EXPECT_FALSE(missing.error().file.has_value());

  f_.files.FailNext("CreateFile", kTarget + ".new", FileError{ENOSPC, "Spazio su disco insufficiente"});
  const auto full = DownloadModuleToStaging(f_.ctx, "{ESEGUIBILI}\\prog.exe");
  ASSERT_FALSE(full);
  EXPECT_EQ(full.error().reason, DownloadError::StagingFile);
  ASSERT_TRUE(full.error().file.has_value());
  EXPECT_EQ(full.error().file->Number, ENOSPC);
  EXPECT_EQ(full.error().file->Source, "UpdateFile");

  f_.repo.reachable = false;
  const auto unreachable = DownloadModuleToStaging(f_.ctx, "{ESEGUIBILI}\\prog.exe");
  ASSERT_FALSE(unreachable);
  EXPECT_EQ(unreachable.error().reason, DownloadError::Interrupted);
  EXPECT_EQ(f_.files.Content(kTarget), "vecchio");
  EXPECT_TRUE(f_.files.locked.empty());
}

// Another process takes the folder's turn or the target's ".new" as the
// transfer begins: nothing waits inside the transfer, where the event loop
// must not run; the launcher's Pause waits outside it and the download
// begins again, or fails with error 16 at the bound.
TEST_F(StagedDownload, ATurnTakenAsTheTransferBeginsIsWaitedForOutsideIt) {
  struct Repo : testing::FakeRepository {
    FetchResult HttpGetToSink(std::string_view path, DownloadSink& sink, DateValue& date) override {
      if (take) std::exchange(take, nullptr)();
      inside = true;
      const FetchResult result = FakeRepository::HttpGetToSink(path, sink, date);
      inside = false;
      return result;
    }
    std::function<void()> take;
    bool inside = false, paused_inside = false;
  };
  struct Launcher : testing::FakeProcessLauncher {
    void Pause(int) override { on_pause(); }
    std::function<void()> on_pause;
  };
  for (const auto& [held, release_after] : std::vector<std::pair<std::string, int>>{
           {kTarget + ".new", 3}, {"/opt/suite/Eseguibili", 3}, {kTarget + ".new", -1}}) {
    SCOPED_TRACE(held);
    testing::EngineFixture f;
    f.files.AddFile(kTarget, "vecchio");
    Repo repo;
    repo.Put("/eseguibili/prog.exe", "contenuto nuovo", kNew);
    repo.take = [&] {
      if (held.ends_with(".new")) f.files.AddFile(held, "dell'altro");
      f.files.locked.insert(held);
    };
    Launcher launcher;
    int pauses = 0;
    launcher.on_pause = [&] {
      repo.paused_inside |= repo.inside;
      if (++pauses == release_after) f.files.locked.clear();
    };
    EngineContext ctx{f.paths, repo, f.files, f.settings, f.system, f.catalogue, launcher, ""};
    auto staged = DownloadModuleToStaging(ctx, "{ESEGUIBILI}\\prog.exe");
    EXPECT_FALSE(repo.paused_inside);
    if (release_after < 0) {
      ASSERT_FALSE(staged);
      EXPECT_EQ(staged.error().file.value_or(ErrorRecord{}).Number, EBUSY);
      continue;
    }
    EXPECT_EQ(pauses, release_after);
    ASSERT_TRUE(staged && ReplaceFromStaging(std::move(*staged)));
    EXPECT_EQ(f.files.Content(kTarget), "contenuto nuovo");
  }
}

TEST_F(StagedDownload, AFailedStagingFileRegistersNothing) {
  f_.files.FailNext("CreateFile", kTarget + ".new", FileError{EACCES, "Permesso negato"});
  EXPECT_FALSE(InstallModuleFile(f_.ctx, "{ESEGUIBILI}\\prog.exe", "regsvr32"));
  EXPECT_TRUE(f_.launcher.calls.empty());
}

TEST(SuitePrograms, OnlyProgramsInsideTheSuiteFoldersStart) {
  testing::EngineFixture f;
  const PathMapping& paths = f.paths;
  EXPECT_TRUE(IsInsideSuite(paths, "/opt/suite/Eseguibili/setup"));
  EXPECT_TRUE(IsInsideSuite(paths, "/opt/suite/Dati/./x/../post.sh"));
  EXPECT_TRUE(IsInsideSuite(paths, "/home/u/.local/lib/regsvr32.exe"));
  EXPECT_FALSE(IsInsideSuite(paths, "/opt/suite/Eseguibili/../../../bin/sh"));
  EXPECT_FALSE(IsInsideSuite(paths, "/opt/suite/Eseguibili/.."));
  EXPECT_FALSE(IsInsideSuite(paths, "/opt/suite/EseguibiliAltro/x"));
  EXPECT_FALSE(IsInsideSuite(paths, "/opt/suite/Eseguibili"));
  EXPECT_FALSE(IsInsideSuite(paths, "/bin/sh"));
  EXPECT_FALSE(IsInsideSuite(paths, "sh"));
  EXPECT_FALSE(IsInsideSuite(paths, "Eseguibili/setup"));
  EXPECT_FALSE(IsInsideSuite(paths, ""));

  EXPECT_TRUE(StartSuiteCommand(f.launcher, paths, "\"/opt/suite/Eseguibili/setup\" /s", WindowStyle::Hidden));
  EXPECT_FALSE(StartSuiteCommand(f.launcher, paths, "/bin/sh -c x", WindowStyle::Hidden));
  EXPECT_EQ(RunSuiteCommandAndWait(f.launcher, paths, "/opt/suite/Dati/../../../usr/bin/env x", -1), 0);
  ASSERT_EQ(f.launcher.calls.size(), 1u);
  EXPECT_EQ(f.launcher.calls[0].argv, (Words{"/opt/suite/Eseguibili/setup", "/s"}));
}

TEST(SuitePrograms, PostSetupAndSelfRegistrationNamingProgramsElsewhereRunNothing) {
  testing::EngineFixture f;
  f.repo.Publish("/eseguibili/a.exe",
                 "[Release]\nRegister=self\n[PostSetup]\n1={ESEGUIBILI}\\..\\..\\..\\bin\\sh\n"
                 "2={ESEGUIBILI}\\dopo.sh\n",
                 kNew);
  Global global(f.ctx);
  EXPECT_TRUE(global.UpdateModule("{ESEGUIBILI}\\a.exe"));
  std::vector<Words> started;
  for (const auto& call : f.launcher.calls) started.push_back(call.argv);
  EXPECT_EQ(started, (std::vector<Words>{{"/opt/suite/Eseguibili/a.exe"}, {"/opt/suite/Eseguibili/dopo.sh"}}));
}

}  // namespace
}  // namespace tw
