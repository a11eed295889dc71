// A repository published twice with patches, served by a real nginx, and a
// client on the real disk holding the first version: the patch rebuilds
// the second byte for byte, and every patch that cannot be used ends with
// the whole file instead.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sstream>

#include "catalogue/ini_document.h"
#include "engine/global.h"
#include "publisher/command.h"
#include "publisher/sample_suite.h"
#include "support/disk_client.h"
#include "support/fake_main_window_view.h"
#include "support/nginx_server.h"
#include "trust/trust_keys.h"
#include "ui/engine_module_installer.h"
#include "ui/main_window_controller.h"

namespace tw {
namespace {

using testing::PeBytes;
using testing::PutSuiteFile;
using testing::ReadTextFile;

// A program of some size: a version resource, then code-like bytes.
std::string Program(std::uint16_t build, bool edited) {
  std::string bytes = PeBytes(3, 0, 0, build);
  std::mt19937 random(11);
  std::string body(400'000, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = i % 512 < 300 ? static_cast<char>(random()) : static_cast<char>(i / 512);
  if (edited) {
    body.replace(1000, 8, "versione");
    body.insert(250'000, "una funzione nuova");
  }
  return bytes + body;
}

using Client = testing::DiskClient;

const std::string kProg = "{ESEGUIBILI}\\Prog.exe";

class NginxDelta : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(nginx.running());
    PutSuiteFile(source + "/Eseguibili/Prog.exe", Program(1, false), testing::kSuiteDate);
    Publish();
    PutSuiteFile(source + "/Eseguibili/Prog.exe", Program(2, true), testing::kSuiteDate + 86400);
    Publish();
    ModuleINIInfo document;
    ParseModuleINI(ReadTextFile(repository + "/eseguibili/prog.exe.ini"), document);
    ASSERT_EQ(document.DeltaKeys.Count(), 1u);
    const std::string entry = document.DeltaKeys.At(1).value;
    patch = repository + "/" + entry.substr(entry.rfind(' ') + 1);
    ASSERT_TRUE(std::filesystem::exists(patch)) << patch;
    // The first version is installed.
    PutSuiteFile(suite + "/Eseguibili/Prog.exe", Program(1, false), testing::kSuiteDate);
  }

  // With a key the repository also gets its signed index.
  virtual bool Keyed() const { return false; }

  void Publish() {
    std::vector<std::string> arguments{"publish", source, repository, "--deltas", "2", "--store", dir / "archivio"};
    if (Keyed()) arguments.insert(arguments.end(), {"--key", testing::WriteKeyFile(dir, "chiave.pem", testing::TestKey(5))});
    std::ostringstream out, err;
    ASSERT_EQ(publisher::RunCommand(arguments, out, err), 0) << err.str();
  }

  testing::NginxServer& nginx = testing::NginxServer::Shared();
  const std::string base = nginx.FreshBase();
  const std::string repository = nginx.root() + base;
  testing::TempDir dir;
  const std::string source = dir / "fonte";
  const std::string suite = dir / "Suite";
  std::string patch;
};

// The window's run, by a click, and the hidden start, with no one there:
// the same rebuild from the patch.
TEST_F(NginxDelta, TheWindowsRunAndTheHiddenStartRebuildTheFileFromThePatch) {
  for (const bool hidden : {false, true}) {
    SCOPED_TRACE(hidden ? "hidden start" : "window");
    PutSuiteFile(suite + "/Eseguibili/Prog.exe", Program(1, false), testing::kSuiteDate);
    Client client(suite, nginx.Location(base));
    testing::FakeMainWindowView view;
    EngineModuleInstaller installer(client.ctx);
    MainWindowController controller(
        ReadMainWindowSwitches((hidden ? "@h @m " : "@m ") + kProg),
        MainWindowCollaborators{client.catalogue, client.paths, client.settings, installer,
                                Clock{[] { return DateValue::FromCalendar(2026, 12, 8, 9, 0, 0); },
                                      [] { return std::chrono::steady_clock::time_point{}; }}},
        view);
    if (hidden) {
      EXPECT_EQ(controller.Load(), LoadOutcome::Closed);
    } else {
      EXPECT_EQ(controller.Load(), LoadOutcome::ShowWindow);
      controller.Activated();
      controller.ButtonClicked(1);
    }
    EXPECT_FALSE(controller.UpdateErrors());
    EXPECT_EQ(ReadTextFile(suite + "/Eseguibili/Prog.exe"), Program(2, true));
    const auto size = std::filesystem::file_size(patch);
    const auto messages = view.LogMessages();
    EXPECT_NE(std::find(messages.begin(), messages.end(),
                        "Modulo ricostruito da una patch [/eseguibili/prog.exe: " + std::to_string(size) + " byte]"),
              messages.end());
    EXPECT_LT(size, Program(2, true).size() / 10);
  }
}

TEST_F(NginxDelta, APatchThatCannotBeUsedGivesWayToTheWholeFile) {
  const std::string good = ReadTextFile(patch);
  struct Case {
    const char* name;
    std::function<void()> spoil;
  } cases[] = {
      {"patch used", [] {}},
      {"damaged patch",
       [&] {
         std::string bytes = good;
         bytes[bytes.size() / 2] ^= 0x10;
         testing::WriteTextFile(patch, bytes);
       }},
      {"missing patch", [&] { std::filesystem::remove(patch); }},
      {"truncated patch", [&] { testing::WriteTextFile(patch, good.substr(0, good.size() / 2)); }},
      {"installed file changed by the user",
       [&] { PutSuiteFile(suite + "/Eseguibili/Prog.exe", Program(1, false) + "!", testing::kSuiteDate); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PutSuiteFile(suite + "/Eseguibili/Prog.exe", Program(1, false), testing::kSuiteDate);
    testing::WriteTextFile(patch, good);
    c.spoil();
    Client client(suite, nginx.Location(base));
    Global global(client.ctx);
    EXPECT_TRUE(global.UpdateModule(kProg));
    EXPECT_EQ(ReadTextFile(suite + "/Eseguibili/Prog.exe"), Program(2, true));
    EXPECT_FALSE(std::filesystem::exists(suite + "/Eseguibili/Prog.exe.new"));
    EXPECT_FALSE(std::filesystem::exists(suite + "/Eseguibili/Prog.exe.part"));
  }
}

TEST_F(NginxDelta, TheStoreKeepsTheVersionsAndPatchesLieBesideTheFile) {
  // Both versions are in the store, none of them in the web root.
  int kept = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir / "archivio"))
    kept += entry.is_regular_file() && entry.path().filename().string().size() == 64;
  EXPECT_EQ(kept, 2);
  int served = 0;
  for (const auto& entry : std::filesystem::directory_iterator(repository + "/eseguibili"))
    served += entry.path().extension() == ".zstpatch";
  EXPECT_EQ(served, 1);
  // A release with nothing in common with the earlier ones saves nothing
  // by patch: no patch, no [Delta], and the earlier patch is gone.
  std::string unrelated(300'000, '\0');
  std::mt19937 random(5);
  for (char& c : unrelated) c = static_cast<char>(random());
  PutSuiteFile(source + "/Eseguibili/Prog.exe", PeBytes(3, 0, 0, 3) + unrelated, testing::kSuiteDate + 2 * 86400);
  Publish();
  EXPECT_FALSE(std::filesystem::exists(patch));
  EXPECT_EQ(ReadTextFile(repository + "/eseguibili/prog.exe.ini").find("[Delta]"), std::string::npos);
  // A store inside the web root is refused.
  std::ostringstream out, err;
  EXPECT_EQ(publisher::RunCommand({"publish", source, repository, "--deltas", "1", "--store", repository + "/x"},
                                  out, err),
            2);
}

class NginxDeltaUnderIndex : public NginxDelta {
 protected:
  bool Keyed() const override { return true; }

  // A client with the vendor's key updates Prog.exe; true when it asked
  // for the patch, false when for the whole file.
  bool UpdatedByPatch() {
    Client client(suite, nginx.Location(base), testing::PublicText(testing::TestKey(5)));
    const size_t before = nginx.Requests().size();
    EXPECT_TRUE(Global(client.ctx).UpdateModule(kProg));
    EXPECT_EQ(ReadTextFile(suite + "/Eseguibili/Prog.exe"), Program(2, true));
    const std::vector<std::string> requests = nginx.Requests();
    bool patch_asked = false, file_asked = false;
    for (size_t i = before; i < requests.size(); ++i) {
      patch_asked = patch_asked || requests[i].find(".zstpatch") != std::string::npos;
      file_asked = file_asked || requests[i].find("/eseguibili/prog.exe ") != std::string::npos;
    }
    EXPECT_NE(patch_asked, file_asked);
    return patch_asked;
  }
};

// The index lists the patch like any file: a client under the index takes
// it, and one whose index leaves it out takes the whole file instead,
// although the document names the patch.
TEST_F(NginxDeltaUnderIndex, ThePatchIsTakenOnlyAsTheIndexListsIt) {
  const std::string index_file = repository + "/indice.ini";
  std::string index = ReadTextFile(index_file);
  ASSERT_NE(index.find(".zstpatch"), std::string::npos);
  EXPECT_TRUE(UpdatedByPatch());

  PutSuiteFile(suite + "/Eseguibili/Prog.exe", Program(1, false), testing::kSuiteDate);
  index = index.substr(0, index.find("[Signature]"));
  const size_t at = index.find(".zstpatch");
  const size_t start = index.rfind('\n', at) + 1;
  index.erase(start, index.find('\n', at) + 1 - start);
  testing::WriteTextFile(index_file, testing::Signed(index, testing::TestKey(5)));
  EXPECT_FALSE(UpdatedByPatch());
}

}  // namespace
}  // namespace tw
