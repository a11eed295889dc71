#include "platform/pe_version.h"

#include <array>
#include <cstring>
#include <vector>

namespace tw {
namespace {

constexpr std::uint32_t kResourceTypeVersion = 16;
constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
constexpr std::size_t kMaxSections = 96;          // the loader's own limit
constexpr std::size_t kMaxDirectoryEntries = 4096;
constexpr std::size_t kVersionBlockRead = 256;     // header, key and fixed info

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t U32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

struct Section {
  std::uint32_t virtual_address, virtual_size, raw_size, raw_offset;
};

class PeReader {
 public:
  PeReader(std::uint64_t size, const ReadAtFunction& read_at) : size_(size), read_at_(read_at) {}

  std::string Version() {
    std::uint32_t resource_rva = 0;
    if (!ReadHeaders(resource_rva) || resource_rva == 0) return {};
    const auto resource_base = ToFileOffset(resource_rva);
    if (!resource_base) return {};
    resource_base_ = *resource_base;
    // Type, then name, then language: the first entry of the version type.
    auto level = FindEntry(0, kResourceTypeVersion);
    for (int depth = 0; depth < 2 && level && level->is_directory; ++depth)
      level = FindEntry(level->offset, std::nullopt);
    if (!level || level->is_directory) return {};
    return ReadVersionBlock(level->offset);
  }

 private:
  struct Entry {
    bool is_directory;
    std::uint32_t offset;  // from the start of the resource section
  };

  bool Read(std::uint64_t offset, std::size_t n, std::uint8_t* out) const {
    return offset <= size_ && n <= size_ - offset && read_at_(offset, n, out);
  }

  bool ReadHeaders(std::uint32_t& resource_rva) {
    std::uint8_t dos[64];
    if (!Read(0, sizeof dos, dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    const std::uint32_t pe = U32(dos + 0x3C);
    std::uint8_t coff[24];
    if (!Read(pe, sizeof coff, coff) || std::memcmp(coff, "PE\0\0", 4) != 0) return false;
    const std::size_t section_count = U16(coff + 6);
    const std::size_t optional_size = U16(coff + 20);
    const std::uint64_t optional_at = static_cast<std::uint64_t>(pe) + 24;
    std::vector<std::uint8_t> optional(optional_size);
    if (optional_size < 2 || !Read(optional_at, optional_size, optional.data())) return false;
    const std::uint16_t magic = U16(optional.data());
    const std::size_t count_at = magic == 0x10B ? 92 : magic == 0x20B ? 108 : 0;
    if (count_at == 0 || optional_size < count_at + 4) return false;
    const std::uint32_t directory_count = U32(optional.data() + count_at);
    const std::size_t resource_at = count_at + 4 + 2 * 8;  // the third data directory
    if (directory_count < 3 || optional_size < resource_at + 8) return false;
    resource_rva = U32(optional.data() + resource_at);
    return ReadSections(optional_at + optional_size, section_count);
  }

  bool ReadSections(std::uint64_t at, std::size_t count) {
    if (count == 0 || count > kMaxSections) return false;
    std::vector<std::uint8_t> table(count * 40);
    if (!Read(at, table.size(), table.data())) return false;
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint8_t* s = table.data() + i * 40;
      sections_.push_back({U32(s + 12), U32(s + 8), U32(s + 16), U32(s + 20)});
    }
    return true;
  }

  std::optional<std::uint64_t> ToFileOffset(std::uint64_t rva) const {
    for (const Section& s : sections_) {
      const std::uint64_t span = s.virtual_size > s.raw_size ? s.virtual_size : s.raw_size;
      if (rva >= s.virtual_address && rva - s.virtual_address < span) {
        const std::uint64_t into = rva - s.virtual_address;
        if (into >= s.raw_size) return std::nullopt;  // not backed by the file
        return static_cast<std::uint64_t>(s.raw_offset) + into;
      }
    }
    return std::nullopt;
  }

  // The entry of the directory at `directory` with the numeric id `id`, or
  // its first entry when no id is asked for.
  std::optional<Entry> FindEntry(std::uint32_t directory, std::optional<std::uint32_t> id) const {
    std::uint8_t header[16];
    if (!Read(resource_base_ + directory, sizeof header, header)) return std::nullopt;
    const std::size_t count = static_cast<std::size_t>(U16(header + 12)) + U16(header + 14);
    if (count > kMaxDirectoryEntries) return std::nullopt;
    for (std::size_t i = 0; i < count; ++i) {
      std::uint8_t entry[8];
      if (!Read(resource_base_ + directory + 16 + i * 8, sizeof entry, entry)) return std::nullopt;
      const std::uint32_t name = U32(entry), target = U32(entry + 4);
      if (id && ((name & 0x80000000u) != 0 || name != *id)) continue;
      return Entry{(target & 0x80000000u) != 0, target & 0x7FFFFFFFu};
    }
    return std::nullopt;
  }

  std::string ReadVersionBlock(std::uint32_t data_entry) const {
    std::uint8_t leaf[16];
    if (!Read(resource_base_ + data_entry, sizeof leaf, leaf)) return {};
    const auto data_at = ToFileOffset(U32(leaf));
    const std::uint32_t data_size = U32(leaf + 4);
    if (!data_at || data_size < 6) return {};
    std::array<std::uint8_t, kVersionBlockRead> block{};
    const std::size_t n = data_size < block.size() ? data_size : block.size();
    if (!Read(*data_at, n, block.data())) return {};
    return FixedFileVersion(block.data(), n);
  }

  // VS_VERSIONINFO: length, value length, type, the UTF-16 key
  // "VS_VERSION_INFO" with its terminator, padding to 4 bytes, then the
  // fixed file info.
  static std::string FixedFileVersion(const std::uint8_t* p, std::size_t n) {
    static constexpr char kKey[] = "VS_VERSION_INFO";
    const std::size_t key_bytes = sizeof kKey * 2;  // with the terminator
    if (n < 6 + key_bytes) return {};
    for (std::size_t i = 0; i < sizeof kKey; ++i)
      if (U16(p + 6 + 2 * i) != static_cast<std::uint8_t>(kKey[i])) return {};
    const std::size_t value_at = (6 + key_bytes + 3) & ~static_cast<std::size_t>(3);
    const std::uint16_t block_length = U16(p), value_length = U16(p + 2);
    if (value_length < 52 || block_length < value_at + 52 || n < value_at + 52) return {};
    const std::uint8_t* info = p + value_at;
    if (U32(info) != kFixedFileInfoSignature) return {};
    const std::uint32_t ms = U32(info + 8), ls = U32(info + 12);
    return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
           std::to_string(ls >> 16) + "." + std::to_string(ls & 0xFFFF);
  }

  std::uint64_t size_;
  const ReadAtFunction& read_at_;
  std::vector<Section> sections_;
  std::uint64_t resource_base_ = 0;
};

}  // namespace

std::string PeFileVersion(std::uint64_t file_size, const ReadAtFunction& read_at) {
  return PeReader(file_size, read_at).Version();
}

std::string PeFileVersion(std::span<const std::uint8_t> image) {
  const ReadAtFunction from_memory = [image](std::uint64_t offset, std::size_t size,
                                             std::uint8_t* out) {
    if (offset > image.size() || size > image.size() - offset) return false;
    std::memcpy(out, image.data() + offset, size);
    return true;
  };
  return PeFileVersion(image.size(), from_memory);
}

}  // namespace tw
