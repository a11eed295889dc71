// A small suite folder for the publisher's tests: two programs with version
// resources, a data file, a per-computer file and a file outside the suite
// folders, each with a fixed date.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <string>

#include "pe_image/pe_image.h"
#include "support/temp_dir.h"
#include "trust/trust_keys.h"

namespace tw::testing {

inline constexpr long long kSuiteDate = 1609502400;  // 2021-01-01 12:00:00 UTC

inline void PutSuiteFile(const std::string& path, const std::string& content, long long mtime = kSuiteDate) {
  WriteTextFile(path, content);
  const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(mtime), 0}};
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

inline std::string PeBytes(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d) {
  const pe_image::PeImage image = pe_image::BuildPeImage(a, b, c, d);
  return std::string(image.bytes.begin(), image.bytes.end());
}

inline void BuildSampleSuite(const std::string& suite) {
  PutSuiteFile(suite + "/Eseguibili/Prog.exe", PeBytes(2, 1, 0, 5));
  PutSuiteFile(suite + "/Eseguibili/Componenti/Griglia.ocx", PeBytes(1, 0, 0, 0));
  PutSuiteFile(suite + "/Dati/Archivio.mdb", "archivio 1");
  PutSuiteFile(suite + "/Dati/Utenti/{PCID}/Profilo.dat", "profilo");
  PutSuiteFile(suite + "/Leggimi.txt", "non pubblicato");
}

inline long long ModificationTime(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_mtim.tv_sec) : -1;
}

// The private key file of `key`, mode 0600.
inline std::string WriteKeyFile(const TempDir& dir, const std::string& name, const crypto::Ed25519PrivateKey& key) {
  const std::string path = dir / name;
  WriteTextFile(path, key.ToPem());
  ::chmod(path.c_str(), 0600);
  return path;
}

}  // namespace tw::testing
