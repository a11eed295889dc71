// The client's checks against a repository the publisher wrote, served by a
// real nginx and installed onto the real disk, through the main window's
// run (its controller, a window held in memory, the engine's installer) and
// through the engine's own calls. Each attack on the repository must leave
// the installed file as it was and put nothing new in place.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <filesystem>
#include <memory>
#include <sstream>

#include "catalogue/catalogue.h"
#include "catalogue/path_mapping.h"
#include "common/settings_keys.h"
#include "common/text.h"
#include "trust/signature_section.h"
#include "trust/trust_policy.h"
#include "engine/engine_context.h"
#include "engine/global.h"
#include "engine/self_update.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_process_launcher.h"
#include "publisher/command.h"
#include "publisher/sample_suite.h"
#include "support/disk_client.h"
#include "support/fake_main_window_view.h"
#include "support/fake_settings_store.h"
#include "support/fake_system_info.h"
#include "support/nginx_server.h"
#include "transport/network/http_transport.h"
#include "ui/engine_module_installer.h"
#include "ui/main_window_controller.h"

namespace tw {
namespace {

using testing::PeBytes;
using testing::PutSuiteFile;
using testing::ReadTextFile;
using Lines = std::vector<std::string>;

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

using Client = testing::DiskClient;

// The main window over a client: its controller, a window in memory and
// the engine's installer.
struct Window {
  explicit Window(Client& client, const std::string& command_line)
      : installer(client.ctx),
        controller(ReadMainWindowSwitches(command_line),
                   MainWindowCollaborators{client.catalogue, client.paths, client.settings, installer,
                                           Clock{[] { return DateValue::FromCalendar(2026, 12, 8, 9, 0, 0); },
                                                 [] { return std::chrono::steady_clock::time_point{}; }}},
                   view) {}
  // Opens the window and runs the update over every listed module.
  void Run() {
    EXPECT_EQ(controller.Load(), LoadOutcome::ShowWindow);
    controller.Activated();
    controller.ButtonClicked(1);
  }
  std::vector<std::string> Statuses() const {
    std::vector<std::string> statuses;
    for (const auto& row : view.rows) statuses.push_back(row.text + ": " + row.status);
    return statuses;
  }
  bool Logged(const std::string& message) const {
    const auto messages = view.LogMessages();
    return std::find(messages.begin(), messages.end(), message) != messages.end();
  }

  testing::FakeMainWindowView view;
  EngineModuleInstaller installer;
  MainWindowController controller;
};

const std::string kProg = "{ESEGUIBILI}\\Prog.exe";

class TrustEnforcement : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(nginx.running());
    testing::BuildSampleSuite(source);
    // The program needs the data file and the grid component.
    PutSuiteFile(source + "/tarnwick-moduli.ini",
                 "[eseguibili/prog.exe]\r\nSetup.1={DATI}\\Archivio.mdb\r\nSetup.2={ESEGUIBILI}\\Componenti\\Griglia.ocx\r\n");
    key_file = testing::WriteKeyFile(dir, "chiave.pem", testing::TestKey(5));
    Publish(key_file);
    // An older program is installed; nothing else is.
    PutSuiteFile(suite + "/Eseguibili/Prog.exe", old_program, testing::kSuiteDate - 86400);
  }

  void Publish(const std::string& key, const std::vector<std::string>& more = {}) {
    std::vector<std::string> arguments = {"publish", source, repository, "--store", dir / "archivio"};
    if (!key.empty()) arguments.insert(arguments.end(), {"--key", key});
    arguments.insert(arguments.end(), more.begin(), more.end());
    std::ostringstream out, err;
    ASSERT_EQ(publisher::RunCommand(arguments, out, err), 0) << err.str();
  }

  std::unique_ptr<Client> NewClient(const std::string& keys) {
    return std::make_unique<Client>(suite, nginx.Location(base), keys);
  }
  // A client with the vendor's key and a cache folder of the test's own,
  // taking up the settings (floor, dates) another client left.
  std::unique_ptr<Client> CachedClient(const testing::FakeSettingsStore* after) {
    auto made = NewClient(testing::PublicText(testing::TestKey(5)));
    made->system.user_cache_folder = dir / "cache";
    if (after) made->settings.values = after->values;
    return made;
  }

  std::string Served(const std::string& path) const { return ReadTextFile(repository + path); }
  void Serve(const std::string& path, const std::string& content) const { testing::WriteTextFile(repository + path, content); }

  // The installed program is the old one, and no staging file is left.
  void ExpectProgramUntouched() const {
    EXPECT_EQ(ReadTextFile(suite + "/Eseguibili/Prog.exe"), old_program);
    EXPECT_FALSE(Exists(suite + "/Eseguibili/Prog.exe.new"));
  }
  // None of the program's dependencies was put in place.
  void ExpectNothingNew() const {
    EXPECT_FALSE(Exists(suite + "/Dati/Archivio.mdb"));
    EXPECT_FALSE(Exists(suite + "/Eseguibili/Componenti/Griglia.ocx"));
  }
  void ExpectInstalled() const {
    EXPECT_EQ(ReadTextFile(suite + "/Eseguibili/Prog.exe"), ReadTextFile(source + "/Eseguibili/Prog.exe"));
    EXPECT_EQ(ReadTextFile(suite + "/Dati/Archivio.mdb"), ReadTextFile(source + "/Dati/Archivio.mdb"));
    EXPECT_EQ(ReadTextFile(suite + "/Eseguibili/Componenti/Griglia.ocx"),
              ReadTextFile(source + "/Eseguibili/Componenti/Griglia.ocx"));
  }

  testing::NginxServer& nginx = testing::NginxServer::Shared();
  const std::string base = nginx.FreshBase();
  const std::string repository = nginx.root() + base;
  testing::TempDir dir;
  const std::string source = dir / "fonte";
  const std::string suite = dir / "Suite";
  const std::string old_program = PeBytes(2, 0, 0, 0);
  const std::string key_file_other = testing::WriteKeyFile(dir, "altra.pem", testing::TestKey(9));
  std::string key_file;
  const std::string key = testing::PublicText(testing::TestKey(5));
};

TEST_F(TrustEnforcement, TheWindowsRunInstallsASignedModuleWithItsDependencies) {
  auto client = NewClient(key);
  Window window(*client, "@m " + kProg);
  window.Run();
  EXPECT_EQ(window.Statuses(), (Lines{"Archivio.mdb: Aggiornamento effettuato",
                                      "Griglia.ocx: Aggiornamento effettuato",
                                      "Prog.exe: Aggiornamento effettuato"}));
  EXPECT_FALSE(window.controller.UpdateErrors());
  ExpectInstalled();
}

TEST_F(TrustEnforcement, UpdateModuleInstallsASignedModuleWithItsDependencies) {
  auto client = NewClient(key);
  Global global(client->ctx);
  EXPECT_TRUE(global.IsUpdateAvailable(kProg));
  EXPECT_TRUE(global.UpdateModule(kProg));
  ExpectInstalled();
  EXPECT_FALSE(global.IsUpdateAvailable(kProg));
}

TEST_F(TrustEnforcement, AChangedByteOfTheFileIsRefusedAsAFailedReplacement) {
  std::string file = Served("/eseguibili/prog.exe");
  file[file.size() / 2] ^= 0x01;
  Serve("/eseguibili/prog.exe", file);

  auto client = NewClient(key);
  Window window(*client, "@m " + kProg);
  window.Run();
  const std::string failure = "Errori durante l'aggiornamento [30001: impronta del file non valida]";
  EXPECT_EQ(window.Statuses().back(), "Prog.exe: " + failure);
  EXPECT_TRUE(window.Logged("Errori durante il download del modulo [30001: impronta del file non valida]"));
  EXPECT_TRUE(window.controller.UpdateErrors());
  ExpectProgramUntouched();

  // The engine's call refuses it the same way, with or without keys.
  for (const std::string& keys : {key, std::string()}) {
    auto engine = NewClient(keys);
    EXPECT_FALSE(Global(engine->ctx).UpdateModule(kProg)) << keys;
    ExpectProgramUntouched();
  }
}

TEST_F(TrustEnforcement, DocumentsAlteredAfterSigningCountAsAbsentAndAreReported) {
  const std::string published = Served("/eseguibili/prog.exe.ini");
  const SignatureSection section = ReadSignatureSection(published);
  ASSERT_EQ(section.status, SignatureSectionStatus::Present);
  std::string raised = published;
  const size_t at = raised.find("Version=2.1.0.5");
  ASSERT_NE(at, std::string::npos);
  raised.replace(at, 15, "Version=2.1.0.9");
  struct Attack {
    std::string name, document;
  };
  const Attack attacks[] = {
      {"version raised", raised},
      {"signed by another key", testing::Signed(section.signed_bytes, testing::TestKey(9))},
      {"signature removed", std::string(section.signed_bytes)},
  };
  for (const Attack& attack : attacks) {
    SCOPED_TRACE(attack.name);
    Serve("/eseguibili/prog.exe.ini", attack.document);
    auto client = NewClient(key);
    Window window(*client, "@m " + kProg);
    window.Run();
    EXPECT_TRUE(window.view.rows.empty());
    // The index vouches for other bytes.
    EXPECT_TRUE(window.Logged("Errore 30019: documento di catalogo diverso dalla voce dell'indice "
                              "(/eseguibili/prog.exe.ini: contenuto diverso)"))
        << Join(window.view.LogMessages());
    ExpectProgramUntouched();
    ExpectNothingNew();

    auto engine = NewClient(key);
    Global global(engine->ctx);
    EXPECT_FALSE(global.IsUpdateAvailable(kProg));
    EXPECT_FALSE(global.UpdateModule(kProg));  // a frozen module is an error
    ExpectProgramUntouched();
    ExpectNothingNew();
  }
}

TEST_F(TrustEnforcement, ASignedDocumentWithoutADigestIsNotInstalledUnderKeys) {
  Serve("/dati/archivio.mdb.ini", testing::Signed("[Release]\r\nVersion=1.0.0.0\r\n", testing::TestKey(5)));
  auto client = NewClient(key);
  Window window(*client, "@m {DATI}\\Archivio.mdb");
  window.Run();
  // Under the index, a document other than the one it lists is refused.
  EXPECT_TRUE(window.view.rows.empty());
  EXPECT_TRUE(window.Logged("Errore 30019: documento di catalogo diverso dalla voce dell'indice "
                            "(/dati/archivio.mdb.ini: contenuto diverso)"))
      << Join(window.view.LogMessages());
  EXPECT_FALSE(Exists(suite + "/Dati/Archivio.mdb"));
  // Without keys the index is read all the same, and the document it does
  // not list is refused too.
  auto unchecked = NewClient("");
  EXPECT_FALSE(Global(unchecked->ctx).UpdateModule("{DATI}\\Archivio.mdb"));
  EXPECT_FALSE(Exists(suite + "/Dati/Archivio.mdb"));
  // A repository without an index installs it, as it always did.
  nginx.Remove(base + "/indice.ini");
  auto without_index = NewClient("");
  EXPECT_TRUE(Global(without_index->ctx).UpdateModule("{DATI}\\Archivio.mdb"));
  EXPECT_EQ(ReadTextFile(suite + "/Dati/Archivio.mdb"), "archivio 1");
}

TEST_F(TrustEnforcement, ATamperedLauncherIsNotPutInPlaceByTheSelfUpdate) {
  PutSuiteFile(source + "/Eseguibili/Run", PeBytes(5, 0, 0, 0));
  PutSuiteFile(source + "/Eseguibili/Tarnwick", PeBytes(5, 2, 0, 0));
  Publish(key_file);
  const std::string old_launcher = PeBytes(4, 0, 0, 0);
  PutSuiteFile(suite + "/Eseguibili/Run", old_launcher);
  PutSuiteFile(suite + "/Eseguibili/Tarnwick", PeBytes(5, 1, 0, 0));
  std::string launcher = Served("/eseguibili/run");
  launcher[launcher.size() - 1] ^= 0x20;
  Serve("/eseguibili/run", launcher);

  auto client = NewClient(key);
  SelfUpdate(client->ctx);
  EXPECT_EQ(ReadTextFile(suite + "/Eseguibili/Run"), old_launcher);
  EXPECT_FALSE(Exists(suite + "/Eseguibili/Run.new"));
  // The program's own copy, untouched in the repository, arrives beside it.
  EXPECT_EQ(ReadTextFile(suite + "/Eseguibili/Tarnwick.update"), ReadTextFile(source + "/Eseguibili/Tarnwick"));

  // A ".update" copy whose document was altered is not fetched at all.
  std::filesystem::remove(suite + "/Eseguibili/Tarnwick.update");
  const std::string document = Served("/eseguibili/tarnwick.ini");
  Serve("/eseguibili/tarnwick.ini", std::string(ReadSignatureSection(document).signed_bytes));
  auto again = NewClient(key);
  SelfUpdate(again->ctx);
  EXPECT_FALSE(Exists(suite + "/Eseguibili/Tarnwick.update"));
}

TEST_F(TrustEnforcement, TwoKeysAcceptAnIndexSignedByEither) {
  // Half-way through a rotation: the data file changed and the repository
  // was published again with the new key, trusting what the old one signed.
  PutSuiteFile(source + "/Dati/Archivio.mdb", "archivio 2", testing::kSuiteDate + 3600);
  const std::string new_key = testing::PublicText(testing::TestKey(9));
  Publish(key_file_other, {"--trusted-keys", key});

  auto both = NewClient(key + " " + new_key);
  EXPECT_TRUE(Global(both->ctx).UpdateModule(kProg));
  ExpectInstalled();
  EXPECT_EQ(ReadTextFile(suite + "/Dati/Archivio.mdb"), "archivio 2");

  // A client that knows only the old key refuses the new index.
  std::filesystem::remove(suite + "/Eseguibili/Prog.exe");
  std::filesystem::remove(suite + "/Dati/Archivio.mdb");
  auto only_old = NewClient(key);
  EXPECT_FALSE(Global(only_old->ctx).IsUpdateAvailable(kProg));
  EXPECT_FALSE(Global(only_old->ctx).UpdateModule("{DATI}\\Archivio.mdb"));
  EXPECT_FALSE(Exists(suite + "/Dati/Archivio.mdb"));
  auto only_new = NewClient(new_key);
  EXPECT_TRUE(Global(only_new->ctx).UpdateModule("{DATI}\\Archivio.mdb"));
  EXPECT_EQ(ReadTextFile(suite + "/Dati/Archivio.mdb"), "archivio 2");
}

TEST_F(TrustEnforcement, RepositoriesAndClientsWithoutKeysWorkAsBefore) {
  // A signed repository read by a client with no key.
  {
    auto client = NewClient("");
    Window window(*client, "@m " + kProg);
    window.Run();
    EXPECT_FALSE(window.controller.UpdateErrors());
    ExpectInstalled();
  }
  // An unsigned repository without an index, no key configured.
  std::filesystem::remove_all(suite);
  nginx.Remove(base + "/indice.ini");
  PutSuiteFile(suite + "/Eseguibili/Prog.exe", old_program, testing::kSuiteDate - 86400);
  for (const char* document : {"/eseguibili/prog.exe.ini", "/dati/archivio.mdb.ini",
                               "/eseguibili/componenti/griglia.ocx.ini"})
    Serve(document, std::string(ReadSignatureSection(Served(document)).signed_bytes));
  auto client = NewClient("");
  EXPECT_TRUE(Global(client->ctx).UpdateModule(kProg));
  ExpectInstalled();
}

// The attacks of someone who can write the web root but has no key, each
// against a workstation that accepted the vendor's index before.
TEST_F(TrustEnforcement, IndexAttacksInstallNothingAndSayWhy) {
  const std::string index_path = "/indice.ini";
  const std::string first_index = Served(index_path);
  const std::string first_body(ReadSignatureSection(first_index).signed_bytes);
  // The vendor publishes again: a newer data file, a newer index.
  PutSuiteFile(source + "/Dati/Archivio.mdb", "archivio 2", testing::kSuiteDate + 3600);
  Publish(key_file);
  const std::string index = Served(index_path);
  const std::string body(ReadSignatureSection(index).signed_bytes);
  const auto key5 = testing::TestKey(5);
  auto accepted = NewClient(key);  // the workstation's settings after an accepted index
  ASSERT_FALSE(Global(accepted->ctx).IsUpdateAvailable("{NESSUNO}\\x"));
  ASSERT_NE(accepted->settings.values.size(), 0u);
  const auto line_of = [&](const std::string& key) {
    const size_t at = body.find(key);
    return body.substr(at, body.find("\r\n", at) - at);
  };
  const std::string expires = line_of("Expires=");
  // Expired the moment it was published.
  const std::string expired = "Expires=" + line_of("Published=").substr(10);
  struct Attack {
    std::string name;
    std::function<void()> apply;
    std::string message;
    bool damaged_key = false;
  };
  const Attack attacks[] = {
      {"a pair served at another path",
       [&] {
         Serve("/eseguibili/prog.exe.ini", Served("/eseguibili/componenti/griglia.ocx.ini"));
         Serve("/eseguibili/prog.exe", Served("/eseguibili/componenti/griglia.ocx"));
       },
       "Errore 30019: documento di catalogo diverso dalla voce dell'indice (/eseguibili/prog.exe.ini: contenuto diverso)"},
      {"an older index", [&] { Serve(index_path, first_index); }, "Errore 30017: "},
      {"an expired index", [&] { Serve(index_path, testing::Signed(ReplaceAll(ReplaceAll(body, expires, expired), "Serial=", "Serial=9"), key5)); },
       "Errore 30014: "},
      {"a foreign-key index", [&] { Serve(index_path, testing::Signed(body, testing::TestKey(9))); }, "Errore 30013: "},
      {"another repository's index",
       [&] {
         Serve(index_path, testing::Signed(ReplaceAll(ReplaceAll(body, "Repository=", "Repository=altro-"), "Serial=",
                                                      "Serial=9"),
                                           key5));
       },
       "Errore 30015: "},
      {"the accepted serial with other bytes",
       [&] { Serve(index_path, testing::Signed(ReplaceAll(body, expires, expires + "1"), key5)); }, "Errore 30016: "},
      {"a damaged PublicKey", [] {}, "Errore 30018: ", true},
  };
  const auto snapshot = [&] {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(repository))
      if (entry.is_regular_file()) files[entry.path()] = ReadTextFile(entry.path());
    return files;
  }();
  for (const Attack& attack : attacks) {
    SCOPED_TRACE(attack.name);
    for (const auto& [path, content] : snapshot) testing::WriteTextFile(path, content);
    attack.apply();
    auto client = NewClient(key);
    client->settings.values = accepted->settings.values;
    if (attack.damaged_key) client->trust = TrustPolicy(client->trust.Anchors(), true);
    Window window(*client, "@m " + kProg);
    window.Run();
    EXPECT_TRUE(window.view.rows.empty());
    // The hidden start ends with status 1 when the index was refused.
    EXPECT_EQ(window.controller.ExitStatus(), attack.name == "a pair served at another path" ? 0 : 1);
    const auto messages = window.view.LogMessages();
    EXPECT_TRUE(std::any_of(messages.begin(), messages.end(),
                            [&](const std::string& line) { return line.starts_with(attack.message); }))
        << Join(messages);
    auto engine = NewClient(key);
    engine->settings.values = accepted->settings.values;
    if (attack.damaged_key) engine->trust = TrustPolicy(engine->trust.Anchors(), true);
    EXPECT_FALSE(Global(engine->ctx).UpdateModule(kProg));
    ExpectProgramUntouched();
    ExpectNothingNew();
  }
}

TEST_F(TrustEnforcement, AnOldFileWithAFutureDateOrAMissingDocumentIsNotInstalled) {
  // The data file installed, as the vendor published it first.
  PutSuiteFile(suite + "/Dati/Archivio.mdb", "archivio 1", testing::kSuiteDate);
  PutSuiteFile(source + "/Dati/Archivio.mdb", "archivio 2", testing::kSuiteDate + 3600);
  Publish(key_file);
  // The old file served again, dated far ahead.
  nginx.Put(base + "/dati/archivio.mdb", "archivio 1", 4102444800);
  auto client = NewClient(key);
  EXPECT_FALSE(Global(client->ctx).UpdateModule("{DATI}\\Archivio.mdb"));
  EXPECT_EQ(ReadTextFile(suite + "/Dati/Archivio.mdb"), "archivio 1");
  EXPECT_EQ(testing::ModificationTime(suite + "/Dati/Archivio.mdb"), testing::kSuiteDate);
  EXPECT_FALSE(client->settings.Get(settings::kLastModifiedSection, suite + "/Dati/Archivio.mdb").has_value());
  // The real file comes back: it installs with the vendor's date.
  nginx.Put(base + "/dati/archivio.mdb", "archivio 2", 4102444800);
  auto later = NewClient(key);
  EXPECT_TRUE(Global(later->ctx).UpdateModule("{DATI}\\Archivio.mdb"));
  EXPECT_EQ(ReadTextFile(suite + "/Dati/Archivio.mdb"), "archivio 2");
  EXPECT_EQ(testing::ModificationTime(suite + "/Dati/Archivio.mdb"), testing::kSuiteDate + 3600);

  // A listed document answered 404 freezes its module with an error.
  nginx.Remove(base + "/dati/archivio.mdb.ini");
  std::filesystem::remove(suite + "/Dati/Archivio.mdb");
  auto frozen = NewClient(key);
  std::vector<std::string> refusals;
  frozen->catalogue.SetRefusalListener([&](const std::string& line) { refusals.push_back(line); });
  EXPECT_FALSE(Global(frozen->ctx).IsUpdateAvailable("{DATI}\\Archivio.mdb"));
  EXPECT_EQ(refusals, (Lines{"Errore 30019: documento di catalogo diverso dalla voce dell'indice "
                             "(/dati/archivio.mdb.ini: assente)"}));
  EXPECT_FALSE(Exists(suite + "/Dati/Archivio.mdb"));
}

// What reaches the server: a check where nothing changed asks for the index
// alone, and a changed module for the index, its document and its file.
TEST_F(TrustEnforcement, NothingChangedCostsOneRequestAndAChangedModuleThree) {
  testing::RequestCounter requests(nginx, base);
  auto first = CachedClient(nullptr);
  ASSERT_TRUE(Global(first->ctx).UpdateModule(kProg));
  ExpectInstalled();
  requests.Sent();

  auto second = CachedClient(&first->settings);
  EXPECT_FALSE(Global(second->ctx).IsUpdateAvailable(kProg));
  EXPECT_EQ(requests.Sent(), 1u);
  // The index itself came from the cache: the repository only said 304.
  EXPECT_TRUE(nginx.Requests().back().ends_with("/indice.ini HTTP/1.1 304")) << nginx.Requests().back();
  auto third = CachedClient(&first->settings);
  EXPECT_TRUE(Global(third->ctx).UpdateModule(kProg));
  EXPECT_EQ(requests.Sent(), 1u);

  PutSuiteFile(source + "/Dati/Archivio.mdb", "archivio 2", testing::kSuiteDate + 3600);
  Publish(key_file);
  auto fourth = CachedClient(&third->settings);
  EXPECT_TRUE(Global(fourth->ctx).UpdateModule(kProg));
  EXPECT_EQ(ReadTextFile(suite + "/Dati/Archivio.mdb"), "archivio 2");
  EXPECT_EQ(requests.Sent(), 3u) << Join(nginx.Requests());
}

// The cached index is judged again at every use, and a cache that cannot
// back a 304 leads to a plain GET.
TEST_F(TrustEnforcement, ACachedIndexIsCheckedAgainAndAnUnusableCacheCostsAPlainGet) {
  auto first = CachedClient(nullptr);
  ASSERT_TRUE(Global(first->ctx).UpdateModule(kProg));
  const std::filesystem::directory_iterator folders(dir / "cache/Velmora/Tarnwick");
  ASSERT_NE(folders, std::filesystem::directory_iterator());
  const std::string folder = folders->path().string();
  // Each start below asks for the index once or twice: its last answer.
  size_t logged = nginx.Requests().size();
  const auto last_index_status = [&](size_t asked) {
    const std::vector<std::string> lines = nginx.RequestsAtLeast(logged + asked);
    logged = lines.size();
    std::string status;
    for (const std::string& line : lines)
      if (line.find(" " + base + "/indice.ini ") != std::string::npos) status = line.substr(line.rfind(' ') + 1);
    return status;
  };
  EXPECT_EQ(last_index_status(0), "200");

  struct Damage {
    const char* what;
    std::function<void()> apply;
    const char* status;  // of the last index request
  };
  const std::vector<Damage> damages = {
      {"untouched", [] {}, "304"},
      // Read on a second core too: bytes other than their name says are
      // fetched again, never taken.
      {"documents edited to claim a newer version",
       [&] {
         for (const auto& entry : std::filesystem::directory_iterator(folder))
           if (const std::string bytes = ReadTextFile(entry.path().string());
               entry.path().filename().string().size() == 64 && bytes.find("[Index]") == std::string::npos) {
             std::string edited = "[Release]\r\nVersion=99.0.0.0\r\n" + bytes;
             edited.resize(bytes.size());  // the size still agrees
             testing::WriteTextFile(entry.path().string(), edited);
           }
       },
       "304"},
      {"note removed", [&] { std::filesystem::remove(folder + "/indice"); }, "200"},
      {"index bytes edited",
       [&] {
         for (const auto& entry : std::filesystem::directory_iterator(folder))
           if (entry.path().filename().string().size() == 64 && ReadTextFile(entry.path().string()).find("[Index]") != std::string::npos)
             testing::WriteTextFile(entry.path().string(), ReadTextFile(entry.path().string()) + " ");
       },
       "200"},
      {"index a link to a copy",
       [&] {
         for (const auto& entry : std::filesystem::directory_iterator(folder))
           if (entry.path().filename().string().size() == 64 && ReadTextFile(entry.path().string()).find("[Index]") != std::string::npos) {
             std::filesystem::rename(entry.path(), folder + ".copy");
             std::filesystem::create_symlink(folder + ".copy", entry.path());
           }
       },
       "200"},
      {"folder open to others",
       [&] { std::filesystem::permissions(folder, std::filesystem::perms::group_read | std::filesystem::perms::group_exec,
                                          std::filesystem::perm_options::add); },
       "200"},
      {"folder a link",
       [&] {
         std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
         std::filesystem::rename(folder, folder + ".real");
         std::filesystem::create_directory_symlink(folder + ".real", folder);
       },
       "200"},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.what);
    damage.apply();
    auto next = CachedClient(&first->settings);
    std::vector<std::string> refusals;
    next->catalogue.SetRefusalListener([&](const std::string& line) { refusals.push_back(line); });
    EXPECT_FALSE(Global(next->ctx).IsUpdateAvailable(kProg));
    EXPECT_TRUE(refusals.empty()) << Join(refusals);
    EXPECT_EQ(last_index_status(1), damage.status);
  }
}

TEST_F(TrustEnforcement, RefreshKeepsAWorkstationRunningPastTheFirstExpiry) {
  Publish(key_file, {"--expires", "1"});
  auto today = NewClient(key);
  ASSERT_FALSE(Global(today->ctx).IsUpdateAvailable("{NESSUNO}\\x"));
  // Two days later, as the workstation's clock tells.
  const auto later = [&] {
    auto client = NewClient(key);
    client->settings.values = today->settings.values;
    IndexClock clock = SystemIndexClock([] { return 0; });
    const auto wall = clock.unix_now;
    clock.unix_now = [wall] { return wall() + 2 * 86400; };
    client->catalogue.SetIndexClock(clock);
    return client;
  };
  auto expired = later();
  EXPECT_FALSE(Global(expired->ctx).UpdateModule(kProg));
  ExpectProgramUntouched();

  std::ostringstream out, err;
  ASSERT_EQ(publisher::RunCommand({"refresh", repository, "--key", key_file, "--store", dir / "archivio"}, out, err),
            0)
      << err.str();
  auto refreshed = later();
  EXPECT_TRUE(Global(refreshed->ctx).UpdateModule(kProg));
  ExpectInstalled();
}

}  // namespace
}  // namespace tw
