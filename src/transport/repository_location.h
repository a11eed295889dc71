// The repository location as stored ("host", "host/base", "host:8080/base")
// and the request targets built from it.
#pragma once

#include <string>
#include <string_view>

namespace tw {

struct RepositoryLocation {
  std::string host;       // name or address, without port
  int port = 80;
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

// The URL a GET fetches: "http://" + host (+ ":" port) + the request path,
// built part by part with libcurl's URL interface; "" when the location
// holds no usable host or port (the transfer then fails).
std::string GetUrl(std::string_view location, std::string_view remote_path);

}  // namespace tw
