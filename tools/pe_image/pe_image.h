// Minimal Windows PE images with a version resource: the tests build them so
// that the version reader meets real layouts and deliberately broken ones,
// and the demo builds its repository's executables from them.
#pragma once

#include <cstdint>
#include <vector>

namespace tw::pe_image {

struct PeImage {
  std::vector<std::uint8_t> bytes;
  // File offsets of the fields a test may want to falsify.
  std::size_t e_lfanew_at = 0x3C;
  std::size_t section_table_at = 0;
  std::size_t resource_directory_at = 0;  // the root directory
  std::size_t data_entry_at = 0;          // RVA and size of the version block
  std::size_t version_block_at = 0;
};

PeImage BuildPeImage(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d,
                     bool pe32_plus = false);

void PutU16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value);
void PutU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value);

}  // namespace tw::pe_image
