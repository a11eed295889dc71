#include "transport/repository_location.h"

#include "common/text.h"

namespace tw {
namespace {

std::string EscapeTarget(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c >= 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

}  // namespace

RepositoryLocation SplitLocation(std::string_view location) {
  RepositoryLocation out;
  const size_t slash = location.find('/');
  std::string_view authority = location.substr(0, slash);
  if (slash != std::string_view::npos) out.base_path = std::string(location.substr(slash));
  const size_t bracket_end = authority.find(']');
  const size_t colon = authority.rfind(':');
  const bool has_port = colon != std::string_view::npos &&
                        (bracket_end == std::string_view::npos || colon > bracket_end) &&
                        (StartsWith(authority, "[") || authority.find(':') == colon);
  if (has_port) {
    const auto port = ParseInteger(authority.substr(colon + 1));
    if (port && *port > 0 && *port < 65536) out.port = static_cast<int>(*port);
    else out.port = 0;  // an unusable port: the connection fails
    authority = authority.substr(0, colon);
  }
  if (StartsWith(authority, "[") && EndsWith(authority, "]"))
    authority = authority.substr(1, authority.size() - 2);
  out.host = std::string(authority);
  return out;
}

std::string RequestPath(const RepositoryLocation& location, std::string_view remote_path) {
  return EscapeTarget(ToLower(location.base_path + std::string(remote_path)));
}

std::string HeadRequestLine(const RepositoryLocation& location, std::string_view remote_path) {
  return "HEAD " + RequestPath(location, remote_path) + " HTTP/1.0";
}

std::string GetUrl(std::string_view location, std::string_view remote_path) {
  return EscapeTarget(ToLower("http://" + std::string(location) + std::string(remote_path)));
}

}  // namespace tw
