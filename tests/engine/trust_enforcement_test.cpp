// What the catalogue and the engine make of signed documents and file
// digests, over the in-memory platform: which documents count, what is
// reported, and what reaches the disk.
#include <gtest/gtest.h>

#include <algorithm>

#include "catalogue/catalogue.h"
#include "catalogue/path_mapping.h"
#include "trust/trust_policy.h"
#include "engine/checked_download.h"
#include "engine/engine_context.h"
#include "engine/global.h"
#include "engine/install.h"
#include "engine/self_update.h"
#include "common/settings_keys.h"
#include "platform/openssl/crypto.h"
#include "support/fake_file_system.h"
#include "support/fake_index.h"
#include "support/fake_process_launcher.h"
#include "support/fake_repository.h"
#include "support/fake_settings_store.h"
#include "support/fake_system_info.h"
#include "trust/trust_keys.h"

namespace tw {
namespace {

using testing::kNew;
using testing::kOld;

std::string Sha256Hex(std::string_view bytes) { return crypto::ToHex(*crypto::Sha256Of(bytes)); }

// An engine whose policy trusts the keys given.
struct TrustingEngine {
  explicit TrustingEngine(const std::string& keys)
      : paths(MakePlaceholderTable({"/opt/suite", "\\pc1", "/home/u/.local/lib", "", "/home/u/.local/share"}, '/'),
              "pc1", '/'),
        trust(Anchors(keys)),
        catalogue({paths, repo, files, settings, system, trust}),
        ctx{paths, repo, files, settings, system, catalogue, launcher, ""} {
    system.current_bias = 0;
    catalogue.SetRefusalListener([this](const std::string& line) { refusals.push_back(line); });
  }
  static TrustAnchors Anchors(const std::string& keys) {
    TrustAnchors anchors;
    anchors.AddKeys(keys);
    return anchors;
  }
  std::vector<std::string> Walk(std::string_view module) {
    UpdateDictionary updates;
    catalogue.CollectUpdates(updates, module);
    std::vector<std::string> keys;
    for (const auto& item : updates) keys.push_back(*item.key);
    return keys;
  }

  testing::FakeSystemInfo system;
  testing::FakeFileSystem files;
  testing::FakeSettingsStore settings;
  testing::FakeRepository repo;
  testing::FakeProcessLauncher launcher;
  PathMapping paths;
  TrustPolicy trust;
  Catalogue catalogue;
  EngineContext ctx;
  std::vector<std::string> refusals;
};

using Keys = std::vector<std::string>;

const auto kKey = testing::TestKey(5);
const auto kOther = testing::TestKey(9);

// The file the fake repository serves for a module.
std::string Content(const std::string& path) { return "contenuto " + path; }

std::string DocumentWithDigest(const std::string& path, const std::string& extra = "") {
  return "[Release]\r\nVersion=2.0\r\nSHA256=" + Sha256Hex(Content(path)) + "\r\n" + extra;
}

TEST(TrustEnforcementLogic, UnderAKeyOnlyDocumentsTheIndexVouchesForCountAndRefusalsAreReportedOnce) {
  TrustingEngine e(testing::PublicText(kKey));
  e.repo.Publish("/eseguibili/a.exe",
                 testing::Signed(DocumentWithDigest("/eseguibili/a.exe", "[Setup]\r\n1={DATI}\\B.mdb\r\n"), kKey), kNew);
  e.repo.Publish("/dati/b.mdb", testing::Signed(DocumentWithDigest("/dati/b.mdb"), kKey), kNew);
  e.repo.Publish("/dati/c.mdb", testing::Signed(DocumentWithDigest("/dati/c.mdb"), kKey), kNew);
  testing::PublishIndex(e.repo, kKey);
  // A forged dependency served after the index: signed by a key nobody
  // trusts, it names another.
  e.repo.PutDocument("/dati/b.mdb",
                     testing::Signed(DocumentWithDigest("/dati/b.mdb", "[Setup]\r\n1={DATI}\\C.mdb\r\n"), kOther));

  EXPECT_EQ(e.Walk("{ESEGUIBILI}\\A.exe"), (Keys{"{ESEGUIBILI}\\A.EXE"}));
  EXPECT_EQ(e.refusals, (Keys{"Errore 30019: documento di catalogo diverso dalla voce dell'indice "
                              "(/dati/b.mdb.ini: contenuto diverso)"}));
  // The refused document is absent: no version, not even the file's date.
  EXPECT_TRUE(IsVersionEmpty(e.catalogue.GetModuleVersion("{DATI}\\B.mdb", true)));
  EXPECT_EQ(e.Walk("{DATI}\\B.mdb"), Keys{});
  EXPECT_EQ(e.refusals.size(), 1u);  // answered from the cache, not judged again
  EXPECT_EQ(e.repo.requests["/dati/c.mdb.ini"], 0);
  EXPECT_EQ(e.repo.heads, 0);  // the index gives the dates
  // A's own file installs, but its frozen dependency makes the call fail.
  EXPECT_FALSE(Global(e.ctx).UpdateModule("{ESEGUIBILI}\\A.exe"));
  EXPECT_EQ(e.files.Content("/opt/suite/Eseguibili/A.exe"), Content("/eseguibili/a.exe"));
  EXPECT_EQ(e.refusals.size(), 1u);
}

TEST(TrustEnforcementLogic, WhatFollowsTheSignatureIsNeverRead) {
  TrustingEngine e(testing::PublicText(kKey));
  const std::string signed_document = testing::Signed(DocumentWithDigest("/eseguibili/a.exe"), kKey);
  e.repo.Publish("/eseguibili/a.exe", signed_document + "Register=self\r\n", kNew);
  // Even a section appended after it, with bytes the index lists.
  e.repo.Publish("/eseguibili/b.exe", signed_document + "[Release]\r\nRegister=self\r\n", kNew);
  testing::PublishIndex(e.repo, kKey);
  EXPECT_EQ(e.Walk("{ESEGUIBILI}\\A.exe"), (Keys{"{ESEGUIBILI}\\A.EXE"}));
  EXPECT_EQ(e.catalogue.LoadModuleINI("{ESEGUIBILI}\\A.exe")->GetKey("Release", "Register"), "");
  EXPECT_EQ(e.catalogue.LoadModuleINI("{ESEGUIBILI}\\B.exe")->GetKey("Release", "Register"), "");
  EXPECT_TRUE(e.refusals.empty());
}

TEST(TrustEnforcementLogic, WithoutKeysSignaturesAreIgnoredAndAPresentDigestIsStillChecked) {
  TrustingEngine e("");
  e.repo.Publish("/eseguibili/a.exe", testing::Signed(DocumentWithDigest("/eseguibili/a.exe"), kOther), kNew);
  e.repo.Publish("/eseguibili/b.exe", "[Release]\r\nVersion=2.0\r\nSHA256=" + Sha256Hex("altro") + "\r\n", kNew);
  e.repo.Publish("/eseguibili/c.exe", "[Release]\r\nVersion=2.0\r\n", kNew);
  e.files.AddFile("/opt/suite/Eseguibili/b.exe", "vecchio", kOld.ToUnixSeconds(), "1.0.0.0");

  EXPECT_TRUE(InstallModuleFile(e.ctx, "{ESEGUIBILI}\\a.exe", ""));
  EXPECT_EQ(e.files.Content("/opt/suite/Eseguibili/a.exe"), Content("/eseguibili/a.exe"));
  EXPECT_FALSE(InstallModuleFile(e.ctx, "{ESEGUIBILI}\\b.exe", ""));
  EXPECT_EQ(e.files.Content("/opt/suite/Eseguibili/b.exe"), "vecchio");
  EXPECT_FALSE(e.files.NormalFileExists("/opt/suite/Eseguibili/b.exe.new"));
  EXPECT_TRUE(InstallModuleFile(e.ctx, "{ESEGUIBILI}\\c.exe", ""));
  EXPECT_TRUE(e.refusals.empty());
}

TEST(TrustEnforcementLogic, UnderAKeyAModuleWithoutADigestIsRefusedBeforeAnyDownload) {
  TrustingEngine e(testing::PublicText(kKey));
  e.repo.Publish("/eseguibili/a.exe", testing::Signed("[Release]\r\nVersion=2.0\r\n", kKey), kNew);
  // A digest that is no SHA-256 can match nothing either.
  e.repo.Publish("/eseguibili/b.exe", testing::Signed("[Release]\r\nVersion=2.0\r\nSHA256=zz\r\n", kKey), kNew);
  // No document at all: nothing vouches for the file.
  e.repo.Put("/eseguibili/c.exe", Content("/eseguibili/c.exe"), kNew);
  // The index, the word on every file, lists neither a.exe nor c.exe; it
  // gives b.exe a digest its document contradicts.
  testing::IndexShape shape;
  shape.unlisted = {"/eseguibili/a.exe", "/eseguibili/c.exe"};
  testing::PublishIndex(e.repo, kKey, shape);

  const struct {
    const char* module;
    const char* remote;
    int error;
  } cases[] = {{"{ESEGUIBILI}\\a.exe", "/eseguibili/a.exe", 30002},
               {"{ESEGUIBILI}\\b.exe", "/eseguibili/b.exe", 30001},
               {"{ESEGUIBILI}\\c.exe", "/eseguibili/c.exe", 30002}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.module);
    const auto staged = DownloadCheckedModule(e.ctx, c.module);
    ASSERT_FALSE(staged);
    EXPECT_EQ(staged.error().reason, DownloadError::Unverified);
    ASSERT_TRUE(staged.error().file);
    EXPECT_EQ(staged.error().file->Number, c.error);
    EXPECT_EQ(staged.error().file->Source, "UpdateFile");
    EXPECT_EQ(std::count(e.repo.log.begin(), e.repo.log.end(), "GET " + std::string(c.remote)), 0);
  }
  EXPECT_FALSE(InstallModuleFile(e.ctx, "{ESEGUIBILI}\\a.exe", ""));
  EXPECT_FALSE(e.files.NormalFileExists("/opt/suite/Eseguibili/a.exe"));
}

// The attacks of a repository whose web root someone else can write, with
// the vendor's index in place: each ends with nothing installed.
TEST(TrustEnforcementLogic, UnderAnIndexDatesSizesAndPathsAreTheIndexsWord) {
  TrustingEngine e(testing::PublicText(kKey));
  e.repo.Publish("/dati/listino.dat", testing::Signed(DocumentWithDigest("/dati/listino.dat"), kKey), kNew);
  e.repo.Publish("/eseguibili/a.exe", testing::Signed(DocumentWithDigest("/eseguibili/a.exe"), kKey), kNew);
  e.repo.Publish("/eseguibili/tarnwick", testing::Signed(DocumentWithDigest("/eseguibili/tarnwick"), kKey), kNew);
  testing::PublishIndex(e.repo, kKey);
  // The listino installed, with a download date once poisoned into the
  // future; a.exe's pair served at another path; the program's ".update"
  // copy left by someone else.
  const std::string listino = "/opt/suite/Dati/listino.dat";
  e.files.AddFile(listino, Content("/dati/listino.dat"), kOld.ToUnixSeconds());
  e.settings.Set(settings::kLastModifiedSection, listino, DateValue::FromCalendar(2100, 1, 1).ToSettingsText());
  e.repo.Put("/dati/listino.dat", "vecchio listino", DateValue::FromCalendar(2100, 1, 1));
  e.files.AddFile("/opt/suite/Eseguibili/Tarnwick.update", "estraneo", kOld.ToUnixSeconds());

  // The poisoned date counts as unknown: the listino is offered again,
  // with the index's date, and no HEAD is asked.
  EXPECT_EQ(e.Walk("{DATI}\\listino.dat"), (Keys{"{DATI}\\LISTINO.DAT"}));
  EXPECT_EQ(e.repo.heads, 0);
  // The old file served in its place has another size: refused before a
  // byte is written.
  const auto refused = DownloadCheckedModule(e.ctx, "{DATI}\\listino.dat");
  ASSERT_FALSE(refused);
  EXPECT_EQ(e.files.Content(listino), Content("/dati/listino.dat"));
  EXPECT_FALSE(e.files.NormalFileExists(listino + ".new"));

  // Once the repository serves the right file, it gets the index's date.
  e.repo.Put("/dati/listino.dat", Content("/dati/listino.dat"), DateValue::FromCalendar(2100, 1, 1));
  ASSERT_TRUE(InstallModuleFile(e.ctx, "{DATI}\\listino.dat", ""));
  EXPECT_EQ(e.files.LastModified(listino), kNew.ToUnixSeconds());
  EXPECT_EQ(e.settings.Get(settings::kLastModifiedSection, listino), kNew.ToSettingsText());

  // A pair served at another path matches no entry of its own path.
  e.repo.Put("/eseguibili/tarnwick.ini", e.repo.resources["/eseguibili/a.exe.ini"].content);
  e.repo.Put("/eseguibili/tarnwick", Content("/eseguibili/a.exe"));
  SelfUpdate(e.ctx);
  EXPECT_FALSE(e.files.NormalFileExists("/opt/suite/Eseguibili/Tarnwick"));
  EXPECT_FALSE(e.files.NormalFileExists("/opt/suite/Eseguibili/Tarnwick.update"));
  EXPECT_NE(e.refusals.back().find("/eseguibili/tarnwick.ini: contenuto diverso"), std::string::npos);
  EXPECT_EQ(e.repo.heads, 0);
}

TEST(TrustEnforcementLogic, WithoutAnAcceptedIndexNothingIsOfferedOrInstalledAndCallsAnswerFalse) {
  for (const bool damaged_key : {false, true}) {
    SCOPED_TRACE(damaged_key ? "a damaged PublicKey" : "no index");
    TrustingEngine e(testing::PublicText(kKey) + (damaged_key ? " AAAA" : ""));
    if (damaged_key) {
      e.trust = TrustPolicy(e.trust.Anchors(), true);
      testing::PublishIndex(e.repo, kKey);
    }
    e.repo.Publish("/eseguibili/a.exe", testing::Signed(DocumentWithDigest("/eseguibili/a.exe"), kKey), kNew);
    Global global(e.ctx);
    EXPECT_FALSE(global.IsUpdateAvailable("{ESEGUIBILI}\\a.exe"));
    EXPECT_FALSE(global.IsModuleAvailable("{ESEGUIBILI}\\a.exe"));
    EXPECT_FALSE(global.UpdateModule("{ESEGUIBILI}\\a.exe"));
    EXPECT_FALSE(e.files.NormalFileExists("/opt/suite/Eseguibili/a.exe"));
    // The three calls share one index, asked once; each reports its refusal
    // once, however many walks it makes.
    EXPECT_EQ(e.repo.requests["/indice.ini"], 1);
    ASSERT_EQ(e.refusals.size(), 3u);
    for (const std::string& refusal : e.refusals) {
      EXPECT_TRUE(refusal.starts_with(damaged_key ? "Errore 30018: " : "Errore 30011: ")) << refusal;
      EXPECT_EQ(refusal, e.refusals[0]);
    }
    EXPECT_EQ(e.repo.heads, 0);
  }
}

}  // namespace
}  // namespace tw
