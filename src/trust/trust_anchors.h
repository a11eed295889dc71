// The public keys whose signatures make a catalogue document trusted: the
// ones built into the program (the CMake cache variable
// TARNWICK_PUBLIC_KEYS) and the ones of the setting "PublicKey". Each is
// the raw 32-byte Ed25519 key in base64; several are separated by blanks,
// so that a publisher can move to a new key while documents signed with
// the old one are still being served.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/openssl/crypto.h"

namespace tw {

class SettingsStore;

struct TrustAnchor {
  crypto::Ed25519PublicKey key{};
  std::string text;  // the base64 form, as configured
};

class TrustAnchors {
 public:
  // Adds the keys of `text`; returns the words that are no key. A key
  // already held is not added twice.
  std::vector<std::string> AddKeys(std::string_view text);

  bool empty() const { return anchors_.empty(); }
  size_t size() const { return anchors_.size(); }
  const TrustAnchor& operator[](size_t i) const { return anchors_[i]; }
  // The position of the first anchor whose key made `signature` over
  // `message`; nothing when none did.
  std::optional<size_t> FindSigner(std::string_view message, const crypto::Ed25519Signature& signature) const;

 private:
  std::vector<TrustAnchor> anchors_;
};

// A public key in base64 (blanks around it allowed); nothing for anything
// else.
std::optional<crypto::Ed25519PublicKey> ParsePublicKey(std::string_view text);

// The keys built into this program at build time ("" when none).
std::string_view BuiltInPublicKeys();

using MessageSink = std::function<void(const std::string& message)>;

// The built-in keys and those of the setting. A word that is no key is
// ignored and named to `warn` (in Italian, ready to show).
TrustAnchors LoadTrustAnchors(SettingsStore& settings, std::string_view built_in, const MessageSink& warn);

}  // namespace tw
