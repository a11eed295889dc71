#include "transport/proxy_choice.h"

#include <cstdlib>

#include "common/text.h"

namespace tw {
namespace {

std::string FirstSet(const EnvironmentLookup& env, std::initializer_list<const char*> names) {
  for (const char* name : names)
    if (auto value = env(name); value && !TrimBlanks(*value).empty()) return std::string(TrimBlanks(*value));
  return {};
}

std::string_view Unbracket(std::string_view host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') return host.substr(1, host.size() - 2);
  return host;
}

// Host and port of a proxy written "http://host:port/", "host:port" or
// "host"; nothing for other schemes or when credentials are given, which
// only libcurl knows how to present.
void ReadPlainProxy(ProxyChoice& choice) {
  std::string_view rest = choice.url;
  if (const size_t scheme = rest.find("://"); scheme != std::string_view::npos) {
    if (!EqualsIgnoreCase(rest.substr(0, scheme), "http")) return;
    rest.remove_prefix(scheme + 3);
  }
  rest = rest.substr(0, rest.find('/'));
  if (rest.empty() || rest.find('@') != std::string_view::npos) return;
  const RepositoryLocation where = SplitLocation(rest);
  if (where.host.empty() || where.port <= 0) return;
  const size_t bracket = rest.find(']');
  const bool has_port = rest.find(':', bracket == std::string_view::npos ? 0 : bracket) != std::string_view::npos;
  choice.host = where.host;
  choice.port = has_port ? where.port : 1080;  // libcurl's default for a proxy without a port
  choice.plain = true;
}

}  // namespace

EnvironmentLookup ProcessEnvironment() {
  return [](const char* name) -> std::optional<std::string> {
    const char* value = std::getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
  };
}

bool NoProxyExcludes(std::string_view no_proxy, std::string_view host) {
  const std::string wanted = ToLower(Unbracket(host));
  for (std::string_view entry : Split(no_proxy, ",")) {
    while (!entry.empty() && (entry.front() == ' ' || entry.front() == '\t')) entry.remove_prefix(1);
    while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t')) entry.remove_suffix(1);
    if (entry == "*") return true;
    entry = Unbracket(entry);
    while (!entry.empty() && entry.front() == '.') entry.remove_prefix(1);
    if (entry.empty()) continue;
    const std::string name = ToLower(entry);
    if (wanted == name) return true;
    if (wanted.size() > name.size() && EndsWith(wanted, name) && wanted[wanted.size() - name.size() - 1] == '.')
      return true;
  }
  return false;
}

ProxyChoice ChooseProxy(const RepositoryLocation& location, const EnvironmentLookup& env) {
  ProxyChoice choice;
  if (NoProxyExcludes(FirstSet(env, {"no_proxy", "NO_PROXY"}), location.host)) return choice;
  choice.url = location.tls ? FirstSet(env, {"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
                            : FirstSet(env, {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"});
  if (!choice.url.empty()) ReadPlainProxy(choice);
  return choice;
}

std::string ProxyHeadRequestLine(const RepositoryLocation& location, std::string_view remote_path) {
  return "HEAD http://" + ToLower(UrlAuthority(location)) + RequestPath(location, remote_path) + " HTTP/1.0";
}

}  // namespace tw
