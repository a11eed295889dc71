#include "common/text.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>

namespace tw {
namespace {

constexpr unsigned char kLatin1Lead = 0xC3;

// Second byte of a UTF-8 Latin-1 letter: 0x80..0x9E upper (without 0x97, the
// multiplication sign), 0xA0..0xBE lower (without 0xB7, the division sign).
bool IsUpperLatin1Tail(unsigned char c) { return c >= 0x80 && c <= 0x9E && c != 0x97; }
bool IsLowerLatin1Tail(unsigned char c) { return c >= 0xA0 && c <= 0xBE && c != 0xB7; }

// Byte by byte; a Latin-1 letter's second byte is known by the lead byte
// before it (0xC3 is never a continuation byte).
template <bool kUpper>
std::string ConvertCase(std::string_view text) {
  std::string out(text);
  for (size_t i = 0; i < out.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const bool after_lead = i > 0 && static_cast<unsigned char>(text[i - 1]) == kLatin1Lead;
    if (kUpper && ((c >= 'a' && c <= 'z') || (after_lead && IsLowerLatin1Tail(c))))
      out[i] = static_cast<char>(c - (c < 0x80 ? 32 : 0x20));
    if (!kUpper && ((c >= 'A' && c <= 'Z') || (after_lead && IsUpperLatin1Tail(c))))
      out[i] = static_cast<char>(c + (c < 0x80 ? 32 : 0x20));
  }
  return out;
}

template <bool kIgnoreCase>
std::string Replace(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(text);
  auto find = [&](size_t start) {
    return kIgnoreCase ? FindIgnoreCase(text, from, start) : text.find(from, start);
  };
  size_t pos = find(0);
  if (pos == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size());
  size_t start = 0;
  for (; pos != std::string_view::npos; pos = find(start)) {
    out.append(text.substr(start, pos - start));
    out.append(to);
    start = pos + from.size();
  }
  out.append(text.substr(start));
  return out;
}

}  // namespace

std::string ToUpper(std::string_view text) { return ConvertCase<true>(text); }
std::string ToLower(std::string_view text) { return ConvertCase<false>(text); }

unsigned char FoldedByteAt(std::string_view text, size_t i) {
  const auto c = static_cast<unsigned char>(text[i]);
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
  // 0xC3 is never a continuation byte: before a tail it is that letter's lead.
  if (i > 0 && static_cast<unsigned char>(text[i - 1]) == kLatin1Lead && IsLowerLatin1Tail(c))
    return static_cast<unsigned char>(c - 0x20);
  return c;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && FoldedByteAt(a, i) != FoldedByteAt(b, i)) return false;
  return true;
}

size_t FindIgnoreCase(std::string_view haystack, std::string_view needle, size_t from) {
  if (needle.size() > haystack.size()) return std::string_view::npos;
  if (needle.empty()) return from <= haystack.size() ? from : std::string_view::npos;
  // Paths are searched for tokens thousands of times in a walk: positions
  // whose first byte cannot match are passed over without folding the rest.
  const unsigned char first = FoldedByteAt(needle, 0);
  const bool plain_first = first < 0x80 && !(first >= 'A' && first <= 'Z');
  for (size_t pos = from; pos + needle.size() <= haystack.size(); ++pos) {
    if (plain_first ? static_cast<unsigned char>(haystack[pos]) != first : FoldedByteAt(haystack, pos) != first)
      continue;
    size_t i = 1;
    while (i < needle.size() && FoldedByteAt(haystack, pos + i) == FoldedByteAt(needle, i)) ++i;
    if (i == needle.size()) return pos;
  }
  return std::string_view::npos;
}

size_t HashIgnoreCase(std::string_view text) {
  size_t hash = 1469598103934665603ull;
  for (size_t i = 0; i < text.size(); ++i) hash = (hash ^ FoldedByteAt(text, i)) * 1099511628211ull;
  return hash;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  return Replace<false>(text, from, to);
}

std::string ReplaceAllIgnoreCase(std::string_view text, std::string_view from,
                                 std::string_view to) {
  return Replace<true>(text, from, to);
}

std::string_view TrimBlanks(std::string_view text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::vector<std::string_view> Split(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  for (size_t pos = text.find(separator); pos != std::string_view::npos;
       pos = text.find(separator, start)) {
    pieces.push_back(text.substr(start, pos - start));
    start = pos + separator.size();
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::optional<long long> ParseInteger(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  long long value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<double> ParseNumber(std::string_view text) {
  text = TrimBlanks(text);
  if (text.empty() || text.size() > 64) return std::nullopt;
  std::string copy(text);
  bool seen_separator = false;
  for (char& c : copy) {
    bool ok = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == 'e' || c == 'E';
    if (c == '.' || c == ',') {
      if (seen_separator) return std::nullopt;
      seen_separator = true;
      c = '.';
      ok = true;
    }
    if (!ok) return std::nullopt;
  }
  // strtod follows the C locale, which the program never changes.
  errno = 0;
  char* end = nullptr;
  double value = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || errno == ERANGE) return std::nullopt;
  return value;
}

std::optional<bool> ParseBoolean(std::string_view text) {
  if (EqualsIgnoreCase(TrimBlanks(text), "true")) return true;
  if (EqualsIgnoreCase(TrimBlanks(text), "false")) return false;
  if (auto number = ParseNumber(text)) return *number != 0.0;
  return std::nullopt;
}

}  // namespace tw
