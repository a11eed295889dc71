// Transfers run on the calling (window) thread through libcurl's multi
// interface: the loop waits on the transfers' sockets with socket notifiers
// and a timer, so nothing blocks, no thread is started, and connections to
// the repository stay open from one request to the next.
#pragma once

#include <curl/curl.h>

#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QEventLoop;

namespace tw {

class TransferLoop {
 public:
  TransferLoop();
  ~TransferLoop();
  TransferLoop(const TransferLoop&) = delete;
  TransferLoop& operator=(const TransferLoop&) = delete;

  // Performs the prepared handle; the caller's event loop runs meanwhile,
  // user input included (a click on "Annulla" must reach a run that waits
  // here: the callers keep to one run or call at a time themselves). The
  // transfer's result.
  CURLcode Perform(CURL* easy);

  // Starts the prepared handle and returns; `done` runs from the event
  // loop when the transfer has ended.
  void Start(CURL* easy, std::function<void(CURLcode)> done);

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

  static int OnSocketChange(CURL*, curl_socket_t fd, int what, void* self, void*);
  static int OnTimerChange(CURLM*, long timeout_ms, void* self);
  void WatchSocket(curl_socket_t fd, int what);
  void Act(curl_socket_t fd, int event);

  CURLM* multi_;
  QTimer timer_;
  std::map<curl_socket_t, Watch> watches_;
  std::vector<Pending*> pending_;
};

// The loop of the calling thread.
TransferLoop& Transfers();

}  // namespace tw
