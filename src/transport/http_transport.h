// The repository over HTTP: HEAD through a socket session, GET through the
// transfer control.
#pragma once

#include <memory>
#include <string>

#include "transport/async_repository.h"
#include "transport/inet_transfer.h"
#include "transport/repository.h"
#include "transport/socket_session.h"

namespace tw {

class HttpTransport : public Repository {
 public:
  // `bias`: the standard time-zone bias that Last-Modified dates are turned
  // into local time with.
  HttpTransport(std::string location, int bias, SessionLimits session = {},
                TransferLimits transfer = {});

  bool HttpHead(std::string_view remote_path, DateValue& last_modified) override;
  std::string HttpGetText(std::string_view remote_path, DateValue& last_modified) override;
  ByteBuffer HttpGetBytes(std::string_view remote_path, DateValue& last_modified) override;
  FetchResult HttpGetToSink(std::string_view remote_path, DownloadSink& sink,
                            DateValue& last_modified) override;
  std::string URL() override;
  // The HEAD goes out first and its reply is collected while the GET runs.
  std::string HttpGetTextAndHead(std::string_view document_path, std::string_view file_path,
                                 DateValue& file_date) override;
  // Requests in flight together, where the program runs an event loop.
  AsyncRepository* Asynchronous() override;

 private:
  void StartHead(FormSCK& session, std::string_view remote_path);
  bool FinishHead(FormSCK& session, DateValue& last_modified);
  // The body when the final status is 200; nothing otherwise.
  std::optional<ByteBuffer> Get(std::string_view remote_path, DataType type,
                                DateValue& last_modified);

  std::string location_;
  int bias_;
  SessionLimits session_;
  TransferLimits transfer_;
  std::unique_ptr<AsyncRepository> async_;
};

}  // namespace tw
