// The hidden start as the suite's launcher runs it: the program copied into
// a suite folder, started with "@h @m <module> @b <program>", against a real
// nginx, once with Qt's offscreen display and once with no display at all.
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

#include "common/settings_keys.h"
#include "platform/log_file.h"
#include "support/fault_server.h"
#include "platform/qt/qt_settings_store.h"
#include "publisher/signed_sample.h"
#include "support/nginx_server.h"
#include "support/temp_dir.h"
#include "standalone/standalone_main.h"
#include "ui/widgets/form_main_window_rig.h"

namespace tw {
namespace {

using testing::NginxServer;
using testing::ReadTextFile;
using testing::WriteTextFile;

constexpr long long kJan2021 = 1609502400;

struct Outcome {
  int status = -1;
  std::string err;
};

class HiddenStart : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(nginx_.running());
    base_ = nginx_.FreshBase();
    std::filesystem::create_directories(Suite("Eseguibili"));
    std::filesystem::create_directories(Suite("Dati"));
    std::filesystem::copy_file(TARNWICK_EXECUTABLE, Suite("Eseguibili/Tarnwick"));
    // One post-setup program, named by two modules with the folder token in
    // different letter case.
    Script("Eseguibili/post.sh", "echo corsa >> \"" + dir_ / "post-setup.txt" + "\"");
    Script("Eseguibili/batch.sh", "echo \"$@\" > \"" + dir_ / "batch.txt" + "\"");
    nginx_.Put(base_ + "/testserver.html", "<html></html>");
    nginx_.Put(base_ + "/dati/a.dat.ini",
               "[Release]\r\n[Setup]\r\n1={DATI}\\B.dat\r\n[PostSetup]\r\n1={ESEGUIBILI}\\post.sh\r\n");
    nginx_.Put(base_ + "/dati/b.dat.ini", "[Release]\r\n[PostSetup]\r\n1={Eseguibili}\\post.sh\r\n");
    nginx_.Put(base_ + "/dati/a.dat", "nuovo A", kJan2021);
    nginx_.Put(base_ + "/dati/b.dat", "nuovo B", kJan2021);
    QtSettingsStore settings;
    std::filesystem::remove(settings.FilePath(settings::kApplication));
    settings.Write(settings::kApplication, settings::kSection, settings::kRemoteHost, nginx_.Location(base_));
    settings.Flush();
    std::filesystem::remove(LogFile());
  }

  static std::string LogFile() { return LogFilePath(&std::getenv); }

  void StoreRepository(const std::string& location) {
    QtSettingsStore settings;
    settings.Write(settings::kApplication, settings::kSection, settings::kRemoteHost, location);
    settings.Flush();
  }

  std::string Suite(const std::string& relative) { return dir_ / ("Suite/" + relative); }

  void Script(const std::string& relative, const std::string& body) {
    WriteTextFile(Suite(relative), "#!/bin/sh\n" + body + "\n");
    std::filesystem::permissions(Suite(relative), std::filesystem::perms::owner_all);
  }

  // With the offscreen display (true) or none at all (false).
  Outcome Start(const QString& arguments) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
    if (GetParam()) environment.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QString::fromStdString(Suite("Eseguibili/Tarnwick")), QProcess::splitCommand(arguments));
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardError().toStdString()};
  }

  NginxServer& nginx_ = NginxServer::Shared();
  testing::TempDir dir_;
  std::string base_;
};

TEST_P(HiddenStart, InstallsTheModuleAndItsDependencyRunsPostSetupOnceAndStartsTheBatch) {
  const std::string batch = Suite("Eseguibili/batch.sh");
  const Outcome outcome = Start("@h @m {DATI}\\A.dat @b \"" + QString::fromStdString(batch) + " uno due\"");
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(ReadTextFile(Suite("Dati/A.dat")), "nuovo A");
  EXPECT_EQ(ReadTextFile(Suite("Dati/B.dat")), "nuovo B");
  EXPECT_EQ(ReadTextFile(dir_ / "post-setup.txt"), "corsa\n");
  // The batch program is started, not waited for.
  ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(dir_ / "batch.txt"); }, 20000));
  QTest::qWait(100);
  EXPECT_EQ(ReadTextFile(dir_ / "batch.txt"), "uno due\n");
  // The window was never shown: no place of its own is stored for it.
  EXPECT_EQ(QtSettingsStore().Read(settings::kApplication, "Tarnwick\\FormMain", "Left", "nessuno"), "nessuno");
  if (!GetParam()) {
    // Without a display the log goes to standard error.
    EXPECT_NE(outcome.err.find("Inizio procedura di aggiornamento"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("Fine procedura di aggiornamento"), std::string::npos) << outcome.err;
  }
}

TEST_P(HiddenStart, AModuleThatCannotBePutInPlaceEndsWithStatusOne) {
  // Where the module's folder should be lies a file.
  WriteTextFile(Suite("Dati/Blocco"), "un file, non una cartella");
  nginx_.Put(base_ + "/dati/blocco/x.dat.ini", "[Release]\r\n");
  nginx_.Put(base_ + "/dati/blocco/x.dat", "nuovo X", kJan2021);
  if (GetParam()) {
    // With a display the run ends with message 908, which waits for its
    // OK: the start runs in this process, where the test answers it.
    testing::Person person;
    EXPECT_EQ(RunStandalone("@h @m {DATI}\\Blocco\\X.dat", Suite("Eseguibili/Tarnwick"), true), 1);
    EXPECT_EQ(person.seen,
              (std::vector<std::string>{"908: Si sono verificati alcuni errori durante l'aggiornamento."}));
  } else {
    const Outcome outcome = Start("@h @m {DATI}\\Blocco\\X.dat");
    EXPECT_EQ(outcome.status, 1) << outcome.err;
    EXPECT_NE(outcome.err.find("Si sono verificati alcuni errori"), std::string::npos) << outcome.err;
  }
  EXPECT_EQ(ReadTextFile(Suite("Dati/Blocco")), "un file, non una cartella");
  // The administrators' log names the module and the reason, dated.
  const std::string log = ReadTextFile(LogFile());
  EXPECT_NE(log.find(" - Inizio download del modulo [X.dat]\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" - Errori durante il download del modulo ["), std::string::npos) << log;
  EXPECT_NE(log.find(" - Fine procedura di aggiornamento\n"), std::string::npos) << log;
}

// A repository that cannot be read is no empty list: the line says why, on
// standard error as in the log file, and the launcher learns of it.
TEST_P(HiddenStart, ARepositoryThatCannotBeReadIsSaidOnStandardErrorAndEndsWithStatusOne) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"127.0.0.1:" + std::to_string(testing::FaultServer::ClosedPort()), "[Connessione rifiutata]"},
      {nginx_.Location("/failing" + base_), "[HTTP 500]"},
  };
  for (const auto& [location, reason] : cases) {
    SCOPED_TRACE(location);
    StoreRepository(location);
    const Outcome outcome = Start("@h @m {DATI}\\A.dat");
    EXPECT_EQ(outcome.status, 1) << outcome.err;
    const std::string line = "Impossibile leggere il repository degli aggiornamenti " + reason;
    EXPECT_NE(outcome.err.find(line), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.err.find("Nessun aggiornamento disponibile"), std::string::npos) << outcome.err;
    EXPECT_NE(ReadTextFile(LogFile()).find(line), std::string::npos);
  }
}

TEST_P(HiddenStart, NothingToUpdateEndsAtOnceWithStatusZero) {
  WriteTextFile(Suite("Dati/A.dat"), "nuovo A");
  WriteTextFile(Suite("Dati/B.dat"), "nuovo B");
  nginx_.Put(base_ + "/dati/a.dat.ini", "[Release]\r\nForceUpdate=0\r\n");
  nginx_.Put(base_ + "/dati/b.dat.ini", "[Release]\r\nForceUpdate=0\r\n");
  const Outcome outcome = Start("@h @m {DATI}\\A.dat");
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_FALSE(std::filesystem::exists(dir_ / "post-setup.txt"));
}

// Counted at the server: under a signed index a second hidden start with
// nothing changed asks for the index alone, and a changed module costs the
// index, its document and its file.
TEST_P(HiddenStart, UnderTheIndexASecondStartWithNothingChangedSendsOneRequest) {
  const std::string base = nginx_.FreshBase();
  const testing::SignedSample sample(dir_, nginx_.root() + base);
  ASSERT_EQ(sample.Publish(), "");
  StoreRepository(nginx_.Location(base));
  QtSettingsStore settings;
  settings.Write(settings::kApplication, settings::kSection, settings::kPublicKey,
                 testing::PublicText(testing::TestKey(5)));
  settings.Flush();
  testing::RequestCounter requests(nginx_, base);
  Outcome outcome = Start("@h @m {ESEGUIBILI}\\Prog.exe");
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(ReadTextFile(Suite("Dati/Archivio.mdb")), "archivio 1");
  requests.Sent();

  outcome = Start("@h @m {ESEGUIBILI}\\Prog.exe");
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(requests.Sent(), 1u);
  EXPECT_TRUE(nginx_.Requests().back().ends_with("/indice.ini HTTP/1.1 304")) << nginx_.Requests().back();

  testing::PutSuiteFile(sample.source + "/Dati/Archivio.mdb", "archivio 2", testing::kSuiteDate + 3600);
  ASSERT_EQ(sample.Publish(), "");
  outcome = Start("@h @m {ESEGUIBILI}\\Prog.exe");
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(ReadTextFile(Suite("Dati/Archivio.mdb")), "archivio 2");
  EXPECT_EQ(requests.Sent(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Display, HiddenStart, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Offscreen" : "NoDisplay"; });

}  // namespace
}  // namespace tw
