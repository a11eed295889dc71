#include "catalogue/document_cache.h"

#include <vector>

#include "platform/file_system.h"
#include "platform/system_info.h"
#include "common/text.h"

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
  sound_.reset();
  return true;
}

namespace {

// The note beside the cached index: its digest, size and validators, one
// per line.
constexpr std::string_view kIndexNote = "indice";
constexpr std::uint64_t kMaxNote = 4096;
// The index reader refuses anything larger.
constexpr long long kMaxIndex = 16ll << 20;

// A validator goes back out as a request header: nothing that could end
// the line or run on without bound.
bool PlainValidator(std::string_view value) {
  if (value.size() > 512) return false;
  for (const char c : value)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  return true;
}

}  // namespace

bool DocumentCache::Sound() {
  if (Folder().empty()) return false;
  if (!sound_) {
    const std::optional<unsigned> mode = files_.FileMode(*folder_);
    sound_ = !files_.FindLinkBelow(system_.UserCacheFolder(), *folder_) && (!mode || (*mode & 077) == 0);
  }
  return *sound_;
}

namespace {

std::optional<std::string> ReadFileIn(FileSystem& files, const std::string& folder, const std::string& name,
                                      std::uint64_t size) {
  // Opened without following a link; a link, a folder or a device in its
  // place reads as nothing.
  auto reader = files.OpenForReading(folder + "/" + name);
  if (!reader || (*reader)->Size() != size) return std::nullopt;
  std::string bytes(size, '\0');
  std::uint64_t at = 0;
  while (at < size) {
    auto read = (*reader)->Read(std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(bytes.data()) + at, size - at));
    if (!read || *read == 0) return std::nullopt;
    at += *read;
  }
  return bytes;
}

}  // namespace

std::optional<std::string> DocumentCache::ReadFile(const std::string& name, std::uint64_t size) {
  if (!Sound()) return std::nullopt;
  return ReadFileIn(files_, *folder_, name, size);
}

std::optional<std::string> DocumentCache::ReadHeld(FileSystem& files, const std::string& folder,
                                                   const crypto::Sha256Digest& digest, std::uint64_t size) {
  auto bytes = ReadFileIn(files, folder, crypto::ToHex(digest), size);
  if (!bytes || crypto::Sha256Of(*bytes) != digest) return std::nullopt;
  return bytes;
}

std::optional<std::string> DocumentCache::Read(const crypto::Sha256Digest& digest, std::uint64_t size) {
  if (!Sound()) return std::nullopt;
  return ReadHeld(files_, *folder_, digest, size);
}

std::optional<std::string> DocumentCache::SoundFolder() {
  if (!Sound()) return std::nullopt;
  return *folder_;
}

void DocumentCache::WriteFile(const std::string& name, std::string_view bytes) {
  if (!Prepare() || !Sound()) return;
  const std::string path = *folder_ + "/" + name;
  const std::string temporary = path + ".tmp";
  const std::span<const std::uint8_t> content(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  WriteOptions options;
  options.mode = 0600;
  if (files_.WriteBytes(temporary, content, options) || files_.Rename(temporary, path)) files_.Delete(temporary);
}

void DocumentCache::Store(const crypto::Sha256Digest& digest, std::string_view bytes) {
  WriteFile(crypto::ToHex(digest), bytes);
}

std::optional<DocumentCache::Index> DocumentCache::ReadIndex() {
  if (!Sound()) return std::nullopt;
  auto reader = files_.OpenForReading(*folder_ + "/" + std::string(kIndexNote));
  if (!reader || (*reader)->Size() > kMaxNote) return std::nullopt;
  const auto note = ReadFile(std::string(kIndexNote), (*reader)->Size());
  if (!note) return std::nullopt;
  const std::vector<std::string_view> lines = Split(*note, "\n");
  if (lines.size() < 4) return std::nullopt;
  // The digest names a file of this folder: nothing but 64 hex digits.
  const std::string name(lines[0]);
  const auto size = ParseInteger(lines[1]);
  if (name.size() != 64 || name.find_first_not_of("0123456789abcdef") != std::string::npos || !size || *size < 0 ||
      *size > kMaxIndex)
    return std::nullopt;
  auto bytes = ReadFile(name, static_cast<std::uint64_t>(*size));
  if (!bytes || crypto::ToHex(crypto::Sha256Of(*bytes).value_or(crypto::Sha256Digest{})) != name) return std::nullopt;
  Index index{std::move(*bytes), {std::string(lines[2]), std::string(lines[3])}, name};
  if (!PlainValidator(index.validators.etag) || !PlainValidator(index.validators.last_modified)) return std::nullopt;
  return index;
}

void DocumentCache::StoreIndex(std::string_view bytes, const Validators& validators) {
  const auto digest = crypto::Sha256Of(bytes);
  if (!digest) return;
  Store(*digest, bytes);
  // Validators that could not go back out are not kept: the next ask is
  // then a plain GET.
  const bool plain = PlainValidator(validators.etag) && PlainValidator(validators.last_modified);
  const std::string note = crypto::ToHex(*digest) + "\n" + std::to_string(bytes.size()) + "\n" +
                           (plain ? validators.etag : "") + "\n" + (plain ? validators.last_modified : "") + "\n";
  WriteFile(std::string(kIndexNote), note);
}

}  // namespace tw
