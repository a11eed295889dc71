#include "transport/inet_transfer.h"

#include <curl/curl.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <map>
#include <memory>
#include <vector>
#include <mutex>

#include "common/text.h"

namespace tw {
namespace {

// Transfers run on the calling (window) thread through libcurl's multi
// interface: the loop waits on the transfers' sockets with socket notifiers
// and a timer, so nothing blocks, no thread is started, and connections to
// the repository stay open from one request to the next.
class TransferLoop {
 public:
  TransferLoop() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    multi_ = curl_multi_init();
    curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &TransferLoop::OnSocketChange);
    curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &TransferLoop::OnTimerChange);
    curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Act(CURL_SOCKET_TIMEOUT, 0); });
  }
  ~TransferLoop() { curl_multi_cleanup(multi_); }

  // Performs the prepared handle; the caller's event loop runs meanwhile,
  // taking no user input. The transfer's result.
  CURLcode Perform(CURL* easy) {
    QEventLoop loop;
    Pending pending{easy, &loop, CURLE_OK, false};
    pending_.push_back(&pending);
    curl_multi_add_handle(multi_, easy);
    if (!pending.done) loop.exec(QEventLoop::ExcludeUserInputEvents);
    return pending.result;
  }

 private:
  struct Pending {
    CURL* easy;
    QEventLoop* loop;
    CURLcode result;
    bool done;
  };
  struct Watch {
    std::unique_ptr<QSocketNotifier> read, write;
  };

  static int OnSocketChange(CURL*, curl_socket_t fd, int what, void* self, void*) {
    static_cast<TransferLoop*>(self)->WatchSocket(fd, what);
    return 0;
  }
  static int OnTimerChange(CURLM*, long timeout_ms, void* self) {
    auto* loop = static_cast<TransferLoop*>(self);
    if (timeout_ms < 0) loop->timer_.stop();
    else loop->timer_.start(static_cast<int>(timeout_ms));
    return 0;
  }

  // Notifiers stay with their socket number and are only switched on and
  // off: a request on a kept connection then costs no new objects.
  void WatchSocket(curl_socket_t fd, int what) {
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

  void Act(curl_socket_t fd, int event) {
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
        done->loop->quit();
        break;
      }
    }
  }

  CURLM* multi_;
  QTimer timer_;
  std::map<curl_socket_t, Watch> watches_;
  std::vector<Pending*> pending_;
};

TransferLoop& Transfers() {
  static thread_local TransferLoop loop;
  return loop;
}

}  // namespace

Inet::Inet(TransferLimits limits) : limits_(limits) {}
Inet::~Inet() = default;

std::string Inet::URL() const { return "http://" + RemoteHost + Document; }

std::string Inet::GetHeader(std::string_view name) const {
  for (std::string_view line : Split(headers_, "\r\n")) {
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || !EqualsIgnoreCase(line.substr(0, colon), name)) continue;
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    return std::string(value);
  }
  return {};
}

size_t Inet::OnHeader(char* data, size_t size, size_t count, void* self) {
  auto* inet = static_cast<Inet*>(self);
  std::string_view line(data, size * count);
  // Each response of a redirect chain starts again with its status line;
  // only the final one counts.
  if (StartsWith(line, "HTTP/")) inet->headers_.clear();
  if (inet->headers_.size() + line.size() > 1u << 20) return 0;
  inet->headers_.append(line);
  if (!EndsWith(line, "\r\n")) {
    if (EndsWith(line, "\n")) inet->headers_.pop_back();
    inet->headers_ += "\r\n";
  }
  return size * count;
}

size_t Inet::OnBody(char* data, size_t size, size_t count, void* self) {
  auto* inet = static_cast<Inet*>(self);
  const size_t n = size * count;
  ByteBuffer& body = inet->body_;
  if (inet->type_ == DataType::Text && body.size() + n > inet->limits_.max_text) return 0;
  if (inet->expected_length_ < 0) {
    curl_off_t length = -1;
    curl_easy_getinfo(inet->curl_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    inet->expected_length_ = length;
  }
  // Grow towards the announced length, but never reserve more than a
  // bounded amount beyond what has arrived: the header may lie.
  const size_t needed = body.size() + n;
  if (needed > body.capacity() && inet->expected_length_ > 0) {
    size_t target = needed + inet->limits_.reserve_ahead;
    if (static_cast<unsigned long long>(inet->expected_length_) < target)
      target = std::max(needed, static_cast<size_t>(inet->expected_length_));
    body.Reserve(target);
  }
  return body.Append(data, n) ? n : 0;
}

int Inet::OnProgress(void* self, long long, long long, long long, long long) {
  return static_cast<Inet*>(self)->cancelled_ ? 1 : 0;
}

bool Inet::Perform(const std::string& url) {
  CURL* curl = curl_easy_init();
  if (!curl) return false;
  curl_ = curl;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, limits_.max_redirects);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, limits_.connect_seconds);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, limits_.stall_seconds);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Tarnwick/2.07");
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Inet::OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Inet::OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Inet::OnProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
  // The proxy comes from http_proxy and no_proxy, as libcurl reads them.
  const CURLcode result =
      QCoreApplication::instance() ? Transfers().Perform(curl) : curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(curl);
  curl_ = nullptr;
  status_ = result == CURLE_OK ? status : 0;
  return result == CURLE_OK;
}

bool Inet::OpenURL(const std::string& url, DataType type) {
  type_ = type;
  headers_.clear();
  body_ = ByteBuffer();
  status_ = 0;
  expected_length_ = -1;
  return Perform(url);
}

std::unique_ptr<Inet> NewTransfer(const std::string& location, TransferLimits limits) {
  auto control = std::make_unique<Inet>(limits);
  control->RemoteHost = location;
  return control;
}

void CloseTransfer(std::unique_ptr<Inet>& control) {
  if (!control) return;
  control->Cancel();
  control.reset();
}

}  // namespace tw
