// Writes a minimal Windows PE image whose version resource carries the
// given file version: the demo repository's executables are made with it,
// so that no binary from elsewhere is needed.
//
//   make_pe_image FILE A.B.C.D [NOTE]
//
// NOTE, if given, follows the image, so that modules of one version still
// differ in content.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "pe_image/pe_image.h"

namespace {

bool ParseVersion(std::string_view text, std::uint16_t (&parts)[4]) {
  for (int i = 0; i < 4; ++i) {
    const size_t dot = text.find('.');
    const std::string_view piece = i < 3 ? text.substr(0, dot) : text;
    if ((i < 3 && dot == std::string_view::npos) || piece.empty()) return false;
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
    if (ec != std::errc() || end != piece.data() + piece.size() || value > 0xFFFF) return false;
    parts[i] = static_cast<std::uint16_t>(value);
    if (i < 3) text.remove_prefix(dot + 1);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::uint16_t v[4] = {};
  if (argc < 3 || argc > 4 || !ParseVersion(argv[2], v)) {
    std::fputs("uso: make_pe_image FILE A.B.C.D [NOTA]  (numeri da 0 a 65535)\n", stderr);
    return 2;
  }
  std::vector<std::uint8_t> bytes = tw::pe_image::BuildPeImage(v[0], v[1], v[2], v[3]).bytes;
  if (argc == 4) bytes.insert(bytes.end(), argv[3], argv[3] + std::string_view(argv[3]).size());
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "make_pe_image: %s non scrivibile\n", argv[1]);
    return 1;
  }
  return 0;
}
