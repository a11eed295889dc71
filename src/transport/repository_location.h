// The repository location as stored ("host", "host/base", "host:8080/base",
// "https://host/base", "[::1]:8080/base") and the request targets built
// from it. Without a scheme the location means plain HTTP, as it always
// has.
#pragma once

#include <string>
#include <string_view>

namespace tw {

struct RepositoryLocation {
  bool tls = false;       // "https://" before the host
  std::string host;       // name or address, without port or brackets
  int port = 80;          // 443 by default over TLS
  std::string base_path;  // "" or "/base..."
};

// The host is the text before the first "/", the base path the rest. A port
// after the host ("host:8080") is honoured; an IPv6 address is written in
// brackets ("[::1]:8080").
RepositoryLocation SplitLocation(std::string_view location);

// base path + remote path, in lower case, with the bytes that cannot stand
// in a request target (blanks, control characters, non-ASCII, "?", "#")
// escaped, and "%" of the remote path too.
std::string RequestPath(const RepositoryLocation& location, std::string_view remote_path);

// "HEAD " + request path + " HTTP/1.0": no header lines follow.
std::string HeadRequestLine(const RepositoryLocation& location, std::string_view remote_path);

// "https://" for a location that names it, "http://" otherwise.
std::string_view LocationScheme(std::string_view location);

// The location as a URL prefix, scheme included: what the log shows and
// what the options window suggests.
std::string LocationUrl(std::string_view location);

// The host as it stands in a URL or a request line: an IPv6 address in
// brackets, and the port when it is not the scheme's own.
std::string UrlAuthority(const RepositoryLocation& location);

// The URL a GET fetches: the scheme + host (+ ":" port) + the request path,
// built part by part with libcurl's URL interface; "" when the location
// holds no usable host or port (the transfer then fails).
std::string GetUrl(std::string_view location, std::string_view remote_path);

}  // namespace tw
