// The repository's index, "indice.ini" in its base folder: one signed
// document that binds every file the repository serves to its path, size,
// digest and date, and says how fresh that word is.
//
//   [Index]
//   Format=1
//   Repository=tarnwick
//   Serial=1765240000
//   Published=1765240000
//   Expires=1767832000
//   [Files]
//   F1=<sha256 hex> <size> <date or -> eseguibili/contabilita.exe
//   F2=<sha256 hex> <size> - eseguibili/contabilita.exe.ini
//   [Signature]
//   Ed25519=<base64>
//
// The reader is strict, since a lenient one would let two readers (the
// publisher's and the program's) see two different indexes in one text: a
// repeated key or path, a line that breaks the form, a number outside
// 0..2^63-1 or an index beyond 16 MiB refuses the whole index. Sections and
// [Index] keys it does not know are passed over, so the format can grow.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/expected.h"
#include "platform/openssl/crypto.h"
#include "trust/trust_policy.h"

namespace tw {

inline constexpr std::string_view kIndexFileName = "indice.ini";
inline constexpr size_t kMaxIndexSize = 16u << 20;

struct IndexEntry {
  crypto::Sha256Digest sha256{};
  std::uint64_t size = 0;
  // The module file's Last-Modified in Unix seconds; nothing for a
  // catalogue document ("-").
  std::optional<std::int64_t> date;
  // Relative to the base folder, exactly as the program asks for it
  // ("eseguibili/prog.exe", ".ini" for the suite's own document).
  std::string path;
};

struct RepositoryIndex {
  std::string repository;
  std::uint64_t serial = 0;
  std::int64_t published = 0;  // Unix seconds
  std::int64_t expires = 0;
  std::vector<IndexEntry> files;  // in the index's order

  // The entry of a repository path, with or without its leading "/".
  const IndexEntry* Find(std::string_view path) const;

  struct PathHash {
    using is_transparent = void;
    size_t operator()(std::string_view path) const { return std::hash<std::string_view>{}(path); }
  };
  std::unordered_map<std::string, size_t, PathHash, std::equal_to<>> by_path;
};

struct IndexError {
  size_t line = 0;          // 1-based; 0 for the whole index
  std::string description;  // Italian
};

// The index in `text` (its signed part: no [Signature] section).
Expected<RepositoryIndex, IndexError> ParseRepositoryIndex(std::string_view text);

struct IndexReading {
  RepositoryIndex index;
  DocumentTrust trust = DocumentTrust::Unsigned;
  std::optional<size_t> signer;
};

// The index exactly as served: its signature judged against `anchors`
// (any state; whether it suffices is the caller's decision) and only the
// signed bytes read.
Expected<IndexReading, IndexError> ReadRepositoryIndex(std::string_view bytes, const TrustAnchors& anchors);

// A text that ParseRepositoryIndex reads back as `index` (CR LF line ends,
// entries keyed F1, F2, ... in order), or an error when `index` is one the
// reader would refuse.
Expected<std::string, IndexError> WriteRepositoryIndex(const RepositoryIndex& index);

// The index path of a program's repository path ("/eseguibili/a.exe" ->
// "eseguibili/a.exe").
std::string_view IndexPathOf(std::string_view repository_path);

}  // namespace tw
