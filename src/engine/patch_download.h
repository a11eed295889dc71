// Updating a module file by a patch from the installed version instead of
// the whole file. The module's document lists the patches it offers under
// [Delta], each as "OLDSHA256 PATCHSHA256 PATCHSIZE PATCHPATH"; when the
// installed file's digest is one of the OLDSHA256, the patch is downloaded
// and the new file rebuilt from the installed one straight into the
// staging file, then checked against the document's SHA256 like any
// download. A patch that cannot be used costs one log line: the caller
// downloads the whole file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/module_download.h"

namespace tw {

class ModuleINIInfo;
struct EngineContext;

struct DeltaEntry {
  std::string old_sha256;    // lower-case hexadecimal
  std::string patch_sha256;  // lower-case hexadecimal
  std::uint64_t patch_size = 0;
  std::string patch_path;    // repository form, "/eseguibili/prog.exe.<16 hex>.zstpatch"
};

// The entries of `document`'s [Delta] that are well formed and whose patch
// lies beside the file `remote_path` under the name made from its old
// digest (FILE.<first 16 hex of OLDSHA256>.zstpatch); others are passed
// over, so no entry can send the client anywhere else.
std::vector<DeltaEntry> DeltaEntries(const ModuleINIInfo& document, std::string_view remote_path);

// Whether the repository's index, when one rules, lists the patch file with
// the digest and size the entry gives.
bool PatchListedAsExpected(EngineContext& ctx, const DeltaEntry& entry);

// Rebuilds the new content from a patch of `document` applied to the
// installed file `base` into the staging file of `target` (the same path,
// but for the program's own ".update" copy), checked against
// `expected_sha256` (the document's SHA256). Nothing when no patch applies
// or the patch failed (the observer was told why, and heard OnRestart when
// it had seen bytes): the caller then downloads the whole file. A cancelled or refused transfer
// fails as it would for the whole file.
std::optional<Expected<StagedFile, DownloadFailure>> DownloadPatchedToStaging(
    EngineContext& ctx, const ModuleINIInfo& document, std::string_view base, std::string_view target,
    std::string_view remote_path, std::string_view expected_sha256, DownloadObserver* observer);

}  // namespace tw
