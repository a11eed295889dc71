#include "transport/network/http_async_repository.h"

#include <algorithm>

#include "transport/head_reply.h"
#include "transport/repository_location.h"

namespace tw {
namespace {

template <typename T>
void Retire(std::vector<std::unique_ptr<T>>& from, std::vector<std::unique_ptr<T>>& to, const T* which) {
  auto it = std::find_if(from.begin(), from.end(), [which](const auto& p) { return p.get() == which; });
  if (it == from.end()) return;
  to.push_back(std::move(*it));
  from.erase(it);
}

}  // namespace

HttpAsyncRepository::HttpAsyncRepository(std::string location, int bias, SessionLimits session,
                                         TransferLimits transfer, EnvironmentLookup env)
    : location_(std::move(location)),
      where_(SplitLocation(location_)),
      proxy_(ChooseProxy(where_, env)),
      bias_(bias),
      session_(session),
      transfer_(transfer) {}

HttpAsyncRepository::~HttpAsyncRepository() {
  // Whatever is still under way ends here, its answer unheard. A transfer
  // stays with the event loop until libcurl lets it go, so its control is
  // left to it rather than destroyed under it.
  *alive_ = false;
  for (auto& control : transfers_) {
    control->Cancel();
    (void)control.release();
  }
  for (auto& session : sessions_) session->OnEnd = nullptr;
}

void HttpAsyncRepository::Ready(std::function<void()> answer) {
  --running_;
  ready_.push_back(std::move(answer));
  if (waiting_) waiting_->quit();
}

void HttpAsyncRepository::DropRetired() {
  retired_transfers_.clear();
  retired_sessions_.clear();
}

Inet* HttpAsyncRepository::NewControl(std::string_view remote_path) {
  auto owned = NewTransfer(location_, transfer_);
  Inet* control = owned.get();
  control->Document = std::string(remote_path);
  // The same proxy as the requests made one at a time, not libcurl's own
  // reading of the environment.
  control->SetProxy(proxy_.url);
  transfers_.push_back(std::move(owned));
  ++running_;
  return control;
}

std::optional<ReadFault> HttpAsyncRepository::TakeReadFault() {
  std::optional<ReadFault> fault = std::move(fault_);
  fault_.reset();
  return fault;
}

void HttpAsyncRepository::AbortRequests() {
  aborted_ = true;
  // Each ends through its own handler, which retires it from these lists:
  // work on copies.
  std::vector<Inet*> transfers;
  for (const auto& control : transfers_) transfers.push_back(control.get());
  std::vector<FormSCK*> sessions;
  for (const auto& session : sessions_) sessions.push_back(session.get());
  for (Inet* control : transfers) control->Abort();
  for (FormSCK* session : sessions) session->Abort();
}

void HttpAsyncRepository::StartGetText(std::string_view remote_path, TextDone done) {
  DropRetired();
  if (aborted_) {
    ++running_;
    Ready([done = std::move(done)] { done(std::string()); });
    return;
  }
  Inet* control = NewControl(remote_path);
  control->StartURL(GetUrl(control->RemoteHost, control->Document), DataType::Text,
                    [this, alive = std::weak_ptr<bool>(alive_), control, done = std::move(done)](bool answered) {
                      if (alive.expired()) return;
                      std::string text;
                      // The catalogue judges the bytes, then decodes them.
                      if (answered && control->Status() == 200) text = std::string(control->TakeBody().view());
                      const std::optional<ReadFault> fault = control->Fault();
                      if (!fault_ && fault && fault->kind != ReadFaultKind::Aborted) fault_ = fault;
                      Retire(transfers_, retired_transfers_, control);
                      Ready([done, text = std::move(text)]() mutable { done(std::move(text)); });
                    });
}

void HttpAsyncRepository::StartTransferHead(std::string_view remote_path, HeadDone done) {
  Inet* control = NewControl(remote_path);
  control->StartHead(GetUrl(control->RemoteHost, control->Document),
                     [this, alive = std::weak_ptr<bool>(alive_), control, done = std::move(done)](bool answered) {
                       if (alive.expired()) return;
                       const HeadReply reply = ScanHeadReply(answered ? control->GetHeader() : std::string(), bias_);
                       Retire(transfers_, retired_transfers_, control);
                       Ready([done, answer = HeadAnswer{reply.ok, reply.last_modified}] { done(answer); });
                     });
}

// A plain HEAD keeps its wire form: to the host, or in absolute form to a
// plain proxy, as the repository's requests one at a time send it.
void HttpAsyncRepository::StartHead(std::string_view remote_path, HeadDone done) {
  DropRetired();
  if (aborted_) {
    ++running_;
    Ready([done = std::move(done)] { done(HeadAnswer{}); });
    return;
  }
  const RepositoryLocation& where = where_;
  const ProxyChoice& proxy = proxy_;
  if (where.tls || (!proxy.url.empty() && !proxy.plain)) return StartTransferHead(remote_path, std::move(done));
  auto owned = std::make_unique<FormSCK>(session_);
  FormSCK* session = owned.get();
  sessions_.push_back(std::move(owned));
  ++running_;
  session->OnEnd = [this, session, done = std::move(done)] {
    const HeadReply reply = ScanHeadReply(session->strReceived, bias_);
    Retire(sessions_, retired_sessions_, session);
    Ready([done, answer = HeadAnswer{reply.ok, reply.last_modified}] { done(answer); });
  };
  if (proxy.url.empty()) session->Start(where.host, where.port, HeadRequestLine(where, remote_path));
  else session->Start(proxy.host, proxy.port, ProxyHeadRequestLine(where, remote_path));
}

void HttpAsyncRepository::WaitForAny() {
  if (ready_.empty() && running_ > 0) {
    QEventLoop loop;
    QEventLoop* outer = waiting_;
    waiting_ = &loop;
    // The user's input goes through, as during downloads: "Annulla" must
    // reach a walk that waits on a silent repository. The window keeps to
    // one operation at a time itself.
    loop.exec();
    waiting_ = outer;
    // A handler that ran during an outer wait may have waited here in turn
    // and taken the answers that were to end the outer wait: end it too,
    // or it would wait for nothing, forever.
    if (outer) outer->quit();
  }
  // Answers handed on may start further requests and end more: take only
  // those ready now.
  std::vector<std::function<void()>> answers;
  answers.swap(ready_);
  for (auto& answer : answers) answer();
  DropRetired();
}

}  // namespace tw
