// The readers of untrusted input, each behind one entry that takes raw
// bytes. The fuzzers call them, and the ordinary test suite replays every
// seed input and every input a fuzzer ever found through the same entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace tw::fuzz {

using Target = void (*)(const std::uint8_t* data, std::size_t size);

void CatalogueDocument(const std::uint8_t* data, std::size_t size);
void HeadReply(const std::uint8_t* data, std::size_t size);
void HttpDate(const std::uint8_t* data, std::size_t size);
void PeVersion(const std::uint8_t* data, std::size_t size);
void Switches(const std::uint8_t* data, std::size_t size);
void PathMapping(const std::uint8_t* data, std::size_t size);
void SignatureSection(const std::uint8_t* data, std::size_t size);
// Patch bytes applied to a fixed old file (PatchReference).
void DeltaPatch(const std::uint8_t* data, std::size_t size);

// The old file the patch target applies patches to; its seeds are patches
// from it.
std::vector<std::uint8_t> PatchReference();
void RepositoryIndex(const std::uint8_t* data, std::size_t size);

struct NamedTarget {
  std::string_view name;  // also the folder of its corpus and regressions
  Target run;
};

inline constexpr NamedTarget kTargets[] = {
    {"catalogue_document", &CatalogueDocument}, {"head_reply", &HeadReply},
    {"http_date", &HttpDate},                   {"pe_version", &PeVersion},
    {"switches", &Switches},                    {"path_mapping", &PathMapping},
    {"signature_section", &SignatureSection},   {"delta_patch", &DeltaPatch},
    {"repository_index", &RepositoryIndex},
};

}  // namespace tw::fuzz
