#include "publisher/delta_store.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "catalogue/ini_document.h"
#include "common/text.h"
#include "delta/patch_writer.h"
#include "publisher/repository_files.h"
#include "trust/trust_policy.h"
#include "trust/signature_section.h"

namespace tw::publisher {
namespace {

namespace fs = std::filesystem;

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::vector<std::string> ReadVersions(const std::string& list) {
  std::vector<std::string> versions;
  std::istringstream in(ReadWholeFile(list).value_or(""));
  for (std::string line; std::getline(in, line);)
    if (line.size() == 64) versions.push_back(line);
  return versions;
}

std::string PatchPath(const std::string& repository_path, const std::string& old_sha256) {
  return repository_path + "." + old_sha256.substr(0, 16) + ".zstpatch";
}

// The existing document's entries, split into their four parts; with
// `sha256`, only when the document describes that version.
std::vector<std::vector<std::string>> ListedEntries(const std::string& existing, const std::string& sha256) {
  ModuleINIInfo info;
  ParseModuleINI(ReadSignatureSection(existing).signed_bytes, info);
  std::vector<std::vector<std::string>> entries;
  if (!sha256.empty() && !EqualsIgnoreCase(info.GetKey("Release", std::string(kSha256Key)), sha256)) return entries;
  for (const auto& item : info.DeltaKeys) {
    std::vector<std::string> parts;
    for (std::string_view part : Split(item.value, " "))
      if (!part.empty()) parts.emplace_back(part);
    // The path may hold blanks; only the first three fields are read.
    if (parts.size() >= 4) entries.push_back(std::move(parts));
  }
  return entries;
}

std::string Entry(const std::string& old_sha256, const std::string& patch_sha256, std::uint64_t size,
                  const std::string& patch_path) {
  return old_sha256 + " " + patch_sha256 + " " + std::to_string(size) + " " + patch_path.substr(1);
}

}  // namespace

std::string DefaultStore(const std::string& repository_folder) {
  const char* data = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  fs::path base = data && *data ? fs::path(data) : fs::path(home ? home : ".") / ".local" / "share";
  return (base / "tarnwick-publish" / fs::path(repository_folder).filename()).string();
}

DeltaOutcome UpdatePatches(const DeltaSettings& settings, const SuiteModule& module, const std::string& current,
                           const std::string& repository_file, const std::string& sha256,
                           const std::string& existing_document, std::ostream& out, std::ostream& err) {
  DeltaOutcome outcome;
  const std::string folder = settings.store + module.repository_path;
  const std::string list = folder + "/versions";
  std::vector<std::string> versions = ReadVersions(list);
  const auto fail = [&](const std::string& failure) {
    err << failure << "\n";
    outcome.failed = true;
    return outcome;
  };
  const auto new_bytes = ReadWholeFile(current);
  if (!new_bytes) return fail(current + ": file non leggibile");
  if (versions.empty() || versions.back() != sha256) {
    std::erase(versions, sha256);  // a version published again becomes the latest
    if (const std::string failure = WriteFileInPlace(folder + "/" + sha256, *new_bytes); !failure.empty())
      return fail(failure);
    versions.push_back(sha256);
  }
  // The current version and the last N before it stay; older ones go.
  const size_t keep = static_cast<size_t>(settings.deltas) + 1;
  while (versions.size() > keep) {
    std::error_code ignored;
    fs::remove(folder + "/" + versions.front(), ignored);
    versions.erase(versions.begin());
  }
  std::string listed;
  for (const std::string& version : versions) listed += version + "\n";
  if (const std::string failure = WriteFileInPlace(list, listed); !failure.empty()) return fail(failure);

  const auto reusable = ListedEntries(existing_document, sha256);
  const std::string beside = fs::path(repository_file).parent_path().string();
  for (size_t i = 0; i + 1 < versions.size(); ++i) {
    const std::string& old_sha256 = versions[i];
    const std::string patch_path = PatchPath(module.repository_path, old_sha256);
    const std::string patch_file = beside + "/" + fs::path(patch_path).filename().string();
    // A patch made for the same two versions by an earlier run, still whole.
    bool kept = false;
    for (const auto& parts : reusable) {
      if (parts[0] != old_sha256) continue;
      const auto digest = FileSha256(patch_file);
      kept = digest && crypto::ToHex(*digest) == parts[1];
      if (kept) outcome.entries.push_back(Entry(parts[0], parts[1], std::stoull(parts[2]), patch_path));
    }
    if (kept) continue;
    const auto old_bytes = ReadWholeFile(folder + "/" + old_sha256);
    if (!old_bytes) return fail(folder + "/" + old_sha256 + ": versione precedente non leggibile");
    const auto patch = MakePatch(Bytes(*old_bytes), Bytes(*new_bytes));
    if (!patch) return fail(patch_path + ": patch non riuscita");
    if (static_cast<double>(patch->size()) > (1.0 - kLeastSaving) * static_cast<double>(new_bytes->size())) {
      out << "Patch tralasciata (risparmio inferiore al 20%): " << patch_path << "\n";
      std::error_code ignored;
      fs::remove(patch_file, ignored);
      continue;
    }
    const std::string patch_text(patch->begin(), patch->end());
    if (const std::string failure = WriteFileInPlace(patch_file, patch_text); !failure.empty()) return fail(failure);
    out << "Patch scritta: " << patch_path << " (" << patch->size() << " byte su " << new_bytes->size() << ")\n";
    ++outcome.written;
    outcome.entries.push_back(Entry(old_sha256, crypto::ToHex(*crypto::Sha256Of(patch_text)), patch->size(), patch_path));
  }
  // Patches from versions no longer kept go from the web root.
  for (const auto& parts : ListedEntries(existing_document, "")) {
    const std::string old_sha256 = ToLower(parts[0]);
    if (old_sha256.size() != 64 || std::find(versions.begin(), versions.end() - 1, old_sha256) != versions.end() - 1)
      continue;
    std::error_code ignored;
    fs::remove(beside + "/" + fs::path(PatchPath(module.repository_path, old_sha256)).filename().string(), ignored);
  }
  return outcome;
}

}  // namespace tw::publisher
