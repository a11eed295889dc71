// A module file downloaded only as its catalogue document vouches for it:
// the SHA-256 the document gives is computed while the bytes arrive, and a
// file that does not match never leaves its staging file.
#pragma once

#include <string_view>

#include "engine/module_download.h"

namespace tw {

struct EngineContext;

// Downloads `remote_path` into the staging file of the local file `target`
// (as DownloadToStaging does) and checks it against the document of
// `module` (any form of its path; the catalogue's cached copy). A mismatch,
// or a module the trust policy does not let in without a digest, fails as
// Unverified with the digest's error record: no staging file is left, the
// target is as it was, and a missing digest asks the repository nothing.
Expected<StagedFile, DownloadFailure> DownloadCheckedToStaging(EngineContext& ctx, std::string_view module,
                                                               std::string_view target,
                                                               std::string_view remote_path,
                                                               DownloadObserver* observer = nullptr);

// The same for a module into its own local path.
Expected<StagedFile, DownloadFailure> DownloadCheckedModule(EngineContext& ctx, std::string_view module,
                                                            DownloadObserver* observer = nullptr);

}  // namespace tw
