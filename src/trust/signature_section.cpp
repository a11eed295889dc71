#include "trust/signature_section.h"

#include <optional>

#include "common/text.h"

namespace tw {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kSectionName = "Signature";
constexpr std::string_view kKeyName = "Ed25519";

bool IsLineBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view TrimLine(std::string_view text) {
  while (!text.empty() && IsLineBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsLineBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool IsSignatureHeader(std::string_view line) {
  if (line.empty() || line.front() != '[') return false;
  while (!line.empty() && IsLineBlank(line.back())) line.remove_suffix(1);
  std::string name;
  for (char c : line)
    if (c != '[' && c != ']') name += c;
  return EqualsIgnoreCase(name, kSectionName);
}

// The line starting at `at`, without its LF; `next` is where the following
// line starts (npos after the last).
std::string_view LineAt(std::string_view text, size_t at, size_t& next) {
  const size_t lf = text.find('\n', at);
  next = lf == std::string_view::npos ? std::string_view::npos : lf + 1;
  return text.substr(at, lf == std::string_view::npos ? std::string_view::npos : lf - at);
}

// Where the opening line of the section starts; npos when there is none.
size_t FindSectionStart(std::string_view document) {
  size_t at = 0;
  if (StartsWith(document, kByteOrderMark)) at = kByteOrderMark.size();
  while (at != std::string_view::npos && at < document.size()) {
    size_t next = 0;
    if (IsSignatureHeader(LineAt(document, at, next))) return at;
    at = next;
  }
  return std::string_view::npos;
}

// The signature of the section's lines (after its opening line); nothing
// when they break the rules.
std::optional<crypto::Ed25519Signature> ReadSectionBody(std::string_view body) {
  std::optional<crypto::Ed25519Signature> found;
  bool repeated = false;
  size_t at = 0;
  while (at != std::string_view::npos && at < body.size()) {
    size_t next = 0;
    const std::string_view line = LineAt(body, at, next);
    at = next;
    const std::string_view trimmed = TrimLine(line);
    if (trimmed.empty()) continue;
    if (line.front() == '[') return std::nullopt;
    const size_t equals = trimmed.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    if (!EqualsIgnoreCase(TrimLine(trimmed.substr(0, equals)), kKeyName)) continue;
    if (found) repeated = true;
    const auto bytes = crypto::Base64Decode(TrimLine(trimmed.substr(equals + 1)));
    if (!bytes || bytes->size() != crypto::Ed25519Signature().size()) return std::nullopt;
    found.emplace();
    std::copy(bytes->begin(), bytes->end(), found->begin());
  }
  if (repeated) return std::nullopt;
  return found;
}

}  // namespace

SignatureSection ReadSignatureSection(std::string_view document) {
  SignatureSection out;
  const size_t start = FindSectionStart(document);
  if (start == std::string_view::npos) {
    out.signed_bytes = document;
    return out;
  }
  out.signed_bytes = document.substr(0, start);
  size_t body = 0;
  LineAt(document, start, body);
  const auto signature =
      body == std::string_view::npos ? std::nullopt : ReadSectionBody(document.substr(body));
  if (!signature) {
    out.status = SignatureSectionStatus::Malformed;
    return out;
  }
  out.status = SignatureSectionStatus::Present;
  out.signature = *signature;
  return out;
}

std::string EndLastLine(std::string_view content) {
  std::string out(content);
  if (!out.empty() && out.back() != '\n') out += "\r\n";
  return out;
}

std::string AppendSignatureSection(std::string_view signed_bytes, const crypto::Ed25519Signature& signature) {
  std::string out(signed_bytes);
  out += "[Signature]\r\n";
  out += kKeyName;
  out += '=';
  out += crypto::Base64Encode(signature);
  out += "\r\n";
  return out;
}

}  // namespace tw
