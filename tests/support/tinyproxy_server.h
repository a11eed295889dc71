// A real HTTP proxy (Debian's tinyproxy) on a free loopback port, with a
// configuration and log of the test's own; no system service is involved.
#pragma once

#include <string>

#include "support/temp_dir.h"

namespace tw::testing {

class TinyproxyServer {
 public:
  TinyproxyServer();
  ~TinyproxyServer();
  TinyproxyServer(const TinyproxyServer&) = delete;
  TinyproxyServer& operator=(const TinyproxyServer&) = delete;

  bool running() const { return pid_ > 0; }
  // "http://127.0.0.1:<port>", as http_proxy names it.
  std::string Url() const;
  // The proxy's log so far: each request it carried appears as
  // "Request (file descriptor N): <request line>".
  std::string Log() const;

 private:
  TempDir dir_;
  int port_ = 0;
  int pid_ = -1;
};

}  // namespace tw::testing
