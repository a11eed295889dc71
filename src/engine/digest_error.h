// A module file that failed its digest check, reported the way a failed
// replacement is: an error record of source "UpdateFile".
#pragma once

#include <optional>

#include "trust/file_digest.h"
#include "engine/error_record.h"

namespace tw {

// Nothing when `outcome` lets the file be installed.
std::optional<ErrorRecord> DigestFailure(DigestOutcome outcome);

}  // namespace tw
