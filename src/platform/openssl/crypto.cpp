#include "platform/openssl/crypto.h"

#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>

#include <memory>

namespace tw::crypto {
namespace {

struct PkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct MdCtxFree {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;
using Bio = std::unique_ptr<BIO, BioFree>;

EVP_MD_CTX* Context(void* raw) { return static_cast<EVP_MD_CTX*>(raw); }

const unsigned char* Bytes(std::string_view text) { return reinterpret_cast<const unsigned char*>(text.data()); }

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The public half of a seed; nothing when the library refuses it.
std::optional<Ed25519PublicKey> PublicOf(const EVP_PKEY* key) {
  Ed25519PublicKey out{};
  size_t size = out.size();
  if (EVP_PKEY_get_raw_public_key(key, out.data(), &size) != 1 || size != out.size()) return std::nullopt;
  return out;
}

Pkey PkeyFromSeed(std::span<const std::uint8_t> seed) {
  return Pkey(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, seed.data(), seed.size()));
}

}  // namespace

Sha256::Sha256() { Restart(); }

Sha256::~Sha256() { EVP_MD_CTX_free(Context(context_)); }

Sha256::Sha256(Sha256&& other) noexcept : context_(other.context_), failed_(other.failed_) {
  other.context_ = nullptr;
  other.failed_ = true;
}

Sha256& Sha256::operator=(Sha256&& other) noexcept {
  if (this != &other) {
    EVP_MD_CTX_free(Context(context_));
    context_ = other.context_;
    failed_ = other.failed_;
    other.context_ = nullptr;
    other.failed_ = true;
  }
  return *this;
}

void Sha256::Restart() {
  if (!context_) context_ = EVP_MD_CTX_new();
  failed_ = !context_ || EVP_DigestInit_ex(Context(context_), EVP_sha256(), nullptr) != 1;
}

void Sha256::Update(std::span<const std::uint8_t> bytes) {
  if (failed_ || bytes.empty()) return;
  failed_ = EVP_DigestUpdate(Context(context_), bytes.data(), bytes.size()) != 1;
}

void Sha256::Update(std::string_view bytes) { Update({Bytes(bytes), bytes.size()}); }

std::optional<Sha256Digest> Sha256::Finish() {
  Sha256Digest digest{};
  unsigned int size = 0;
  const bool ok = !failed_ && EVP_DigestFinal_ex(Context(context_), digest.data(), &size) == 1 &&
                  size == digest.size();
  Restart();
  if (!ok) return std::nullopt;
  return digest;
}

std::optional<Sha256Digest> Sha256Of(std::string_view bytes) {
  Sha256 hasher;
  hasher.Update(bytes);
  return hasher.Finish();
}

std::string ToHex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (std::uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

std::optional<Sha256Digest> ParseSha256Hex(std::string_view text) {
  Sha256Digest out{};
  if (text.size() != out.size() * 2) return std::nullopt;
  for (size_t i = 0; i < out.size(); ++i) {
    const int high = HexValue(text[2 * i]);
    const int low = HexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    out[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return out;
}

std::string Base64Encode(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return {};
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), bytes.data(),
                                      static_cast<int>(bytes.size()));
  out.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return out;
}

std::optional<std::vector<std::uint8_t>> Base64Decode(std::string_view text) {
  // OpenSSL's decoder skips blanks and accepts non-canonical endings, so the
  // text is checked here first and decoded by OpenSSL only once it is sound.
  if (text.size() % 4 != 0) return std::nullopt;
  if (text.empty()) return std::vector<std::uint8_t>();
  size_t padding = 0;
  if (text.back() == '=') padding = text[text.size() - 2] == '=' ? 2 : 1;
  for (size_t i = 0; i < text.size() - padding; ++i)
    if (Base64Value(text[i]) < 0) return std::nullopt;
  const int last = Base64Value(text[text.size() - padding - 1]);
  if ((padding == 1 && (last & 0x03) != 0) || (padding == 2 && (last & 0x0F) != 0)) return std::nullopt;
  std::vector<std::uint8_t> out(text.size() / 4 * 3);
  const int decoded = EVP_DecodeBlock(out.data(), Bytes(text), static_cast<int>(text.size()));
  if (decoded < 0 || static_cast<size_t>(decoded) != out.size()) return std::nullopt;
  out.resize(out.size() - padding);
  return out;
}

Ed25519PrivateKey::~Ed25519PrivateKey() { OPENSSL_cleanse(seed_.data(), seed_.size()); }

std::optional<Ed25519PrivateKey> Ed25519PrivateKey::Generate() {
  std::array<std::uint8_t, 32> seed{};
  if (RAND_priv_bytes(seed.data(), static_cast<int>(seed.size())) != 1) return std::nullopt;
  auto key = FromSeed(seed);
  OPENSSL_cleanse(seed.data(), seed.size());
  return key;
}

std::optional<Ed25519PrivateKey> Ed25519PrivateKey::FromSeed(std::span<const std::uint8_t> seed) {
  Ed25519PrivateKey key;
  if (seed.size() != key.seed_.size()) return std::nullopt;
  const Pkey pkey = PkeyFromSeed(seed);
  if (!pkey) return std::nullopt;
  const auto public_key = PublicOf(pkey.get());
  if (!public_key) return std::nullopt;
  std::copy(seed.begin(), seed.end(), key.seed_.begin());
  key.public_key_ = *public_key;
  return key;
}

std::optional<Ed25519PrivateKey> Ed25519PrivateKey::FromPem(std::string_view pem) {
  const Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (!bio) return std::nullopt;
  const Pkey pkey(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
  if (!pkey || EVP_PKEY_get_id(pkey.get()) != EVP_PKEY_ED25519) return std::nullopt;
  std::array<std::uint8_t, 32> seed{};
  size_t size = seed.size();
  if (EVP_PKEY_get_raw_private_key(pkey.get(), seed.data(), &size) != 1 || size != seed.size())
    return std::nullopt;
  auto key = FromSeed(seed);
  OPENSSL_cleanse(seed.data(), seed.size());
  return key;
}

std::optional<Ed25519Signature> Ed25519PrivateKey::Sign(std::string_view message) const {
  const Pkey pkey = PkeyFromSeed(seed_);
  const MdCtx ctx(EVP_MD_CTX_new());
  if (!pkey || !ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, pkey.get()) != 1)
    return std::nullopt;
  Ed25519Signature signature{};
  size_t size = signature.size();
  if (EVP_DigestSign(ctx.get(), signature.data(), &size, Bytes(message), message.size()) != 1 ||
      size != signature.size())
    return std::nullopt;
  return signature;
}

std::string Ed25519PrivateKey::ToPem() const {
  const Pkey pkey = PkeyFromSeed(seed_);
  const Bio bio(BIO_new(BIO_s_secmem()));
  if (!pkey || !bio || PEM_write_bio_PrivateKey(bio.get(), pkey.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
    return {};
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  std::string out(data, size > 0 ? static_cast<size_t>(size) : 0);
  return out;
}

bool Ed25519Verify(const Ed25519PublicKey& key, std::string_view message, const Ed25519Signature& signature) {
  const Pkey pkey(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.data(), key.size()));
  const MdCtx ctx(EVP_MD_CTX_new());
  if (!pkey || !ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, pkey.get()) != 1) return false;
  return EVP_DigestVerify(ctx.get(), signature.data(), signature.size(), Bytes(message), message.size()) == 1;
}

}  // namespace tw::crypto
