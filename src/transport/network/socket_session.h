// FormSCK: one socket session. It sends one request to a host and collects
// the reply; the caller waits by running the event loop, so windows stay
// live and other handlers (a click, a further automation call) run
// meanwhile. The session ends when the host closes the connection, when the
// header block of the reply is complete (a HEAD reply has no body), on a
// socket error, or on a time-out.
#pragma once

#include <sys/socket.h>

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <vector>

#include "transport/read_fault.h"

class QEventLoop;
class QSocketNotifier;

namespace tw {

struct SessionLimits {
  // Allowed for the connection, for sending, and between two arrivals of
  // reply bytes; each step restarts it.
  std::chrono::milliseconds step{15000};
  // Allowed for the whole session, however the host behaves.
  std::chrono::milliseconds total{60000};
  // A reply still without its blank line past this size fails.
  size_t max_reply = 64 * 1024;
};

// How the session connects its non-blocking socket. Some systems connect
// a local host before the call returns, others never do; tests hand in a
// call that always does, to reach that case everywhere.
using ConnectCall = int (*)(int fd, const sockaddr* address, socklen_t length);

class FormSCK : public QObject {
 public:
  explicit FormSCK(SessionLimits limits = {}, ConnectCall connect_call = &::connect);
  ~FormSCK() override;

  // Sends `parInfo` + CR LF CR LF to `parHost` (a name or an address) on
  // `port`; returns the reply text, or "" when the session failed or timed
  // out.
  std::string getInfoUrl(const std::string& parHost, int port, const std::string& parInfo);

  // The same in two halves, so that other work can run between them: Start
  // sends the request and returns at once; Wait runs the event loop until
  // the session has ended and returns what getInfoUrl returns.
  void Start(const std::string& parHost, int port, const std::string& parInfo);
  std::string Wait();
  // Ends the session at once, its reply dropped, as a failure would.
  void Abort();
  // Why the last session ended without a reply; nothing when one came
  // (whatever its status).
  std::optional<ReadFault> Fault() const { return fault_; }

  // "START", "CONNESSO", "SENDCOMMAND", "WAITDATA"; "" when no session runs.
  const std::string& State() const { return state_; }

  std::string strCommand;
  std::string strReceived;
  // Runs once when a started session has ended, its socket closed, for
  // callers that do not Wait. The session must not be destroyed from it.
  std::function<void()> OnEnd;

 private:
  void Resolved(std::vector<std::string> addresses);
  void ConnectNext();
  void OnWritable();
  void OnConnect();
  void SendSome();
  void WatchWritable();
  void OnSendComplete();
  void OnDataArrival();
  void OnClose();
  void OnError();
  void OnTimer();
  void End(bool keep_reply);
  void CloseSocket();
  void RestartTimer();

  SessionLimits limits_;
  ConnectCall connect_call_;
  std::string state_;
  int port_ = 80;
  std::vector<std::string> addresses_;
  size_t next_address_ = 0;
  int fd_ = -1;
  size_t sent_ = 0;
  int lookup_id_ = -1;
  std::unique_ptr<QSocketNotifier> read_notifier_, write_notifier_;
  std::vector<std::unique_ptr<QSocketNotifier>> retired_;
  QTimer tmrTimeOut;
  QTimer session_limit_;
  QEventLoop* loop_ = nullptr;
  std::optional<ReadFault> fault_;
  std::chrono::steady_clock::time_point started_;
};

}  // namespace tw
