#include "engine/processes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "engine/command_line.h"
#include "platform/posix/posix_process_launcher.h"
#include "support/fake_process_launcher.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

using Words = std::vector<std::string>;

TEST(CommandLine, SplitsByTheWindowsRules) {
  EXPECT_EQ(SplitCommandLine(R"("C:\Program Files\App\app.exe" /s "a b")"),
            (Words{R"(C:\Program Files\App\app.exe)", "/s", "a b"}));
  EXPECT_EQ(SplitCommandLine(R"(prog a\\\"b "c\\" d\e)"), (Words{"prog", R"(a\"b)", R"(c\)", R"(d\e)"}));
  EXPECT_EQ(SplitCommandLine(R"(prog "a""b" "" x)"), (Words{"prog", R"(a"b)", "", "x"}));
  EXPECT_EQ(SplitCommandLine("  prog\t a  "), (Words{"prog", "a"}));
  EXPECT_EQ(SplitCommandLine(R"(C:\dir\"quoted\"x.exe arg)"), (Words{R"(C:\dir\quoted\x.exe)", "arg"}));
  EXPECT_EQ(SplitCommandLine(R"(prog "unterminated arg)"), (Words{"prog", "unterminated arg"}));
  EXPECT_TRUE(SplitCommandLine("   ").empty());
  // Shell syntax is just text: nothing here is ever interpreted.
  EXPECT_EQ(SplitCommandLine("prog ; rm -rf / $(x) `y` | z"),
            (Words{"prog", ";", "rm", "-rf", "/", "$(x)", "`y`", "|", "z"}));
}

TEST(Registration, CommandLinesAsTheToolsExpectThem) {
  EXPECT_EQ(RegistrationCommandLine("RegSvr32", "C:\\WINDOWS\\system32", "C:\\Suite\\Eseguibili\\Componenti\\Griglia Dati.ocx", '\\'),
            "C:\\WINDOWS\\system32\\regsvr32.exe /s \"C:\\Suite\\Eseguibili\\Componenti\\Griglia Dati.ocx\"");
  EXPECT_EQ(RegistrationCommandLine("regsvr32", "/home/u/.local/lib", "/opt/Suite Prog/x.so", '/'),
            "/home/u/.local/lib/regsvr32.exe /s \"/opt/Suite Prog/x.so\"");
  // The tool is one word also where the system folder has a blank in it.
  EXPECT_EQ(SplitCommandLine(RegistrationCommandLine("regsvr32", "/home/Mario Rossi/.local/lib", "/opt/s/x.so", '/')),
            (Words{"/home/Mario Rossi/.local/lib/regsvr32.exe", "/s", "/opt/s/x.so"}));
  EXPECT_EQ(RegistrationCommandLine("SELF", "/lib", "/opt/Suite Prog/setup", '/'), "\"/opt/Suite Prog/setup\"");
  EXPECT_EQ(RegistrationCommandLine("", "/lib", "/x", '/'), "");
  EXPECT_EQ(RegistrationCommandLine("regasm", "/lib", "/x", '/'), "");
  EXPECT_EQ(RegistrationWindowStyle("Self"), WindowStyle::Hidden);
  EXPECT_EQ(RegistrationWindowStyle("regsvr32"), WindowStyle::MinimizedActive);
}

TEST(Processes, RunAndWaitReturnsTheExitCodeOfARealProgram) {
  PosixProcessLauncher launcher;
  EXPECT_EQ(RunAndWait(launcher, R"(/bin/sh -c "exit 7")", -1), 7);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunAndWait(launcher, R"(/bin/sh -c "sleep 0.3; exit 3")", -1), 3);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
  EXPECT_EQ(RunAndWait(launcher, "/nessun/programma --x", -1), 0);
  EXPECT_EQ(RunAndWait(launcher, "", -1), 0);
  EXPECT_FALSE(StartCommandLine(launcher, "\"/nessun/programma\" /s", WindowStyle::Hidden));
}

TEST(Processes, StartedProgramsRunInTheirOwnTime) {
  testing::TempDir dir;
  PosixProcessLauncher launcher;
  const std::string marker = dir / "fatto";
  ASSERT_TRUE(StartCommandLine(launcher, "/bin/sh -c \"sleep 0.1; echo ok > '" + marker + "'\"",
                               WindowStyle::MinimizedActive));
  for (int i = 0; i < 100 && testing::ReadTextFile(marker).empty(); ++i)
    RunAndWait(launcher, "/bin/sleep 0.05", -1);
  EXPECT_EQ(testing::ReadTextFile(marker), "ok\n");
}

TEST(Processes, ProgramsAreStartedByFullPathOnly) {
  PosixProcessLauncher launcher;
  // "sh" is on the search path, and would be found there by a shell.
  EXPECT_EQ(RunAndWait(launcher, R"(sh -c "exit 7")", -1), 0);
  EXPECT_FALSE(StartCommandLine(launcher, "true", WindowStyle::Hidden));
  EXPECT_EQ(RunAndWait(launcher, R"(/bin/sh -c "exit 7")", -1), 7);
}

// The desktop's opener comes from the system's folders: an "xdg-open"
// placed first on the search path is not the one run.
TEST(Processes, DocumentsAreNotOpenedByAnOpenerFoundOnTheSearchPath) {
  testing::TempDir dir;
  const std::string marker = dir / "aperto";
  const std::string opener = dir / "xdg-open";
  testing::WriteTextFile(opener, "#!/bin/sh\necho \"$1\" > '" + marker + "'\n");
  std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
  const char* old_path = std::getenv("PATH");
  const std::string saved = old_path ? old_path : "";
  ::setenv("PATH", (dir.path() + ":" + saved).c_str(), 1);
  PosixProcessLauncher launcher;
  launcher.OpenDocument(dir / "leggimi.txt", dir.path());
  ::setenv("PATH", saved.c_str(), 1);
  for (int i = 0; i < 10 && testing::ReadTextFile(marker).empty(); ++i)
    RunAndWait(launcher, "/bin/sleep 0.05", -1);
  EXPECT_EQ(testing::ReadTextFile(marker), "");
}

// Where the kernel offers no process descriptors, the wait asks the child
// itself, and its time limit still holds.
TEST(Processes, RunAndWaitHonoursItsLimitWithoutProcessDescriptors) {
  for (const bool descriptors : {true, false}) {
    PosixProcessLauncher launcher(descriptors);
    EXPECT_EQ(RunAndWait(launcher, "/bin/sleep 30", 200), 259) << descriptors;
    EXPECT_EQ(RunAndWait(launcher, R"(/bin/sh -c "exit 5")", 20000), 5) << descriptors;
    EXPECT_EQ(RunAndWait(launcher, R"(/bin/sh -c "kill -9 $$")", 20000), 128 + 9) << descriptors;
  }
}

// Libraries of this process ignore SIGPIPE (the session bus's does); the
// programs we start must not inherit that, or a pipeline of theirs whose
// reader ends goes on writing into the void.
TEST(Processes, StartedProgramsGetTheDefaultBrokenPipeSignal) {
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  PosixProcessLauncher launcher;
  const int code = RunAndWait(launcher, R"(/bin/sh -c "kill -PIPE $$; exit 0")", 20000);
  std::signal(SIGPIPE, previous);
  EXPECT_EQ(code, 128 + SIGPIPE);
}

TEST(ShellOpen, VerbsProgramsAndDocuments) {
  EXPECT_EQ(ShellVerb("Print"), "print");
  EXPECT_EQ(ShellVerb("run"), "open");
  EXPECT_EQ(ShellVerb(""), "open");
  testing::FakeProcessLauncher launcher;
  launcher.programs = {"/opt/suite/Eseguibili/Prog"};
  ShellOpen(launcher, "/opt/suite/Eseguibili/Prog", "/a  \"b c\"", "", "/tmp");
  ShellOpen(launcher, "/opt/suite/Dati/leggimi.pdf", "/x", "OPEN", "");
  ShellOpen(launcher, "/opt/suite/Eseguibili/Prog", "", "print", "");
  ShellOpen(launcher, "   ", "", "open", "");
  ASSERT_EQ(launcher.calls.size(), 3u);
  EXPECT_EQ(launcher.calls[0].kind, "start");
  EXPECT_EQ(launcher.calls[0].argv, (Words{"/opt/suite/Eseguibili/Prog", "/a", "b c"}));
  EXPECT_EQ(launcher.calls[0].folder, "/tmp");
  EXPECT_EQ(launcher.calls[1].kind, "open");
  EXPECT_EQ(launcher.calls[1].argv, (Words{"/opt/suite/Dati/leggimi.pdf"}));
  EXPECT_EQ(launcher.calls[2].kind, "open");
}

}  // namespace
}  // namespace tw
