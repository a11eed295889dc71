// SHA-256, Ed25519 and base64 for the rest of the program, by OpenSSL. No
// OpenSSL type shows here: the logic sees byte arrays and text only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tw::crypto {

using Sha256Digest = std::array<std::uint8_t, 32>;
using Ed25519PublicKey = std::array<std::uint8_t, 32>;
using Ed25519Signature = std::array<std::uint8_t, 64>;

// A digest fed piece by piece, as the bytes arrive.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(Sha256&& other) noexcept;
  Sha256& operator=(Sha256&& other) noexcept;
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(std::span<const std::uint8_t> bytes);
  void Update(std::string_view bytes);
  // The digest of everything fed since the start; nothing when the library
  // failed along the way (out of memory). The hasher then starts over.
  std::optional<Sha256Digest> Finish();

 private:
  void Restart();

  void* context_ = nullptr;  // EVP_MD_CTX
  bool failed_ = false;
};

std::optional<Sha256Digest> Sha256Of(std::string_view bytes);

// Lower-case hexadecimal.
std::string ToHex(std::span<const std::uint8_t> bytes);
// Exactly 64 hexadecimal digits in either case, nothing around them.
std::optional<Sha256Digest> ParseSha256Hex(std::string_view text);

// Standard base64 with "=" padding and no line breaks.
std::string Base64Encode(std::span<const std::uint8_t> bytes);
// Refuses anything but canonical base64: a length that is a multiple of
// four, only the 64 letters, padding only at the end, no blanks or line
// breaks, and no stray bits in the last letter (so one byte string has one
// spelling).
std::optional<std::vector<std::uint8_t>> Base64Decode(std::string_view text);

// A signing key: the 32-byte seed of RFC 8032. Wiped when it goes.
class Ed25519PrivateKey {
 public:
  static std::optional<Ed25519PrivateKey> Generate();
  static std::optional<Ed25519PrivateKey> FromSeed(std::span<const std::uint8_t> seed);
  // A PKCS#8 PEM text, as `openssl genpkey -algorithm ed25519` writes it.
  static std::optional<Ed25519PrivateKey> FromPem(std::string_view pem);

  ~Ed25519PrivateKey();
  Ed25519PrivateKey(const Ed25519PrivateKey& other) = default;
  Ed25519PrivateKey& operator=(const Ed25519PrivateKey& other) = default;

  const Ed25519PublicKey& PublicKey() const { return public_key_; }
  std::optional<Ed25519Signature> Sign(std::string_view message) const;
  std::string ToPem() const;

 private:
  Ed25519PrivateKey() = default;
  std::array<std::uint8_t, 32> seed_{};
  Ed25519PublicKey public_key_{};
};

bool Ed25519Verify(const Ed25519PublicKey& key, std::string_view message, const Ed25519Signature& signature);

}  // namespace tw::crypto
