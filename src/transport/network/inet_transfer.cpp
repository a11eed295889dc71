#include "transport/network/inet_transfer.h"

#include <curl/curl.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "common/text.h"
#include "transport/repository_location.h"
#include "transport/async_repository.h"
#include "transport/network/transfer_loop.h"

namespace tw {

Inet::Inet(TransferLimits limits) : limits_(limits) {}
Inet::~Inet() = default;

std::string Inet::URL() const { return LocationUrl(RemoteHost) + Document; }

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

bool Inet::TooSlow() {
  const auto now = std::chrono::steady_clock::now();
  if (small_answer_ && headers_.empty() && arrived_ == 0 &&
      now - started_ >= std::chrono::seconds(limits_.first_byte_seconds)) {
    stopped_ = FetchResult::TooSlow;
    return true;
  }
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
  }
  for (const std::string& line : extra_headers_) request_headers_ = curl_slist_append(request_headers_, line.c_str());
  if (request_headers_) curl_easy_setopt(curl, CURLOPT_HTTPHEADER, request_headers_);
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
  window_start_ = started_ = std::chrono::steady_clock::now();
  window_bytes_ = arrived_ = 0;
  small_answer_ = small_answer;
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
  result_ = code;
  took_ = std::chrono::steady_clock::now() - started_;
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
  result_ = 0;
  stopped_.reset();
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

void Inet::Abort() {
  cancelled_ = true;
  // Unpausing asks libcurl to run the transfer now, and its progress
  // check then ends it; otherwise a silent server keeps it asleep until
  // the next timer.
  if (curl_) curl_easy_pause(curl_, CURLPAUSE_CONT);
}

std::optional<ReadFault> Inet::Fault() const {
  const auto result = static_cast<CURLcode>(result_);
  if (result == CURLE_OK) {
    if (status_ == 200) return std::nullopt;
    return ReadFault{ReadFaultKind::HttpStatus, status_};
  }
  const long waited = static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(took_).count());
  switch (result) {
    case CURLE_COULDNT_CONNECT:
      return ReadFault{ReadFaultKind::Refused, result_};
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return ReadFault{ReadFaultKind::NameNotResolved, result_};
    case CURLE_OPERATION_TIMEDOUT:
      return ReadFault{ReadFaultKind::NoAnswer, waited};
    case CURLE_ABORTED_BY_CALLBACK:
      // Our own low-speed window ends a silent server's transfer this way.
      if (stopped_ == FetchResult::TooSlow) return ReadFault{ReadFaultKind::NoAnswer, waited};
      if (cancelled_) return ReadFault{ReadFaultKind::Aborted, result_};
      return ReadFault{ReadFaultKind::Other, result_};
    default:
      return ReadFault{ReadFaultKind::Other, result_};
  }
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
