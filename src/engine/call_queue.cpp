#include "engine/call_queue.h"

#include <utility>

namespace tw {

void CallQueue::Submit(Call call) {
  waiting_.push_back(std::move(call));
  RunWaiting();
}

void CallQueue::Open() {
  open_ = true;
  RunWaiting();
}

void CallQueue::RunWaiting() {
  // A call submitted while another runs lands here from inside that call's
  // wait: it only queues, and the outer loop below runs it afterwards.
  if (!open_ || running_) return;
  running_ = true;
  while (!waiting_.empty()) {
    Call call = std::move(waiting_.front());
    waiting_.pop_front();
    call();
  }
  running_ = false;
  if (on_idle_) on_idle_();
}

}  // namespace tw
