// refresh and export-settings: the index renewed with nothing else changed,
// and the module settings of a repository written out for the vendor.
#include <ctime>
#include <filesystem>
#include <set>

#include "common/text.h"
#include "publisher/index_publishing.h"
#include "publisher/module_settings.h"
#include "publisher/publish.h"
#include "publisher/repository_files.h"
#include "trust/signature_section.h"

namespace tw::publisher {
namespace {

namespace fs = std::filesystem;

std::string Folder(const std::string& folder) {
  std::error_code ec;
  std::string out = fs::absolute(folder, ec).lexically_normal().string();
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

}  // namespace

int Refresh(const std::string& repository, const std::string& key_file, const IndexSettings& settings,
            const std::string& out_file, std::ostream& out, std::ostream& err) {
  const auto pem = ReadWholeFile(key_file);
  const auto key = pem ? crypto::Ed25519PrivateKey::FromPem(*pem) : std::nullopt;
  if (!key) {
    err << key_file << ": chiave privata Ed25519 non leggibile\n";
    return 2;
  }
  auto base = CheckIndexBase(Folder(repository), settings, *key);
  if (!base) {
    err << base.error() << "\n";
    return 1;
  }
  if (!base->current) {
    err << base->index_file << ": nessun indice da rinnovare (serve prima publish)\n";
    return 1;
  }
  const RepositoryIndex index = NextIndex(*base, base->current->files, static_cast<std::int64_t>(std::time(nullptr)),
                                          settings.expires_days);
  const std::string failure = PlaceIndex(*base, index, *key, out_file);
  if (!failure.empty()) {
    err << failure << "\n";
    return 1;
  }
  out << "Indice scritto: serie " << index.serial << ", scade il " << UtcText(index.expires) << "\n";
  return 0;
}

int ExportSettings(const std::string& repository, std::ostream& out, std::ostream& err) {
  const std::string folder = Folder(repository);
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    err << repository << ": cartella del repository non trovata\n";
    return 2;
  }
  std::set<std::string> documents;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code entry_ec;
    if (!it->is_regular_file(entry_ec) || it->is_symlink(entry_ec)) continue;
    const std::string relative = "/" + it->path().lexically_relative(folder).generic_string();
    if (EndsWith(relative, ".ini") && relative != std::string("/") + std::string(kIndexFileName))
      documents.insert(relative);
  }
  out << "; Impostazioni dei moduli di " << folder << ": da rivedere prima della prima pubblicazione firmata\r\n";
  const std::string suite = SuiteDocumentPath(folder);
  if (const auto text = ReadWholeFile(suite))
    out << SettingsSection("", ReadSignatureSection(*text).signed_bytes);
  for (const std::string& document : documents) {
    const auto text = ReadWholeFile(folder + document);
    if (!text) continue;
    out << SettingsSection(document.substr(0, document.size() - 4), ReadSignatureSection(*text).signed_bytes);
  }
  return 0;
}

}  // namespace tw::publisher
