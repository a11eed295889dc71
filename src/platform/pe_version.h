// The file version of a Windows PE image (.exe, .dll, .ocx, ...): the
// fixed file info of its version resource, as "a.b.c.d". The reader trusts
// nothing in the image: every offset and size is checked against the file,
// and it reads only the few hundred bytes it needs.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace tw {

// Reads `size` bytes at `offset` into `out`; false when they are not all
// there.
using ReadAtFunction = std::function<bool(std::uint64_t offset, std::size_t size, std::uint8_t* out)>;

// "" for anything that is not a PE image with a well-formed version
// resource.
std::string PeFileVersion(std::uint64_t file_size, const ReadAtFunction& read_at);
std::string PeFileVersion(std::span<const std::uint8_t> image);

}  // namespace tw
