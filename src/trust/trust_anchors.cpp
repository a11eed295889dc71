#include "trust/trust_anchors.h"

#include <algorithm>

#include "common/settings_keys.h"
#include "platform/settings_store.h"

namespace tw {
namespace {

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && IsSeparator(text[at])) ++at;
    const size_t start = at;
    while (at < text.size() && !IsSeparator(text[at])) ++at;
    if (at > start) words.push_back(text.substr(start, at - start));
  }
  return words;
}

void AddAndWarn(TrustAnchors& anchors, std::string_view text, std::string_view origin, const MessageSink& warn) {
  for (const std::string& word : anchors.AddKeys(text))
    if (warn) warn("Chiave pubblica non valida ignorata (" + std::string(origin) + "): " + word);
}

}  // namespace

std::optional<crypto::Ed25519PublicKey> ParsePublicKey(std::string_view text) {
  const auto words = Words(text);
  if (words.size() != 1) return std::nullopt;
  const auto bytes = crypto::Base64Decode(words.front());
  crypto::Ed25519PublicKey key{};
  if (!bytes || bytes->size() != key.size()) return std::nullopt;
  std::copy(bytes->begin(), bytes->end(), key.begin());
  return key;
}

std::vector<std::string> TrustAnchors::AddKeys(std::string_view text) {
  std::vector<std::string> rejected;
  for (std::string_view word : Words(text)) {
    const auto key = ParsePublicKey(word);
    if (!key) {
      rejected.emplace_back(word);
      continue;
    }
    const bool held = std::any_of(anchors_.begin(), anchors_.end(),
                                  [&](const TrustAnchor& anchor) { return anchor.key == *key; });
    if (!held) anchors_.push_back({*key, std::string(word)});
  }
  return rejected;
}

std::optional<size_t> TrustAnchors::FindSigner(std::string_view message,
                                               const crypto::Ed25519Signature& signature) const {
  for (size_t i = 0; i < anchors_.size(); ++i)
    if (crypto::Ed25519Verify(anchors_[i].key, message, signature)) return i;
  return std::nullopt;
}

TrustAnchors LoadTrustAnchors(SettingsStore& settings, std::string_view built_in, const MessageSink& warn) {
  TrustAnchors anchors;
  AddAndWarn(anchors, built_in, "elenco incorporato", warn);
  const std::string configured = settings.Read(settings::kApplication, settings::kSection, settings::kPublicKey, "");
  AddAndWarn(anchors, configured, "impostazione PublicKey", warn);
  return anchors;
}

}  // namespace tw
