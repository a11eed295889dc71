// Writing a patch from an old version of a file to a new one: one zstd
// frame compressed with the old file as its reference prefix and
// long-distance matching on, so that runs the two versions share, however
// far they moved, cost a few bytes each.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tw {

// zstd's level for patches: slow to write, which the publisher can afford
// once per release, and no slower to apply.
inline constexpr int kPatchLevel = 19;

// The patch, or nothing when zstd fails (no memory). Its window is
// PatchWindowLimit of the old file's size, which every client accepts.
std::optional<std::vector<std::uint8_t>> MakePatch(std::span<const std::uint8_t> old_file,
                                                   std::span<const std::uint8_t> new_file,
                                                   int level = kPatchLevel);

}  // namespace tw
