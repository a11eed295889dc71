// The program's version information, as its executable carries it and
// `Tarnwick --version` prints it.
#pragma once

#include <string>
#include <string_view>

namespace tw::version_info {

inline constexpr std::string_view kVersion = "2.07";
inline constexpr std::string_view kCompany = "Velmora s.r.l.";
inline constexpr std::string_view kProduct = "Tarnwick";
inline constexpr std::string_view kDescription =
    "VELMORA - Motore di aggiornamento dei programmi installati";
inline constexpr std::string_view kComment =
    "Deve risiedere nella cartella degli Eseguibili e non in una sua sottodirectory";

}  // namespace tw::version_info

namespace tw {

// What `Tarnwick --version` prints, one item a line.
inline std::string VersionText() {
  using namespace version_info;
  return std::string(kProduct) + " " + std::string(kVersion) + "\n" + std::string(kDescription) +
         "\n" + std::string(kCompany) + "\n" + std::string(kComment) + "\n";
}

}  // namespace tw
