#include "transport/network/transfer_loop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <mutex>

#include "transport/async_repository.h"

namespace tw {

TransferLoop::TransferLoop() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  multi_ = curl_multi_init();
  curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &TransferLoop::OnSocketChange);
  curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
  curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &TransferLoop::OnTimerChange);
  curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
  // Transfers in flight together share these connections to the
  // repository, busy and kept alike.
  curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(kGetConnections));
  curl_multi_setopt(multi_, CURLMOPT_MAXCONNECTS, static_cast<long>(kGetConnections));
  timer_.setSingleShot(true);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Act(CURL_SOCKET_TIMEOUT, 0); });
}

TransferLoop::~TransferLoop() { curl_multi_cleanup(multi_); }

CURLcode TransferLoop::Perform(CURL* easy) {
  QEventLoop loop;
  Pending pending{easy, &loop, CURLE_OK, false, {}};
  pending_.push_back(&pending);
  curl_multi_add_handle(multi_, easy);
  if (!pending.done) loop.exec();
  return pending.result;
}

void TransferLoop::Start(CURL* easy, std::function<void(CURLcode)> done) {
  auto* pending = new Pending{easy, nullptr, CURLE_OK, false, std::move(done)};
  pending_.push_back(pending);
  curl_multi_add_handle(multi_, easy);
  // libcurl starts the transfer from its timer.
}

int TransferLoop::OnSocketChange(CURL*, curl_socket_t fd, int what, void* self, void*) {
  static_cast<TransferLoop*>(self)->WatchSocket(fd, what);
  return 0;
}

int TransferLoop::OnTimerChange(CURLM*, long timeout_ms, void* self) {
  auto* loop = static_cast<TransferLoop*>(self);
  if (timeout_ms < 0) loop->timer_.stop();
  else loop->timer_.start(static_cast<int>(timeout_ms));
  return 0;
}

// Notifiers stay with their socket number and are only switched on and
// off: a request on a kept connection then costs no new objects.
void TransferLoop::WatchSocket(curl_socket_t fd, int what) {
  Watch& watch = watches_[fd];
  auto set = [&](std::unique_ptr<QSocketNotifier>& notifier, QSocketNotifier::Type type, bool wanted,
                 int event) {
    if (wanted && !notifier) {
      notifier = std::make_unique<QSocketNotifier>(fd, type);
      QObject::connect(notifier.get(), &QSocketNotifier::activated, [this, fd, event] { Act(fd, event); });
    }
    if (notifier && notifier->isEnabled() != wanted) notifier->setEnabled(wanted);
  };
  const bool gone = what == CURL_POLL_REMOVE;
  set(watch.read, QSocketNotifier::Read, !gone && (what & CURL_POLL_IN), CURL_CSELECT_IN);
  set(watch.write, QSocketNotifier::Write, !gone && (what & CURL_POLL_OUT), CURL_CSELECT_OUT);
}

void TransferLoop::Act(curl_socket_t fd, int event) {
  int running = 0;
  curl_multi_socket_action(multi_, fd, event, &running);
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
    if (message->msg != CURLMSG_DONE) continue;
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
      if ((*it)->easy != message->easy_handle) continue;
      Pending* done = *it;
      done->result = message->data.result;
      done->done = true;
      curl_multi_remove_handle(multi_, done->easy);
      pending_.erase(it);
      if (done->loop) {
        done->loop->quit();
      } else {
        const std::unique_ptr<Pending> owned(done);
        owned->on_done(owned->result);
      }
      break;
    }
  }
}

TransferLoop& Transfers() {
  static thread_local TransferLoop loop;
  return loop;
}

}  // namespace tw
