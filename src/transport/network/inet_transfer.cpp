#include "transport/inet_transfer.h"

#include <curl/curl.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>
#include <mutex>

#include "common/text.h"
#include "transport/repository_location.h"
#include "transport/async_repository.h"

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
    // Transfers in flight together share these connections to the
    // repository, busy and kept alike.
    curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(kGetConnections));
    curl_multi_setopt(multi_, CURLMOPT_MAXCONNECTS, static_cast<long>(kGetConnections));
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Act(CURL_SOCKET_TIMEOUT, 0); });
  }
  ~TransferLoop() { curl_multi_cleanup(multi_); }

  // Performs the prepared handle; the caller's event loop runs meanwhile,
  // user input included (a click on "Annulla" must reach a run that waits
  // here: the callers keep to one run or call at a time themselves). The
  // transfer's result.
  CURLcode Perform(CURL* easy) {
    QEventLoop loop;
    Pending pending{easy, &loop, CURLE_OK, false, {}};
    pending_.push_back(&pending);
    curl_multi_add_handle(multi_, easy);
    if (!pending.done) loop.exec();
    return pending.result;
  }

  // Starts the prepared handle and returns; `done` runs from the event
  // loop when the transfer has ended.
  void Start(CURL* easy, std::function<void(CURLcode)> done) {
    auto* pending = new Pending{easy, nullptr, CURLE_OK, false, std::move(done)};
    pending_.push_back(pending);
    curl_multi_add_handle(multi_, easy);
    // libcurl starts the transfer from its timer.
  }

 private:
  struct Pending {
    CURL* easy;
    QEventLoop* loop;  // none for a transfer started to run on its own
    CURLcode result;
    bool done;
    std::function<void(CURLcode)> on_done;
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

std::string Inet::URL() const { return LocationUrl(RemoteHost) + Document; }

namespace {

// "bytes first-last/total": the first byte, and the count that follows.
std::optional<std::pair<unsigned long long, unsigned long long>> ParseContentRange(std::string_view value) {
  if (!StartsWith(value, "bytes ")) return std::nullopt;
  value.remove_prefix(6);
  const size_t dash = value.find('-'), slash = value.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) return std::nullopt;
  const auto first = ParseInteger(value.substr(0, dash));
  const auto last = ParseInteger(value.substr(dash + 1, slash - dash - 1));
  if (!first || !last || *first < 0 || *last < *first) return std::nullopt;
  return std::make_pair(static_cast<unsigned long long>(*first),
                        static_cast<unsigned long long>(*last - *first + 1));
}

}  // namespace

std::string Inet::GetHeader(std::string_view name) const {
  for (std::string_view line : Split(headers_, "\r\n")) {
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || !EqualsIgnoreCase(line.substr(0, colon), name)) continue;
    std::string_view value = line.substr(colon + 1);
    // Blanks and tabs around a value are no part of it.
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
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
  inet->arrived_ += n;
  if (inet->TooSlow()) return 0;
  if (inet->sink_) return inet->ToSink(data, n) ? n : 0;
  ByteBuffer& body = inet->body_;
  // A body held in memory is bounded like a streamed one: a document by
  // its own bound, bytes by the download bound.
  const unsigned long long bound =
      inet->type_ == DataType::Text ? inet->limits_.max_text : inet->limits_.max_download;
  if (body.size() + n > bound) return 0;
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

bool Inet::StartSinkBody() {
  if (const std::string date = GetHeader("Last-Modified"); !date.empty()) sink_->LastModified(date);
  curl_off_t length = -1;
  curl_easy_getinfo(curl_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  expected_length_ = length;
  if (length >= 0 && static_cast<unsigned long long>(length) > limits_.max_download) {
    stopped_ = FetchResult::TooLarge;
    return false;
  }
  sink_started_ = true;
  if (!sink_->Begin(length)) {
    stopped_ = FetchResult::SinkRefused;
    return false;
  }
  return true;
}

// A 206 is taken only as the very range asked for: the rest of the held
// bytes, to the end of the file, and no more than the maximum in all.
bool Inet::ContinueSinkBody() {
  if (const std::string date = GetHeader("Last-Modified"); !date.empty()) sink_->LastModified(date);
  curl_off_t length = -1;
  curl_easy_getinfo(curl_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  const auto range = ParseContentRange(GetHeader("Content-Range"));
  if (!resume_ || !range || range->first != resume_->offset ||
      (length >= 0 && static_cast<unsigned long long>(length) != range->second)) {
    stopped_ = FetchResult::BadRange;
    return false;
  }
  if (resume_->offset + range->second > limits_.max_download) {
    stopped_ = FetchResult::TooLarge;
    return false;
  }
  expected_length_ = static_cast<long long>(range->second);
  sink_started_ = true;
  if (!sink_->Continue(resume_->offset, expected_length_)) {
    stopped_ = FetchResult::SinkRefused;
    return false;
  }
  return true;
}

bool Inet::ToSink(const char* data, size_t n) {
  if (!sink_started_) {
    long status = 0;
    curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &status);
    if (status == 206) {
      if (!ContinueSinkBody()) return false;
    } else if (status != 200) {
      // An error page is read to its end (bounded), so the connection
      // stays usable, but it is nobody's content.
      discarded_ += n;
      return discarded_ <= limits_.max_text;
    } else if (!StartSinkBody()) {
      return false;
    }
  }
  unsigned long long limit = limits_.max_download;
  if (expected_length_ >= 0) limit = std::min(limit, static_cast<unsigned long long>(expected_length_));
  if (handed_ + n > limit) {
    stopped_ = FetchResult::TooLarge;
    return false;
  }
  if (sink_->Cancelled()) {
    stopped_ = FetchResult::Cancelled;
    return false;
  }
  handed_ += n;
  if (!sink_->Write({reinterpret_cast<const std::uint8_t*>(data), n})) {
    stopped_ = FetchResult::SinkRefused;
    return false;
  }
  return true;
}

bool Inet::TooSlow() {
  const auto now = std::chrono::steady_clock::now();
  if (now - window_start_ < std::chrono::seconds(limits_.low_speed_seconds)) return false;
  if (arrived_ - window_bytes_ < static_cast<unsigned long long>(limits_.low_speed_bytes)) {
    stopped_ = FetchResult::TooSlow;
    return true;
  }
  window_start_ = now;
  window_bytes_ = arrived_;
  return false;
}

int Inet::OnProgress(void* self, long long, long long, long long, long long) {
  auto* inet = static_cast<Inet*>(self);
  if (inet->cancelled_ || (inet->sink_ && inet->sink_->Cancelled())) {
    inet->stopped_ = FetchResult::Cancelled;
    return 1;
  }
  return inet->TooSlow() ? 1 : 0;
}

// libcurl reads no more than the announced length and only mentions, in
// its verbose text, that the server sent more: a body that does not match
// its own header is not to be trusted.
int Inet::OnDebug(void*, int type, char* text, size_t size, void* self) {
  if (type == CURLINFO_TEXT && std::string_view(text, size).starts_with("Excess found"))
    static_cast<Inet*>(self)->excess_ = true;
  return 0;
}

bool Inet::Perform(const std::string& url) {
  CURL* curl = curl_easy_init();
  if (!curl) return false;
  curl_ = curl;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  // A repository reached over TLS is never left for plain HTTP, not even
  // by a redirect.
  const bool tls = StartsWith(ToLower(url.substr(0, 8)), "https://");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, tls ? "https" : "http,https");
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  // libcurl reads only its built-in trust store; SSL_CERT_FILE and
  // SSL_CERT_DIR name another, as they do for OpenSSL's own tools.
  if (const char* file = std::getenv("SSL_CERT_FILE"); file && *file) {
    curl_easy_setopt(curl, CURLOPT_CAINFO, file);
    curl_easy_setopt(curl, CURLOPT_PROXY_CAINFO, file);
  }
  if (const char* dir = std::getenv("SSL_CERT_DIR"); dir && *dir) {
    curl_easy_setopt(curl, CURLOPT_CAPATH, dir);
    curl_easy_setopt(curl, CURLOPT_PROXY_CAPATH, dir);
  }
  if (proxy_) curl_easy_setopt(curl, CURLOPT_PROXY, proxy_->c_str());
  if (head_only_) curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  // Only the bytes after those held, and only while the file is the one
  // they came from: another date brings the whole file.
  request_headers_ = nullptr;
  const std::string range = resume_ ? std::to_string(resume_->offset) + "-" : std::string();
  if (resume_) {
    curl_easy_setopt(curl, CURLOPT_RANGE, range.c_str());
    request_headers_ = curl_slist_append(nullptr, ("If-Range: " + resume_->validator).c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, request_headers_);
  }
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, limits_.max_redirects);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, limits_.connect_seconds);
  // Besides our own low-speed window, libcurl's keeps waking the transfer
  // (and its progress check) while nothing arrives.
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, limits_.low_speed_seconds);
  // Module files may take hours on a slow link; only small answers have a
  // bound on their whole time.
  const bool small_answer = head_only_ || (type_ == DataType::Text && !sink_);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, small_answer ? limits_.text_seconds : 0L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Tarnwick/2.07");
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Inet::OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Inet::OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Inet::OnProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
  if (sink_) {
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, &Inet::OnDebug);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, this);
  }
  window_start_ = std::chrono::steady_clock::now();
  window_bytes_ = arrived_ = 0;
  // Without SetProxy, the proxy comes from the environment, as libcurl
  // reads it.
  if (on_done_) {
    Transfers().Start(curl, [this](CURLcode result) { Finish(result); });
    return true;
  }
  const CURLcode result =
      QCoreApplication::instance() ? Transfers().Perform(curl) : curl_easy_perform(curl);
  return Finish(result);
}

bool Inet::Finish(int code) {
  const auto result = static_cast<CURLcode>(code);
  CURL* curl = curl_;
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(curl);
  curl_slist_free_all(request_headers_);
  request_headers_ = nullptr;
  curl_ = nullptr;
  status_ = result == CURLE_OK ? status : 0;
  if (on_done_) {
    const auto done = std::move(on_done_);
    on_done_ = nullptr;
    done(result == CURLE_OK);
  }
  return result == CURLE_OK;
}

// What one request learns starts afresh for the next.
void Inet::Begin(DataType type, DownloadSink* sink) {
  type_ = type;
  headers_.clear();
  body_ = ByteBuffer();
  status_ = 0;
  expected_length_ = -1;
  sink_ = sink;
  resume_.reset();
  head_only_ = false;
}

bool Inet::OpenHead(const std::string& url) {
  Begin(DataType::Text, nullptr);
  head_only_ = true;
  const bool answered = Perform(url);
  head_only_ = false;
  return answered;
}

void Inet::StartURL(const std::string& url, DataType type, std::function<void(bool answered)> done) {
  Begin(type, nullptr);
  StartTransfer(url, std::move(done));
}

void Inet::StartHead(const std::string& url, std::function<void(bool answered)> done) {
  Begin(DataType::Text, nullptr);
  head_only_ = true;
  StartTransfer(url, std::move(done));
}

void Inet::StartTransfer(const std::string& url, std::function<void(bool)> done) {
  on_done_ = std::move(done);
  if (!Perform(url)) {
    const auto failed = std::move(on_done_);
    on_done_ = nullptr;
    failed(false);
  }
}

bool Inet::OpenURL(const std::string& url, DataType type) {
  Begin(type, nullptr);
  return Perform(url);
}

FetchResult Inet::OpenURLToSink(const std::string& url, DownloadSink& sink) {
  Begin(DataType::Bytes, &sink);
  stopped_.reset();
  sink_started_ = excess_ = false;
  handed_ = discarded_ = 0;
  resume_ = sink.ResumeFrom();
  if (resume_ && (resume_->offset == 0 || resume_->validator.empty())) resume_.reset();
  bool answered = Perform(url);
  // The held bytes are already the whole file (or more than it now has):
  // ask for all of it.
  if (answered && resume_ && status_ == 416 && !sink_started_ && !stopped_) {
    resume_.reset();
    headers_.clear();
    discarded_ = 0;
    answered = Perform(url);
  }
  const bool continued = resume_ && status_ == 206;
  resume_.reset();
  sink_ = nullptr;
  if (stopped_) return *stopped_;
  if (!answered) return FetchResult::Failed;
  if (status_ != 200 && !(continued && sink_started_)) return FetchResult::NotFound;
  if (excess_) return FetchResult::TooLarge;
  if (expected_length_ >= 0 && handed_ != static_cast<unsigned long long>(expected_length_))
    return FetchResult::Failed;
  // An empty body never reached the write callback.
  if (!sink_started_ && !sink.Begin(0)) return FetchResult::SinkRefused;
  return FetchResult::Done;
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
