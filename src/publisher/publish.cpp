#include "publisher/publish.h"

#include <sys/stat.h>

#include <ctime>
#include <filesystem>

#include "catalogue/ini_document.h"
#include "common/text.h"
#include "publisher/delta_store.h"
#include "publisher/index_publishing.h"
#include "publisher/module_settings.h"
#include "publisher/module_document.h"
#include "publisher/repository_files.h"
#include "publisher/suite_layout.h"
#include "trust/signature_section.h"
#include "trust/trust_policy.h"

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

// A module as it is to be published: the suite file's facts and digest,
// and the document to serve.
struct PlannedModule {
  const SuiteModule* module = nullptr;
  FileFacts facts;
  crypto::Sha256Digest digest{};
  std::string document;  // signed when a key is given; "" when signing failed
  // What the document is composed from, to compose it again with the
  // patches written once the file is in place.
  std::string keys;
  std::string version;
};

// Whether a document carries keys beyond those the file gives (Version,
// SHA256): only those could be laundered by signing them again.
bool CarriesAuthorsKeys(std::string_view document) {
  ModuleINIInfo info;
  ParseModuleINI(ReadSignatureSection(document).signed_bytes, info);
  if (info.SetupKeys.Count() > 0 || info.PostSetupKeys.Count() > 0) return true;
  for (const auto& item : info.ReleaseKeys)
    if (item.key && !EqualsIgnoreCase(*item.key, "Version") && !EqualsIgnoreCase(*item.key, kSha256Key)) return true;
  return false;
}

// The keys a document is composed from: the vendor's module settings when
// they name the module, else the published document, but with a key only
// when that document is this vendor's own (it verifies, and matches the
// current index). Nothing when it must not be carried over; `refusal` then
// names it.
std::optional<std::string> KeysSource(const std::string& repository_path, const std::string& document_path,
                                      const std::string& document_file, const std::string& shown, const ModuleSettings& settings,
                                      const IndexBase* base, std::string& refusal) {
  if (auto own = settings.DocumentFor(repository_path)) return own;
  const std::string existing = ReadWholeFile(document_file).value_or("");
  if (!base || existing.empty()) return existing;
  const DocumentVerdict verdict = CheckDocumentSignature(existing, base->anchors);
  bool ours = verdict.accepted;
  std::string reason(TrustDetail(verdict.trust));
  if (ours && base->current)
    if (const IndexEntry* entry = base->current->Find(document_path))
      if (entry->sha256 != crypto::Sha256Of(existing).value_or(crypto::Sha256Digest{})) {
        ours = false;
        reason = "diverso dalla voce dell'indice";
      }
  if (ours) return existing;
  if (!CarriesAuthorsKeys(existing)) return std::string();
  refusal = shown + ": documento non verificato (" + reason +
            "): le sue chiavi non vengono riprese; mettile in " + kModuleSettingsFile +
            " (export-settings) o indica la chiave che lo firmò con --trusted-keys";
  return std::nullopt;
}

std::optional<PlannedModule> PlanModule(const SuiteModule& module, const std::string& repository,
                                        const ModuleSettings& settings, const IndexBase* base,
                                        const crypto::Ed25519PrivateKey* key, Tally& tally, std::ostream& out,
                                        std::ostream& err) {
  const auto facts = RegularFileFacts(module.file);
  const auto digest = FileSha256(module.file);
  if (!facts || !digest) {
    err << module.file << ": file non leggibile\n";
    ++tally.failures;
    return std::nullopt;
  }
  std::string refusal;
  const auto keys = KeysSource(module.repository_path, module.document_path, repository + module.document_path,
                               module.document_path,
                               settings, base, refusal);
  if (!keys) {
    err << refusal << "\n";
    ++tally.failures;
    return std::nullopt;
  }
  const std::string version = FileVersion(module.file);
  const ComposedDocument composed = ComposeModuleDocument(*keys, version, crypto::ToHex(*digest));
  if (composed.dropped_version)
    out << "Version tolta da " << module.document_path << ": il file non ha risorsa di versione\n";
  return PlannedModule{&module, *facts, *digest, FinishDocument(composed.text, key), *keys, version};
}

// Puts the module file in place (when its content changed) with the suite
// file's date; false when that failed.
bool PlaceModuleFile(const PlannedModule& planned, const std::string& target, Tally& tally, std::ostream& out,
                     std::ostream& err) {
  const SuiteModule& module = *planned.module;
  const auto present = RegularFileFacts(target);
  const bool same = present && present->size == planned.facts.size && FileSha256(target) == planned.digest;
  std::string failure;
  if (!same) {
    failure = CopyFileInPlace(module.file, target, planned.facts.modified);
    if (failure.empty()) {
      out << "File copiato: " << module.repository_path << "\n";
      ++tally.copied;
    }
  } else if (!SameTime(present->modified, planned.facts.modified)) {
    failure = SetModificationTime(target, planned.facts.modified);
  }
  if (!failure.empty()) {
    err << failure << "\n";
    ++tally.failures;
    return false;
  }
  return true;
}

// A patch written beside its file goes into the index like any file the
// repository serves: "OLDSHA256 PATCHSHA256 PATCHSIZE PATCHPATH".
void AddPatchEntry(const std::string& delta_entry, const std::string& repository, Tally& tally,
                   std::vector<IndexEntry>& entries, std::ostream& err) {
  // The path is the rest of the value: module names may hold blanks.
  std::vector<std::string> words;
  size_t at = 0;
  while (words.size() < 3) {
    const size_t blank = delta_entry.find(' ', at);
    if (blank == std::string::npos) break;
    words.push_back(delta_entry.substr(at, blank - at));
    at = blank + 1;
  }
  words.push_back(delta_entry.substr(at));
  const auto digest = words.size() == 4 ? crypto::ParseSha256Hex(words[1]) : std::nullopt;
  const std::string path = words.back().starts_with("/") ? words.back() : "/" + words.back();
  const auto facts = RegularFileFacts(repository + path);
  if (!digest || !facts) {
    err << "Patch non indicizzabile: " << delta_entry << "\n";
    ++tally.failures;
    return;
  }
  entries.push_back(EntryOf(*digest, facts->size, facts->modified.tv_sec, path));
}

// The file goes first, then its patches, then the document: a program that
// sees the new document finds what it describes. Adds them all to the
// index's entries.
void PublishModule(const PlannedModule& planned, const std::string& repository, const DeltaSettings& deltas,
                   const crypto::Ed25519PrivateKey* key, Tally& tally, std::vector<IndexEntry>& entries,
                   std::ostream& out, std::ostream& err) {
  const SuiteModule& module = *planned.module;
  const std::string file = repository + module.repository_path;
  if (!PlaceModuleFile(planned, file, tally, out, err)) return;
  std::string document = planned.document;
  DeltaOutcome patches;
  if (deltas.deltas > 0) {
    const std::string existing = ReadWholeFile(repository + module.document_path).value_or("");
    patches = UpdatePatches(deltas, module, module.file, file, crypto::ToHex(planned.digest), existing, out, err);
    tally.patches += patches.written;
    if (patches.failed) ++tally.failures;
    if (!patches.entries.empty())
      document = FinishDocument(
          ComposeModuleDocument(planned.keys, planned.version, crypto::ToHex(planned.digest), patches.entries).text,
          key);
  }
  const size_t failures = tally.failures;
  WriteIfChanged(repository + module.document_path, document, module.document_path, tally, out, err);
  if (tally.failures != failures) return;
  entries.push_back(EntryOf(planned.digest, planned.facts.size, planned.facts.modified.tv_sec, module.repository_path));
  entries.push_back(EntryOf(crypto::Sha256Of(document).value_or(crypto::Sha256Digest{}), document.size(),
                            std::nullopt, module.document_path));
  for (const std::string& entry : patches.entries) AddPatchEntry(entry, repository, tally, entries, err);
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
  DeltaSettings deltas{options.deltas, StoreFolder(options.index.store.empty() ? "" : NormalFolder(options.index.store),
                                                    options.index.name.empty() ? name : options.index.name)};
  // The store holds every earlier version: served, it would publish what
  // the vendor withdrew.
  if (deltas.deltas > 0 && (deltas.store == repository || deltas.store.starts_with(repository + "/"))) {
    err << "tarnwick-publish: l'archivio delle versioni (" << deltas.store
        << ") non può stare dentro il repository\n";
    return 2;
  }
  // With a key, the repository's index must be this vendor's last one
  // before anything is signed on top of it.
  std::optional<IndexBase> base;
  if (key) {
    auto checked = CheckIndexBase(repository, options.index, *key);
    if (!checked) {
      err << checked.error() << "\n";
      return 1;
    }
    base = std::move(checked.value());
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
  const ModuleSettings settings = ModuleSettings::Read(NormalFolder(options.suite));
  // Every document is composed before anything is written, so that one
  // that may not be signed stops the publish with the repository as it was.
  std::vector<PlannedModule> planned;
  size_t refused = 0;
  for (const SuiteModule& module : scan.modules) {
    const size_t failures = tally.failures;
    if (auto plan = PlanModule(module, repository, settings, base ? &*base : nullptr, signer, tally, out, err))
      planned.push_back(std::move(*plan));
    else if (tally.failures != failures)
      ++refused;
  }
  std::optional<std::string> suite_document;
  if (options.suite_document) {
    std::vector<std::string> placeholders;
    for (const SuiteModule& module : scan.modules) placeholders.push_back(module.placeholder);
    std::string refusal;
    const std::string path = SuiteDocumentPath(repository);
    if (const auto keys = KeysSource("", ".ini", path, path, settings, base ? &*base : nullptr, refusal)) {
      suite_document = FinishDocument(ComposeSuiteDocument(*keys, placeholders), signer);
    } else {
      err << refusal << "\n";
      ++tally.failures;
      ++refused;
    }
  }
  if (base && refused > 0) {
    err << "Pubblicazione fermata: nulla è stato scritto\n";
    return 1;
  }
  std::vector<IndexEntry> entries;
  for (const PlannedModule& plan : planned)
    PublishModule(plan, repository, deltas, signer, tally, entries, out, err);
  WriteIfChanged(repository + "/" + kProbeName, kProbe, std::string("/") + kProbeName, tally, out, err);
  if (suite_document) {
    const size_t failures = tally.failures;
    const std::string path = SuiteDocumentPath(repository);
    WriteIfChanged(path, *suite_document, path, tally, out, err);
    if (tally.failures == failures)
      entries.push_back(EntryOf(crypto::Sha256Of(*suite_document).value_or(crypto::Sha256Digest{}),
                                suite_document->size(), std::nullopt, ".ini"));
  }
  if (base) {
    // The index goes last, and only over a repository that is whole.
    if (tally.failures > 0) {
      err << "Indice non scritto: la pubblicazione ha avuto errori\n";
    } else {
      const RepositoryIndex index =
          NextIndex(*base, std::move(entries), static_cast<std::int64_t>(std::time(nullptr)), options.index.expires_days);
      const std::string failure = PlaceIndex(*base, index, *key, "");
      if (!failure.empty()) {
        err << failure << "\n";
        ++tally.failures;
      } else {
        out << "Indice scritto: serie " << index.serial << ", scade il " << UtcText(index.expires) << "\n";
      }
    }
  }
  out << "Moduli: " << scan.modules.size() << ", file copiati: " << tally.copied
      << ", documenti scritti: " << tally.documents;
  if (deltas.deltas > 0) out << ", patch scritte: " << tally.patches;
  out << ", errori: " << tally.failures << "\n";
  return tally.failures == 0 ? 0 : 1;
}

}  // namespace tw::publisher
