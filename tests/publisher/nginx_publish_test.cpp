#include <gtest/gtest.h>

#include <sstream>

#include "catalogue/catalogue.h"
#include "catalogue/path_mapping.h"
#include "trust/file_digest.h"
#include "catalogue/ini_document.h"
#include "trust/trust_policy.h"
#include "publisher/command.h"
#include "publisher/sample_suite.h"
#include "support/fake_file_system.h"
#include "support/fake_settings_store.h"
#include "support/fake_system_info.h"
#include "support/nginx_server.h"
#include "transport/network/http_transport.h"

namespace tw {
namespace {

using testing::ReadTextFile;

// A repository written by the publisher into nginx's document root.
class NginxPublishTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(nginx.running());
    testing::BuildSampleSuite(dir / "suite");
    const std::string key_file = testing::WriteKeyFile(dir, "chiave.pem", testing::TestKey(5));
    std::ostringstream out, err;
    ASSERT_EQ(publisher::RunCommand({"publish", dir / "suite", nginx.root() + base, "--key", key_file,
                                     "--suite-document"},
                                    out, err),
              0)
        << err.str();
    anchors.AddKeys(testing::PublicText(testing::TestKey(5)));
  }

  testing::NginxServer& nginx = testing::NginxServer::Shared();
  const std::string base = nginx.FreshBase();
  testing::TempDir dir;
  TrustAnchors anchors;
};

TEST_F(NginxPublishTest, DocumentsAndFilesArriveByteForByteAndVerify) {
  HttpTransport transport(nginx.Location(base), 0);
  for (const char* module : {"/eseguibili/prog.exe", "/eseguibili/componenti/griglia.ocx", "/dati/archivio.mdb",
                             "/dati/utenti{pcid}/profilo.dat"}) {
    DateValue document_date, file_date;
    const ByteBuffer document = transport.HttpGetBytes(std::string(module) + ".ini", document_date);
    EXPECT_EQ(document.view(), ReadTextFile(nginx.root() + base + module + ".ini")) << module;
    const DocumentVerdict verdict = CheckDocumentSignature(document.view(), anchors);
    EXPECT_EQ(verdict.trust, DocumentTrust::Valid) << module;

    ModuleINIInfo info;
    ParseModuleINI(verdict.text, info);
    const ByteBuffer file = transport.HttpGetBytes(module, file_date);
    FileDigestCheck check(info.GetKey("Release", "SHA256"), true);
    check.Update(file.span());
    EXPECT_EQ(check.Finish(), DigestOutcome::Matches) << module;
    // The repository serves the suite file's date.
    EXPECT_EQ(file_date.ToCalendar().year, 2021) << module;
  }
  DateValue date;
  EXPECT_EQ(CheckDocumentSignature(transport.HttpGetBytes(".ini", date).view(), anchors).trust,
            DocumentTrust::Valid);
  EXPECT_TRUE(transport.HttpHead("/testserver.html", date));
}

// A reader that checks no signature walks a signed repository as any other.
TEST_F(NginxPublishTest, ASignedRepositoryIsWalkedByAReaderWithoutKeys) {
  testing::FakeSystemInfo system;
  system.current_bias = 0;
  testing::FakeFileSystem files;
  testing::FakeSettingsStore settings;
  files.AddFile("/opt/suite/Eseguibili/Prog.exe", "MZ", testing::kSuiteDate, "2.1.0.4");
  PathMapping paths(MakePlaceholderTable({"/opt/suite", "/pc1", "", "", ""}, '/'), "pc1", '/');
  HttpTransport transport(nginx.Location(base), 0);
  const TrustPolicy trust;
  Catalogue catalogue({paths, transport, files, settings, system, trust});

  UpdateDictionary updates;
  catalogue.CollectUpdates(updates, "");
  ASSERT_EQ(updates.Count(), 4u);
  EXPECT_EQ(updates.At(1).value->MetaPath, "{DATI}\\Archivio.mdb");
  EXPECT_EQ(updates.At(1).value->RemoteVersion, "2021.01.01.120000");
  EXPECT_EQ(updates.At(4).value->MetaPath, "{ESEGUIBILI}\\Prog.exe");
  EXPECT_EQ(updates.At(4).value->RemoteVersion, "2.1.0.5");
  EXPECT_EQ(updates.At(4).value->InstallationType, 1);
}

}  // namespace
}  // namespace tw
