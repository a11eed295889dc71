#include "catalogue/document_cache.h"

#include <vector>

#include "platform/file_system.h"
#include "platform/system_info.h"

namespace tw {

DocumentCache::DocumentCache(FileSystem& files, SystemInfo& system, std::string location)
    : files_(files), system_(system), location_(std::move(location)) {}

const std::string& DocumentCache::Folder() {
  if (!folder_) {
    folder_.emplace();
    const std::string home = system_.UserCacheFolder();
    const auto digest = crypto::Sha256Of(location_);
    if (!home.empty() && digest) *folder_ = home + "/Velmora/Tarnwick/" + crypto::ToHex(*digest).substr(0, 32);
  }
  return *folder_;
}

bool DocumentCache::Prepare() {
  if (Folder().empty()) return false;
  if (prepared_) return true;
  const std::string& folder = *folder_;
  // Errors are passed over: an existing folder is fine, and a missing one
  // shows when the first file cannot be written.
  const size_t tarnwick = folder.rfind('/');
  const size_t velmora = folder.rfind('/', tarnwick - 1);
  files_.CreateFolder(folder.substr(0, folder.rfind('/', velmora - 1)));
  files_.CreateFolder(folder.substr(0, velmora));
  files_.CreatePrivateFolder(folder.substr(0, tarnwick));
  files_.CreatePrivateFolder(folder);
  prepared_ = true;
  return true;
}

std::optional<std::string> DocumentCache::Read(const crypto::Sha256Digest& digest, std::uint64_t size) {
  if (Folder().empty()) return std::nullopt;
  auto reader = files_.OpenForReading(*folder_ + "/" + crypto::ToHex(digest));
  if (!reader || (*reader)->Size() != size) return std::nullopt;
  std::string bytes(size, '\0');
  std::uint64_t at = 0;
  while (at < size) {
    auto read = (*reader)->Read(std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(bytes.data()) + at, size - at));
    if (!read || *read == 0) return std::nullopt;
    at += *read;
  }
  if (crypto::Sha256Of(bytes) != digest) return std::nullopt;
  return bytes;
}

void DocumentCache::Store(const crypto::Sha256Digest& digest, std::string_view bytes) {
  if (!Prepare()) return;
  const std::string name = *folder_ + "/" + crypto::ToHex(digest);
  const std::string temporary = name + ".tmp";
  const std::span<const std::uint8_t> content(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  WriteOptions options;
  options.mode = 0600;
  if (files_.WriteBytes(temporary, content, options) || files_.Rename(temporary, name)) files_.Delete(temporary);
}

}  // namespace tw
