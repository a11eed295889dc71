// The repository over HTTP: a plain HEAD through a socket session (to the
// host, or in absolute form to a plain proxy), a HEAD over TLS or through
// another proxy and every GET through the transfer control.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "transport/async_repository.h"
#include "transport/network/inet_transfer.h"
#include "transport/proxy_choice.h"
#include "transport/repository.h"
#include "transport/network/socket_session.h"

namespace tw {

class HttpAsyncRepository;

class HttpTransport : public Repository {
 public:
  // `bias`: the standard time-zone bias that Last-Modified dates are turned
  // into local time with.
  HttpTransport(std::string location, int bias, SessionLimits session = {},
                TransferLimits transfer = {});
  ~HttpTransport() override;

  bool HttpHead(std::string_view remote_path, DateValue& last_modified) override;
  // Read like a catalogue document (bounded to 16 MiB), undecoded.
  std::optional<std::string> HttpGetRaw(std::string_view remote_path) override;
  // The same, conditional, with the first byte due within 15 seconds.
  RawReply HttpGetConditional(std::string_view remote_path, const Validators& ask) override;
  std::string HttpGetText(std::string_view remote_path, DateValue& last_modified) override;
  ByteBuffer HttpGetBytes(std::string_view remote_path, DateValue& last_modified) override;
  FetchResult HttpGetToSink(std::string_view remote_path, DownloadSink& sink,
                            DateValue& last_modified) override;
  std::string URL() override;
  // Where the proxy settings are read from; the process environment
  // unless a test hands in its own.
  void SetEnvironment(EnvironmentLookup env) { env_ = std::move(env); }
  // The HEAD goes out first and its reply is collected while the GET runs.
  std::string HttpGetTextAndHead(std::string_view document_path, std::string_view file_path,
                                 DateValue& file_date) override;
  std::string HttpGetDocumentAndHead(std::string_view document_path, std::string_view file_path,
                                     DateValue& file_date) override;
  // Requests in flight together, where the program runs an event loop.
  AsyncRepository* Asynchronous() override;
  std::optional<ReadFault> TakeReadFault() override;
  std::optional<ReadFault> LastHeadFault() override { return head_fault_; }
  void AbortRequests() override;

 private:
  // Whatever runs while a request waits (a click included) can find the
  // request's transfer and session to abort them.
  class Live;
  void NoteFault(const Inet& control);
  // False when this HEAD cannot go over a socket of our own.
  bool StartHead(FormSCK& session, std::string_view remote_path);
  bool FinishHead(FormSCK& session, DateValue& last_modified);
  bool TransferHead(std::string_view remote_path, DateValue& last_modified);
  std::unique_ptr<Inet> Transfer(std::optional<long> text_seconds = std::nullopt);
  // The body when the final status is 200; nothing otherwise.
  std::optional<ByteBuffer> Get(std::string_view remote_path, DataType type,
                                DateValue& last_modified);

  std::string location_;
  int bias_;
  SessionLimits session_;
  TransferLimits transfer_;
  EnvironmentLookup env_ = ProcessEnvironment();
  std::unique_ptr<HttpAsyncRepository> async_;
  std::optional<ReadFault> fault_;
  std::optional<ReadFault> head_fault_;
  bool aborted_ = false;
  std::vector<Inet*> live_transfers_;
  std::vector<FormSCK*> live_sessions_;
};

}  // namespace tw
