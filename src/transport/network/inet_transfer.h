// Inet: the transfer control that fetches one URL with libcurl. While the
// transfer runs, the calling thread waits in an event loop that takes no
// user input, so windows keep repainting during a long download; the
// connection to the repository stays open for the next request. The body
// is kept in one buffer, or handed to a sink piece by piece.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/byte_buffer.h"
#include "transport/download_sink.h"
#include "transport/read_fault.h"

struct curl_slist;

namespace tw {

enum class DataType { Text = 0, Bytes = 1 };

struct TransferLimits {
  // Fewer body bytes than this within `low_speed_seconds`: the transfer
  // fails, so a server that trickles cannot hold us forever.
  long low_speed_bytes = 1024;
  long low_speed_seconds = 60;
  // A body of bytes beyond this fails, streamed or held in memory,
  // whatever length it announces.
  unsigned long long max_download = 4ull << 30;
  long connect_seconds = 15;
  // A catalogue document or a HEAD whose reply has not begun after this
  // fails, as a HEAD on its own socket does: a silent repository delays a
  // walk, and the calls waiting behind it, by about this much.
  long first_byte_seconds = 15;
  // A catalogue document or a HEAD still arriving after this fails. Both
  // are a few kilobytes; a server that sends just enough to pass the speed
  // bound must not hold a walk or an automation call for days.
  long text_seconds = 300;
  long max_redirects = 5;
  size_t max_text = 16u << 20;        // a catalogue document beyond this fails
  size_t reserve_ahead = 32u << 20;   // never reserved beyond what arrived
};

class Inet {
 public:
  explicit Inet(TransferLimits limits = {});
  ~Inet();

  std::string RemoteHost;  // the repository location
  std::string Document;    // the remote path
  // The location's scheme ("http://" unless it names "https://") +
  // RemoteHost + Document
  std::string URL() const;

  // The proxy to use, "" for none; without a call, libcurl reads the
  // environment itself.
  void SetProxy(std::string proxy) { proxy_ = std::move(proxy); }
  // A header line of our own sent with the request ("If-None-Match: ...").
  void AddRequestHeader(std::string line) { extra_headers_.push_back(std::move(line)); }

  // A HEAD of `url`: the status and the headers, no body. False when no
  // response came (a certificate that does not verify included).
  bool OpenHead(const std::string& url);

  // Fetches `url` and waits for the end of the transfer. False when no
  // response came (refused, stalled, too large, cancelled).
  bool OpenURL(const std::string& url, DataType type);
  // Fetches `url` into `sink` as the body arrives; nothing of it is kept
  // here. Status() and the headers are there afterwards as with OpenURL.
  FetchResult OpenURLToSink(const std::string& url, DownloadSink& sink);
  // Starts fetching `url` and returns at once; the event loop carries the
  // transfer beside others, and `done` runs from it at the end (with what
  // OpenURL would have returned). Needs the application's event loop.
  void StartURL(const std::string& url, DataType type, std::function<void(bool answered)> done);
  // The same for a HEAD: the headers are there when `done` runs.
  void StartHead(const std::string& url, std::function<void(bool answered)> done);
  // The header block of the final response, lines ending in CR LF.
  const std::string& GetHeader() const { return headers_; }
  // One header's value of the final response; "" when absent.
  std::string GetHeader(std::string_view name) const;
  long Status() const { return status_; }
  ByteBuffer TakeBody() { return std::move(body_); }

  // Stops a transfer under way (from another handler or thread).
  void Cancel() { cancelled_ = true; }
  // The same from the transfer's own thread, at once: a transfer that
  // waits on a silent server is woken to notice.
  void Abort();

  // Why the last request brought no status 200; nothing when it did.
  std::optional<ReadFault> Fault() const;

 private:
  void Begin(DataType type, DownloadSink* sink);
  static size_t OnHeader(char* data, size_t size, size_t count, void* self);
  static size_t OnBody(char* data, size_t size, size_t count, void* self);
  static int OnProgress(void* self, long long, long long, long long, long long);
  static int OnDebug(void*, int type, char* text, size_t size, void* self);
  bool Perform(const std::string& url);
  void StartTransfer(const std::string& url, std::function<void(bool)> done);
  bool StartSinkBody();
  bool ContinueSinkBody();
  bool Finish(int code);
  bool ToSink(const char* data, size_t n);
  bool TooSlow();

  // The sink's transfer: how it ended, when that is known before libcurl
  // says so, and what was handed on.
  DownloadSink* sink_ = nullptr;
  std::optional<FetchResult> stopped_;
  bool sink_started_ = false;
  bool excess_ = false;
  unsigned long long handed_ = 0;
  unsigned long long discarded_ = 0;
  // The low-speed window: its start and the body bytes seen by then.
  std::chrono::steady_clock::time_point window_start_;
  std::chrono::steady_clock::time_point started_;
  bool small_answer_ = false;
  unsigned long long window_bytes_ = 0;
  unsigned long long arrived_ = 0;

  TransferLimits limits_;
  DataType type_ = DataType::Text;
  std::optional<std::string> proxy_;
  bool head_only_ = false;
  // The range asked of the repository: the sink's held bytes.
  std::optional<ResumePoint> resume_;
  std::vector<std::string> extra_headers_;
  std::string headers_;
  ByteBuffer body_;
  long status_ = 0;
  int result_ = 0;  // libcurl's code for the last request
  std::chrono::steady_clock::duration took_{};
  long long expected_length_ = -1;
  void* curl_ = nullptr;
  // The request's own header lines, kept until the transfer ends.
  ::curl_slist* request_headers_ = nullptr;
  std::function<void(bool)> on_done_;
  std::atomic<bool> cancelled_{false};
};

// A transfer control set to the repository location; closed by
// CloseTransfer, which cancels whatever it still does.
std::unique_ptr<Inet> NewTransfer(const std::string& location, TransferLimits limits = {});
void CloseTransfer(std::unique_ptr<Inet>& control);

}  // namespace tw
