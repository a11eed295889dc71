#include "platform/settings_file_format.h"

#include <vector>

namespace tw::settings_file {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void AppendEscaped(std::string& out, unsigned char c) {
  out += '%';
  out += kHex[c >> 4];
  out += kHex[c & 15];
}

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

bool IsEdgeBlank(std::string_view text, size_t i) {
  const char c = text[i];
  if (c != ' ' && c != '\t') return false;
  return text.find_first_not_of(" \t") > i || text.find_last_not_of(" \t") < i ||
         text.find_first_not_of(" \t") == std::string_view::npos;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string_view TrimSpace(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string NormalizeGroup(std::string_view header) {
  std::string group(TrimSpace(header));
  for (char& c : group)
    if (c == '\\') c = '/';
  return group;
}

}  // namespace

std::string EncodeKey(std::string_view key) {
  std::string out;
  out.reserve(key.size());
  for (size_t i = 0; i < key.size(); ++i) {
    const auto c = static_cast<unsigned char>(key[i]);
    const bool special = c == '%' || c == '\\' || c == '/' || c == '=' || IsControl(c) ||
                         IsEdgeBlank(key, i) || (i == 0 && (c == '[' || c == ';' || c == '#'));
    if (special)
      AppendEscaped(out, c);
    else
      out += static_cast<char>(c);
  }
  return out;
}

std::string EncodeValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    const auto c = static_cast<unsigned char>(value[i]);
    if (c == '%' || IsControl(c) || IsEdgeBlank(value, i))
      AppendEscaped(out, c);
    else
      out += static_cast<char>(c);
  }
  return out;
}

std::string Decode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

Entries Parse(std::string_view text) {
  Entries entries;
  std::string group;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string_view trimmed = TrimSpace(line);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') continue;
    if (trimmed.front() == '[') {
      if (trimmed.back() == ']') group = NormalizeGroup(trimmed.substr(1, trimmed.size() - 2));
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    // Re-encoding the decoded key accepts a hand-written key in any form.
    const std::string key = EncodeKey(Decode(TrimSpace(line.substr(0, equals))));
    if (key.empty()) continue;
    const std::string full = group.empty() ? key : group + "/" + key;
    entries.emplace(full, Decode(TrimSpace(line.substr(equals + 1))));
  }
  return entries;
}

std::string Serialize(const Entries& entries) {
  // Groups in the order of their names, keys in order within each group.
  std::map<std::string, std::vector<std::pair<std::string_view, std::string_view>>> groups;
  for (const auto& [full, value] : entries) {
    const size_t cut = full.rfind('/');
    const std::string group = cut == std::string::npos ? std::string() : full.substr(0, cut);
    const std::string_view key =
        cut == std::string::npos ? std::string_view(full) : std::string_view(full).substr(cut + 1);
    groups[group].emplace_back(key, value);
  }
  std::string out;
  for (const auto& [group, pairs] : groups) {
    if (!out.empty()) out += '\n';
    if (!group.empty()) out += "[" + group + "]\n";
    for (const auto& [key, value] : pairs) {
      out.append(key);
      out += '=';
      out += EncodeValue(value);
      out += '\n';
    }
  }
  return out;
}

}  // namespace tw::settings_file
