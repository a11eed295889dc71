#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <sstream>
#include <vector>

#include "catalogue/ini_document.h"
#include "common/text.h"
#include "trust/repository_index.h"
#include "trust/trust_policy.h"
#include "publisher/command.h"
#include "publisher/index_publishing.h"
#include "publisher/sample_suite.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using testing::ReadTextFile;
using testing::TestKey;
using testing::WriteTextFile;

struct ToolRun {
  int status = 0;
  std::string out, err;
};

ToolRun Publisher(std::vector<std::string> arguments) {
  std::ostringstream out, err;
  ToolRun run;
  run.status = publisher::RunCommand(arguments, out, err);
  run.out = out.str();
  run.err = err.str();
  return run;
}

std::string Sha256Hex(const std::string& bytes) { return crypto::ToHex(*crypto::Sha256Of(bytes)); }

// Every file of a folder with its content and date.
std::map<std::string, std::pair<std::string, long long>> Snapshot(const std::string& root) {
  std::map<std::string, std::pair<std::string, long long>> files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file())
      files[entry.path().lexically_relative(root).string()] = {ReadTextFile(entry.path()),
                                                               testing::ModificationTime(entry.path())};
  return files;
}

ModuleINIInfo SignedPartOf(const std::string& document) {
  ModuleINIInfo info;
  ParseModuleINI(ReadSignatureSection(document).signed_bytes, info);
  return info;
}

class PublisherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    suite = dir / "suite";
    sites = dir / "www";
    repository = sites + "/tarnwick";
    testing::BuildSampleSuite(suite);
    key_file = testing::WriteKeyFile(dir, "chiave.pem", TestKey(5));
    public_key = testing::PublicText(TestKey(5));
  }

  ToolRun Publish(std::vector<std::string> more = {}) {
    std::vector<std::string> arguments = {"publish", suite, repository, "--key", key_file, "--suite-document",
                                          "--store", dir / "archivio"};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return Publisher(arguments);
  }
  ToolRun Verify(std::vector<std::string> keys = {}) {
    std::vector<std::string> arguments = {"verify", repository};
    if (keys.empty()) keys.push_back(public_key);
    for (const auto& key : keys) {
      arguments.push_back("--public-key");
      arguments.push_back(key);
    }
    return Publisher(arguments);
  }
  std::string Repo(const std::string& path) const { return repository + path; }

  testing::TempDir dir;
  std::string suite, sites, repository, key_file, public_key;
};

TEST_F(PublisherTest, MirrorsTheSuiteInTheRepositoryFormWithSignedDocuments) {
  const ToolRun run = Publish();
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Leggimi.txt: fuori dalle cartelle della suite"), std::string::npos);

  const std::string prog = testing::PeBytes(2, 1, 0, 5);
  EXPECT_EQ(ReadTextFile(Repo("/eseguibili/prog.exe")), prog);
  EXPECT_EQ(testing::ModificationTime(Repo("/eseguibili/prog.exe")), testing::kSuiteDate);
  EXPECT_EQ(ReadTextFile(Repo("/eseguibili/componenti/griglia.ocx")), testing::PeBytes(1, 0, 0, 0));
  EXPECT_EQ(ReadTextFile(Repo("/dati/utenti{pcid}/profilo.dat")), "profilo");
  EXPECT_FALSE(fs::exists(Repo("/leggimi.txt")));
  EXPECT_NE(ReadTextFile(Repo("/testserver.html")).find("Tarnwick"), std::string::npos);

  TrustAnchors anchors;
  anchors.AddKeys(public_key);
  const std::string document = ReadTextFile(Repo("/eseguibili/prog.exe.ini"));
  EXPECT_EQ(CheckDocumentSignature(document, anchors).trust, DocumentTrust::Valid);
  EXPECT_EQ(ReadSignatureSection(document).signed_bytes,
            "[Release]\r\nVersion=2.1.0.5\r\nSHA256=" + Sha256Hex(prog) + "\r\n");
  // A file without a version resource is versioned by its date.
  const ModuleINIInfo data = SignedPartOf(ReadTextFile(Repo("/dati/archivio.mdb.ini")));
  EXPECT_EQ(data.GetKey("Release", "Version"), "");
  EXPECT_EQ(data.GetKey("Release", "SHA256"), Sha256Hex("archivio 1"));

  // The whole suite's document lies beside the repository folder.
  const std::string suite_document = ReadTextFile(sites + "/tarnwick.ini");
  EXPECT_EQ(CheckDocumentSignature(suite_document, anchors).trust, DocumentTrust::Valid);
  const ModuleINIInfo all = SignedPartOf(suite_document);
  ASSERT_EQ(all.SetupKeys.Count(), 4u);
  EXPECT_EQ(all.GetKey("Setup", "1"), "{DATI}\\Archivio.mdb");
  EXPECT_EQ(all.GetKey("Setup", "2"), "{UTENTI}{PCID}\\Profilo.dat");
  EXPECT_EQ(all.GetKey("Setup", "3"), "{COMPONENTI}\\Griglia.ocx");
  EXPECT_EQ(all.GetKey("Setup", "4"), "{ESEGUIBILI}\\Prog.exe");

  const ToolRun verify = Verify();
  EXPECT_EQ(verify.status, 0) << verify.out;
  EXPECT_NE(verify.out.find("errori: 0"), std::string::npos);
}

TEST_F(PublisherTest, PublishingAgainChangesOnlyWhatChangedAndKeepsTheAuthorsKeys) {
  ASSERT_EQ(Publish().status, 0);
  // The vendor keeps keys of their own for a module beside the suite.
  const std::string grid = Repo("/eseguibili/componenti/griglia.ocx.ini");
  WriteTextFile(suite + "/tarnwick-moduli.ini",
                "[eseguibili/componenti/griglia.ocx]\r\nRegister=regsvr32\r\nForceUpdate=0\r\nVersion=9.9\r\n"
                "Setup.dati={DATI}\\Archivio.mdb\r\nPostSetup.prima={ESEGUIBILI}\\Prog.exe /init\r\n");
  ASSERT_EQ(Publish().status, 0);
  const ModuleINIInfo kept = SignedPartOf(ReadTextFile(grid));
  EXPECT_EQ(kept.GetKey("Release", "Register"), "regsvr32");
  EXPECT_EQ(kept.GetKey("Release", "ForceUpdate"), "0");
  EXPECT_EQ(kept.GetKey("Release", "Version"), "1.0.0.0");
  EXPECT_EQ(kept.GetKey("Setup", "dati"), "{DATI}\\Archivio.mdb");
  EXPECT_EQ(kept.GetKey("PostSetup", "prima"), "{ESEGUIBILI}\\Prog.exe /init");
  EXPECT_EQ(Verify().status, 0);

  const auto before = Snapshot(sites);
  testing::PutSuiteFile(suite + "/Dati/Archivio.mdb", "archivio 2", testing::kSuiteDate + 3600);
  const ToolRun run = Publish();
  ASSERT_EQ(run.status, 0) << run.err;
  const auto after = Snapshot(sites);
  ASSERT_EQ(before.size(), after.size());
  for (const auto& [path, state] : after) {
    const bool changed = path == "tarnwick/dati/archivio.mdb" || path == "tarnwick/dati/archivio.mdb.ini" ||
                         path == "tarnwick/indice.ini";
    EXPECT_EQ(state != before.at(path), changed) << path;
  }
  EXPECT_EQ(after.at("tarnwick/dati/archivio.mdb").second, testing::kSuiteDate + 3600);
  EXPECT_NE(run.out.find("file copiati: 1, documenti scritti: 1"), std::string::npos) << run.out;

  // A new date alone moves the repository copy's date, not its document.
  testing::PutSuiteFile(suite + "/Dati/Archivio.mdb", "archivio 2", testing::kSuiteDate + 7200);
  ASSERT_EQ(Publish().status, 0);
  EXPECT_EQ(testing::ModificationTime(Repo("/dati/archivio.mdb")), testing::kSuiteDate + 7200);
  EXPECT_EQ(ReadTextFile(Repo("/dati/archivio.mdb.ini")), after.at("tarnwick/dati/archivio.mdb.ini").first);
}

TEST_F(PublisherTest, VerifyNamesEveryKindOfTampering) {
  ASSERT_EQ(Publish().status, 0);
  const std::string prog = Repo("/eseguibili/prog.exe");
  const std::string prog_document = Repo("/eseguibili/prog.exe.ini");
  const std::string original_file = ReadTextFile(prog);
  const std::string original_document = ReadTextFile(prog_document);
  const std::string body(ReadSignatureSection(original_document).signed_bytes);

  struct Attack {
    const char* name;
    std::string file, document, expected;
  };
  std::string flipped = original_file;
  flipped[flipped.size() / 2] ^= 0x20;
  std::string raised = original_document;
  raised.replace(raised.find("2.1.0.5"), 7, "2.1.0.6");
  const Attack attacks[] = {
      {"one byte of the file", flipped, original_document,
       "ERRORE /eseguibili/prog.exe: impronta diversa da quella del documento"},
      {"a raised version", original_file, raised, "ERRORE /eseguibili/prog.exe.ini: firma non valida"},
      {"the signature removed", original_file, body, "ERRORE /eseguibili/prog.exe.ini: firma assente"},
      {"another key", original_file, testing::Signed(body, TestKey(6)),
       "ERRORE /eseguibili/prog.exe.ini: firma non valida"},
      {"a line after the signature", original_file, original_document + "[Release]\r\nRegister=self\r\n",
       "ERRORE /eseguibili/prog.exe.ini: sezione della firma non leggibile"},
  };
  for (const Attack& attack : attacks) {
    WriteTextFile(prog, attack.file);
    WriteTextFile(prog_document, attack.document);
    const ToolRun run = Verify();
    EXPECT_EQ(run.status, 1) << attack.name;
    EXPECT_NE(run.out.find(attack.expected), std::string::npos) << attack.name << "\n" << run.out;
  }
  // An index signed by the other key passes once that key is configured
  // too, so the publisher can move to a new key.
  WriteTextFile(prog, original_file);
  WriteTextFile(prog_document, original_document);
  const std::string index = ReadTextFile(Repo("/indice.ini"));
  WriteTextFile(Repo("/indice.ini"), testing::Signed(ReadSignatureSection(index).signed_bytes, TestKey(6)));
  const ToolRun old_key_only = Verify();
  EXPECT_EQ(old_key_only.status, 1);
  EXPECT_NE(old_key_only.out.find("/indice.ini: firma non valida"), std::string::npos) << old_key_only.out;
  EXPECT_EQ(Verify({public_key + " " + testing::PublicText(TestKey(6))}).status, 0);
  EXPECT_EQ(Verify({public_key, testing::PublicText(TestKey(6))}).status, 0);
  EXPECT_EQ(Verify({testing::PublicText(TestKey(7))}).status, 1);
}

TEST_F(PublisherTest, UnsignedPublishingAndDocumentsWithoutDigestFailVerification) {
  ASSERT_EQ(Publisher({"publish", suite, repository}).status, 0);
  EXPECT_EQ(ReadSignatureSection(ReadTextFile(Repo("/eseguibili/prog.exe.ini"))).status,
            SignatureSectionStatus::Absent);
  EXPECT_FALSE(fs::exists(sites + "/tarnwick.ini"));
  const ToolRun run = Verify();
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("ERRORE /dati/archivio.mdb.ini: firma assente"), std::string::npos);

  ASSERT_EQ(Publish().status, 0);
  WriteTextFile(Repo("/dati/archivio.mdb.ini"), testing::Signed("[Release]\r\n", TestKey(5)));
  WriteTextFile(Repo("/dati/sciolto.dat"), "senza documento");
  const ToolRun missing = Verify();
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.out.find("ERRORE /dati/archivio.mdb.ini: SHA256 assente"), std::string::npos) << missing.out;
  EXPECT_NE(missing.out.find("Nota /dati/sciolto.dat: senza documento"), std::string::npos) << missing.out;
}

TEST_F(PublisherTest, FilesThatWouldOverwriteEachOtherAreRefused) {
  testing::PutSuiteFile(suite + "/Eseguibili/PROG.EXE", "altro");
  testing::PutSuiteFile(suite + "/Eseguibili/Griglia.ocx.ini", "[Release]\r\n");
  testing::PutSuiteFile(suite + "/Eseguibili/Griglia.ocx", "ocx");
  const ToolRun run = Publish();
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("stesso percorso nel repository"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Griglia.ocx.ini: occupa il posto del documento"), std::string::npos) << run.err;
  EXPECT_EQ(ReadTextFile(Repo("/eseguibili/griglia.ocx")), "ocx");
}

// A file whose path the program refuses would be published and listed,
// yet never installed anywhere.
TEST_F(PublisherTest, FilesThatTheProgramWouldRefuseAreNotPublished) {
  testing::PutSuiteFile(suite + "/Dati/Sconto 10%.dat", "sconto");
  testing::PutSuiteFile(suite + "/Dati/con.txt", "device");
  testing::PutSuiteFile(suite + "/Dati/Archivio.mdb.OLD", "companion");
  const ToolRun run = Publish();
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Sconto 10%.dat: percorso rifiutato dal programma"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("con.txt: percorso rifiutato dal programma"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Archivio.mdb.OLD: percorso rifiutato dal programma"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(Repo("/dati/sconto 10%.dat")));
  EXPECT_FALSE(fs::exists(Repo("/dati/con.txt.ini")));
  const std::string suite_document = ReadTextFile(sites + "/tarnwick.ini");
  EXPECT_EQ(suite_document.find("Sconto"), std::string::npos) << suite_document;
  EXPECT_NE(suite_document.find("{ESEGUIBILI}"), std::string::npos) << suite_document;
}

TEST_F(PublisherTest, KeygenWritesAPrivateFileAndPrintsItsPublicKey) {
  const std::string file = dir / "nuova.pem";
  const ToolRun made = Publisher({"keygen", file});
  ASSERT_EQ(made.status, 0) << made.err;
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const auto key = ParsePublicKey(made.out);
  ASSERT_TRUE(key);
  EXPECT_EQ(Publisher({"public-key", file}).out, made.out);

  const std::string pem = ReadTextFile(file);
  const ToolRun again = Publisher({"keygen", file});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(ReadTextFile(file), pem);

  // Documents published with the new key verify with the printed key.
  ASSERT_EQ(Publisher({"publish", suite, repository, "--key", file}).status, 0);
  EXPECT_EQ(Verify({made.out}).status, 0);
}

TEST_F(PublisherTest, UnusableCommandLinesAreRefused) {
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{},
                                             {"publish", suite},
                                             {"publish", suite, repository, "--chiave", key_file},
                                             {"verify", repository},
                                             {"verify", repository, "--public-key", "nonsense"},
                                             {"keygen"},
                                             {"sign", suite}}) {
    EXPECT_EQ(Publisher(arguments).status, 2) << (arguments.empty() ? "" : arguments[0]);
  }
  WriteTextFile(dir / "rotta.pem", "non una chiave");
  EXPECT_EQ(Publisher({"publish", suite, repository, "--key", dir / "rotta.pem"}).status, 2);
  EXPECT_FALSE(fs::exists(repository));
  // The one mistake the usage does not explain by itself.
  EXPECT_NE(Publisher({"verify", repository}).err.find("--public-key"), std::string::npos);
  // Asked for, the usage is an answer.
  const ToolRun help = Publisher({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("tarnwick-publish verify"), std::string::npos);
  EXPECT_TRUE(help.err.empty());
}

RepositoryIndex IndexOf(const std::string& file) {
  auto index = ParseRepositoryIndex(ReadSignatureSection(ReadTextFile(file)).signed_bytes);
  EXPECT_TRUE(index);
  return index ? *index : RepositoryIndex();
}

TEST_F(PublisherTest, TheIndexListsEveryFileLastAndMovesOnAtEveryPublish) {
  const ToolRun run = Publish({"--expires", "10"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Indice scritto: serie "), std::string::npos) << run.out;
  const RepositoryIndex first = IndexOf(Repo("/indice.ini"));
  EXPECT_EQ(first.repository, "tarnwick");
  EXPECT_EQ(first.expires - first.published, 10 * 86400);
  ASSERT_EQ(first.files.size(), 9u);  // four modules, their documents, the suite's document
  const IndexEntry* prog = first.Find("eseguibili/prog.exe");
  ASSERT_TRUE(prog);
  EXPECT_EQ(prog->date, testing::kSuiteDate);
  EXPECT_EQ(prog->sha256, *crypto::Sha256Of(testing::PeBytes(2, 1, 0, 5)));
  const IndexEntry* document = first.Find("eseguibili/prog.exe.ini");
  ASSERT_TRUE(document);
  EXPECT_FALSE(document->date);
  EXPECT_EQ(document->sha256, *crypto::Sha256Of(ReadTextFile(Repo("/eseguibili/prog.exe.ini"))));
  EXPECT_TRUE(first.Find(".ini"));
  EXPECT_EQ(ReadTextFile(dir / "archivio/indice.ini"), ReadTextFile(Repo("/indice.ini")));

  const long long first_time = testing::ModificationTime(Repo("/indice.ini"));
  ASSERT_EQ(Publish().status, 0);
  const RepositoryIndex second = IndexOf(Repo("/indice.ini"));
  EXPECT_GT(second.serial, first.serial);
  EXPECT_GT(testing::ModificationTime(Repo("/indice.ini")), first_time);
  EXPECT_EQ(Verify().status, 0);

  // refresh renews the expiry and nothing else; --out leaves the repository alone.
  const ToolRun elsewhere = Publisher({"refresh", repository, "--key", key_file, "--store", dir / "archivio",
                                       "--expires", "1", "--out", dir / "firmare.ini"});
  ASSERT_EQ(elsewhere.status, 0) << elsewhere.err;
  const RepositoryIndex renewed = IndexOf(dir / "firmare.ini");
  EXPECT_GT(renewed.serial, second.serial);
  EXPECT_EQ(renewed.files.size(), second.files.size());
  EXPECT_EQ(IndexOf(Repo("/indice.ini")).serial, second.serial);
  // Uploaded, an index that expires within 48 hours fails verification.
  fs::copy_file(dir / "firmare.ini", Repo("/indice.ini"), fs::copy_options::overwrite_existing);
  const ToolRun soon = Verify();
  EXPECT_EQ(soon.status, 1);
  EXPECT_NE(soon.out.find("scade entro 48 ore"), std::string::npos) << soon.out;
  ASSERT_EQ(Publisher({"refresh", repository, "--key", key_file, "--store", dir / "archivio"}).status, 0);
  EXPECT_EQ(Verify().status, 0);
}

TEST_F(PublisherTest, NothingIsSignedOverARepositoryThatWasChangedBehindThePublisher) {
  ASSERT_EQ(Publish().status, 0);
  const std::string prog_document = Repo("/eseguibili/prog.exe.ini");
  const std::string index_file = Repo("/indice.ini");
  const std::string document = ReadTextFile(prog_document);
  const std::string index = ReadTextFile(index_file);
  const std::string other_index = testing::Signed(
      ReplaceAll(ReadSignatureSection(index).signed_bytes, "Repository=tarnwick", "Repository=altro"), TestKey(5));
  struct Case {
    const char* name;
    std::string document, index, expected;
  } cases[] = {
      {"a document's keys edited",
       std::string(ReadSignatureSection(document).signed_bytes) + "[PostSetup]\r\n1={ESEGUIBILI}\\Prog.exe\r\n", index,
       "prog.exe.ini: documento non verificato (firma assente)"},
      {"an edited index", document, ReplaceAll(index, "Format=1", "Format=1\r\nX=1"),
       "indice.ini: indice non verificato (firma non valida)"},
      {"another repository's index", document, other_index, "indice del repository altro"},
  };
  for (const Case& c : cases) {
    WriteTextFile(prog_document, c.document);
    WriteTextFile(index_file, c.index);
    const auto before = Snapshot(sites);
    const ToolRun run = Publish();
    EXPECT_EQ(run.status, 1) << c.name;
    EXPECT_NE(run.err.find(c.expected), std::string::npos) << c.name << "\n" << run.err;
    EXPECT_EQ(Snapshot(sites), before) << c.name;
  }
  // An index that verifies but is not the one last published.
  WriteTextFile(prog_document, document);
  WriteTextFile(index_file, index);
  ASSERT_EQ(Publish({"--store", dir / "altro-archivio"}).status, 0);
  const ToolRun stale = Publish();
  EXPECT_EQ(stale.status, 1);
  EXPECT_NE(stale.err.find("diverso dalla copia dell'archivio"), std::string::npos) << stale.err;
  EXPECT_EQ(Publisher({"refresh", repository, "--key", key_file, "--store", dir / "archivio"}).status, 1);
  // A store rebuilt on purpose.
  EXPECT_EQ(Publish({"--trust-repository"}).status, 0);
  EXPECT_EQ(Publish().status, 0);
}

TEST_F(PublisherTest, SettingsOfAnUnsignedRepositoryMoveToTheVendorBeforeTheFirstSignedPublish) {
  ASSERT_EQ(Publisher({"publish", suite, repository, "--suite-document"}).status, 0);
  EXPECT_FALSE(fs::exists(Repo("/indice.ini")));
  const std::string grid = Repo("/eseguibili/componenti/griglia.ocx.ini");
  WriteTextFile(grid, ReadTextFile(grid) + "Register=regsvr32\r\n[Setup]\r\n1={DATI}\\Archivio.mdb\r\n");
  const ToolRun refused = Publish();
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("griglia.ocx.ini: documento non verificato"), std::string::npos) << refused.err;

  const ToolRun exported = Publisher({"export-settings", repository});
  ASSERT_EQ(exported.status, 0) << exported.err;
  EXPECT_NE(exported.out.find("[eseguibili/componenti/griglia.ocx]\r\nRegister=regsvr32\r\nSetup.1={DATI}\\Archivio.mdb"),
            std::string::npos)
      << exported.out;
  WriteTextFile(suite + "/tarnwick-moduli.ini", exported.out);
  ASSERT_EQ(Publish().status, 0);
  const ModuleINIInfo kept = SignedPartOf(ReadTextFile(grid));
  EXPECT_EQ(kept.GetKey("Release", "Register"), "regsvr32");
  EXPECT_EQ(kept.GetKey("Setup", "1"), "{DATI}\\Archivio.mdb");
  EXPECT_EQ(Verify().status, 0);

  // A document signed by an earlier key keeps its keys when that key is named.
  WriteTextFile(suite + "/tarnwick-moduli.ini", "");
  WriteTextFile(grid, testing::Signed("[Release]\r\nRegister=self\r\n", TestKey(6)));
  fs::remove(Repo("/indice.ini"));
  EXPECT_EQ(Publish().status, 1);
  ASSERT_EQ(Publish({"--trusted-keys", testing::PublicText(TestKey(6))}).status, 0);
  EXPECT_EQ(SignedPartOf(ReadTextFile(grid)).GetKey("Release", "Register"), "self");
}

// Indexes of one size written again either side of a second boundary: a
// new file is stamped by a clock that can still show the earlier second,
// and an index would then keep the old one's date and ETag.
TEST(PlaceIndex, TheNewIndexIsDatedAfterTheOldOneAcrossASecondBoundary) {
  testing::TempDir dir;
  std::vector<publisher::IndexBase> repositories(12);
  for (size_t i = 0; i < repositories.size(); ++i) {
    repositories[i].index_file = dir / ("indice" + std::to_string(i) + ".ini");
    repositories[i].store_folder = dir / ("archivio" + std::to_string(i));
  }
  RepositoryIndex index;
  index.repository = "suite";
  const auto wait_until = [](long from_ns) {
    timespec now{};
    do ::clock_gettime(CLOCK_REALTIME, &now);
    while (now.tv_nsec < from_ns || now.tv_nsec > from_ns + 50'000'000);
  };
  const auto place_all = [&](std::uint64_t serial) {
    index.serial = serial;
    for (const auto& base : repositories) ASSERT_EQ(publisher::PlaceIndex(base, index, TestKey(5), ""), "");
  };
  wait_until(500'000'000);
  place_all(1);
  std::vector<long long> first;
  for (const auto& base : repositories) first.push_back(testing::ModificationTime(base.index_file));
  // One after another from just before the next second to just after it.
  wait_until(999'000'000);
  place_all(2);
  for (size_t i = 0; i < repositories.size(); ++i)
    EXPECT_GT(testing::ModificationTime(repositories[i].index_file), first[i]) << i;
}

}  // namespace
}  // namespace tw
