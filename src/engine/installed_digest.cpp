#include "engine/installed_digest.h"

#include <charconv>
#include <memory>
#include <vector>

#include "common/settings_keys.h"
#include "common/text.h"
#include "engine/engine_context.h"
#include "platform/file_system.h"
#include "platform/openssl/crypto.h"
#include "platform/settings_store.h"

namespace tw {
namespace {

struct KeptEntry {
  std::string digest;
  std::uint64_t size = 0;
  long long seconds = 0;
};

std::string Format(const KeptEntry& kept) {
  return kept.digest + " " + std::to_string(kept.size) + " " + std::to_string(kept.seconds);
}

std::optional<KeptEntry> Parse(std::string_view text) {
  const std::vector<std::string_view> parts = Split(text, " ");
  if (parts.size() != 3 || !crypto::ParseSha256Hex(parts[0])) return std::nullopt;
  KeptEntry kept{ToLower(parts[0])};
  const auto size = std::from_chars(parts[1].data(), parts[1].data() + parts[1].size(), kept.size);
  const auto seconds = std::from_chars(parts[2].data(), parts[2].data() + parts[2].size(), kept.seconds);
  if (size.ec != std::errc() || seconds.ec != std::errc()) return std::nullopt;
  return kept;
}

// The file opened for reading, with its stamp taken as it was opened.
struct OpenedFile {
  std::unique_ptr<FileReader> reader;
  FileStamp stamp;
};

std::optional<OpenedFile> OpenStamped(EngineContext& ctx, std::string_view path) {
  if (!ctx.files.NormalFileExists(path)) return std::nullopt;
  auto reader = ctx.files.OpenForReading(path);
  const auto seconds = ctx.files.LastModified(path);
  if (!reader || !seconds) return std::nullopt;
  const std::uint64_t size = (*reader)->Size();
  return OpenedFile{std::move(*reader), FileStamp{size, *seconds}};
}

}  // namespace

std::optional<FileStamp> InstalledStamp(EngineContext& ctx, std::string_view path) {
  if (auto opened = OpenStamped(ctx, path)) return opened->stamp;
  return std::nullopt;
}

std::optional<std::string> KeptDigest(EngineContext& ctx, std::string_view path, const FileStamp& stamp) {
  const std::string stored = ctx.settings.Read(settings::kApplication, settings::kInstalledDigestSection, path, "");
  if (const auto kept = Parse(stored); kept && kept->size == stamp.size && kept->seconds == stamp.seconds)
    return kept->digest;
  return std::nullopt;
}

void KeepDigest(EngineContext& ctx, std::string_view path, const FileStamp& stamp, std::string_view digest) {
  const KeptEntry kept{std::string(digest), stamp.size, stamp.seconds};
  ctx.settings.Write(settings::kApplication, settings::kInstalledDigestSection, path, Format(kept));
}

std::optional<std::string> InstalledDigest(EngineContext& ctx, std::string_view path) {
  auto opened = OpenStamped(ctx, path);
  if (!opened) return std::nullopt;
  const FileStamp& stamp = opened->stamp;
  if (auto kept = KeptDigest(ctx, path, stamp)) return kept;
  crypto::Sha256 hasher;
  std::vector<std::uint8_t> buffer(1u << 20);
  std::uint64_t total = 0;
  for (;;) {
    auto read = opened->reader->Read(buffer);
    if (!read) return std::nullopt;
    if (*read == 0) break;
    hasher.Update(std::span<const std::uint8_t>(buffer.data(), *read));
    total += *read;
  }
  const auto digest = hasher.Finish();
  // A file that changed while it was read is hashed again next time.
  if (!digest || total != stamp.size) return std::nullopt;
  const std::string hex = crypto::ToHex(*digest);
  KeepDigest(ctx, path, stamp, hex);
  return hex;
}

}  // namespace tw
