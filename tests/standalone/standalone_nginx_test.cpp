// The standalone start against a real nginx: the options window and the
// message boxes answered by the test as a person would, the settings read
// back from the INI file.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

#include "common/settings_keys.h"
#include "platform/qt/qt_settings_store.h"
#include "startup/repository_dialog.h"
#include "standalone/standalone_main.h"
#include "support/fault_server.h"
#include "support/nginx_server.h"
#include "support/temp_dir.h"
#include "ui/widgets/form_options.h"
#include "ui/widgets/form_splash.h"

namespace tw {
namespace {

using testing::NginxServer;

// Answers the windows the program opens, one step per window.
class Person : public QObject {
 public:
  using Step = std::function<void(FormOptions&)>;

  Person() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
    timer_.start(20);
    // The splash may come and go between two looks: its showing is caught
    // as it happens.
    qApp->installEventFilter(this);
  }
  ~Person() override { qApp->removeEventFilter(this); }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && watched->objectName() == "FormSplash") saw_splash = true;
    return false;
  }

  std::deque<Step> steps;            // one for each options window
  std::vector<std::string> seen;     // message texts and "options <path>"
  bool saw_splash = false;
  bool suggestion_kept = false;      // an options window opened without its text selected

 private:
  void Look() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      seen.push_back(box->text().toStdString());
      box->buttons().first()->click();
    } else if (auto* form = dynamic_cast<FormOptions*>(modal)) {
      seen.push_back("options " + form->TxtPath()->text().toStdString());
      // Typing is to replace the suggestion.
      if (form->TxtPath()->selectedText() != form->TxtPath()->text()) suggestion_kept = true;
      if (steps.empty()) {
        form->Cmds(1)->click();
        return;
      }
      Step step = steps.front();
      steps.pop_front();
      step(*form);
    }
  }
  QTimer timer_;
};

Person::Step Type(const std::string& path, bool hide = false) {
  return [path, hide](FormOptions& form) {
    form.TxtPath()->setText(QString::fromStdString(path));
    form.ChkHide()->setChecked(hide);
    form.Cmds(0)->click();
  };
}

class StandaloneStart : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(nginx_.running());
    good_ = nginx_.FreshBase();
    nginx_.Put(good_ + "/testserver.html", "<html></html>");
    bad_ = nginx_.FreshBase();
    nginx_.Put(bad_ + "/altro.html", "<html></html>");
    std::filesystem::create_directories(dir_ / "Suite/Eseguibili");
    std::filesystem::remove(QtSettingsStore().FilePath(settings::kApplication));
  }

  int Run(const std::string& command_line) {
    return RunStandalone(command_line, dir_ / "Suite/Eseguibili/Tarnwick", true);
  }

  // A key of [Tarnwick] as the INI file holds it.
  std::string Ini(const std::string& key) {
    const std::string text = testing::ReadTextFile(QtSettingsStore().FilePath(settings::kApplication));
    const std::string prefix = "\n" + key + "=";
    const size_t at = ("\n" + text).find(prefix);
    if (at == std::string::npos) return "<none>";
    const size_t start = at + prefix.size() - 1;
    return text.substr(start, text.find('\n', start) - start);
  }

  NginxServer& nginx_ = NginxServer::Shared();
  testing::TempDir dir_;
  std::string good_, bad_;
  Person person_;
};

TEST_F(StandaloneStart, FirstStartStoresATestedAddressAndHide) {
  person_.steps = {Type("HTTP://" + nginx_.Location(good_) + " ", true)};
  EXPECT_EQ(Run(""), 0);
  ASSERT_EQ(person_.seen.size(), 2u);
  EXPECT_EQ(person_.seen[0], "options " + DefaultRepositoryURL());
  EXPECT_NE(person_.seen[1].find("verrà usato"), std::string::npos);
  EXPECT_TRUE(person_.saw_splash);
  EXPECT_EQ(Ini("RemoteHost"), nginx_.Location(good_));
  EXPECT_EQ(Ini("Hide"), "1");
}

TEST_F(StandaloneStart, ARepositoryWithoutTheTestFileIsRefusedAndCancelKeepsOnlyHide) {
  person_.steps = {Type("http://" + nginx_.Location(bad_)),
                   [](FormOptions& form) {
                     form.ChkHide()->setChecked(true);
                     form.Cmds(1)->click();
                   }};
  EXPECT_EQ(Run("@m {ESEGUIBILI}\\Prog.exe"), 0);
  ASSERT_EQ(person_.seen.size(), 3u);
  EXPECT_NE(person_.seen[1].find("non corrisponde"), std::string::npos);
  // Why, on a second line.
  EXPECT_NE(person_.seen[1].find(".\n[HTTP 404]"), std::string::npos) << person_.seen[1];
  EXPECT_EQ(person_.seen[2], "options " + DefaultRepositoryURL());
  EXPECT_FALSE(person_.suggestion_kept);
  EXPECT_EQ(Ini("RemoteHost"), "<none>");
  EXPECT_EQ(Ini("Hide"), "1");
}

TEST_F(StandaloneStart, AnAddressWhereNothingListensSaysSoUnder906) {
  person_.steps = {Type("127.0.0.1:" + std::to_string(testing::FaultServer::ClosedPort()))};
  EXPECT_EQ(Run("@m {ESEGUIBILI}\\Prog.exe"), 0);
  ASSERT_GE(person_.seen.size(), 2u);
  EXPECT_NE(person_.seen[1].find("Velmora s.r.l.\n[Connessione rifiutata]"), std::string::npos) << person_.seen[1];
}

TEST_F(StandaloneStart, HostModeReplacesTheStoredAddressOnlyAfterASuccessfulTest) {
  QtSettingsStore().Write(settings::kApplication, settings::kSection, settings::kRemoteHost,
                          nginx_.Location(bad_));
  person_.steps = {Type("http://" + nginx_.Location(good_) + "/")};
  EXPECT_EQ(Run(" Host "), 0);
  ASSERT_EQ(person_.seen.size(), 2u);
  EXPECT_EQ(person_.seen[0], "options http://" + nginx_.Location(bad_));
  EXPECT_EQ(Ini("RemoteHost"), nginx_.Location(good_) + "/");

  // Cancelled at once: the stored address stays.
  person_.steps.clear();
  EXPECT_EQ(Run("host"), 0);
  EXPECT_EQ(Ini("RemoteHost"), nginx_.Location(good_) + "/");
}

}  // namespace
}  // namespace tw
