#include "pe_image/pe_image.h"

#include <cstring>

namespace tw::pe_image {

void PutU16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
  bytes.at(at) = value & 0xFF;
  bytes.at(at + 1) = value >> 8;
}

void PutU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  PutU16(bytes, at, value & 0xFFFF);
  PutU16(bytes, at + 2, value >> 16);
}

PeImage BuildPeImage(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d,
                     bool pe32_plus) {
  constexpr std::uint32_t kRsrcRva = 0x1000, kRsrcRaw = 0x200;
  PeImage image;
  auto& v = image.bytes;
  v.assign(0x400, 0);
  v[0] = 'M';
  v[1] = 'Z';
  PutU32(v, 0x3C, 0x40);
  std::memcpy(v.data() + 0x40, "PE\0\0", 4);
  const std::size_t coff = 0x44;
  const std::uint16_t optional_size = pe32_plus ? 240 : 224;
  PutU16(v, coff, pe32_plus ? 0x8664 : 0x14C);
  PutU16(v, coff + 2, 1);  // one section
  PutU16(v, coff + 16, optional_size);
  const std::size_t opt = coff + 20;
  PutU16(v, opt, pe32_plus ? 0x20B : 0x10B);
  const std::size_t count_at = opt + (pe32_plus ? 108 : 92);
  PutU32(v, count_at, 16);
  PutU32(v, count_at + 4 + 16, kRsrcRva);  // resource directory: RVA, size
  PutU32(v, count_at + 4 + 20, 0x100);

  image.section_table_at = opt + optional_size;
  std::memcpy(v.data() + image.section_table_at, ".rsrc\0\0\0", 8);
  PutU32(v, image.section_table_at + 8, 0x100);   // virtual size
  PutU32(v, image.section_table_at + 12, kRsrcRva);
  PutU32(v, image.section_table_at + 16, 0x200);  // raw size
  PutU32(v, image.section_table_at + 20, kRsrcRaw);

  // Type 16 (version) -> name 1 -> language 0x410 -> data entry.
  const std::size_t r = kRsrcRaw;
  image.resource_directory_at = r;
  PutU16(v, r + 14, 1);
  PutU32(v, r + 16, 16);
  PutU32(v, r + 20, 0x80000000u | 0x18);
  PutU16(v, r + 0x18 + 14, 1);
  PutU32(v, r + 0x18 + 16, 1);
  PutU32(v, r + 0x18 + 20, 0x80000000u | 0x30);
  PutU16(v, r + 0x30 + 14, 1);
  PutU32(v, r + 0x30 + 16, 0x410);
  PutU32(v, r + 0x30 + 20, 0x48);
  image.data_entry_at = r + 0x48;
  image.version_block_at = r + 0x58;
  PutU32(v, image.data_entry_at, kRsrcRva + 0x58);
  PutU32(v, image.data_entry_at + 4, 92);

  const std::size_t vb = image.version_block_at;
  PutU16(v, vb, 92);
  PutU16(v, vb + 2, 52);
  const char key[] = "VS_VERSION_INFO";
  for (std::size_t i = 0; i < sizeof key; ++i) PutU16(v, vb + 6 + 2 * i, static_cast<std::uint8_t>(key[i]));
  const std::size_t info = vb + 40;
  PutU32(v, info, 0xFEEF04BD);
  PutU32(v, info + 4, 0x00010000);
  PutU32(v, info + 8, static_cast<std::uint32_t>(a) << 16 | b);
  PutU32(v, info + 12, static_cast<std::uint32_t>(c) << 16 | d);
  return image;
}

}  // namespace tw::pe_image
