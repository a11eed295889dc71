// The signed index of what a fake repository holds, as a vendor's publish
// would write it.
#pragma once

#include <ctime>
#include <set>
#include <string>

#include "support/fake_repository.h"
#include "trust/repository_index.h"
#include "trust/trust_keys.h"

namespace tw::testing {

struct IndexShape {
  std::uint64_t serial = 1;
  std::int64_t published = static_cast<std::int64_t>(std::time(nullptr)) - 60;
  std::int64_t expires = static_cast<std::int64_t>(std::time(nullptr)) + 86400;
  std::string repository = "base";
  std::set<std::string> unlisted;  // repository paths left out
};

// Lists every resource (documents with "-", files with their date), signs
// the index with `key` and serves it as "/indice.ini"; the signed text.
inline std::string PublishIndex(FakeRepository& repo, const crypto::Ed25519PrivateKey& key,
                                const IndexShape& shape = {}) {
  RepositoryIndex index;
  index.repository = shape.repository;
  index.serial = shape.serial;
  index.published = shape.published;
  index.expires = shape.expires;
  for (const auto& [path, resource] : repo.resources) {
    if (path == "/indice.ini" || shape.unlisted.contains(path)) continue;
    std::optional<std::int64_t> date;
    if (!path.ends_with(".ini")) date = resource.last_modified.ToUnixSeconds();
    index.files.push_back({*crypto::Sha256Of(resource.content), resource.content.size(), date,
                           std::string(IndexPathOf(path))});
  }
  const std::string text = Signed(*WriteRepositoryIndex(index), key);
  repo.Put("/indice.ini", text);
  return text;
}

}  // namespace tw::testing
