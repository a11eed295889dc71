#include "common/settings_keys.h"
#include "ui/main_window_fixture.h"

namespace tw {
namespace {

using testing::kNew;
using testing::Lines;
using testing::MainWindowTest;
using testing::Switches;
using testing::kOld;

const std::string kStart = "Inizio procedura di aggiornamento [http://fake/base]";
const std::string kEnd = "Fine procedura di aggiornamento";
const std::string kDone = "Download del modulo effettuato con successo";

TEST_F(MainWindowTest, ARunInstallsReportsAndEndsWithFine) {
  Module("a.exe");
  Module("b.exe");
  Installed("b.exe");
  auto& c = Open();
  c.ButtonClicked(1);
  EXPECT_EQ(f_.files.Content("/opt/suite/Eseguibili/a.exe"), "contenuto /eseguibili/a.exe");
  EXPECT_EQ(f_.files.Content("/opt/suite/Eseguibili/b.exe"), "contenuto /eseguibili/b.exe");
  EXPECT_EQ(view_.LogMessages(), (Lines{kStart, "Inizio download del modulo [a.exe]", kDone,
                                        "Inizio download del modulo [b.exe]", kDone, kEnd}));
  // The fake repository sends each file in three pieces, all at once: the
  // first and the last show, the middle one comes too soon.
  EXPECT_EQ(view_.statuses, (Lines{"a.exe: Download in corso...", "a.exe: Download in corso... [37%]",
                                   "a.exe: Download in corso... [100%]",
                                   "a.exe: Aggiornamento del modulo...", "a.exe: Aggiornamento effettuato",
                                   "b.exe: Download in corso...", "b.exe: Download in corso... [37%]",
                                   "b.exe: Download in corso... [100%]",
                                   "b.exe: Aggiornamento del modulo...", "b.exe: Aggiornamento effettuato"}));
  EXPECT_EQ(installer_.self_updates, 1);
  EXPECT_FALSE(view_.buttons[0].enabled);
  EXPECT_EQ(view_.buttons[1].caption, "Fine");
  EXPECT_TRUE(view_.buttons[1].enabled);
  EXPECT_EQ(view_.events, (Lines{"restore placement", "busy on", "busy off", "busy on", "splash on",
                                 "splash off", "show log", "busy off"}));
  EXPECT_EQ(c.ExitStatus(), 0);
}

TEST_F(MainWindowTest, DecliningTheWholeRunTouchesNothing) {
  Module("a.exe", "[PostSetup]\n1={ESEGUIBILI}\\Dopo.exe\n");
  auto& c = Open(Switches("@c"));
  view_.answers = {false};
  c.ButtonClicked(1);
  EXPECT_EQ(view_.questions, (Lines{"Confermi il download di tutti gli aggiornamenti selezionati?"}));
  // The splash steps aside for the question, and comes back after it.
  EXPECT_EQ(view_.events, (Lines{"restore placement", "busy on", "busy off", "busy on", "splash on", "splash off",
                                 "ask 902", "splash on", "splash off", "show log", "busy off"}));
  EXPECT_EQ(view_.LogMessages(),
            (Lines{kStart, "Richiesta di conferma per il download di tutti gli aggiornamenti selezionati", kEnd}));
  EXPECT_TRUE(view_.statuses.empty());
  EXPECT_EQ(installer_.self_updates, 0);
  EXPECT_TRUE(f_.launcher.calls.empty());
  EXPECT_FALSE(view_.buttons[0].enabled);
  EXPECT_EQ(view_.buttons[1].tag, "EXIT");
  EXPECT_TRUE(view_.buttons[1].enabled);
}

TEST_F(MainWindowTest, DecliningOneModuleLeavesItsStatusAndGoesOn) {
  f_.repo.Publish("/eseguibili/gestione.exe", "[Release]\nVersion=3.0\n[Setup]\n1={ESEGUIBILI}\\Lib.dll\n", kNew);
  f_.repo.Publish("/eseguibili/lib.dll", "[Release]\nVersion=2.0\n", kNew);
  Installed("Lib.dll");
  auto& c = Open(Switches("@m {ESEGUIBILI}\\Gestione.exe @c"));
  view_.answers = {false, true};
  c.ButtonClicked(1);
  EXPECT_EQ(view_.questions, (Lines{"Confermi il download del modulo?\r\n[Lib.dll]",
                                    "Confermi il download del modulo?\r\n[Gestione.exe]"}));
  EXPECT_EQ(view_.LogMessages(),
            (Lines{kStart, "Inizio download del modulo [Lib.dll]", "Richiesta di conferma per download del modulo [Lib.dll]",
                   "Inizio download del modulo [Gestione.exe]",
                   "Richiesta di conferma per download del modulo [Gestione.exe]", kDone, kEnd}));
  EXPECT_EQ(Statuses(), (Lines{"Pronto per l'aggiornamento", "Aggiornamento effettuato"}));
  EXPECT_EQ(f_.files.Content("/opt/suite/Eseguibili/Lib.dll"), "vecchio");
}

TEST_F(MainWindowTest, AOneByteBodyIsAFailedDownloadWithoutRegistrationOrMessage) {
  Module("a.ocx", "Register=regsvr32\n");
  f_.repo.Put("/eseguibili/a.ocx", "M", kNew);
  auto& c = Open();
  c.ButtonClicked(1);
  EXPECT_EQ(Statuses(), (Lines{"Errori durante l'aggiornamento"}));
  EXPECT_EQ(view_.LogMessages(), (Lines{kStart, "Inizio download del modulo [a.ocx]",
                                        "Errori durante il download del modulo", kEnd}));
  EXPECT_TRUE(f_.launcher.calls.empty());
  EXPECT_FALSE(c.UpdateErrors());
  EXPECT_EQ(std::count(view_.events.begin(), view_.events.end(), "message 908"), 0);
  // No message, but the module is not in place: the launcher learns it.
  EXPECT_EQ(c.ExitStatus(), 1);
}

TEST_F(MainWindowTest, FailedReplacementsCarryTheErrorAndOneMessageEndsTheRun) {
  Module("a.ocx", "Register=REGSVR32\n");
  Module("b.exe");
  Installed("b.exe");
  f_.files.FailNext("Rename", "/opt/suite/Eseguibili/a.ocx.new", FileError{5, "Accesso negato"});
  f_.files.FailNext("Rename", "/opt/suite/Eseguibili/b.exe.new", FileError{5, "Accesso negato"});
  auto& c = Open();
  c.ButtonClicked(1);
  const std::string status = "Errori durante l'aggiornamento [5: Accesso negato]";
  EXPECT_EQ(Statuses(), (Lines{status, status}));
  EXPECT_EQ(view_.LogMessages()[2], "Errori durante il download del modulo [5: Accesso negato]");
  EXPECT_EQ(std::count(view_.events.begin(), view_.events.end(), "message 908"), 1);
  EXPECT_FALSE(view_.asked_under_splash);
  EXPECT_EQ(f_.files.Content("/opt/suite/Eseguibili/b.exe"), "vecchio");
  // What was left in place is not registered: it may be anything.
  EXPECT_TRUE(f_.launcher.calls.empty());
  EXPECT_EQ(c.ExitStatus(), 1);
}

TEST_F(MainWindowTest, RegistrationFollowsTheTagOfEachRow) {
  Module("self.exe", "Register=Self\n");
  Module("data.mdb", "Register=\n");
  auto& c = Open();
  c.ButtonClicked(1);
  ASSERT_EQ(f_.launcher.calls.size(), 1u);
  EXPECT_EQ(f_.launcher.calls[0].argv, (Lines{"/opt/suite/Eseguibili/self.exe"}));
  EXPECT_EQ(f_.launcher.calls[0].style, WindowStyle::Hidden);
}

// A program named by several modules runs once, and only when one of them
// was installed by this run.
TEST_F(MainWindowTest, PostSetupProgramsRunOnceForModulesReallyInstalled) {
  Module("declined.exe", "[PostSetup]\n1={ESEGUIBILI}\\P.exe\n");
  Module("installed.exe", "[PostSetup]\n1={ESEGUIBILI}\\Q.exe\n2={ESEGUIBILI}\\r.exe\n");
  Module("failed.exe", "[PostSetup]\n1={ESEGUIBILI}\\p.EXE\n2={ESEGUIBILI}\\R.exe\n");
  Module("unchecked.exe", "[PostSetup]\n1={ESEGUIBILI}\\S.exe\n");
  f_.repo.Put("/eseguibili/failed.exe", "", kNew);
  f_.repo.Publish("/eseguibili/root.exe",
                  "[Release]\nVersion=2.0\n[Setup]\n1={ESEGUIBILI}\\declined.exe\n2={ESEGUIBILI}\\installed.exe\n"
                  "3={ESEGUIBILI}\\failed.exe\n4={ESEGUIBILI}\\unchecked.exe\n",
                  kNew);
  auto& c = Open(Switches("@module {ESEGUIBILI}\\root.exe @confirm"));
  ASSERT_EQ(view_.rows.size(), 5u);
  view_.rows[3].checked = false;
  view_.answers = {false, true, true, true};
  c.ButtonClicked(1);
  EXPECT_EQ(view_.questions.size(), 4u);
  EXPECT_EQ(Waited(), (Lines{"/opt/suite/Eseguibili/Q.exe", "/opt/suite/Eseguibili/r.exe"}));
}

// The suite's programs may ask the automation server (another process)
// about what was just installed: the download dates are on disk before any
// of them starts.
TEST_F(MainWindowTest, DownloadDatesAreOnDiskBeforeAnyProgramStarts) {
  f_.settings.Set(settings::kSection, settings::kHide, "1");
  f_.launcher.programs.insert("/opt/suite/Eseguibili/Gestione.exe");
  Module("a.exe", "[PostSetup]\n1={ESEGUIBILI}\\Dopo.exe\n");
  std::vector<int> unflushed;
  f_.launcher.before_call = [&] { unflushed.push_back(f_.settings.unflushed); };
  auto& c = Start(Switches("@b /opt/suite/Eseguibili/Gestione.exe"));
  EXPECT_EQ(c.Load(), LoadOutcome::Closed);
  ASSERT_TRUE(f_.settings.Get(settings::kLastModifiedSection, std::string(kFolder) + "a.exe"));
  EXPECT_EQ(unflushed, (std::vector<int>{0, 0}));
}

TEST_F(MainWindowTest, OneRunAtATimeAndNoRebuildWhileItRuns) {
  Module("a.exe");
  Module("b.exe");
  auto& c = Open();
  int nested = 0;
  installer_.during_download = [&](const DownloadProgress&) {
    if (nested++) return;
    c.ButtonClicked(1);  // Enter again while the transfer keeps the window alive
    c.Activated();
  };
  c.ButtonClicked(1);
  EXPECT_EQ(installer_.downloads.size(), 2u);
  EXPECT_EQ(installer_.self_updates, 1);
  EXPECT_EQ(view_.rows.size(), 2u);
  EXPECT_EQ(std::count(view_.log.begin(), view_.log.end(), view_.log.front()), 1);
  EXPECT_EQ(view_.busy, 0);
}

TEST_F(MainWindowTest, AnnullaDuringADownloadAbortsItSkipsTheRestAndCloses) {
  Module("a.exe", "[PostSetup]\n1={ESEGUIBILI}\\Dopo.exe\n");
  Module("b.exe");
  Installed("b.exe");
  Module("c.exe");
  auto& c = Open(Switches("@b /opt/fine.sh"));
  installer_.during_download = [&](const DownloadProgress&) {
    if (installer_.downloads.size() == 2) c.ButtonClicked(0);
  };
  c.ButtonClicked(1);
  EXPECT_EQ(view_.questions, (Lines{"Chiudere la procedura di aggiornamento?"}));
  EXPECT_EQ(installer_.downloads.size(), 2u);
  EXPECT_EQ(f_.files.Content("/opt/suite/Eseguibili/b.exe"), "vecchio");
  EXPECT_FALSE(f_.files.files.count("/opt/suite/Eseguibili/b.exe.new"));
  EXPECT_FALSE(f_.files.files.count("/opt/suite/Eseguibili/c.exe"));
  EXPECT_TRUE(Waited().empty());
  EXPECT_EQ(Statuses(), (Lines{"Aggiornamento effettuato", "Pronto per l'aggiornamento", "Pronto per l'installazione"}));
  EXPECT_EQ(view_.LogMessages().back(), kEnd);
  EXPECT_TRUE(view_.closed);
  EXPECT_EQ(f_.launcher.calls.back().argv, (Lines{"/opt/fine.sh"}));
  // The question came with the splash out of the way, and it came back.
  EXPECT_FALSE(view_.asked_under_splash);
  EXPECT_EQ(view_.busy, 0);
  EXPECT_FALSE(view_.splash_visible);
}

TEST_F(MainWindowTest, CancellingTheCloseQuestionLetsTheRunGoOn) {
  Module("a.exe");
  Module("b.exe");
  auto& c = Open();
  view_.answers = {false};
  installer_.during_download = [&](const DownloadProgress&) {
    if (installer_.downloads.size() == 1) c.ButtonClicked(0);
  };
  c.ButtonClicked(1);
  EXPECT_EQ(Statuses(), (Lines{"Aggiornamento effettuato", "Aggiornamento effettuato"}));
  EXPECT_FALSE(view_.closed);
  EXPECT_EQ(view_.buttons[1].tag, "EXIT");
  const auto& events = view_.events;
  const auto ask = std::find(events.begin(), events.end(), "ask 901");
  ASSERT_NE(ask, events.end());
  EXPECT_EQ(*(ask - 1), "splash off");
  EXPECT_EQ(*(ask + 1), "splash on");
}

TEST_F(MainWindowTest, AnnullaWhileAPostSetupProgramRunsWaitsForItsEnd) {
  Module("a.exe", "[PostSetup]\n1={ESEGUIBILI}\\Uno.exe\n2={ESEGUIBILI}\\Due.exe\n");
  auto& c = Open();
  installer_.during_wait = [&] { c.ButtonClicked(0); };
  c.ButtonClicked(1);
  EXPECT_EQ(Waited(), (Lines{"/opt/suite/Eseguibili/Uno.exe"}));
  EXPECT_TRUE(view_.closed);
}

TEST_F(MainWindowTest, DownloadProgressShowsInTheStatusAFewTimesASecond) {
  Module("a.exe");
  auto& c = Open();
  installer_.during_download = [&](const DownloadProgress& progress) {
    progress(0, 0);  // size not known yet
    progress(10, 1000);
    steady_ += std::chrono::milliseconds(100);
    progress(500, 1000);  // too soon
    steady_ += std::chrono::milliseconds(200);
    progress(510, 1000);
    steady_ += std::chrono::seconds(1);
    progress(510, 1000);  // no change
  };
  c.ButtonClicked(1);
  // Then the file itself arrives in three pieces a second later: its first
  // piece shows, and its end however soon it comes.
  EXPECT_EQ(view_.statuses,
            (Lines{"a.exe: Download in corso...", "a.exe: Download in corso... [1%]",
                   "a.exe: Download in corso... [51%]", "a.exe: Download in corso... [37%]",
                   "a.exe: Download in corso... [100%]", "a.exe: Aggiornamento del modulo...",
                   "a.exe: Aggiornamento effettuato"}));
  EXPECT_EQ(view_.splash_progress, (std::vector<int>{1, 51, 37, 100, -1}));
}

// The title counts the modules done of those the run covers and the bytes
// fetched, and is given back at the end.
TEST_F(MainWindowTest, TheTitleShowsTheRunsOverallProgressAndIsRestored) {
  Module("a.exe");
  Module("b.exe");
  auto& c = Open();
  installer_.during_download = [&](const DownloadProgress& progress) { progress(2048, 4096); };
  c.ButtonClicked(1);
  ASSERT_FALSE(view_.run_progress.empty());
  EXPECT_EQ(view_.run_progress.front(), "0 di 2 moduli");
  EXPECT_NE(std::find(view_.run_progress.begin(), view_.run_progress.end(), "0 di 2 moduli, 2,0 KB"),
            view_.run_progress.end());
  // The first file's 27 bytes count once it has ended, whatever its
  // announced size.
  EXPECT_NE(std::find(view_.run_progress.begin(), view_.run_progress.end(), "1 di 2 moduli, 27 byte"),
            view_.run_progress.end());
  EXPECT_EQ(view_.run_progress[view_.run_progress.size() - 2], "2 di 2 moduli, 54 byte");
  EXPECT_EQ(view_.run_progress.back(), "");
}

}  // namespace
}  // namespace tw
