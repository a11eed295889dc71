#include "transport/network/http_transport.h"

#include <algorithm>

#include <QCoreApplication>
#include <algorithm>

#include "transport/head_reply.h"
#include "transport/network/http_async_repository.h"
#include "transport/http_date.h"
#include "transport/repository_location.h"
#include "transport/text_decoding.h"

namespace tw {

HttpTransport::HttpTransport(std::string location, int bias, SessionLimits session,
                             TransferLimits transfer)
    : location_(std::move(location)), bias_(bias), session_(session), transfer_(transfer) {}

namespace {

// The status number of a reply's first line ("HTTP/1.1 404 Not Found");
// 0 when there is none.
long ReplyStatus(std::string_view received) {
  if (!received.starts_with("HTTP/")) return 0;
  const size_t blank = received.find(' ');
  if (blank == std::string_view::npos || received.size() < blank + 4) return 0;
  long status = 0;
  for (char c : received.substr(blank + 1, 3)) {
    if (c < '0' || c > '9') return 0;
    status = status * 10 + (c - '0');
  }
  return status;
}

}  // namespace

HttpTransport::~HttpTransport() = default;

class HttpTransport::Live {
 public:
  Live(HttpTransport& owner, Inet* control) : owner_(owner), control_(control) {
    owner_.live_transfers_.push_back(control);
  }
  Live(HttpTransport& owner, FormSCK* session) : owner_(owner), session_(session) {
    owner_.live_sessions_.push_back(session);
  }
  ~Live() {
    if (control_) std::erase(owner_.live_transfers_, control_);
    if (session_) std::erase(owner_.live_sessions_, session_);
  }
  Live(const Live&) = delete;
  Live& operator=(const Live&) = delete;

 private:
  HttpTransport& owner_;
  Inet* control_ = nullptr;
  FormSCK* session_ = nullptr;
};

void HttpTransport::AbortRequests() {
  aborted_ = true;
  // Copies: an aborted request leaves its list as it ends.
  for (Inet* control : std::vector<Inet*>(live_transfers_)) control->Abort();
  for (FormSCK* session : std::vector<FormSCK*>(live_sessions_)) session->Abort();
  if (async_) async_->AbortRequests();
}

std::optional<ReadFault> HttpTransport::TakeReadFault() {
  std::optional<ReadFault> fault = std::move(fault_);
  fault_.reset();
  if (async_) {
    std::optional<ReadFault> later = async_->TakeReadFault();
    if (!fault) fault = later;
  }
  return fault;
}

void HttpTransport::NoteFault(const Inet& control) {
  if (fault_) return;
  std::optional<ReadFault> fault = control.Fault();
  if (fault && fault->kind != ReadFaultKind::Aborted) fault_ = fault;
}

bool HttpTransport::HttpHead(std::string_view remote_path, DateValue& last_modified) {
  if (aborted_) {
    head_fault_ = ReadFault{ReadFaultKind::Aborted, 0};
    return false;
  }
  FormSCK session(session_);
  if (!StartHead(session, remote_path)) return TransferHead(remote_path, last_modified);
  return FinishHead(session, last_modified);
}

bool HttpTransport::StartHead(FormSCK& session, std::string_view remote_path) {
  const RepositoryLocation where = SplitLocation(location_);
  if (where.tls) return false;
  const ProxyChoice proxy = ChooseProxy(where, env_);
  if (proxy.url.empty()) {
    session.Start(where.host, where.port, HeadRequestLine(where, remote_path));
    return true;
  }
  if (!proxy.plain) return false;
  session.Start(proxy.host, proxy.port, ProxyHeadRequestLine(where, remote_path));
  return true;
}

bool HttpTransport::FinishHead(FormSCK& session, DateValue& last_modified) {
  const Live live(*this, &session);
  if (aborted_) session.Abort();
  const std::string received = session.Wait();
  const HeadReply reply = ScanHeadReply(received, bias_);
  if (reply.last_modified) last_modified = *reply.last_modified;
  head_fault_.reset();
  if (!reply.ok) {
    // A reply says its status; without one the session knows why.
    const long status = ReplyStatus(received);
    head_fault_ = status > 0 ? ReadFault{ReadFaultKind::HttpStatus, status}
                             : session.Fault().value_or(ReadFault{ReadFaultKind::Other, 0});
  }
  return reply.ok;
}

// The reply's header block is read by the same rules as a socket's reply.
bool HttpTransport::TransferHead(std::string_view remote_path, DateValue& last_modified) {
  if (aborted_) return false;
  std::unique_ptr<Inet> control = Transfer();
  control->Document = std::string(remote_path);
  const Live live(*this, control.get());
  const bool answered = control->OpenHead(GetUrl(control->RemoteHost, control->Document));
  const HeadReply reply = ScanHeadReply(answered ? control->GetHeader() : std::string(), bias_);
  head_fault_.reset();
  if (!reply.ok) head_fault_ = control->Fault().value_or(ReadFault{ReadFaultKind::HttpStatus, control->Status()});
  CloseTransfer(control);
  if (reply.last_modified) last_modified = *reply.last_modified;
  return reply.ok;
}

std::unique_ptr<Inet> HttpTransport::Transfer(std::optional<long> text_seconds) {
  TransferLimits limits = transfer_;
  if (text_seconds) limits.text_seconds = std::min(limits.text_seconds, *text_seconds);
  std::unique_ptr<Inet> control = NewTransfer(location_, limits);
  control->SetProxy(ChooseProxy(SplitLocation(location_), env_).url);
  return control;
}

std::string HttpTransport::HttpGetTextAndHead(std::string_view document_path,
                                              std::string_view file_path, DateValue& file_date) {
  FormSCK session(session_);
  const bool over_socket = StartHead(session, file_path);
  DateValue unused;
  std::string text = HttpGetText(document_path, unused);
  if (over_socket) FinishHead(session, file_date);
  else TransferHead(file_path, file_date);
  return text;
}

std::string HttpTransport::HttpGetDocumentAndHead(std::string_view document_path,
                                                  std::string_view file_path, DateValue& file_date) {
  FormSCK session(session_);
  const bool over_socket = StartHead(session, file_path);
  DateValue unused;
  const auto body = Get(document_path, DataType::Text, unused);
  if (over_socket) FinishHead(session, file_date);
  else TransferHead(file_path, file_date);
  return body ? std::string(body->view()) : std::string();
}

std::optional<ByteBuffer> HttpTransport::Get(std::string_view remote_path, DataType type,
                                             DateValue& last_modified) {
  if (aborted_) return std::nullopt;
  std::unique_ptr<Inet> control = Transfer();
  control->Document = std::string(remote_path);
  bool answered = false;
  {
    const Live live(*this, control.get());
    answered = control->OpenURL(GetUrl(control->RemoteHost, control->Document), type);
  }
  const std::string date = control->GetHeader("LAST-MODIFIED");
  if (!date.empty()) last_modified = ParseHttpDate(date, bias_);
  // Only catalogue documents count: a module file that fails shows in its
  // own row.
  if (type == DataType::Text) NoteFault(*control);
  std::optional<ByteBuffer> body;
  if (answered && control->Status() == 200) body = control->TakeBody();
  CloseTransfer(control);
  return body;
}

std::string HttpTransport::HttpGetText(std::string_view remote_path, DateValue& last_modified) {
  const auto body = Get(remote_path, DataType::Text, last_modified);
  return body ? DecodeDocumentText(body->view()) : std::string();
}

std::optional<std::string> HttpTransport::HttpGetRaw(std::string_view remote_path) {
  // The index, and the few kilobytes of a document it vouches for: every
  // operation waits for them, so they get 60 seconds in all.
  constexpr long kRawSeconds = 60;
  std::unique_ptr<Inet> control = Transfer(kRawSeconds);
  control->Document = std::string(remote_path);
  const bool answered = control->OpenURL(GetUrl(control->RemoteHost, control->Document), DataType::Text);
  std::optional<std::string> body;
  if (answered && control->Status() == 200) body = std::string(control->TakeBody().view());
  CloseTransfer(control);
  return body;
}

RawReply HttpTransport::HttpGetConditional(std::string_view remote_path, const Validators& ask) {
  // Every operation waits for the index: 15 seconds to its first byte and
  // 60 in all, after which the repository counts as unreachable.
  constexpr long kIndexSeconds = 60;
  constexpr long kIndexFirstByte = 15;
  TransferLimits limits = transfer_;
  limits.text_seconds = std::min(limits.text_seconds, kIndexSeconds);
  limits.first_byte_seconds = std::min(limits.first_byte_seconds, kIndexFirstByte);
  std::unique_ptr<Inet> control = NewTransfer(location_, limits);
  control->SetProxy(ChooseProxy(SplitLocation(location_), env_).url);
  control->Document = std::string(remote_path);
  if (!ask.etag.empty()) control->AddRequestHeader("If-None-Match: " + ask.etag);
  if (!ask.last_modified.empty()) control->AddRequestHeader("If-Modified-Since: " + ask.last_modified);
  RawReply reply;
  if (!control->OpenURL(GetUrl(control->RemoteHost, control->Document), DataType::Text)) {
    NoteFault(*control);  // no answer at all: the reason is kept for the caller
  } else {
    reply.status = control->Status();
    if (reply.status == 200) {
      reply.body = std::string(control->TakeBody().view());
      reply.validators = {control->GetHeader("ETAG"), control->GetHeader("LAST-MODIFIED")};
    }
  }
  CloseTransfer(control);
  return reply;
}

ByteBuffer HttpTransport::HttpGetBytes(std::string_view remote_path, DateValue& last_modified) {
  auto body = Get(remote_path, DataType::Bytes, last_modified);
  return body ? std::move(*body) : ByteBuffer::Failed();
}

FetchResult HttpTransport::HttpGetToSink(std::string_view remote_path, DownloadSink& sink,
                                         DateValue& last_modified) {
  std::unique_ptr<Inet> control = Transfer();
  control->Document = std::string(remote_path);
  const FetchResult result = control->OpenURLToSink(GetUrl(control->RemoteHost, control->Document), sink);
  const std::string date = control->GetHeader("LAST-MODIFIED");
  if (!date.empty()) last_modified = ParseHttpDate(date, bias_);
  CloseTransfer(control);
  return result;
}

AsyncRepository* HttpTransport::Asynchronous() {
  if (!async_ && QCoreApplication::instance()) {
    async_ = std::make_unique<HttpAsyncRepository>(location_, bias_, session_, transfer_, env_);
    if (aborted_) async_->AbortRequests();
  }
  return async_.get();
}

std::string HttpTransport::URL() { return NewTransfer(location_, transfer_)->URL(); }

}  // namespace tw
