// A module offered as a patch from the installed version is rebuilt from
// it; any patch that cannot be used ends with the whole file all the same,
// and one line saying why.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "catalogue/module_records.h"
#include "common/settings_keys.h"
#include "delta/patch_writer.h"
#include "engine/checked_download.h"
#include "engine/installed_digest.h"
#include "engine/patch_download.h"
#include "engine/self_update.h"
#include "engine/engine_fixture.h"
#include "platform/openssl/crypto.h"

namespace tw {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr const char* kModule = "{ESEGUIBILI}\\Prog.exe";
constexpr const char* kRemote = "/eseguibili/prog.exe";
constexpr const char* kLocal = "/opt/suite/Eseguibili/Prog.exe";

std::string Hex(std::string_view bytes) { return crypto::ToHex(*crypto::Sha256Of(bytes)); }
std::string Text(const Bytes& bytes) { return {bytes.begin(), bytes.end()}; }

// Several zstd blocks, so that a rebuilt file comes out in several pieces.
std::string OldVersion() {
  std::string text(600'000, ' ');
  std::mt19937 random(3);
  for (char& c : text) c = static_cast<char>('a' + random() % 26);
  return text;
}

std::string NewVersion() {
  std::string text = OldVersion();
  text.replace(500, 5, "NUOVO");
  text.insert(70'000, "versione 2");
  return text;
}

class Notes : public DownloadObserver {
 public:
  void OnNote(const std::string& line) override { lines.push_back(line); }
  void OnProgress(std::uint64_t received, std::int64_t total) override { last = {received, total}; }
  std::vector<std::string> lines;
  std::pair<std::uint64_t, std::int64_t> last{};
};

// What the repository holds for one case, changed by the case from a
// good patch of the installed version.
struct Offer {
  std::string installed = OldVersion();
  std::string patch;
  std::string entry_old = Hex(OldVersion()), entry_patch_digest;
  std::uint64_t entry_size = 0;
  std::string patch_path;  // in the entry; the same name is served
};

// A patch that rebuilds `to` from the installed version, listed as it is.
void SetPatch(Offer& offer, const std::string& to, int level) {
  const std::string from = OldVersion();
  offer.patch = Text(*MakePatch({reinterpret_cast<const std::uint8_t*>(from.data()), from.size()},
                                {reinterpret_cast<const std::uint8_t*>(to.data()), to.size()}, level));
  offer.entry_patch_digest = Hex(offer.patch);
  offer.entry_size = offer.patch.size();
}

Offer GoodOffer() {
  Offer offer;
  SetPatch(offer, NewVersion(), 3);
  offer.patch_path = std::string("eseguibili/prog.exe.") + offer.entry_old.substr(0, 16) + ".zstpatch";
  return offer;
}

// The module's document: the new version's digest and the offer's entry.
std::string DeltaDocument(const Offer& offer, const std::string& release = "") {
  return "[Release]\r\n" + release + "SHA256=" + Hex(NewVersion()) + "\r\n[Delta]\r\n1=" + offer.entry_old + " " +
         offer.entry_patch_digest + " " + std::to_string(offer.entry_size) + " " + offer.patch_path + "\r\n";
}

struct Outcome {
  std::string installed_after;
  std::string kept_digest;  // what the settings keep for the installed file
  int file_gets = 0;
  Notes notes;
};

// The installed file in place and the repository holding `offer`.
void Serve(testing::EngineFixture& f, const Offer& offer) {
  f.files.AddFile(kLocal, offer.installed, 1000);
  f.repo.PutDocument(kRemote, DeltaDocument(offer));
  f.repo.Put(kRemote, NewVersion(), testing::kNew);
  f.repo.Put("/" + offer.patch_path, offer.patch, testing::kNew);
  f.repo.log.clear();
}

// The fake logs HEADs only for module files: the rest of the requests of
// the file are its GETs.
int FileGets(testing::FakeRepository& repo) {
  return repo.requests[kRemote] - static_cast<int>(std::count(repo.log.begin(), repo.log.end(),
                                                              std::string("HEAD ") + kRemote));
}

void Download(const Offer& offer, Outcome& run) {
  testing::EngineFixture f;
  Serve(f, offer);
  auto staged = DownloadCheckedModule(f.ctx, kModule, &run.notes);
  ASSERT_TRUE(staged);
  ASSERT_TRUE(ReplaceFromStaging(std::move(*staged)));
  run.installed_after = f.files.Content(kLocal);
  run.kept_digest = f.settings.Read(settings::kApplication, settings::kInstalledDigestSection, kLocal, "");
  run.file_gets = FileGets(f.repo);
}

// The reason each fallback logs; a missing, truncated or inapplicable
// patch against a real server is NginxDelta's table.
TEST(PatchDownload, UsesThePatchOrFallsBackToTheWholeFile) {
  struct Case {
    const char* name;
    std::function<void(Offer&)> change;
    bool patched;
    std::string reason;  // of the fallback's line; "" for none
  } cases[] = {
      {"patch used", [](Offer&) {}, true, ""},
      {"patch damaged",
       [](Offer& o) {
         o.patch[o.patch.size() / 2] ^= 0x40;
         o.entry_patch_digest = Hex(o.patch);
       },
       false, "patch danneggiata"},
      {"patch other than listed", [](Offer& o) { o.entry_patch_digest = Hex("altro"); }, false,
       "impronta della patch non valida"},
      {"patch rebuilds other bytes", [](Offer& o) { SetPatch(o, OldVersion() + "!", 1); }, false,
       "impronta del file ricostruito non valida"},
      {"entry names another file", [](Offer& o) { o.patch_path = "eseguibili/altro.exe.zstpatch"; }, false, ""},
      // Its digest is worked out while the patch arrives: no word on it.
      {"installed file is no version the patch starts from", [](Offer& o) { o.installed = "cambiato"; }, false,
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Offer offer = GoodOffer();
    c.change(offer);
    Outcome run;
    Download(offer, run);
    EXPECT_EQ(run.installed_after, NewVersion());
    EXPECT_EQ(run.file_gets, c.patched ? 0 : 1);
    // The file put in place keeps its digest: the next patch needs no hashing.
    EXPECT_EQ(run.kept_digest.substr(0, 64), Hex(NewVersion()));
    ASSERT_EQ(run.notes.lines.size(), c.patched || !c.reason.empty() ? 1u : 0u);
    if (c.patched) {
      EXPECT_EQ(run.notes.lines[0], "Modulo ricostruito da una patch [/eseguibili/prog.exe: " +
                                        std::to_string(offer.patch.size()) + " byte]");
      // The progress counted the patch's bytes.
      EXPECT_EQ(run.notes.last.second, static_cast<std::int64_t>(offer.patch.size()));
    } else if (!c.reason.empty()) {
      EXPECT_EQ(run.notes.lines[0],
                "Patch non utilizzabile, si scarica il file intero [/eseguibili/prog.exe: " + c.reason + "]");
    }
  }
}

// Past its first piece the rebuilt file is written from the hashing thread:
// a disk that fills up there fails the download as a full download's would,
// with the disk's error, and the whole file is not tried.
TEST(PatchDownload, AStagingFileThatCannotBeWrittenFailsTheDownload) {
  testing::EngineFixture f;
  Serve(f, GoodOffer());
  f.files.FillDiskAfter(NewVersion().size() - 1, FileError{ENOSPC, "Spazio su disco insufficiente"});
  const auto staged = DownloadCheckedModule(f.ctx, kModule);
  ASSERT_FALSE(staged);
  EXPECT_EQ(staged.error().reason, DownloadError::StagingFile);
  ASSERT_TRUE(staged.error().file);
  EXPECT_NE(staged.error().file->Description.find("Spazio su disco insufficiente"), std::string::npos);
  EXPECT_EQ(f.files.Content(kLocal), OldVersion());
  EXPECT_FALSE(f.files.NormalFileExists(std::string(kLocal) + ".new"));
  EXPECT_EQ(FileGets(f.repo), 0);
}

TEST(PatchDownload, DeltaEntriesNameOnlyThePatchBesideTheFile) {
  const std::string a(64, 'a'), b(64, 'B');
  const std::string beside = "eseguibili/prog.exe.aaaaaaaaaaaaaaaa.zstpatch";
  struct Case {
    std::string value;
    bool kept;
  } cases[] = {
      {a + " " + b + " 10 " + beside, true},
      {a + "  " + b + " 10 /" + beside, true},
      {a + " " + b + " 10 ESEGUIBILI/PROG.EXE.AAAAAAAAAAAAAAAA.ZSTPATCH", true},
      {a + " " + b + " 10 eseguibili/prog.exe.bbbbbbbbbbbbbbbb.zstpatch", false},
      {a + " " + b + " 10 eseguibili/../dati/x.aaaaaaaaaaaaaaaa.zstpatch", false},
      {a + " " + b + " 0 " + beside, false},
      {a + " " + b + " 10x " + beside, false},
      {a + " " + b + " 99999999999 " + beside, false},
      {a + " " + b + " 10", false},
      {a + " " + b + " 10 ", false},
      {a + " " + b.substr(1) + " 10 " + beside, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    ModuleINIInfo document;
    document.AddKey("delta", "1", c.value);
    const auto entries = DeltaEntries(document, kRemote);
    ASSERT_EQ(entries.size(), c.kept ? 1u : 0u);
    if (c.kept) {
      EXPECT_EQ(entries[0].patch_path, "/" + beside);
      EXPECT_EQ(entries[0].patch_sha256, std::string(64, 'b'));
    }
  }
  // A name with blanks keeps them.
  ModuleINIInfo spaced;
  spaced.AddKey("Delta", "1", a + " " + b + " 10 dati/mio file.mdb.aaaaaaaaaaaaaaaa.zstpatch");
  EXPECT_EQ(DeltaEntries(spaced, "/dati/mio file.mdb").size(), 1u);
}

// The program's new copy lands beside it as ".update", rebuilt from the
// running program itself.
TEST(PatchDownload, SelfUpdateRebuildsTheProgramsCopyFromTheInstalledProgram) {
  testing::EngineFixture f;
  f.files.AddFile("/opt/suite/Eseguibili/Run", "lanciatore", testing::kOld.ToUnixSeconds(), "1.0.0.0");
  f.files.AddFile("/opt/suite/Eseguibili/Tarnwick", OldVersion(), testing::kOld.ToUnixSeconds(), "2.0.0.0");
  f.repo.Publish("/eseguibili/run", "[Release]\nVersion=1.0.0.0\n", testing::kOld);
  Offer offer = GoodOffer();
  offer.patch_path = "eseguibili/tarnwick." + offer.entry_old.substr(0, 16) + ".zstpatch";
  f.repo.PutDocument("/eseguibili/tarnwick", DeltaDocument(offer, "Version=2.1\r\n"));
  f.repo.Put("/eseguibili/tarnwick", NewVersion(), testing::kNew);
  f.repo.Put("/" + offer.patch_path, offer.patch, testing::kNew);
  SelfUpdate(f.ctx);
  EXPECT_EQ(f.files.Content("/opt/suite/Eseguibili/Tarnwick.update"), NewVersion());
  EXPECT_EQ(f.files.Content("/opt/suite/Eseguibili/Tarnwick"), OldVersion());
  EXPECT_EQ(f.repo.requests["/eseguibili/tarnwick"], 1);  // its HEAD only: no GET of the whole file
}

TEST(PatchDownload, InstalledDigestIsKeptWithSizeAndTime) {
  testing::EngineFixture f;
  f.files.AddFile(kLocal, "contenuto", 1000);
  EXPECT_EQ(InstalledDigest(f.ctx, kLocal), Hex("contenuto"));
  // While size and time stay, the kept digest is answered without reading.
  const std::string kept = std::string(64, 'c') + " 9 1000";
  f.settings.Write(settings::kApplication, settings::kInstalledDigestSection, kLocal, kept);
  EXPECT_EQ(InstalledDigest(f.ctx, kLocal), std::string(64, 'c'));
  f.files.files[kLocal].mtime = 1001;
  EXPECT_EQ(InstalledDigest(f.ctx, kLocal), Hex("contenuto"));
  EXPECT_EQ(InstalledDigest(f.ctx, "/opt/suite/Eseguibili/assente"), std::nullopt);
}

}  // namespace
}  // namespace tw
