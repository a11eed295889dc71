#include "engine/digest_error.h"

namespace tw {

std::optional<ErrorRecord> DigestFailure(DigestOutcome outcome) {
  const auto error = DigestErrorOf(outcome);
  if (!error) return std::nullopt;
  return ErrorRecord{error->number, "UpdateFile", std::string(error->description)};
}

}  // namespace tw
