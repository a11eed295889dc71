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

}  // namespace

std::optional<FileStamp> InstalledStamp(EngineContext& ctx, std::string_view path) {
  if (!ctx.files.NormalFileExists(path)) return std::nullopt;
  auto reader = ctx.files.OpenForReading(path);
  const auto seconds = ctx.files.LastModified(path);
  if (!reader || !seconds) return std::nullopt;
  return FileStamp{(*reader)->Size(), *seconds};
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
  const auto stamp = InstalledStamp(ctx, path);
  if (!stamp) return std::nullopt;
  if (auto kept = KeptDigest(ctx, path, *stamp)) return kept;
  auto reader = ctx.files.OpenForReading(path);
  if (!reader) return std::nullopt;
  crypto::Sha256 hasher;
  std::vector<std::uint8_t> buffer(1u << 20);
  std::uint64_t total = 0;
  for (;;) {
    auto read = (*reader)->Read(buffer);
    if (!read) return std::nullopt;
    if (*read == 0) break;
    hasher.Update(std::span<const std::uint8_t>(buffer.data(), *read));
    total += *read;
  }
  const auto digest = hasher.Finish();
  // A file that changed while it was read is hashed again next time.
  if (!digest || total != stamp->size) return std::nullopt;
  const std::string hex = crypto::ToHex(*digest);
  KeepDigest(ctx, path, *stamp, hex);
  return hex;
}

}  // namespace tw
