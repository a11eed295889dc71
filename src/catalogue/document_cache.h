// Catalogue documents the index accepted, kept between runs so that a
// start where nothing changed asks the repository for the index alone.
// One folder per repository location (named by a digest of it) below the
// user's cache folder ($XDG_CACHE_HOME/Velmora/Tarnwick/), each document
// named by its SHA-256. A document is rehashed at every use, so a cache
// that is damaged, edited or linked elsewhere just counts as empty. The
// accepted index is kept the same way, beside a small note of its digest
// and the validators the repository gave with it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/openssl/crypto.h"
#include "transport/repository.h"

namespace tw {

class FileSystem;
class SystemInfo;

class DocumentCache {
 public:
  // The folder is found at first use; a system with no cache folder
  // caches nothing.
  DocumentCache(FileSystem& files, SystemInfo& system, std::string location);

  // The bytes of the document with this digest and size, when held.
  std::optional<std::string> Read(const crypto::Sha256Digest& digest, std::uint64_t size);
  // Keeps `bytes` (whose digest is `digest`); failures only lose the copy.
  void Store(const crypto::Sha256Digest& digest, std::string_view bytes);

  const std::string& Folder();
  // The folder while it is judged sound; nothing otherwise.
  std::optional<std::string> SoundFolder();
  // What Read gives, from `folder` as SoundFolder named it. Touches nothing
  // of a cache object, so a second thread may call it.
  static std::optional<std::string> ReadHeld(FileSystem& files, const std::string& folder,
                                             const crypto::Sha256Digest& digest, std::uint64_t size);

  // The folder's soundness is judged once per operation (a walk reads
  // a thousand documents from it): the next read judges it again.
  void Recheck() { sound_.reset(); }

  // The index last kept, its digest checked, and what to ask the
  // repository with for a newer one; nothing when none is usable.
  struct Index {
    std::string bytes;
    Validators validators;
    std::string sha256;  // hex, of `bytes`
  };
  std::optional<Index> ReadIndex();
  void StoreIndex(std::string_view bytes, const Validators& validators);

 private:
  bool Prepare();
  // False when the folder is reached through a link or is open to others:
  // such a cache counts as empty.
  bool Sound();
  std::optional<std::string> ReadFile(const std::string& name, std::uint64_t size);
  void WriteFile(const std::string& name, std::string_view bytes);

  FileSystem& files_;
  SystemInfo& system_;
  std::string location_;
  std::optional<std::string> folder_;
  bool prepared_ = false;
  std::optional<bool> sound_;
};

}  // namespace tw
