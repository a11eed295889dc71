// The check of a module file against the SHA-256 its document gives,
// computed while the bytes arrive so that the file is never read twice.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/openssl/crypto.h"

namespace tw {

class TrustPolicy;

enum class DigestOutcome {
  NotChecked,  // the document gives no digest, and none is required
  Matches,
  Mismatch,    // other bytes, or a digest that is no SHA-256 at all
  Missing,     // keys are configured and the document gives no digest
};

// The error numbers under which a failed check is reported, beside the
// system's error numbers of a failed replacement. Chosen far above both
// errno values and the Windows system error codes.
inline constexpr int kDigestMismatchError = 30001;
inline constexpr int kDigestMissingError = 30002;

class FileDigestCheck {
 public:
  // `expected`: the [Release] SHA256 of the module's document ("" when
  // absent); `required`: whether a module without one is refused.
  FileDigestCheck(std::string_view expected, bool required);
  FileDigestCheck(std::string_view expected, const TrustPolicy& policy);

  // False when the bytes need not be fed (nothing to compare with).
  bool Wanted() const { return state_ == State::Hashing; }
  void Update(std::span<const std::uint8_t> bytes) {
    if (state_ == State::Hashing) hasher_.Update(bytes);
  }
  void Update(std::string_view bytes) {
    if (state_ == State::Hashing) hasher_.Update(bytes);
  }
  // The outcome for everything fed; the check then starts over.
  DigestOutcome Finish();

 private:
  enum class State { Hashing, Unchecked, Unmatchable, Missing };
  State state_;
  crypto::Sha256Digest expected_{};
  crypto::Sha256 hasher_;
};

// Whether `outcome` lets the file be installed.
inline bool DigestAllowsInstall(DigestOutcome outcome) {
  return outcome == DigestOutcome::NotChecked || outcome == DigestOutcome::Matches;
}

struct DigestError {
  int number = 0;
  std::string_view description;  // Italian, from the string table
};
// The error to report for an outcome that does not allow the install.
std::optional<DigestError> DigestErrorOf(DigestOutcome outcome);

}  // namespace tw
