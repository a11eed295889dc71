#include "bench_suite.h"

#include <cstdio>
#include <cstring>
#include <random>

#include "bench_support.h"
#include "platform/openssl/crypto.h"
#include "support/temp_dir.h"

namespace tw::bench {

Engine::Engine(const std::string& root, Repository& repo)
    : system("", root + "/Eseguibili/Tarnwick", StartMode::Standalone),
      paths(MakePlaceholderTable({root, "\\bench", "", "", ""}, '/'), "bench", '/'),
      catalogue({paths, repo, files, settings, system, trust}),
      ctx{paths, repo, files, settings, system, catalogue, launcher, ""} {}

SuiteClient::SuiteClient(const std::string& location, const std::string& root, Fetching fetching)
    : transport(location, 0),
      one_at_a_time(transport),
      engine(root, fetching == Fetching::OneAtATime ? static_cast<Repository&>(one_at_a_time) : transport) {}

double SuiteClient::TimedWalk(UpdateDictionary& updates) {
  return Seconds([&] { engine.catalogue.CollectUpdates(updates, ""); });
}

std::string SuiteModuleName(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "m%04d.dat", i);
  return name;
}

void PublishSuite(testing::NginxServer& nginx, const std::string& base, const std::string& root) {
  std::mt19937 random(1000);
  std::string suite = "[Setup]\r\n";
  for (int i = 0; i < 1000; ++i) {
    const std::string name = SuiteModuleName(i);
    suite += "m" + std::to_string(i) + "={ESEGUIBILI}\\" + name + "\r\n";
    std::string doc = "[Release]\r\n";
    if (i % 2 == 0) doc += "Version=1." + std::to_string(i % 7) + "\r\n";
    // As the publisher writes them, each document names its file's digest:
    // no two documents of the suite are the same bytes.
    const std::string content = "contenuto di " + name;
    doc += "SHA256=" + crypto::ToHex(*crypto::Sha256Of(content)) + "\r\n";
    while (doc.size() < 340) doc += "Nota" + std::to_string(doc.size()) + "=descrizione del modulo\r\n";
    if (i % 3 == 0 && i + 1 < 1000) doc += "[Setup]\r\n";
    for (int d = 1; i % 3 == 0 && d <= 2 && i + d < 1000; ++d)
      doc += "d" + std::to_string(d) + "={ESEGUIBILI}\\" + SuiteModuleName(i + d) + "\r\n";
    nginx.Put(base + "/eseguibili/" + name + ".ini", doc);
    nginx.Put(base + "/eseguibili/" + name, content, kRepositoryTime + random() % 100000);
    if (i % 3 == 1) {
      const std::string local = root + "/Eseguibili/" + name;
      testing::WriteTextFile(local, "installato");
    }
  }
  nginx.Put(base + ".ini", suite);
}

void PublishRandom(testing::NginxServer& nginx, const std::string& path, size_t mib) {
  std::string content(mib << 20, '\0');
  std::mt19937_64 random(256);
  for (size_t i = 0; i + 8 <= content.size(); i += 8) {
    const auto v = random();
    std::memcpy(&content[i], &v, 8);
  }
  nginx.Put(path, content, kRepositoryTime);
}

}  // namespace tw::bench
