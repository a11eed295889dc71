#include "transport/inet_transfer.h"

#include <curl/curl.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <mutex>
#include <thread>

#include "common/text.h"

namespace tw {
namespace {

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
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
  GlobalInit();
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
  const CURLcode result = curl_easy_perform(curl);
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
  if (!QCoreApplication::instance()) return Perform(url);
  bool ok = false;
  QEventLoop loop;
  std::thread worker([&] {
    ok = Perform(url);
    QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
  });
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  worker.join();
  return ok;
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
