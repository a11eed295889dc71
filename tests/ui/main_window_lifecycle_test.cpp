#include "common/settings_keys.h"
#include "ui/console_main_view.h"
#include "ui/main_window_fixture.h"

#include <sstream>

namespace tw {
namespace {

using testing::Lines;
using testing::MainWindowTest;
using testing::Switches;
using testing::kNew;
using testing::kOld;

TEST_F(MainWindowTest, LoadPutsTheTextsInPlaceAndReadsHideAsAWholeNumber) {
  for (const auto& [stored, value] : std::vector<std::pair<std::string, int>>{
           {"0", 0}, {"2", 2}, {" 2 ", 2}, {"1.5", 0}, {"7", 0}, {"sì", 0}}) {
    f_.settings.Set(settings::kSection, settings::kHide, stored);
    view_ = {};
    EXPECT_EQ(Start().Load(), LoadOutcome::ShowWindow) << stored;
    EXPECT_EQ(view_.hide_value, value) << stored;
  }
  EXPECT_EQ(view_.events.front(), "restore placement");
  EXPECT_EQ(view_.columns, (Lines{"Modulo", "Locale", "Aggiornamento", "Stato"}));
  EXPECT_EQ(view_.buttons[0].caption, "Annulla");
  EXPECT_EQ(view_.buttons[0].tag, "CANCEL");
  EXPECT_EQ(view_.buttons[1].caption, "Aggiorna");
  EXPECT_EQ(view_.buttons[1].tag, "UPDATE");
  EXPECT_EQ(view_.hide_caption, "&Nascondi al prossimo avvio");
  // A normal start leaves the list to the first activation.
  EXPECT_EQ(f_.repo.gets + f_.repo.heads, 0);
  EXPECT_TRUE(view_.rows.empty());

  EXPECT_EQ(CaptionForDesignText("204"), "&Nascondi al prossimo avvio");
  EXPECT_EQ(CaptionForDesignText("4242"), "4242");
  EXPECT_EQ(CaptionForDesignText("abc"), "abc");
}

TEST_F(MainWindowTest, TheHideBoxStoresEachChangeAtOnceEvenAfterTheRun) {
  MainWindowController& c = Open();
  c.HideChanged(1);
  EXPECT_EQ(f_.settings.Get(settings::kSection, settings::kHide), "1");
  c.ButtonClicked(1);
  c.HideChanged(0);
  EXPECT_EQ(f_.settings.Get(settings::kSection, settings::kHide), "0");
  // A store that refuses the write changes nothing else.
  f_.settings.fail_writes = true;
  c.HideChanged(1);
  EXPECT_EQ(f_.settings.Get(settings::kSection, settings::kHide), "0");
}

TEST_F(MainWindowTest, HiddenStartWithNothingToDoClosesAtOnceAndStartsTheBatch) {
  f_.settings.Set(settings::kSection, settings::kHide, "1");
  f_.launcher.programs.insert("/opt/suite/Eseguibili/Gestione.exe");
  auto& c = Start(Switches("@b /opt/suite/Eseguibili/Gestione.exe /a /b"));
  EXPECT_EQ(c.Load(), LoadOutcome::Closed);
  EXPECT_TRUE(view_.closed);
  EXPECT_TRUE(c.CloseRequested());
  ASSERT_EQ(f_.launcher.calls.size(), 1u);
  EXPECT_EQ(f_.launcher.calls[0].argv, (Lines{"/opt/suite/Eseguibili/Gestione.exe", "/a", "/b"}));
  EXPECT_EQ(view_.LogMessages(), (Lines{"Nessun aggiornamento disponibile per il download"}));
  EXPECT_EQ(c.ExitStatus(), 0);
}

TEST_F(MainWindowTest, HiddenSwitchStartsHiddenWhateverTheSetting) {
  f_.settings.Set(settings::kSection, settings::kHide, "0");
  Module("a.exe");
  auto& c = Start(Switches("@h"));
  EXPECT_EQ(c.Load(), LoadOutcome::Closed);
  EXPECT_EQ(f_.files.Content(std::string(kFolder) + "a.exe"), "contenuto /eseguibili/a.exe");
}

TEST_F(MainWindowTest, HiddenStartAskingForConfirmationShowsTheListAndWaits) {
  f_.settings.Set(settings::kSection, settings::kHide, "1");
  Module("a.exe");
  auto& c = Start(Switches("@c"));
  EXPECT_EQ(c.Load(), LoadOutcome::ShowWindow);
  EXPECT_EQ(view_.rows.size(), 1u);
  EXPECT_TRUE(installer_.downloads.empty());
  EXPECT_FALSE(view_.closed);
  // "Hide" alone is no hidden switch: activations still refresh, adding
  // nothing that is listed.
  c.Activated();
  EXPECT_EQ(view_.rows.size(), 1u);
}

TEST_F(MainWindowTest, HiddenRunCoversEveryRowUnderTheSplashThenCloses) {
  Module("a.exe", "[PostSetup]\n1={ESEGUIBILI}\\Dopo.exe /x\n");
  Module("b.exe", "[PostSetup]\n1={ESEGUIBILI}\\DOPO.EXE /x\n");
  view_.new_rows_checked = false;  // nobody is there to check anything
  auto& c = Start(Switches("@h @b /opt/fine.sh"));
  EXPECT_EQ(c.Load(), LoadOutcome::Closed);
  EXPECT_EQ(installer_.downloads.size(), 2u);
  EXPECT_EQ(Waited(), (Lines{"/opt/suite/Eseguibili/Dopo.exe"}));
  EXPECT_EQ(f_.launcher.calls.back().kind, "open");
  EXPECT_EQ(f_.launcher.calls.back().argv, (Lines{"/opt/fine.sh"}));
  EXPECT_EQ(view_.events, (Lines{"restore placement", "splash on", "splash off", "show log", "close"}));
}

TEST_F(MainWindowTest, ActivationRebuildsUnderTheBusyPointerUnlessHidden) {
  Module("a.exe");
  auto& c = Open();
  c.Activated();
  EXPECT_EQ(view_.rows.size(), 1u);
  EXPECT_EQ(view_.events, (Lines{"restore placement", "busy on", "busy off", "busy on", "busy off"}));

  view_ = {};
  auto& hidden = Start(Switches("@c @h"));
  EXPECT_EQ(hidden.Load(), LoadOutcome::ShowWindow);
  EXPECT_EQ(view_.rows.size(), 1u);
  const int sizings = view_.column_sizings;
  hidden.Activated();
  hidden.Activated();
  EXPECT_EQ(view_.column_sizings, sizings);
  EXPECT_EQ(view_.events, (Lines{"restore placement"}));
}

TEST_F(MainWindowTest, OnlyTheCloseProcedureClosesAndTheUnloadSavesThePlacement) {
  Module("a.exe");
  auto& c = Open();
  EXPECT_FALSE(c.CloseRequested());
  view_.answers = {false};
  c.ButtonClicked(0);
  EXPECT_FALSE(c.CloseRequested());
  c.ButtonClicked(0);
  EXPECT_TRUE(c.CloseRequested());
  EXPECT_TRUE(view_.closed);
  c.Unloaded();
  EXPECT_EQ(view_.events.back(), "save placement");
}

// Without a display the hidden start still runs; what needs a person ends
// with a reason and a status a script can read.
TEST_F(MainWindowTest, WithoutADisplayTheHiddenStartReportsOnTheStreamAndByItsStatus) {
  Module("a.exe");
  Module("b.exe");
  f_.files.FailNext("Rename", std::string(kFolder) + "b.exe.new", FileError{5, "Accesso negato"});
  std::ostringstream err;
  ConsoleMainView console(err);
  MainWindowController hidden(Switches("@h"),
                              {f_.catalogue, f_.paths, f_.settings, installer_, SystemClock()}, console);
  EXPECT_EQ(RunWithoutDisplay(hidden, err), 1);
  const std::string text = err.str();
  EXPECT_NE(text.find(" - Inizio procedura di aggiornamento [http://fake/base]\n"), std::string::npos);
  EXPECT_NE(text.find(" - Download del modulo effettuato con successo\n"), std::string::npos);
  EXPECT_NE(text.find("Tarnwick: Si sono verificati alcuni errori durante l'aggiornamento.\n"), std::string::npos);

  std::ostringstream shown;
  ConsoleMainView window_needed(shown);
  MainWindowController normal(Switches(""), {f_.catalogue, f_.paths, f_.settings, installer_, SystemClock()}, window_needed);
  EXPECT_EQ(RunWithoutDisplay(normal, shown), 2);
  EXPECT_NE(shown.str().find("senza uno schermo"), std::string::npos);

  std::ostringstream asked;
  EXPECT_FALSE(ConsoleMainView(asked).Ask(903, "Confermi il download del modulo?\r\n[a.exe]"));
  EXPECT_EQ(asked.str(), "Tarnwick: Confermi il download del modulo? [a.exe] No\n");

  const auto env = [](std::map<std::string, const char*> vars) {
    return [vars](const char* name) -> const char* {
      auto it = vars.find(name);
      return it == vars.end() ? nullptr : it->second;
    };
  };
  EXPECT_FALSE(DisplayAvailable(env({})));
  EXPECT_FALSE(DisplayAvailable(env({{"DISPLAY", ""}})));
  EXPECT_TRUE(DisplayAvailable(env({{"WAYLAND_DISPLAY", "wayland-0"}})));
  EXPECT_TRUE(DisplayAvailable(env({{"QT_QPA_PLATFORM", "offscreen"}})));
}

}  // namespace
}  // namespace tw
