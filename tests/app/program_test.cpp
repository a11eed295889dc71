// The program as a launcher or a user starts it, without a display.
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

namespace tw {
namespace {

struct Outcome {
  int status;
  std::string out, err;
};

Outcome Start(const QStringList& arguments) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
  QProcess process;
  process.setProcessEnvironment(environment);
  process.start(TARNWICK_EXECUTABLE, arguments);
  process.waitForFinished(30000);
  return {process.exitCode(), process.readAllStandardOutput().toStdString(),
          process.readAllStandardError().toStdString()};
}

TEST(Program, PrintsItsVersionInformation) {
  const Outcome outcome = Start({"--version"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out.rfind("Tarnwick 2.07\n", 0), 0u);
  EXPECT_NE(outcome.out.find("Velmora s.r.l.\n"), std::string::npos);
  EXPECT_NE(outcome.out.find("Deve risiedere nella cartella degli Eseguibili"), std::string::npos);
}

TEST(Program, HelpListsEverySwitchInItalianOnStandardOutput) {
  // The launcher's switches work anywhere on the line, so --help must win
  // over them instead of opening the main window.
  for (const QStringList& arguments : {QStringList{"--help"}, QStringList{"@m", "x", "--help"}}) {
    const Outcome outcome = Start(arguments);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.out.rfind("Tarnwick 2.07", 0), 0u);
    for (const char* word : {"@m, @module", "@c, @confirm", "@b, @batch", "@h, @hidden", "Tarnwick host",
                             "--regserver", "--unregserver", "--version", "Uso:", "Opzioni"})
      EXPECT_NE(outcome.out.find(word), std::string::npos) << word;
  }
}

TEST(Program, WithoutADisplayTheRepositoryQuestionEndsWithAMessageNotAWait) {
  for (const QStringList& arguments : {QStringList{}, QStringList{"host"}}) {
    const Outcome outcome = Start(arguments);
    EXPECT_NE(outcome.status, 0);
    EXPECT_NE(outcome.err.find("inserire il percorso del server"), std::string::npos) << outcome.err;
  }
}

}  // namespace
}  // namespace tw
