// The main window on Qt's offscreen platform over a real nginx repository,
// used as a person uses it: the list fills, a row is unchecked, "Aggiorna"
// is pressed, the questions are answered, the result is read off the window
// and the disk.
#include <QHeaderView>
#include <QTest>
#include <gtest/gtest.h>

#include "support/fault_server.h"
#include "support/window_system.h"
#include "ui/widgets/form_splash.h"
#include "ui/widgets/module_list_widget.h"
#include "form_main_window_rig.h"

namespace tw {
namespace {

using testing::kJan2021;
using testing::NginxServer;
using testing::Person;
using testing::WindowRig;

std::vector<std::string> Column(FormMain& form, int column) {
  std::vector<std::string> out;
  for (int i = 0; i < form.LVModules()->topLevelItemCount(); ++i)
    out.push_back(form.LVModules()->topLevelItem(i)->text(column).toStdString());
  return out;
}

std::vector<std::string> LogMessages(FormMain& form) {
  std::vector<std::string> out;
  for (const QString& line : form.TxtLog()->toPlainText().split('\n'))
    out.push_back(line.mid(22).toStdString());  // after "dd/mm/yyyy hh:nn:ss - "
  return out;
}

bool WaitFor(const std::function<bool()>& done) { return QTest::qWaitFor(done, 30000); }

// Three data files: A to install (it names a post-setup program), B and C
// to update.
class FormMainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(nginx_.running());
    base_ = nginx_.FreshBase();
    nginx_.Put(base_ + ".ini", "[Setup]\r\n1={DATI}\\A.dat\r\n2={DATI}\\B.dat\r\n3={DATI}\\C.dat\r\n");
    nginx_.Put(base_ + "/dati/a.dat.ini", "[Release]\r\n[PostSetup]\r\n1={ESEGUIBILI}\\post.sh\r\n");
    nginx_.Put(base_ + "/dati/b.dat.ini", "[Release]\r\n");
    nginx_.Put(base_ + "/dati/c.dat.ini", "[Release]\r\n");
    nginx_.Put(base_ + "/dati/a.dat", "nuovo A", kJan2021);
    nginx_.Put(base_ + "/dati/b.dat", "nuovo B", kJan2021);
    nginx_.Put(base_ + "/dati/c.dat", "nuovo C", kJan2021);
  }

  void PrepareSuite(WindowRig& rig) {
    rig.PutLocal("Dati/B.dat", "vecchio B");
    rig.PutLocal("Dati/C.dat", "vecchio C");
    rig.PutLocal("Eseguibili/post.sh", "#!/bin/sh\necho corsa >> \"" + rig.Local("post-setup.txt") + "\"\n");
    std::filesystem::permissions(rig.Local("Eseguibili/post.sh"), std::filesystem::perms::owner_all);
  }

  // Loads and shows the window; its first activation fills the list.
  void Open(WindowRig& rig, size_t rows) {
    ASSERT_TRUE(rig.form().Load());
    rig.form().show();
    ASSERT_TRUE(WaitFor([&] { return rig.form().LVModules()->topLevelItemCount() == static_cast<int>(rows); }));
  }

  NginxServer& nginx_ = NginxServer::Shared();
  std::string base_;
};

TEST_F(FormMainTest, UpdatesTheCheckedModulesAndReportsInListLogAndButtons) {
  WindowRig rig(base_, {"", true, false, ""});
  PrepareSuite(rig);
  Person person;
  Open(rig, 3);
  FormMain& form = rig.form();
  EXPECT_EQ(form.LVModules()->headerItem()->text(3), "Stato");
  EXPECT_EQ(form.CmdAction(0)->text(), "Annulla");
  EXPECT_EQ(form.CmdAction(1)->text(), "Aggiorna");
  EXPECT_EQ(form.ChkHide()->text(), "&Nascondi al prossimo avvio");
  EXPECT_EQ(Column(form, 0), (std::vector<std::string>{"A.dat", "B.dat", "C.dat"}));
  EXPECT_EQ(Column(form, 3), (std::vector<std::string>{"Pronto per l'installazione", "Pronto per l'aggiornamento",
                                                       "Pronto per l'aggiornamento"}));
  // Every column fits its widest cell and its header.
  for (int c = 0; c < ModuleListWidget::kColumns; ++c) {
    const int width = form.LVModules()->header()->sectionSize(c);
    EXPECT_GE(width, form.LVModules()->header()->sectionSizeHint(c));
    EXPECT_GE(width, form.LVModules()->fontMetrics().horizontalAdvance(form.LVModules()->topLevelItem(1)->text(c)));
  }

  // The user unchecks C with the keyboard.
  form.LVModules()->setFocus();
  form.LVModules()->setCurrentItem(form.LVModules()->topLevelItem(2));
  QTest::keyClick(form.LVModules(), Qt::Key_Space);
  ASSERT_EQ(form.LVModules()->topLevelItem(2)->checkState(0), Qt::Unchecked);
  EXPECT_TRUE(form.CmdAction(1)->isEnabled());

  person.answers[902] = "Sì";
  QTest::mouseClick(form.CmdAction(1), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return form.CmdAction(1)->text() == "Fine"; }));

  EXPECT_EQ(testing::ReadTextFile(rig.Local("Dati/A.dat")), "nuovo A");
  EXPECT_EQ(testing::ReadTextFile(rig.Local("Dati/B.dat")), "nuovo B");
  EXPECT_EQ(testing::ReadTextFile(rig.Local("Dati/C.dat")), "vecchio C");
  EXPECT_EQ(testing::ReadTextFile(rig.Local("post-setup.txt")), "corsa\n");
  EXPECT_EQ(Column(form, 3), (std::vector<std::string>{"Aggiornamento effettuato", "Aggiornamento effettuato",
                                                       "Pronto per l'aggiornamento"}));
  EXPECT_EQ(person.seen, (std::vector<std::string>{
                             "902: Confermi il download di tutti gli aggiornamenti selezionati?"}));
  const std::vector<std::string> log = LogMessages(form);
  const std::vector<std::string> expected = {
      "Inizio procedura di aggiornamento [http://" + nginx_.Location(base_) + "]",
      "Richiesta di conferma per il download di tutti gli aggiornamenti selezionati",
      "Inizio download del modulo [A.dat]",
      "Download del modulo effettuato con successo",
      "Inizio download del modulo [B.dat]",
      "Download del modulo effettuato con successo",
      "Fine procedura di aggiornamento"};
  EXPECT_EQ(log, expected);
  EXPECT_TRUE(form.TxtLog()->isVisible());
  EXPECT_EQ(form.TxtLog()->geometry(), form.LVModules()->geometry());
  EXPECT_FALSE(form.CmdAction(0)->isEnabled());
  EXPECT_TRUE(form.CmdAction(1)->isEnabled());
  EXPECT_EQ(rig.controller().ExitStatus(), 0);

  // Checking and unchecking after the run leaves "Fine" usable; it closes.
  form.LVModules()->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
  form.LVModules()->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
  EXPECT_TRUE(form.CmdAction(1)->isEnabled());
  QTest::mouseClick(form.CmdAction(1), Qt::LeftButton);
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(testing::ReadTextFile(rig.Local("post-setup.txt")), "corsa\n");
}

TEST_F(FormMainTest, RefusesTheCloseBoxAndKeepsTheHideChoice) {
  WindowRig rig(base_);
  PrepareSuite(rig);
  Open(rig, 3);
  FormMain& form = rig.form();

  testing::CloseBoxClicked(form.windowHandle());
  QApplication::processEvents();
  EXPECT_TRUE(form.isVisible());

  QTest::mouseClick(form.ChkHide(), Qt::LeftButton);
  EXPECT_EQ(rig.settings().Get("Tarnwick", "Hide"), "1");
  QTest::mouseClick(form.ChkHide(), Qt::LeftButton);
  EXPECT_EQ(rig.settings().Get("Tarnwick", "Hide"), "0");

  // No row checked: nothing to update.
  for (int i = 0; i < 3; ++i) form.LVModules()->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
  EXPECT_FALSE(form.CmdAction(1)->isEnabled());
  form.LVModules()->topLevelItem(1)->setCheckState(0, Qt::Checked);
  EXPECT_TRUE(form.CmdAction(1)->isEnabled());

  // "Annulla" asks first; declined, the window stays as it was.
  Person person;
  person.answers[901] = "Annulla";
  QTest::keyClick(&form, Qt::Key_Escape);
  ASSERT_EQ(person.seen, (std::vector<std::string>{"901: Chiudere la procedura di aggiornamento?"}));
  EXPECT_TRUE(form.isVisible());
  EXPECT_FALSE(form.TxtLog()->isVisible());

  person.answers[901] = "OK";
  testing::QueuedClick(form.CmdAction(0));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }, 5000));
  // The unload stored where the window was.
  EXPECT_TRUE(rig.settings().Get("Tarnwick\\FormMain", "Width").has_value());
}

// The catalogue from nginx; the module files from a server that sends one
// byte a second.
class SlowDownloads : public Repository {
 public:
  SlowDownloads(Repository& fast, Repository& slow) : fast_(fast), slow_(slow) {}
  bool HttpHead(std::string_view path, DateValue& date) override { return fast_.HttpHead(path, date); }
  std::string HttpGetText(std::string_view path, DateValue& date) override { return fast_.HttpGetText(path, date); }
  ByteBuffer HttpGetBytes(std::string_view path, DateValue& date) override { return fast_.HttpGetBytes(path, date); }
  FetchResult HttpGetToSink(std::string_view path, DownloadSink& sink, DateValue& date) override {
    return (path.ends_with(".dat") ? slow_ : fast_).HttpGetToSink(path, sink, date);
  }
  std::string URL() override { return fast_.URL(); }

 private:
  Repository& fast_;
  Repository& slow_;
};

TEST_F(FormMainTest, CancelDuringASlowDownloadLeavesTheInstalledFileAndNoStagingCopy) {
  testing::FaultServer trickle(testing::Fault::TrickleBody, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
  HttpTransport fast(nginx_.Location(base_), 0);
  HttpTransport slow("127.0.0.1:" + std::to_string(trickle.port()), 0);
  SlowDownloads repository(fast, slow);
  WindowRig rig(base_, {"", false, false, ""}, &repository);
  PrepareSuite(rig);
  rig.PutLocal("Dati/A.dat", "vecchio A");  // all three are updates now
  Person person;
  Open(rig, 3);
  FormMain& form = rig.form();

  // Once the first download is under way, the user presses "Annulla" and
  // confirms.
  bool pressed = false;
  person.meanwhile = [&] {
    const QString status = form.LVModules()->topLevelItem(0)->text(3);
    if (!pressed && status.startsWith("Download in corso")) {
      pressed = true;
      // Queued as the window system queues it: the transfer's own wait must
      // let it through, and the person's timer answers the question it
      // brings up.
      testing::QueuedClick(form.CmdAction(0));
    }
  };
  QTest::mouseClick(form.CmdAction(1), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return !form.isVisible(); }));

  EXPECT_TRUE(pressed);
  EXPECT_EQ(person.seen, (std::vector<std::string>{"901: Chiudere la procedura di aggiornamento?"}));
  for (const char* name : {"A", "B", "C"}) {
    EXPECT_EQ(testing::ReadTextFile(rig.Local(std::string("Dati/") + name + ".dat")),
              std::string("vecchio ") + name);
    EXPECT_FALSE(std::filesystem::exists(rig.Local(std::string("Dati/") + name + ".dat.new")));
  }
  EXPECT_FALSE(std::filesystem::exists(rig.Local("post-setup.txt")));
  const std::vector<std::string> log = LogMessages(form);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "Fine procedura di aggiornamento");
  EXPECT_EQ(std::count(log.begin(), log.end(), "Download del modulo effettuato con successo"), 0);
  EXPECT_EQ(Column(form, 3)[0], "Pronto per l'aggiornamento");
}

// A repository that cannot be read says why in the log, never that there
// is nothing to update, and the process is to end with status 1.
TEST_F(FormMainTest, ARepositoryThatCannotBeReadSaysWhyInsteadOfNothingToUpdate) {
  testing::FaultServer silent(testing::Fault::Silent);
  struct Case {
    std::string location;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"127.0.0.1:" + std::to_string(testing::FaultServer::ClosedPort()), "Connessione rifiutata"},
      {nginx_.Location("/failing" + base_), "HTTP 500"},
      {"127.0.0.1:" + std::to_string(silent.port()), "Nessuna risposta entro 1 secondi"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.location);
    SessionLimits session;
    session.step = session.total = std::chrono::seconds(1);
    TransferLimits transfer;
    transfer.text_seconds = 1;
    WindowRig rig(base_, {}, nullptr, testing::RigRepository{c.location, session, transfer});
    ASSERT_TRUE(rig.form().Load());
    rig.form().show();
    ASSERT_TRUE(WaitFor([&] { return rig.form().TxtLog()->isVisible(); }));
    EXPECT_EQ(LogMessages(rig.form()),
              (std::vector<std::string>{"Impossibile leggere il repository degli aggiornamenti [" + c.reason + "]"}));
    EXPECT_FALSE(rig.form().CmdAction(1)->isEnabled());
    EXPECT_EQ(rig.controller().ExitStatus(), 1);
  }
}

// A walk that waits on a repository that never answers ends as soon as
// the user presses "Annulla", while the server still holds the request.
TEST_F(FormMainTest, AnnullaEndsAListThatWaitsOnASilentRepository) {
  testing::FaultServer held(testing::Fault::Held, "HTTP/1.0 404 Not Found\r\n\r\n");
  WindowRig rig(base_, {}, nullptr, testing::RigRepository{"127.0.0.1:" + std::to_string(held.port()), {}, {}});
  Person person;
  // The walk waits inside the window's activation: the user's click comes
  // from the event loop it runs, once the server holds the request.
  bool clicked = false;
  person.meanwhile = [&] {
    if (!clicked && !held.Requests().empty()) {
      clicked = true;
      testing::QueuedClick(rig.form().CmdAction(0));
    }
  };
  ASSERT_TRUE(rig.form().Load());
  rig.form().show();
  // Without the abort the walk would wait for the transfer's own bounds
  // (a minute and more) and this wait would fail.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !rig.form().isVisible(); }, 5000));
  EXPECT_TRUE(clicked);
  EXPECT_TRUE(rig.controller().Closed());
  EXPECT_TRUE(person.seen.empty());  // an empty list closes without asking
  EXPECT_EQ(LogMessages(rig.form()), (std::vector<std::string>{""}));
  held.Release();
}

}  // namespace
}  // namespace tw
