// The repository with requests in flight together: GETs as libcurl
// transfers carried side by side by the event loop (sharing kept
// connections), HEADs as socket sessions of their own, each on its own
// connection with the HEAD's exact wire form.
#pragma once

#include <QEventLoop>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "transport/async_repository.h"
#include "transport/network/inet_transfer.h"
#include "transport/proxy_choice.h"
#include "transport/read_fault.h"
#include "transport/repository_location.h"
#include "transport/network/socket_session.h"

namespace tw {

class HttpAsyncRepository : public AsyncRepository {
 public:
  // `env`: where the proxy settings are read from, as for the repository's
  // own requests one at a time.
  HttpAsyncRepository(std::string location, int bias, SessionLimits session, TransferLimits transfer,
                      EnvironmentLookup env = ProcessEnvironment());
  ~HttpAsyncRepository() override;

  void StartGetText(std::string_view remote_path, TextDone done) override;
  void StartHead(std::string_view remote_path, HeadDone done) override;
  void WaitForAny() override;
  size_t InFlight() const override { return running_ + ready_.size(); }

  // As Repository's: the first document that could not be read, and the
  // end of every request under way and to come.
  std::optional<ReadFault> TakeReadFault();
  void AbortRequests();

 private:
  // Requests end from socket and timer handlers; their answers wait here
  // until WaitForAny hands them on, outside any handler.
  void Ready(std::function<void()> answer);
  void DropRetired();
  // A HEAD that cannot go over a socket of our own (TLS, or a proxy only
  // libcurl can talk to) goes through a transfer.
  void StartTransferHead(std::string_view remote_path, HeadDone done);
  // A transfer for `remote_path`, counted as running, not yet started.
  Inet* NewControl(std::string_view remote_path);

  std::string location_;
  // Both fixed for the repository's life, like the environment they come from.
  RepositoryLocation where_;
  ProxyChoice proxy_;
  int bias_;
  SessionLimits session_;
  TransferLimits transfer_;
  size_t running_ = 0;
  std::vector<std::function<void()>> ready_;
  std::vector<std::unique_ptr<Inet>> transfers_;
  std::vector<std::unique_ptr<FormSCK>> sessions_;
  // Ended, to be destroyed outside the handler that ended them.
  std::vector<std::unique_ptr<Inet>> retired_transfers_;
  std::vector<std::unique_ptr<FormSCK>> retired_sessions_;
  QEventLoop* waiting_ = nullptr;
  std::optional<ReadFault> fault_;
  bool aborted_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tw
