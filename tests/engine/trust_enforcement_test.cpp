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
#include "engine/install.h"
#include "platform/openssl/crypto.h"
#include "support/fake_file_system.h"
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

TEST(TrustEnforcementLogic, UnderAKeyOnlySignedDocumentsCountAndRefusalsAreReportedOnce) {
  TrustingEngine e(testing::PublicText(kKey));
  e.repo.Publish("/eseguibili/a.exe",
                 testing::Signed(DocumentWithDigest("/eseguibili/a.exe", "[Setup]\r\n1={DATI}\\B.mdb\r\n"), kKey), kNew);
  // A forged dependency: signed by a key nobody trusts, it names another.
  e.repo.Publish("/dati/b.mdb",
                 testing::Signed(DocumentWithDigest("/dati/b.mdb", "[Setup]\r\n1={DATI}\\C.mdb\r\n"), kOther), kNew);
  e.repo.Publish("/dati/c.mdb", testing::Signed(DocumentWithDigest("/dati/c.mdb"), kKey), kNew);

  EXPECT_EQ(e.Walk("{ESEGUIBILI}\\A.exe"), (Keys{"{ESEGUIBILI}\\A.EXE"}));
  EXPECT_EQ(e.refusals,
            (Keys{"Documento di catalogo rifiutato: firma non valida [/dati/b.mdb.ini: firma non valida]"}));
  // The refused document is absent: no version, not even the file's date.
  EXPECT_TRUE(IsVersionEmpty(e.catalogue.GetModuleVersion("{DATI}\\B.mdb", true)));
  EXPECT_EQ(e.Walk("{DATI}\\B.mdb"), Keys{});
  EXPECT_EQ(e.refusals.size(), 1u);  // answered from the cache, not judged again
  EXPECT_EQ(e.repo.requests["/dati/c.mdb.ini"], 0);
}

TEST(TrustEnforcementLogic, WhatFollowsTheSignatureIsNeverRead) {
  TrustingEngine e(testing::PublicText(kKey));
  const std::string signed_document = testing::Signed(DocumentWithDigest("/eseguibili/a.exe"), kKey);
  e.repo.Publish("/eseguibili/a.exe", signed_document + "Register=self\r\n", kNew);
  EXPECT_EQ(e.Walk("{ESEGUIBILI}\\A.exe"), (Keys{"{ESEGUIBILI}\\A.EXE"}));
  EXPECT_EQ(e.catalogue.LoadModuleINI("{ESEGUIBILI}\\A.exe")->GetKey("Release", "Register"), "");
  // A section appended after it breaks the signature section's rules.
  e.repo.Publish("/eseguibili/b.exe", signed_document + "[Release]\r\nRegister=self\r\n", kNew);
  EXPECT_EQ(e.Walk("{ESEGUIBILI}\\B.exe"), Keys{});
  ASSERT_EQ(e.refusals.size(), 1u);
  EXPECT_NE(e.refusals[0].find("sezione della firma non leggibile"), std::string::npos);
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

}  // namespace
}  // namespace tw
