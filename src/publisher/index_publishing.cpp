#include "publisher/index_publishing.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <filesystem>

#include "publisher/repository_files.h"
#include "trust/signature_section.h"

namespace tw::publisher {

std::string UtcText(std::int64_t unix_seconds) {
  const std::time_t t = static_cast<std::time_t>(unix_seconds);
  std::tm tm{};
  char text[40] = "?";
  if (::gmtime_r(&t, &tm)) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &tm);
  return text;
}

IndexEntry EntryOf(const crypto::Sha256Digest& digest, std::uint64_t size, std::optional<std::int64_t> date,
                   std::string_view repository_path) {
  return IndexEntry{digest, size, date, std::string(IndexPathOf(repository_path))};
}

Expected<IndexBase, std::string> CheckIndexBase(const std::string& repository_folder, const IndexSettings& settings,
                                                const crypto::Ed25519PrivateKey& key) {
  IndexBase base;
  base.name = settings.name.empty() ? std::filesystem::path(repository_folder).filename().string() : settings.name;
  base.index_file = repository_folder + "/" + std::string(kIndexFileName);
  base.store_folder = StoreFolder(settings.store, base.name);
  base.stored = LoadStore(base.store_folder);
  base.anchors.AddKeys(crypto::Base64Encode(key.PublicKey()));
  for (const std::string& keys : settings.trusted_keys)
    for (const std::string& bad : base.anchors.AddKeys(keys)) return Fail("chiave fidata non valida: " + bad);

  const auto bytes = ReadWholeFile(base.index_file);
  if (!bytes) return base;  // a first publish, or an index removed: the store's serial still counts
  const std::string shown = base.index_file + ": ";
  const std::string override_hint = " (--trust-repository per andare avanti comunque)";
  auto reading = ReadRepositoryIndex(*bytes, base.anchors);
  if (!reading) {
    if (settings.trust_repository) return base;
    return Fail(shown + "indice non leggibile (riga " + std::to_string(reading.error().line) + ": " +
                reading.error().description + ")" + override_hint);
  }
  if (!settings.trust_repository) {
    if (reading->trust != DocumentTrust::Valid)
      return Fail(shown + "indice non verificato (" + std::string(TrustDetail(reading->trust)) + ")" + override_hint);
    if (reading->index.repository != base.name)
      return Fail(shown + "indice del repository " + reading->index.repository + ", non di " + base.name +
                  override_hint);
    if (base.stored.index && *base.stored.index != *bytes)
      return Fail(shown + "indice diverso dalla copia dell'archivio del fornitore " + base.store_folder +
                  override_hint);
  }
  base.current = std::move(reading->index);
  return base;
}

RepositoryIndex NextIndex(const IndexBase& base, std::vector<IndexEntry> files, std::int64_t now, long long days) {
  RepositoryIndex index;
  index.repository = base.name;
  std::uint64_t serial = std::max<std::uint64_t>(base.stored.serial + 1, static_cast<std::uint64_t>(std::max<std::int64_t>(now, 0)));
  if (base.current) serial = std::max(serial, base.current->serial + 1);
  index.serial = serial;
  index.published = now;
  index.expires = now + static_cast<std::int64_t>(days) * 86400;
  index.files = std::move(files);
  return index;
}

std::string PlaceIndex(const IndexBase& base, const RepositoryIndex& index, const crypto::Ed25519PrivateKey& key,
                       const std::string& out_file) {
  const auto text = WriteRepositoryIndex(index);
  if (!text) return "indice non scritto: " + text.error().description;
  const std::string signed_bytes = EndLastLine(*text);
  const auto signature = key.Sign(signed_bytes);
  if (!signature) return "indice non scritto: firma non riuscita";
  const std::string document = AppendSignatureSection(signed_bytes, *signature);
  const std::string target = out_file.empty() ? base.index_file : out_file;
  const auto old = RegularFileFacts(target);
  std::string failure = WriteFileInPlace(target, document);
  if (!failure.empty()) return failure;
  if (old) {
    // Caches revalidate by date and size (nginx's ETag is both): the new
    // index must never look as old as the one it replaces, even when both
    // are written within a second. The file's own time is what is served,
    // and the kernel stamps files with a coarser clock than the wall
    // clock's, which may still show the old second when the wall clock
    // has moved on.
    const auto written = RegularFileFacts(target);
    if (!written) return "indice non scritto: " + target + " illeggibile";
    if (written->modified.tv_sec <= old->modified.tv_sec) {
      const timespec later{old->modified.tv_sec + 1, 0};
      failure = SetModificationTime(target, later);
      if (!failure.empty()) return failure;
    }
  }
  return SaveStore(base.store_folder, document, index.serial);
}

}  // namespace tw::publisher
