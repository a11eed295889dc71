// Reaching repositories as offices have them: over TLS with a certificate
// of a private authority, through a real proxy, and at an IPv6 address.
#include <gtest/gtest.h>

#include <deque>

#include "catalogue/catalogue.h"
#include "trust/trust_policy.h"
#include "catalogue/path_mapping.h"
#include "common/settings_keys.h"
#include "startup/environment.h"
#include "startup/repository_dialog.h"
#include "support/fake_file_system.h"
#include "support/fake_settings_store.h"
#include "support/fake_system_info.h"
#include "support/fault_server.h"
#include "support/nginx_server.h"
#include "support/test_certificates.h"
#include "support/tinyproxy_server.h"
#include "transport/network/http_transport.h"

namespace tw {
namespace {

using testing::NginxOptions;
using testing::NginxServer;
using testing::ScopedVariable;

constexpr long long kFileTime = 784111777;  // 1994-11-06 08:49:37 UTC
const DateValue kFileDate = DateValue::FromCalendar(1994, 11, 6, 8, 49, 37);

// Two web servers with certificates of the test's own authority: one for
// the loopback address, one for another name; and a second authority that
// signed neither.
struct TlsServers {
  TlsServers() : good(Options("buono", {"IP:127.0.0.1", "IP:::1"})), wrong_name(Options("altro", {"DNS:altro.example"})) {}
  NginxOptions Options(const std::string& label, const std::vector<std::string>& names) {
    const auto pair = authority.Issue(label, names);
    return NginxOptions{pair.certificate, pair.key, false};
  }
  testing::TestCertificates authority;
  testing::TestCertificates stranger;
  NginxServer good;
  NginxServer wrong_name;
};

TlsServers& Tls() {
  static TlsServers servers;
  return servers;
}

class Https : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Tls().authority.ok() && Tls().stranger.ok()) << "openssl could not make the certificates";
    ASSERT_TRUE(Tls().good.running() && Tls().wrong_name.running()) << "nginx could not be started with TLS";
    base_ = Tls().good.FreshBase();
    Tls().good.Put(base_ + "/testserver.html", "ok", kFileTime);
    Tls().good.Put(base_ + "/eseguibili/prog.exe", std::string("MZ\0\1", 4), kFileTime);
    Tls().good.Put(base_ + "/eseguibili/prog.exe.ini", "[Release]\r\nVersion=2.0\r\n", kFileTime);
  }
  std::string base_;
  ScopedVariable trust_{"SSL_CERT_FILE", Tls().authority.authority().c_str()};
};

TEST_F(Https, HeadAndGetGoOverTlsAndTheUrlShowsTheScheme) {
  HttpTransport transport(Tls().good.Location(base_), 0);
  DateValue date;
  EXPECT_TRUE(transport.HttpHead("/Eseguibili/Prog.exe", date));
  EXPECT_EQ(date, kFileDate);
  DateValue untouched(3.0);
  EXPECT_FALSE(transport.HttpHead("/eseguibili/assente.exe", untouched));
  EXPECT_EQ(transport.HttpGetText("/eseguibili/prog.exe.ini", date), "[Release]\r\nVersion=2.0\r\n");
  EXPECT_EQ(transport.HttpGetBytes("/eseguibili/prog.exe", date).view(), std::string("MZ\0\1", 4));
  EXPECT_EQ(transport.URL(), "https://127.0.0.1:" + std::to_string(Tls().good.port()) + base_);
  EXPECT_EQ(transport.HttpGetTextAndHead("/eseguibili/prog.exe.ini", "/eseguibili/prog.exe", date),
            "[Release]\r\nVersion=2.0\r\n");
  // The document and its file's date together, as the walk one module at
  // a time asks for them: the HEAD goes over TLS as well.
  DateValue file_date;
  EXPECT_EQ(transport.HttpGetDocumentAndHead("/eseguibili/prog.exe.ini", "/eseguibili/prog.exe", file_date),
            "[Release]\r\nVersion=2.0\r\n");
  EXPECT_EQ(file_date, kFileDate);
}

TEST_F(Https, CertificatesThatDoNotVerifyFailEveryRequest) {
  const NginxServer& wrong = Tls().wrong_name;
  wrong.Put(base_ + "/eseguibili/prog.exe", "MZ..", kFileTime);
  HttpTransport other_name(wrong.Location(base_), 0);
  DateValue date(3.0);
  EXPECT_FALSE(other_name.HttpHead("/eseguibili/prog.exe", date));
  EXPECT_EQ(other_name.HttpGetBytes("/eseguibili/prog.exe", date).size(), 1u);
  EXPECT_EQ(date.Serial(), 3.0);

  ScopedVariable untrusted("SSL_CERT_FILE", Tls().stranger.authority().c_str());
  HttpTransport transport(Tls().good.Location(base_), 0);
  EXPECT_FALSE(transport.HttpHead("/eseguibili/prog.exe", date));
  EXPECT_EQ(transport.HttpGetText("/eseguibili/prog.exe.ini", date), "");
  EXPECT_EQ(date.Serial(), 3.0);
}

// The options window's answers, and the splash and messages as a list.
struct ScriptedStart : OptionsView, StartupHost, RepositoryOpener {
  bool CanAsk() override { return true; }
  OptionsAnswer Ask(const std::string& path, bool hide) override {
    shown.push_back(path);
    if (answers.empty()) return {"", hide};
    std::string answer = answers.front();
    answers.pop_front();
    return {answer, hide};
  }
  void ShowSplash() override {}
  void HideSplash() override {}
  void SelfUpdate() override {}
  void ShowMessage(int id) override { messages += std::to_string(id) + " "; }
  std::unique_ptr<Repository> Open(const std::string& location) override {
    return std::make_unique<HttpTransport>(location, 0);
  }
  std::deque<std::string> answers;
  std::vector<std::string> shown;
  std::string messages;
};

TEST_F(Https, TheRepositoryDialogTestsAndStoresAnHttpsAddress) {
  const std::string typed = "HTTPS://127.0.0.1:" + std::to_string(Tls().good.port()) + base_;
  testing::FakeSettingsStore settings;
  testing::FakeSystemInfo system;
  testing::FakeFileSystem files;
  Environment env = InitEnvironment(system, settings, files);
  ScriptedStart start;
  start.answers = {typed};
  EXPECT_EQ(RunRepositoryDialog(ReadCommandText("host"), env, {start, start, start, settings}),
            StandaloneOutcome::EndProgram);
  EXPECT_EQ(start.messages, "907 ");
  EXPECT_EQ(settings.Get(settings::kSection, settings::kRemoteHost), ToLower(typed));

  // Without the authority in the trust store the same address is refused.
  ScopedVariable untrusted("SSL_CERT_FILE", Tls().stranger.authority().c_str());
  ScriptedStart refused;
  refused.answers = {typed};
  RunRepositoryDialog(ReadCommandText("host"), env, {refused, refused, refused, settings});
  EXPECT_EQ(refused.messages, "906 ");
}

TEST_F(Https, TheCatalogueIsWalkedOverTls) {
  Tls().good.Put(base_ + ".ini", "[Setup]\r\n1={ESEGUIBILI}\\Prog.exe\r\n");
  testing::FakeSystemInfo system;
  system.current_bias = 0;
  testing::FakeFileSystem files;
  testing::FakeSettingsStore settings;
  files.AddFile("/opt/suite/Eseguibili/Prog.exe", "MZ", kFileTime, "1.0.0.0");
  PathMapping paths(MakePlaceholderTable({"/opt/suite", "\\pc1", "", "", ""}, '/'), "pc1", '/');
  HttpTransport transport(Tls().good.Location(base_), 0);
  const TrustPolicy no_keys;
  Catalogue catalogue({paths, transport, files, settings, system, no_keys});
  UpdateDictionary updates;
  catalogue.CollectUpdates(updates, "");
  ASSERT_EQ(updates.Count(), 1u);
  EXPECT_EQ(updates.At(1).value->RemoteVersion, "2.0.0.0");
}

// A catalogue over `transport` for a suite in /opt/suite holding `files`.
UpdateDictionary WalkWholeSuite(Repository& transport, testing::FakeFileSystem& files) {
  testing::FakeSystemInfo system;
  system.current_bias = 0;
  testing::FakeSettingsStore settings;
  PathMapping paths(MakePlaceholderTable({"/opt/suite", "\\pc1", "", "", ""}, '/'), "pc1", '/');
  const TrustPolicy no_keys;
  Catalogue catalogue({paths, transport, files, settings, system, no_keys});
  UpdateDictionary updates;
  catalogue.CollectUpdates(updates, "");
  return updates;
}

// A document without a version leaves the decision to the file's date: the
// walk, fetching ahead, learns it over TLS too.
TEST_F(Https, TheWalkLearnsTheFilesDatesOverTls) {
  Tls().good.Put(base_ + ".ini", "[Setup]\r\n1={DATI}\\Listino.dat\r\n");
  Tls().good.Put(base_ + "/dati/listino.dat", "nuovo", kFileTime);
  Tls().good.Put(base_ + "/dati/listino.dat.ini", "[Release]\r\n", kFileTime);
  testing::FakeFileSystem files;
  files.AddFile("/opt/suite/Dati/Listino.dat", "vecchio", kFileTime - 86400);
  HttpTransport transport(Tls().good.Location(base_), 0);
  const UpdateDictionary updates = WalkWholeSuite(transport, files);
  ASSERT_EQ(updates.Count(), 1u);
  EXPECT_EQ(updates.At(1).value->MetaPath, "{DATI}\\Listino.dat");
}

class ThroughProxy : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(proxy_.running()) << "tinyproxy could not be started (tools/setup-and-test installs it)";
    ASSERT_TRUE(NginxServer::Shared().running());
    base_ = NginxServer::Shared().FreshBase();
    NginxServer::Shared().Put(base_ + "/eseguibili/prog.exe", "MZ..", kFileTime);
    NginxServer::Shared().Put(base_ + "/eseguibili/prog.exe.ini", "[Release]\r\n", kFileTime);
  }
  std::string Target(const std::string& path) const {
    return "http://" + NginxServer::Shared().Location(base_) + path;
  }
  testing::TinyproxyServer proxy_;
  std::string base_;
  ScopedVariable http_proxy_{"http_proxy", nullptr};
  ScopedVariable upper_http_proxy_{"HTTP_PROXY", nullptr};
  ScopedVariable no_proxy_{"no_proxy", nullptr};
  ScopedVariable upper_no_proxy_{"NO_PROXY", nullptr};
};

TEST_F(ThroughProxy, HeadAndGetBothPassThroughTheProxyUnlessNoProxyNamesTheHost) {
  ::setenv("HTTP_PROXY", proxy_.Url().c_str(), 1);
  HttpTransport transport(NginxServer::Shared().Location(base_), 0);
  DateValue date;
  EXPECT_TRUE(transport.HttpHead("/eseguibili/prog.exe", date));
  EXPECT_EQ(date, kFileDate);
  EXPECT_EQ(transport.HttpGetText("/eseguibili/prog.exe.ini", date), "[Release]\r\n");
  const std::string log = proxy_.Log();
  EXPECT_NE(log.find("HEAD " + Target("/eseguibili/prog.exe") + " HTTP/1.0"), std::string::npos) << log;
  EXPECT_NE(log.find("GET " + Target("/eseguibili/prog.exe.ini")), std::string::npos) << log;

  ::setenv("no_proxy", "localhost,127.0.0.1", 1);
  EXPECT_TRUE(transport.HttpHead("/eseguibili/prog.exe", date));
  EXPECT_EQ(transport.HttpGetText("/eseguibili/prog.exe.ini", date), "[Release]\r\n");
  EXPECT_EQ(proxy_.Log().find("Request", log.size()), std::string::npos) << proxy_.Log().substr(log.size());
}

TEST_F(ThroughProxy, ThePlainHeadReachesTheProxyInAbsoluteFormAndNothingElse) {
  testing::FaultServer fake_proxy(testing::Fault::AnswerAndClose);
  ::setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(fake_proxy.port())).c_str(), 1);
  HttpTransport transport("Server.Example:8080/Base", 0);
  DateValue date;
  EXPECT_TRUE(transport.HttpHead("/Eseguibili/Prog.exe", date));
  ASSERT_EQ(fake_proxy.Requests().size(), 1u);
  EXPECT_EQ(fake_proxy.Requests()[0], "HEAD http://server.example:8080/base/eseguibili/prog.exe HTTP/1.0\r\n\r\n");
}

// The walk fetches ahead with requests in flight together; they go the
// same way as requests made one at a time, never around the proxy.
TEST_F(ThroughProxy, TheWalkAheadGoesThroughTheProxyToo) {
  ::setenv("HTTP_PROXY", proxy_.Url().c_str(), 1);
  NginxServer::Shared().Put(base_ + ".ini", "[Setup]\r\n1={ESEGUIBILI}\\Prog.exe\r\n");
  testing::FakeFileSystem files;
  HttpTransport transport(NginxServer::Shared().Location(base_), 0);
  WalkWholeSuite(transport, files);
  const std::string log = proxy_.Log();
  EXPECT_NE(log.find("HEAD " + Target("/eseguibili/prog.exe") + " HTTP/1.0"), std::string::npos) << log;
  EXPECT_NE(log.find("GET " + Target("/eseguibili/prog.exe.ini")), std::string::npos) << log;
}

TEST_F(ThroughProxy, AnHttpsRepositoryIsTunnelledThroughTheProxy) {
  ASSERT_TRUE(Tls().authority.ok() && Tls().good.running());
  ScopedVariable trust("SSL_CERT_FILE", Tls().authority.authority().c_str());
  ScopedVariable https_proxy("https_proxy", proxy_.Url().c_str());
  const std::string base = Tls().good.FreshBase();
  Tls().good.Put(base + "/eseguibili/prog.exe", "MZ..", kFileTime);
  HttpTransport transport(Tls().good.Location(base), 0);
  DateValue date;
  EXPECT_TRUE(transport.HttpHead("/eseguibili/prog.exe", date));
  EXPECT_EQ(transport.HttpGetBytes("/eseguibili/prog.exe", date).view(), "MZ..");
  EXPECT_NE(proxy_.Log().find("CONNECT 127.0.0.1:" + std::to_string(Tls().good.port())), std::string::npos)
      << proxy_.Log();
}

TEST(Ipv6Loopback, HeadAndGetReachABracketedAddress) {
  if (!NginxServer::HasIpv6Loopback()) GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
  static NginxServer server(NginxOptions{"", "", true});
  ASSERT_TRUE(server.running()) << "nginx could not listen on [::1]";
  const std::string base = server.FreshBase();
  server.Put(base + "/eseguibili/prog.exe", "MZ..", kFileTime);
  HttpTransport transport(server.Location(base), 0);
  EXPECT_EQ(server.Location(base).rfind("[::1]:", 0), 0u);
  DateValue date;
  EXPECT_TRUE(transport.HttpHead("/Eseguibili/Prog.exe", date));
  EXPECT_EQ(date, kFileDate);
  EXPECT_EQ(transport.HttpGetBytes("/eseguibili/prog.exe", date).view(), "MZ..");
}

}  // namespace
}  // namespace tw
