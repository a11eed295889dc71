#include "trust/trust_anchors.h"
#include "trust/trust_keys.h"
#include "ui/main_window_fixture.h"

namespace tw {
namespace {

using testing::Lines;
using testing::MainWindowTest;
using testing::Switches;
using testing::kNew;
using testing::kOld;

TEST_F(MainWindowTest, RowsComeDependenciesFirstWithVersionsStatusAndRegistration) {
  f_.repo.Publish("/eseguibili/gestione.exe",
                  "[Release]\nVersion=3.0\nRegister=self\n[Setup]\n1={COMPONENTI}\\Griglia.ocx\n2={DATI}\\Base.mdb\n",
                  kNew);
  f_.repo.Publish("/eseguibili/componenti/griglia.ocx", "[Release]\nVersion=2.0\nRegister=RegSvr32\n", kNew);
  f_.repo.Publish("/dati/base.mdb", "[Release]\n", kNew);
  f_.files.AddFile("/opt/suite/Eseguibili/Componenti/Griglia.ocx", "vecchio", kOld.ToUnixSeconds(), "1.0.0.0");
  Open(Switches("@m {ESEGUIBILI}\\Gestione.exe"));

  ASSERT_EQ(view_.rows.size(), 3u);
  const ModuleRow& grid = view_.rows[0];
  EXPECT_EQ(grid.key, "/opt/suite/Eseguibili/Componenti/Griglia.ocx");
  EXPECT_EQ(grid.text, "Griglia.ocx");
  EXPECT_EQ(grid.tag, "RegSvr32");
  EXPECT_EQ(grid.client_version, "1.0.0.0");
  EXPECT_EQ(grid.remote_version, "2.0.0.0");
  EXPECT_EQ(view_.rows[1].key, "/opt/suite/Dati/Base.mdb");
  EXPECT_EQ(view_.rows[2].text, "Gestione.exe");
  EXPECT_EQ(view_.rows[2].tag, "self");
  EXPECT_EQ(Statuses(), (Lines{"Pronto per l'aggiornamento", "Pronto per l'installazione",
                               "Pronto per l'installazione"}));
  // Each row shows up by itself, its columns sized.
  EXPECT_EQ(view_.events_processed, 3);
  EXPECT_EQ(view_.column_sizings, 3);
  EXPECT_TRUE(view_.buttons[0].enabled);
  EXPECT_TRUE(view_.buttons[1].enabled);
}

TEST_F(MainWindowTest, APostSetupProgramIsGatheredOnceFromNewInstallationsOnly) {
  Module("a.exe", "[PostSetup]\n1={ESEGUIBILI}\\Dopo.exe\n2={ESEGUIBILI}\\Altro.exe\n");
  Module("b.exe", "[PostSetup]\n1={ESEGUIBILI}\\DOPO.EXE\n");
  Module("c.exe", "[PostSetup]\n1={ESEGUIBILI}\\Aggiornato.exe\n");
  Installed("c.exe");
  auto& c = Open();
  const Lines expected = {"/opt/suite/Eseguibili/Dopo.exe", "/opt/suite/Eseguibili/Altro.exe"};
  EXPECT_EQ(c.PostSetupList(), expected);
  // Every activation walks again: nothing is listed or gathered twice.
  c.Activated();
  c.FillModuleList("");
  EXPECT_EQ(view_.rows.size(), 3u);
  EXPECT_EQ(c.PostSetupList(), expected);
}

TEST_F(MainWindowTest, AnEmptyListSaysSoAndAnnullaClosesWithoutAsking) {
  auto& c = Open();
  EXPECT_EQ(view_.LogMessages(), (Lines{"Nessun aggiornamento disponibile per il download"}));
  EXPECT_EQ(view_.log[0], "08/12/2026 09:05:07 - Nessun aggiornamento disponibile per il download");
  EXPECT_EQ(view_.events, (Lines{"restore placement", "busy on", "show log", "busy off"}));
  EXPECT_FALSE(view_.buttons[1].enabled);
  EXPECT_TRUE(view_.buttons[0].enabled);
  c.ButtonClicked(0);
  EXPECT_TRUE(view_.questions.empty());
  EXPECT_TRUE(view_.closed);
}

TEST_F(MainWindowTest, AModuleNameOutsideTheSuiteIsSaidOnceAndNotAskedFor) {
  // As a shell leaves "{ESEGUIBILI}\Gestione.exe" typed without quotes.
  Module("gestione.exe");
  auto& c = Open(Switches("@m {ESEGUIBILI}Gestione.exe"));
  c.Activated();
  EXPECT_EQ(view_.LogMessages(),
            (Lines{"Modulo ignorato: il percorso non indica un file della suite [{ESEGUIBILI}Gestione.exe]",
                   "Nessun aggiornamento disponibile per il download",
                   "Nessun aggiornamento disponibile per il download"}));
  EXPECT_TRUE(view_.rows.empty());
  // Only the index (absent here) was asked: nothing of the module.
  EXPECT_EQ(f_.repo.log, (Lines{"GET /indice.ini"}));
}

// A refused index is asked again only after a minute, but every fill of
// the list (a refresh within that minute too) says why nothing is offered.
TEST_F(MainWindowTest, ARefusedIndexIsSaidAgainAtEveryFillOfTheList) {
  TrustAnchors anchors;
  anchors.AddKeys(testing::PublicText(testing::TestKey(5)));
  f_.trust = TrustPolicy(std::move(anchors));
  Module("a.exe");  // and no index
  auto& c = Open();
  c.FillModuleList("");
  size_t said = 0;
  for (const std::string& line : view_.LogMessages()) said += line.find("Errore 30011") != std::string::npos;
  EXPECT_EQ(said, 2u);
  EXPECT_TRUE(view_.rows.empty());
  EXPECT_EQ(f_.repo.log, (Lines{"GET /indice.ini"}));
}

TEST_F(MainWindowTest, AnnullaAsksFirstAndItsCancelLeavesEverythingAsItWas) {
  Module("a.exe");
  auto& c = Open();
  const auto events = view_.events;
  view_.answers = {false};
  c.ButtonClicked(0);
  EXPECT_EQ(view_.questions, (Lines{"Chiudere la procedura di aggiornamento?"}));
  EXPECT_FALSE(view_.closed);
  EXPECT_TRUE(view_.log.empty());
  EXPECT_EQ(Statuses(), (Lines{"Pronto per l'installazione"}));
  EXPECT_EQ(view_.buttons[0].tag, "CANCEL");
  EXPECT_EQ(view_.buttons[1].tag, "UPDATE");
}

// Check marks: new rows start checked, "Aggiorna" is there while one is.
TEST_F(MainWindowTest, TheRunCoversTheCheckedRowsAndAggiornaFollowsTheMarks) {
  Module("a.exe");
  Module("b.exe");
  auto& c = Open();
  view_.rows[0].checked = false;
  c.ItemCheckChanged();
  EXPECT_TRUE(view_.buttons[1].enabled);
  view_.rows[1].checked = false;
  c.ItemCheckChanged();
  EXPECT_FALSE(view_.buttons[1].enabled);
  // An activation does not bring it back while nothing is checked.
  c.Activated();
  EXPECT_FALSE(view_.buttons[1].enabled);
  view_.rows[1].checked = true;
  c.ItemCheckChanged();
  EXPECT_TRUE(view_.buttons[1].enabled);

  c.ButtonClicked(1);
  EXPECT_EQ(installer_.downloads, (Lines{"/opt/suite/Eseguibili/b.exe"}));
  EXPECT_EQ(Statuses(), (Lines{"Pronto per l'installazione", "Aggiornamento effettuato"}));
  EXPECT_FALSE(f_.files.files.count("/opt/suite/Eseguibili/a.exe"));
}

TEST_F(MainWindowTest, AFinishedRunKeepsFineUsableAndIgnoresActivations) {
  Module("a.exe");
  auto& c = Open();
  c.ButtonClicked(1);
  EXPECT_EQ(view_.buttons[1].caption, "Fine");
  EXPECT_EQ(view_.buttons[1].tag, "EXIT");
  view_.rows[0].checked = false;
  c.ItemCheckChanged();
  c.Activated();
  EXPECT_TRUE(view_.buttons[1].enabled);
  EXPECT_FALSE(view_.buttons[0].enabled);
  c.ButtonClicked(1);
  EXPECT_TRUE(view_.closed);
  EXPECT_TRUE(view_.questions.empty());
}

// The list fills with the window's events running: a click lands halfway.
TEST_F(MainWindowTest, ClicksWhileTheListFillsWaitForItOrStopIt) {
  Module("a.exe");
  Module("b.exe");
  Module("c.exe");
  auto& c = Start(Switches("@b /opt/fine.sh"));
  c.Load();
  view_.on_process_events = [&] {
    if (view_.rows.size() == 1) c.ButtonClicked(1);  // Enter before the list is complete
  };
  c.Activated();
  EXPECT_EQ(view_.rows.size(), 3u);
  EXPECT_TRUE(installer_.downloads.empty());
  EXPECT_TRUE(view_.log.empty());

  view_ = {};
  auto& closing = Start(Switches("@b /opt/fine.sh"));
  closing.Load();
  view_.on_process_events = [&] {
    if (view_.rows.size() == 1) closing.ButtonClicked(0);
  };
  closing.Activated();
  EXPECT_EQ(view_.questions, (Lines{"Chiudere la procedura di aggiornamento?"}));
  EXPECT_EQ(view_.rows.size(), 1u);
  EXPECT_TRUE(view_.closed);
  EXPECT_EQ(view_.busy, 0);
  EXPECT_EQ(view_.events.back(), "close");
  EXPECT_EQ(f_.launcher.calls.back().argv, (Lines{"/opt/fine.sh"}));
}

}  // namespace
}  // namespace tw
