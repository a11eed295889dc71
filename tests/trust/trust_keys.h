// Fixed signing keys of the tests, so that failures can be reproduced.
#pragma once

#include <string>
#include <vector>

#include "trust/signature_section.h"
#include "platform/openssl/crypto.h"

namespace tw::testing {

inline crypto::Ed25519PrivateKey TestKey(std::uint8_t fill) {
  const std::vector<std::uint8_t> seed(32, fill);
  return *crypto::Ed25519PrivateKey::FromSeed(seed);
}

inline std::string PublicText(const crypto::Ed25519PrivateKey& key) { return crypto::Base64Encode(key.PublicKey()); }

// `content` signed by `key` as the publisher signs it.
inline std::string Signed(std::string_view content, const crypto::Ed25519PrivateKey& key) {
  const std::string signed_bytes = EndLastLine(content);
  return AppendSignatureSection(signed_bytes, *key.Sign(signed_bytes));
}

inline std::string SignatureLine(std::string_view content, const crypto::Ed25519PrivateKey& key) {
  return "Ed25519=" + crypto::Base64Encode(*key.Sign(content));
}

}  // namespace tw::testing
