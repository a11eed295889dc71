// The SHA-256 of an installed module file, for choosing a patch made from
// it. Hashing a large file at every start would cost more than the patch
// saves, so the digest is kept in the settings with the file's size and
// modification time and computed again only when either has changed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tw {

struct EngineContext;

// Lower-case hexadecimal; nothing when the file cannot be read (or does not
// exist).
std::optional<std::string> InstalledDigest(EngineContext& ctx, std::string_view path);

}  // namespace tw
