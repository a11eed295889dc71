// What the program trusts of a repository. With no public key configured it
// trusts what it always trusted: every document is read whole. With at
// least one key, a document counts only when one of the keys signed it,
// only its signed bytes are read, and a module is installed only when its
// document gives the file's SHA-256, since nothing else would bind the
// downloaded bytes to the signature. A SHA256 that a document gives is
// checked whether keys are configured or not.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "trust/trust_anchors.h"

namespace tw {

enum class DocumentTrust {
  Unsigned,   // no signature section
  Valid,      // signed by one of the anchors
  Invalid,    // a well-formed signature that no anchor made
  Malformed,  // a signature section that breaks its rules
};

struct DocumentVerdict {
  // False: the document counts as absent (an empty document).
  bool accepted = true;
  // What the catalogue reader is to parse when accepted: the signed bytes
  // when keys are configured, the whole document otherwise.
  std::string_view text;
  DocumentTrust trust = DocumentTrust::Unsigned;
  std::optional<size_t> signer;  // the anchor that made the signature
};

// The catalogue key that holds a module file's digest, in [Release].
inline constexpr std::string_view kSha256Key = "SHA256";

class TrustPolicy {
 public:
  TrustPolicy() = default;
  explicit TrustPolicy(TrustAnchors anchors) : anchors_(std::move(anchors)) {}
  // `broken`: a key was configured that is no usable key. Checking nothing
  // then would fail open, so every document and index is refused.
  TrustPolicy(TrustAnchors anchors, bool broken) : anchors_(std::move(anchors)), broken_(broken) {}

  bool KeysConfigured() const { return !anchors_.empty() || broken_; }
  bool ConfigurationBroken() const { return broken_; }
  const TrustAnchors& Anchors() const { return anchors_; }

  // `document`: the bytes exactly as the repository served them (before
  // any decoding of the text). The verdict's text points into them. An
  // empty document (a failed fetch) is accepted as the empty document it
  // is, so that a module the repository lacks is not reported as refused.
  DocumentVerdict JudgeDocument(std::string_view document) const;

  // Whether a module whose accepted document gives `sha256` (the value of
  // [Release] SHA256, "" when absent) may be installed at all.
  bool MayInstall(std::string_view sha256) const;

 private:
  TrustAnchors anchors_;
  bool broken_ = false;
};

// The policy of the built-in keys and the setting PublicKey. A setting that
// is not blank and holds any word that is no key breaks the policy (named
// to `warn`): nothing is trusted then, rather than everything.
TrustPolicy LoadTrustPolicy(SettingsStore& settings, std::string_view built_in, const MessageSink& warn);

// Signature state of a document against some anchors, whatever the policy.
DocumentVerdict CheckDocumentSignature(std::string_view document, const TrustAnchors& anchors);

// The detail of a refusal, in Italian ("firma assente", ...).
std::string_view TrustDetail(DocumentTrust trust);

// The log line (and standard-error line) for a refused document:
// string 809 with " [" document path ": " detail "]".
std::string RefusalLogLine(std::string_view document_path, DocumentTrust trust);

}  // namespace tw
