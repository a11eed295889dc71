#include "publisher/publish.h"

#include <sys/stat.h>

#include <filesystem>

#include "common/text.h"
#include "publisher/delta_store.h"
#include "publisher/module_document.h"
#include "publisher/repository_files.h"
#include "publisher/suite_layout.h"

namespace tw::publisher {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kProbe =
    "<!DOCTYPE html>\r\n<html><head><title>Tarnwick</title></head>"
    "<body>Repository degli aggiornamenti</body></html>\r\n";

struct Tally {
  size_t copied = 0;
  size_t documents = 0;
  size_t failures = 0;
  size_t patches = 0;
};

std::string NormalFolder(const std::string& folder) {
  std::error_code ec;
  std::string out = fs::absolute(folder, ec).lexically_normal().string();
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

std::optional<crypto::Ed25519PrivateKey> LoadKey(const std::string& file, std::ostream& err) {
  struct stat st {};
  if (::stat(file.c_str(), &st) == 0 && (st.st_mode & 077) != 0)
    err << "Attenzione: " << file << " è leggibile da altri utenti (chmod 600)\n";
  const auto pem = ReadWholeFile(file);
  auto key = pem ? crypto::Ed25519PrivateKey::FromPem(*pem) : std::nullopt;
  if (!key) err << file << ": chiave privata Ed25519 non leggibile\n";
  return key;
}

// Writes `text` at `path` unless the file already holds exactly it, so that
// an unchanged document keeps its date.
void WriteIfChanged(const std::string& path, std::string_view text, std::string_view shown, Tally& tally,
                    std::ostream& out, std::ostream& err) {
  if (text.empty()) {
    err << shown << ": firma non riuscita\n";
    ++tally.failures;
    return;
  }
  const auto existing = ReadWholeFile(path);
  if (existing && *existing == text) return;
  const std::string failure = WriteFileInPlace(path, text);
  if (!failure.empty()) {
    err << failure << "\n";
    ++tally.failures;
    return;
  }
  out << "Documento scritto: " << shown << "\n";
  ++tally.documents;
}

// Puts the module file in place (when its content changed) with the suite
// file's date; its digest, or nothing when the suite file cannot be read.
std::optional<std::string> PlaceModuleFile(const SuiteModule& module, const std::string& target, Tally& tally,
                                           std::ostream& out, std::ostream& err) {
  const auto facts = RegularFileFacts(module.file);
  const auto digest = FileSha256(module.file);
  if (!facts || !digest) {
    err << module.file << ": file non leggibile\n";
    ++tally.failures;
    return std::nullopt;
  }
  const auto present = RegularFileFacts(target);
  const bool same = present && present->size == facts->size && FileSha256(target) == digest;
  std::string failure;
  if (!same) {
    failure = CopyFileInPlace(module.file, target, facts->modified);
    if (failure.empty()) {
      out << "File copiato: " << module.repository_path << "\n";
      ++tally.copied;
    }
  } else if (!SameTime(present->modified, facts->modified)) {
    failure = SetModificationTime(target, facts->modified);
  }
  if (!failure.empty()) {
    err << failure << "\n";
    ++tally.failures;
    return std::nullopt;
  }
  return crypto::ToHex(*digest);
}

void PublishModule(const SuiteModule& module, const std::string& repository, const crypto::Ed25519PrivateKey* key,
                   const DeltaSettings& deltas, Tally& tally, std::ostream& out, std::ostream& err) {
  // The file goes first, then its patches: a program that sees the new
  // document finds what it describes.
  const std::string file = repository + module.repository_path;
  const auto sha256 = PlaceModuleFile(module, file, tally, out, err);
  if (!sha256) return;
  const std::string document_file = repository + module.document_path;
  const std::string existing = ReadWholeFile(document_file).value_or("");
  DeltaOutcome patches;
  if (deltas.deltas > 0) {
    patches = UpdatePatches(deltas, module, module.file, file, *sha256, existing, out, err);
    tally.patches += patches.written;
    if (patches.failed) ++tally.failures;
  }
  const ComposedDocument composed =
      ComposeModuleDocument(existing, FileVersion(module.file), *sha256, patches.entries);
  if (composed.dropped_version)
    out << "Version tolta da " << module.document_path << ": il file non ha risorsa di versione\n";
  WriteIfChanged(document_file, FinishDocument(composed.text, key), module.document_path, tally, out, err);
}

}  // namespace

std::string SuiteDocumentPath(const std::string& repository_folder) {
  const fs::path folder(NormalFolder(repository_folder));
  return (folder.parent_path() / (ToLower(folder.filename().string()) + ".ini")).string();
}

int Publish(const PublishOptions& options, std::ostream& out, std::ostream& err) {
  std::optional<crypto::Ed25519PrivateKey> key;
  if (!options.key_file.empty()) {
    key = LoadKey(options.key_file, err);
    if (!key) return 2;
  }
  const std::string repository = NormalFolder(options.repository);
  const std::string name = fs::path(repository).filename().string();
  if (ToLower(name) != name)
    err << "Attenzione: il programma chiede i percorsi in minuscolo, la cartella " << name
        << " va chiamata " << ToLower(name) << "\n";
  DeltaSettings deltas{options.deltas, options.store.empty() ? DefaultStore(repository) : NormalFolder(options.store)};
  // The store holds every earlier version: served, it would publish what
  // the vendor withdrew.
  if (deltas.deltas > 0 && (deltas.store == repository || deltas.store.starts_with(repository + "/"))) {
    err << "tarnwick-publish: l'archivio delle versioni (" << deltas.store
        << ") non può stare dentro il repository\n";
    return 2;
  }
  const SuiteScan scan = ScanSuite(options.suite);
  for (const std::string& note : scan.skipped) out << note << "\n";
  Tally tally;
  for (const std::string& error : scan.errors) {
    err << error << "\n";
    ++tally.failures;
  }
  if (scan.modules.empty() && !scan.errors.empty()) return 1;
  const crypto::Ed25519PrivateKey* signer = key ? &*key : nullptr;
  std::vector<std::string> placeholders;
  for (const SuiteModule& module : scan.modules) {
    PublishModule(module, repository, signer, deltas, tally, out, err);
    placeholders.push_back(module.placeholder);
  }
  WriteIfChanged(repository + "/" + kProbeName, kProbe, std::string("/") + kProbeName, tally, out, err);
  if (options.suite_document) {
    const std::string path = SuiteDocumentPath(repository);
    const std::string content = ComposeSuiteDocument(ReadWholeFile(path).value_or(""), placeholders);
    WriteIfChanged(path, FinishDocument(content, signer), path, tally, out, err);
  }
  out << "Moduli: " << scan.modules.size() << ", file copiati: " << tally.copied
      << ", documenti scritti: " << tally.documents;
  if (deltas.deltas > 0) out << ", patch scritte: " << tally.patches;
  out << ", errori: " << tally.failures << "\n";
  return tally.failures == 0 ? 0 : 1;
}

}  // namespace tw::publisher
