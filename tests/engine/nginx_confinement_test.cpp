// A catalogue document on a real web server that names files outside the
// suite: through the automation class, the real transport and a real disk,
// nothing is fetched for them, nothing lands outside the suite, and no
// other host is asked.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "catalogue/catalogue.h"
#include "trust/trust_policy.h"
#include "catalogue/path_mapping.h"
#include "common/settings_keys.h"
#include "common/text.h"
#include "engine/engine_context.h"
#include "engine/global.h"
#include "platform/posix/posix_file_system.h"
#include "support/fake_process_launcher.h"
#include "support/fake_settings_store.h"
#include "support/fake_system_info.h"
#include "support/fault_server.h"
#include "support/nginx_server.h"
#include "support/temp_dir.h"
#include "transport/network/http_transport.h"

namespace tw {
namespace {

// The real transport, noting every remote path the engine asks for.
class RecordingRepository : public Repository {
 public:
  explicit RecordingRepository(std::string location) : transport_(std::move(location), 0) {}
  bool HttpHead(std::string_view path, DateValue& date) override {
    asked.emplace_back(path);
    return transport_.HttpHead(path, date);
  }
  std::string HttpGetText(std::string_view path, DateValue& date) override {
    asked.emplace_back(path);
    return transport_.HttpGetText(path, date);
  }
  ByteBuffer HttpGetBytes(std::string_view path, DateValue& date) override {
    asked.emplace_back(path);
    return transport_.HttpGetBytes(path, date);
  }
  FetchResult HttpGetToSink(std::string_view path, DownloadSink& sink, DateValue& date) override {
    asked.emplace_back(path);
    return transport_.HttpGetToSink(path, sink, date);
  }
  std::string URL() override { return transport_.URL(); }

  std::vector<std::string> asked;

 private:
  HttpTransport transport_;
};

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

TEST(NginxConfinement, EntriesOutsideTheSuiteInstallNothingAndAskNoOtherHost) {
  auto& nginx = testing::NginxServer::Shared();
  ASSERT_TRUE(nginx.running());
  testing::FaultServer other_host(testing::Fault::AnswerAndClose, "HTTP/1.0 404 Not Found\r\n\r\n");
  testing::TempDir dir;
  const std::string suite = dir / "suite";
  std::filesystem::create_directories(suite + "/Eseguibili");
  const std::string cwd = std::filesystem::current_path().string();
  constexpr long long kJan2021 = 1609502400;

  // Each hostile entry has what the repository would be asked for in place,
  // so that following it would install it.
  const std::string up = "{ESEGUIBILI}\\..\\..\\confine_fuori.txt";
  nginx.Put("/confine_fuori.txt.ini", "[Release]\r\n");  // where ".." leads on the server
  nginx.Put("/confine_fuori.txt", "fuori", kJan2021);
  const std::string absolute = dir / "confine_assoluto.txt";
  nginx.Put(ToLower(absolute) + ".ini", "[Release]\r\n");
  nginx.Put(ToLower(absolute), "assoluto", kJan2021);
  const std::string tokenless = "confine_senza.txt";
  const std::string at = "@127.0.0.1:" + std::to_string(other_host.port()) + "\\confine_altro.exe";
  nginx.Put("/eseguibili/confine_app.exe.ini", "[Release]\r\nVersion=1.0\r\n[Setup]\r\n1=" + up + "\r\n2=" + absolute +
                                                   "\r\n3=" + tokenless + "\r\n4=" + at + "\r\n[PostSetup]\r\n1=" +
                                                   up + "\r\n2=" + absolute + " /s\r\n");
  nginx.Put("/eseguibili/confine_app.exe", "app", kJan2021);

  testing::FakeSystemInfo system;
  system.current_bias = 0;
  testing::FakeSettingsStore settings;
  testing::FakeProcessLauncher launcher;
  PosixFileSystem disk;
  PathMapping paths(MakePlaceholderTable({suite, "/pc1", "", "", ""}, '/'), "pc1", '/');
  RecordingRepository repository(nginx.Location());
  const TrustPolicy trust;
  Catalogue catalogue({paths, repository, disk, settings, system, trust});
  EngineContext ctx{paths, repository, disk, settings, system, catalogue, launcher, ""};
  Global global(ctx);

  EXPECT_TRUE(global.UpdateModule("{ESEGUIBILI}\\confine_app.exe"));
  EXPECT_TRUE(Exists(suite + "/Eseguibili/confine_app.exe"));
  // The index is asked first (this repository has none), then the app alone.
  for (const std::string& path : repository.asked)
    EXPECT_TRUE(path == "/indice.ini" || path.rfind("/eseguibili/confine_app.exe", 0) == 0) << path;

  // Asked directly, as a client of the automation interface might.
  for (const std::string& module : {up, absolute, tokenless, at}) {
    EXPECT_FALSE(global.IsModuleAvailable(module)) << module;
    EXPECT_FALSE(global.IsUpdateAvailable(module)) << module;
    EXPECT_TRUE(global.UpdateModule(module)) << module;
  }
  EXPECT_EQ(repository.asked.size(), 4u);  // the index, the app's document, its date and its file

  for (const std::string& path : {dir / "confine_fuori.txt", absolute, cwd + "/" + tokenless,
                                  cwd + "/@127.0.0.1:" + std::to_string(other_host.port())}) {
    EXPECT_FALSE(Exists(path)) << path;
    EXPECT_FALSE(settings.Get(settings::kLastModifiedSection, path).has_value()) << path;
  }
  EXPECT_TRUE(other_host.Requests().empty());
  EXPECT_TRUE(launcher.calls.empty());
}

}  // namespace
}  // namespace tw
