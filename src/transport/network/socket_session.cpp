#include "transport/network/socket_session.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>
#include <cerrno>

#include "transport/head_reply.h"

namespace tw {
namespace {

bool IsAddressLiteral(const std::string& host) {
  in6_addr scratch{};
  return ::inet_pton(AF_INET, host.c_str(), &scratch) == 1 ||
         ::inet_pton(AF_INET6, host.c_str(), &scratch) == 1;
}

}  // namespace

FormSCK::FormSCK(SessionLimits limits, ConnectCall connect_call)
    : limits_(limits), connect_call_(connect_call) {
  tmrTimeOut.setSingleShot(true);
  session_limit_.setSingleShot(true);
  tmrTimeOut.setTimerType(Qt::PreciseTimer);
  session_limit_.setTimerType(Qt::PreciseTimer);
  connect(&tmrTimeOut, &QTimer::timeout, this, [this] { OnTimer(); });
  connect(&session_limit_, &QTimer::timeout, this, [this] { OnTimer(); });
}

FormSCK::~FormSCK() {
  if (lookup_id_ >= 0) QHostInfo::abortHostLookup(lookup_id_);
  CloseSocket();
}

std::string FormSCK::getInfoUrl(const std::string& parHost, int port, const std::string& parInfo) {
  Start(parHost, port, parInfo);
  return Wait();
}

void FormSCK::Start(const std::string& parHost, int port, const std::string& parInfo) {
  strCommand = parInfo + "\r\n\r\n";
  port_ = port;
  state_ = "START";
  fault_.reset();
  started_ = std::chrono::steady_clock::now();
  tmrTimeOut.start(limits_.step);
  session_limit_.start(limits_.total);
  if (port <= 0 || port > 65535 || parHost.empty()) {
    OnError();
  } else if (IsAddressLiteral(parHost)) {
    Resolved({parHost});
  } else {
    // The look-up runs on Qt's resolver thread; the waiting loop stays live.
    lookup_id_ = QHostInfo::lookupHost(QString::fromStdString(parHost), this,
                                       [this](const QHostInfo& info) {
                                         lookup_id_ = -1;
                                         std::vector<std::string> found;
                                         for (const QHostAddress& a : info.addresses())
                                           found.push_back(a.toString().toStdString());
                                         Resolved(std::move(found));
                                       });
  }
}

std::string FormSCK::Wait() {
  if (!state_.empty()) {
    QEventLoop loop;
    loop_ = &loop;
    loop.exec();
    loop_ = nullptr;
  }
  return strReceived;
}

void FormSCK::Resolved(std::vector<std::string> addresses) {
  if (state_ != "START") return;
  if (addresses.empty()) fault_ = ReadFault{ReadFaultKind::NameNotResolved, 0};
  addresses_ = std::move(addresses);
  next_address_ = 0;
  ConnectNext();
}

void FormSCK::ConnectNext() {
  CloseSocket();
  while (next_address_ < addresses_.size()) {
    const std::string& address = addresses_[next_address_++];
    sockaddr_storage target{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&target);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&target);
    if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
      v4->sin_family = AF_INET;
      v4->sin_port = htons(static_cast<uint16_t>(port_));
      length = sizeof *v4;
    } else if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
      v6->sin6_family = AF_INET6;
      v6->sin6_port = htons(static_cast<uint16_t>(port_));
      length = sizeof *v6;
    } else {
      continue;
    }
    fd_ = ::socket(target.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) continue;
    const int rc = connect_call_(fd_, reinterpret_cast<sockaddr*>(&target), length);
    if (rc == 0) return OnConnect();  // a local host may accept at once
    if (errno == EINPROGRESS) return WatchWritable();
    fault_ = ReadFault{errno == ECONNREFUSED ? ReadFaultKind::Refused : ReadFaultKind::Other, errno};
    CloseSocket();
  }
  OnError();
}

void FormSCK::OnWritable() {
  if (state_ == "START") {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
      fault_ = ReadFault{error == ECONNREFUSED ? ReadFaultKind::Refused : ReadFaultKind::Other, error};
      ConnectNext();  // refused here: try the host's next address, if any
      return;
    }
    OnConnect();
  } else if (state_ == "SENDCOMMAND") {
    SendSome();
  }
}

void FormSCK::OnConnect() {
  RestartTimer();
  state_ = "CONNESSO";  // passed through at once: the request goes out now
  state_ = "SENDCOMMAND";
  sent_ = 0;
  SendSome();
}

void FormSCK::SendSome() {
  while (sent_ < strCommand.size()) {
    const ssize_t n = ::send(fd_, strCommand.data() + sent_, strCommand.size() - sent_, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return WatchWritable();
    if (n < 0) return OnError();
    sent_ += static_cast<size_t>(n);
  }
  OnSendComplete();
}

// The socket's buffer is full: go on when it takes more. A connection
// that was made at once has no notifier yet, and without one the rest of
// the request would wait for the guard's time-out.
void FormSCK::WatchWritable() {
  if (!write_notifier_) {
    write_notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Write);
    connect(write_notifier_.get(), &QSocketNotifier::activated, this, [this] { OnWritable(); });
  }
  write_notifier_->setEnabled(true);
}

void FormSCK::OnSendComplete() {
  RestartTimer();
  if (state_ != "SENDCOMMAND") return;
  state_ = "WAITDATA";
  if (write_notifier_) {
    write_notifier_->setEnabled(false);
    retired_.push_back(std::move(write_notifier_));
  }
  read_notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
  connect(read_notifier_.get(), &QSocketNotifier::activated, this, [this] { OnDataArrival(); });
}

void FormSCK::OnDataArrival() {
  if (state_ != "WAITDATA") return;
  // Each arrival restarts the guard, so a host that trickles or falls
  // silent after its first bytes still ends the session.
  RestartTimer();
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n < 0) return OnError();
    if (n == 0) return OnClose();
    switch (CollectHeadReply(strReceived, {buffer, static_cast<size_t>(n)}, limits_.max_reply)) {
      case ReplyProgress::Complete: return End(true);
      case ReplyProgress::TooLarge: return End(false);
      case ReplyProgress::More: break;
    }
  }
}

void FormSCK::OnClose() { End(true); }
void FormSCK::OnError() {
  if (!fault_) fault_ = ReadFault{ReadFaultKind::Other, errno};
  End(false);
}

void FormSCK::OnTimer() {
  const auto waited = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started_);
  fault_ = ReadFault{ReadFaultKind::NoAnswer, static_cast<long>(waited.count())};
  End(false);
}

void FormSCK::Abort() {
  if (state_.empty()) return;
  fault_ = ReadFault{ReadFaultKind::Aborted, 0};
  End(false);
}

void FormSCK::End(bool keep_reply) {
  if (state_.empty()) return;
  tmrTimeOut.stop();
  session_limit_.stop();
  CloseSocket();
  if (!keep_reply) strReceived.clear();
  state_.clear();
  if (loop_) loop_->quit();
  if (OnEnd) {
    const auto ended = std::move(OnEnd);
    OnEnd = nullptr;
    ended();
  }
}

void FormSCK::CloseSocket() {
  // A notifier may be the one whose signal is running: it is disabled now
  // and deleted with the session.
  for (auto* notifier : {&read_notifier_, &write_notifier_}) {
    if (*notifier) {
      (*notifier)->setEnabled(false);
      retired_.push_back(std::move(*notifier));
    }
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void FormSCK::RestartTimer() {
  tmrTimeOut.stop();
  tmrTimeOut.start(limits_.step);
}

}  // namespace tw
