#include "transport/repository_location.h"

#include <curl/curl.h>

#include <memory>

#include "common/text.h"

namespace tw {
namespace {

// Blanks, control characters and non-ASCII bytes cannot stand in a request
// target, and "?" and "#" would end its path. A "%" of the configured base
// path is the administrator's own escape and stays; one in a remote path
// is escaped, so that the server cannot decode it into something else.
std::string EscapeTarget(std::string_view text, bool keep_percent) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c >= 0x7F || c == '?' || c == '#' || (c == '%' && !keep_percent)) {
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

std::string_view LocationScheme(std::string_view location) {
  return location.size() >= 8 && EqualsIgnoreCase(location.substr(0, 8), "https://") ? "https://"
                                                                                       : "http://";
}

std::string LocationUrl(std::string_view location) {
  if (LocationScheme(location) == "https://") return std::string(location);
  return "http://" + std::string(location);
}

std::string UrlAuthority(const RepositoryLocation& location) {
  std::string out = location.host.find(':') != std::string::npos ? "[" + location.host + "]" : location.host;
  if (location.port != (location.tls ? 443 : 80)) out += ":" + std::to_string(location.port);
  return out;
}

RepositoryLocation SplitLocation(std::string_view location) {
  RepositoryLocation out;
  if (LocationScheme(location) == "https://") {
    out.tls = true;
    out.port = 443;
    location.remove_prefix(8);
  }
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
  return EscapeTarget(ToLower(location.base_path), true) + EscapeTarget(ToLower(remote_path), false);
}

std::string HeadRequestLine(const RepositoryLocation& location, std::string_view remote_path) {
  return "HEAD " + RequestPath(location, remote_path) + " HTTP/1.0";
}

std::string GetUrl(std::string_view location, std::string_view remote_path) {
  // Host, port and path go into their own parts of the URL, so that no text
  // of a path can end up naming the host ("@"), a query or a fragment;
  // libcurl refuses a host that is not a host name or an address.
  const RepositoryLocation where = SplitLocation(location);
  const std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), &curl_url_cleanup);
  if (!url) return {};
  const std::string host = where.host.find(':') != std::string::npos ? "[" + where.host + "]" : where.host;
  const std::string port = std::to_string(where.port);
  const std::string path = RequestPath(where, remote_path);
  if (curl_url_set(url.get(), CURLUPART_SCHEME, where.tls ? "https" : "http", 0) != CURLUE_OK ||
      curl_url_set(url.get(), CURLUPART_HOST, ToLower(host).c_str(), 0) != CURLUE_OK ||
      (where.port != (where.tls ? 443 : 80) && curl_url_set(url.get(), CURLUPART_PORT, port.c_str(), 0) != CURLUE_OK) ||
      curl_url_set(url.get(), CURLUPART_PATH, path.empty() ? "/" : path.c_str(), 0) != CURLUE_OK)
    return {};
  char* text = nullptr;
  if (curl_url_get(url.get(), CURLUPART_URL, &text, 0) != CURLUE_OK) return {};
  std::string out(text);
  curl_free(text);
  return out;
}

}  // namespace tw
