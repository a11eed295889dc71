#include "trust/file_digest.h"

#include "trust/trust_policy.h"
#include "common/text.h"
#include "resources/string_table.h"

namespace tw {

FileDigestCheck::FileDigestCheck(std::string_view expected, bool required) {
  const std::string_view text = TrimBlanks(expected);
  if (text.empty()) {
    state_ = required ? State::Missing : State::Unchecked;
  } else if (const auto digest = crypto::ParseSha256Hex(text)) {
    expected_ = *digest;
    state_ = State::Hashing;
  } else {
    state_ = State::Unmatchable;
  }
}

FileDigestCheck::FileDigestCheck(std::string_view expected, const TrustPolicy& policy)
    : FileDigestCheck(expected, !policy.MayInstall("")) {}

DigestOutcome FileDigestCheck::Finish() {
  switch (state_) {
    case State::Unchecked: return DigestOutcome::NotChecked;
    case State::Missing: return DigestOutcome::Missing;
    case State::Unmatchable: return DigestOutcome::Mismatch;
    case State::Hashing: break;
  }
  const auto digest = hasher_.Finish();
  return digest && *digest == expected_ ? DigestOutcome::Matches : DigestOutcome::Mismatch;
}

std::optional<DigestError> DigestErrorOf(DigestOutcome outcome) {
  switch (outcome) {
    case DigestOutcome::NotChecked:
    case DigestOutcome::Matches: return std::nullopt;
    case DigestOutcome::Mismatch: return DigestError{kDigestMismatchError, LoadResString(1201)};
    case DigestOutcome::Missing: return DigestError{kDigestMissingError, LoadResString(1202)};
  }
  return std::nullopt;
}

}  // namespace tw
