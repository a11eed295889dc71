// The SHA-256 of an installed module file, for choosing a patch made from
// it. Hashing a large file at every start would cost more than the patch
// saves, so the digest is kept in the settings with the file's size and
// modification time and computed again only when either has changed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

struct EngineContext;

// What tells whether a kept digest still stands for the file.
struct FileStamp {
  std::uint64_t size = 0;
  long long seconds = 0;
};

// Nothing when `path` is not a normal file or cannot be read.
std::optional<FileStamp> InstalledStamp(EngineContext& ctx, std::string_view path);

// The digest kept for the file as `stamp` finds it, if any.
std::optional<std::string> KeptDigest(EngineContext& ctx, std::string_view path, const FileStamp& stamp);
void KeepDigest(EngineContext& ctx, std::string_view path, const FileStamp& stamp, std::string_view digest);

// Lower-case hexadecimal, kept or computed (and then kept); nothing when
// the file cannot be read (or does not exist).
std::optional<std::string> InstalledDigest(EngineContext& ctx, std::string_view path);

}  // namespace tw
