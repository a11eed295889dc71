// Automation calls served one at a time, in the order they arrived. A call
// waits on the event loop for the network, and meanwhile the bus hands in
// the next call: run at once, it would see the first one half done (install
// the same module twice, answer before the earlier caller). Queued, each
// call sees everything the calls before it did.
#pragma once

#include <deque>
#include <functional>

namespace tw {

class CallQueue {
 public:
  using Call = std::function<void()>;

  // Runs `call` now when nothing runs and the queue is open; otherwise it
  // waits its turn. Safe to use from inside a running call.
  void Submit(Call call);
  // Calls wait until the program's own start-up (its self-update) has
  // ended; this lets them run, the waiting ones first, in order.
  void Open();

  bool IsOpen() const { return open_; }
  // Open, nothing running, nothing waiting.
  bool Idle() const { return open_ && !running_ && waiting_.empty(); }
  // Told each time the queue becomes idle.
  void OnIdle(std::function<void()> handler) { on_idle_ = std::move(handler); }

 private:
  void RunWaiting();

  std::deque<Call> waiting_;
  bool open_ = false;
  bool running_ = false;
  std::function<void()> on_idle_;
};

}  // namespace tw
