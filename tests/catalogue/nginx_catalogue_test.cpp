#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "trust/trust_policy.h"
#include "catalogue/path_mapping.h"
#include "support/fake_file_system.h"
#include "support/fake_settings_store.h"
#include "support/fake_system_info.h"
#include "support/nginx_server.h"
#include "transport/network/http_transport.h"

namespace tw {
namespace {

// A small suite on a real web server, walked from the whole suite's
// document down.
TEST(NginxCatalogue, SuiteIsWalkedEndToEnd) {
  auto& nginx = testing::NginxServer::Shared();
  ASSERT_TRUE(nginx.running());
  const std::string base = nginx.FreshBase();
  constexpr long long kJan2021 = 1609502400;  // 2021-01-01 12:00:00 UTC
  nginx.Put(base + ".ini", "[Setup]\r\n1={ESEGUIBILI}\\Prog.exe\r\n2={DATI}\\Archivio.mdb\r\n");
  nginx.Put(base + "/eseguibili/prog.exe.ini",
            "[Release]\r\nVersion=2.1.0.5\r\n[Setup]\r\nocx={COMPONENTI}\\Griglia.ocx\r\n");
  nginx.Put(base + "/eseguibili/prog.exe", "MZ", kJan2021);
  nginx.Put(base + "/eseguibili/componenti/griglia.ocx.ini", "[Release]\r\nRegister=regsvr32\r\n");
  nginx.Put(base + "/eseguibili/componenti/griglia.ocx", "MZ", kJan2021);
  nginx.Put(base + "/dati/archivio.mdb.ini", "[Release]\r\nForceUpdate=0\r\n");
  nginx.Put(base + "/dati/archivio.mdb", "db", kJan2021);

  testing::FakeSystemInfo system;
  system.current_bias = 0;
  testing::FakeFileSystem files;
  testing::FakeSettingsStore settings;
  files.AddFile("/opt/suite/Dati/Archivio.mdb", "db", 0);  // old, but never forced
  files.AddFile("/opt/suite/Eseguibili/Prog.exe", "MZ", kJan2021, "2.0.0.0");
  PathMapping paths(MakePlaceholderTable({"/opt/suite", "\\pc1", "", "", ""}, '/'), "pc1", '/');
  HttpTransport transport(nginx.Location(base), 0);
  const TrustPolicy trust;
  Catalogue catalogue({paths, transport, files, settings, system, trust});

  UpdateDictionary updates;
  catalogue.CollectUpdates(updates, "");
  ASSERT_EQ(updates.Count(), 2u);
  const ModuleUpdateInfo& ocx = *updates.At(1).value;
  EXPECT_EQ(ocx.MetaPath, "{COMPONENTI}\\Griglia.ocx");
  EXPECT_EQ(ocx.Register, "regsvr32");
  EXPECT_EQ(ocx.InstallationType, 0);
  EXPECT_EQ(ocx.RemoteVersion, "2021.01.01.120000");
  const ModuleUpdateInfo& prog = *updates.At(2).value;
  EXPECT_EQ(prog.MetaPath, "{ESEGUIBILI}\\Prog.exe");
  EXPECT_EQ(prog.LocalVersion, "2.0.0.0");
  EXPECT_EQ(prog.RemoteVersion, "2.1.0.5");
  EXPECT_EQ(prog.InstallationType, 1);
  EXPECT_EQ(catalogue.CachedDocuments(), 4u);
}

}  // namespace
}  // namespace tw
