// The body of a download handed to a sink as it arrives: a fresh body, a
// range that continues held bytes, and the bounds every piece is held to.
#include <curl/curl.h>

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

#include "common/text.h"
#include "transport/network/inet_transfer.h"

namespace tw {

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

}  // namespace tw
