// Which proxy, if any, carries the requests to the repository: the same
// choice for the HEAD and the GET, made from the environment as other
// tools here make it (http_proxy, https_proxy, all_proxy and no_proxy, each
// in either case).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "transport/repository_location.h"

namespace tw {

struct ProxyChoice {
  std::string url;  // as configured; "" for a direct connection
  // An "http://" proxy without credentials: a plain HEAD can be handed to
  // it over a socket of our own, in absolute form.
  bool plain = false;
  std::string host;
  int port = 0;
};

// Reads one environment variable; nothing when it is not set.
using EnvironmentLookup = std::function<std::optional<std::string>(const char*)>;
EnvironmentLookup ProcessEnvironment();

// The proxy for `location`, "" (direct) when none is set or no_proxy
// names its host.
ProxyChoice ChooseProxy(const RepositoryLocation& location, const EnvironmentLookup& env);

// True when the no_proxy list names `host`: "*", the host itself, or a
// domain it lies in ("example" and ".example" both cover "a.example").
bool NoProxyExcludes(std::string_view no_proxy, std::string_view host);

// "HEAD http://host[:port]/path HTTP/1.0", the form a proxy takes.
std::string ProxyHeadRequestLine(const RepositoryLocation& location, std::string_view remote_path);

}  // namespace tw
