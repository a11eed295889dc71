// The signed index as the publisher keeps it: what the repository holds now
// must be what this vendor last published (its index verifies and equals
// the store's copy), the next serial is higher than every one before, and
// the new index goes into place last, with a file time later than the old
// one's so that caches see it change.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "common/expected.h"
#include "platform/openssl/crypto.h"
#include "publisher/publish_store.h"
#include "trust/repository_index.h"
#include "trust/trust_anchors.h"

namespace tw::publisher {

struct IndexSettings {
  std::string name;   // the index's Repository; "" for the repository folder's name
  std::string store;  // --store; "" for the default
  long long expires_days = 30;
  bool trust_repository = false;         // go on over an index that does not check out
  std::vector<std::string> trusted_keys;  // earlier publishing keys (rotation)
};

struct IndexBase {
  std::string name;
  std::string index_file;  // <repository>/indice.ini
  std::string store_folder;
  StoredState stored;
  std::optional<RepositoryIndex> current;  // the repository's index, verified
  TrustAnchors anchors;                    // the publishing key and the trusted ones
};

// What publish and refresh build on; an Italian reason that names the
// index when the repository's current index cannot be trusted.
Expected<IndexBase, std::string> CheckIndexBase(const std::string& repository_folder, const IndexSettings& settings,
                                                const crypto::Ed25519PrivateKey& key);

// The next index over `files`: its serial above the store's, the current
// index's and the present Unix time `now`; it expires `days` later.
RepositoryIndex NextIndex(const IndexBase& base, std::vector<IndexEntry> files, std::int64_t now, long long days);

// Signs `index`, writes it to `out_file` ("" for the repository's own
// index, with a file time later than the old one's) and records it in the
// store. "" on success, else an Italian description.
std::string PlaceIndex(const IndexBase& base, const RepositoryIndex& index, const crypto::Ed25519PrivateKey& key,
                       const std::string& out_file);

// "2026-01-08 12:00:00 UTC".
std::string UtcText(std::int64_t unix_seconds);

// The entry of a file as the index lists it; `date` for module files.
IndexEntry EntryOf(const crypto::Sha256Digest& digest, std::uint64_t size, std::optional<std::int64_t> date,
                   std::string_view repository_path);

}  // namespace tw::publisher
