// A real nginx serving a folder of the test's own on a loopback port,
// started once per test program and stopped at its end.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tw::testing {

// A server of a test's own may speak TLS with a certificate the test made,
// and may listen on the IPv6 loopback instead.
struct NginxOptions {
  std::string certificate;  // PEM files; both empty for plain HTTP
  std::string key;
  bool ipv6 = false;        // [::1] instead of 127.0.0.1
};

class NginxServer {
 public:
  // The program's shared server; fails the calling test when nginx cannot
  // be started.
  static NginxServer& Shared();

  NginxServer();
  explicit NginxServer(NginxOptions options);
  ~NginxServer();
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  bool running() const { return pid_ > 0; }
  int port() const { return port_; }
  const std::string& root() const { return root_; }
  // Every path below /failing/ answers status 500.
  // "127.0.0.1:<port>" followed by `base_path`; "https://" before it
  // over TLS, "[::1]" for the IPv6 loopback.
  std::string Location(const std::string& base_path = "") const;

  // Writes a file below the document root, with the given modification
  // time (seconds since 1970, UTC) when there is one.
  void Put(const std::string& path, const std::string& content,
           std::optional<long long> mtime = std::nullopt) const;
  void Remove(const std::string& path) const;
  // Every request line the server answered so far, with the status it
  // answered ("GET /path HTTP/1.1 304"), in order, for tests that count
  // what reached the server.
  std::vector<std::string> Requests() const;
  // The same once at least `count` lines are there: nginx logs a request
  // after its reply has gone out, so a client may be ahead of the log. Gives
  // what there is after a few seconds.
  std::vector<std::string> RequestsAtLeast(size_t count) const;
  // Every request line once the log has stopped growing for a moment: for
  // counting what a client that has ended sent.
  std::vector<std::string> SettledRequests() const;
  // A path of the document root that no other test uses.
  std::string FreshBase();

  // True when this machine can listen on the IPv6 loopback.
  static bool HasIpv6Loopback();

 private:
  bool Start();
  NginxOptions options_;

  std::string prefix_;
  std::string root_;
  int port_ = 0;
  int pid_ = -1;
  int bases_ = 0;
};

// The requests for a path below one base path (its own document
// "<base>.ini" included) that reached the server since the last count,
// taken once the log has settled.
class RequestCounter {
 public:
  RequestCounter(const NginxServer& server, std::string base)
      : server_(server), base_(std::move(base)), seen_(server.SettledRequests().size()) {}
  size_t Sent() {
    const std::vector<std::string> lines = server_.SettledRequests();
    size_t count = 0;
    for (size_t i = seen_; i < lines.size(); ++i)
      count += lines[i].find(" " + base_ + "/") != std::string::npos || lines[i].find(" " + base_ + ".ini ") != std::string::npos;
    seen_ = lines.size();
    return count;
  }

 private:
  const NginxServer& server_;
  std::string base_;
  size_t seen_;
};

}  // namespace tw::testing
