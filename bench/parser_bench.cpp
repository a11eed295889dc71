// Nanoseconds per call of the parsers on the request path, kept to catch
// regressions: a 50-key catalogue document, the three date forms, the
// mapping of a typical module path, the signature check of a document, the
// reading of a signed index of 2,001 files, and the digest of a downloaded
// MiB.
#include <benchmark/benchmark.h>

#include <string>

#include "catalogue/ini_document.h"
#include "catalogue/path_mapping.h"
#include "trust/repository_index.h"
#include "trust/signature_section.h"
#include "trust/trust_policy.h"
#include "transport/http_date.h"

namespace {

std::string FiftyKeyDocument() {
  std::string text = "[Release]\r\nVersion=6.0.8169.0\r\nRegister=regsvr32\r\nForceUpdate=1\r\n";
  text += "[Setup]\r\n";
  for (int i = 0; i < 20; ++i) text += "dip" + std::to_string(i) + "={COMPONENTI}\\Comp" + std::to_string(i) + ".ocx\r\n";
  text += "[PostSetup]\r\n";
  for (int i = 0; i < 27; ++i) text += "p" + std::to_string(i) + "={ESEGUIBILI}\\Post" + std::to_string(i) + ".exe /s\r\n";
  return text;
}

void BM_CatalogueDocument50Keys(benchmark::State& state) {
  const std::string text = FiftyKeyDocument();
  for (auto _ : state) {
    tw::ModuleINIInfo info;
    tw::ParseModuleINI(text, info);
    benchmark::DoNotOptimize(info);
  }
}
BENCHMARK(BM_CatalogueDocument50Keys);

void BM_DateRfc1123(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(tw::ParseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT", -60));
}
BENCHMARK(BM_DateRfc1123);

void BM_DateRfc850(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(tw::ParseHttpDate("Sunday, 06-Nov-94 08:49:37 GMT", -60));
}
BENCHMARK(BM_DateRfc850);

void BM_DateAsctime(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(tw::ParseHttpDate("Sun Nov  6 08:49:37 1994", -60));
}
BENCHMARK(BM_DateAsctime);

void BM_ResolvePath(benchmark::State& state) {
  const tw::PathMapping paths(tw::MakePlaceholderTable({"/opt/Velmora Suite", "\\officina", "/home/anna/.local/lib",
                                                        "/home/anna/.local/share/fonts", "/home/anna/.local/share"},
                                                       '/'),
                              "officina", '/');
  const bool remote = state.range(0) != 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(paths.ResolvePath("{COMPONENTI}\\Griglia Dati.ocx", remote));
}
BENCHMARK(BM_ResolvePath)->Arg(0)->Arg(1);

void BM_SignedDocument50Keys(benchmark::State& state) {
  const auto key = *tw::crypto::Ed25519PrivateKey::FromSeed(std::vector<std::uint8_t>(32, 5));
  const std::string body = tw::EndLastLine(FiftyKeyDocument());
  const std::string document = tw::AppendSignatureSection(body, *key.Sign(body));
  tw::TrustAnchors anchors;
  anchors.AddKeys(tw::crypto::Base64Encode(key.PublicKey()));
  const tw::TrustPolicy policy(std::move(anchors));
  for (auto _ : state) benchmark::DoNotOptimize(policy.JudgeDocument(document));
}
BENCHMARK(BM_SignedDocument50Keys);

// The index of a 1,000-module suite (each module's file and its document),
// signed, read whole as at every start.
void BM_SignedIndex2001Files(benchmark::State& state) {
  const auto key = *tw::crypto::Ed25519PrivateKey::FromSeed(std::vector<std::uint8_t>(32, 5));
  tw::RepositoryIndex index;
  index.repository = "suite";
  index.serial = 1;
  index.published = 1700000000;
  index.expires = 1800000000;
  for (int i = 0; i < 1000; ++i) {
    const std::string path = "eseguibili/m" + std::to_string(1000 + i) + ".dat";
    const auto digest = *tw::crypto::Sha256Of(path);
    index.files.push_back({digest, 4096, 1700000000 + i, path});
    index.files.push_back({digest, 400, std::nullopt, path + ".ini"});
  }
  index.files.push_back({*tw::crypto::Sha256Of("suite"), 20000, std::nullopt, ".ini"});
  const std::string body = *tw::WriteRepositoryIndex(index);
  const std::string signed_index = tw::AppendSignatureSection(body, *key.Sign(body));
  tw::TrustAnchors anchors;
  anchors.AddKeys(tw::crypto::Base64Encode(key.PublicKey()));
  for (auto _ : state) benchmark::DoNotOptimize(tw::ReadRepositoryIndex(signed_index, anchors));
}
BENCHMARK(BM_SignedIndex2001Files)->Unit(benchmark::kMicrosecond);

void BM_Sha256OneMiB(benchmark::State& state) {
  const std::string block(1 << 20, 'x');
  tw::crypto::Sha256 hasher;
  for (auto _ : state) {
    hasher.Update(block);
    benchmark::DoNotOptimize(hasher.Finish());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(block.size()));
}
BENCHMARK(BM_Sha256OneMiB);

}  // namespace

BENCHMARK_MAIN();
