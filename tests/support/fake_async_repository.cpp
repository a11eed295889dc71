#include "support/fake_async_repository.h"

#include <algorithm>

namespace tw::testing {

FakeAsyncRepository::FakeAsyncRepository(FakeRepository& repository, unsigned seed)
    : repository_(repository), random_(seed) {
  repository.async = this;
}

void FakeAsyncRepository::Started() {
  size_t heads = 0;
  for (const Pending& p : pending_) heads += p.head ? 1 : 0;
  most_in_flight = std::max(most_in_flight, pending_.size());
  most_heads = std::max(most_heads, heads);
  most_gets = std::max(most_gets, pending_.size() - heads);
}

void FakeAsyncRepository::StartGetText(std::string_view remote_path, TextDone done) {
  pending_.push_back({false, std::string(remote_path), std::move(done), {}});
  Started();
}

void FakeAsyncRepository::StartHead(std::string_view remote_path, HeadDone done) {
  pending_.push_back({true, std::string(remote_path), {}, std::move(done)});
  Started();
}

void FakeAsyncRepository::WaitForAny() {
  ++waits;
  if (pending_.empty()) return;
  // Mostly the oldest first, as a server would, but any may overtake.
  const size_t at = random_() % 3 == 0 ? random_() % pending_.size() : 0;
  Pending p = std::move(pending_[at]);
  pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(at));
  if (before_answer) before_answer((p.head ? "HEAD " : "GET ") + p.path);
  if (p.head) {
    HeadAnswer answer;
    DateValue date;
    const DateValue unset(-1);
    date = unset;
    answer.ok = repository_.HttpHead(p.path, date);
    if (date.Serial() != unset.Serial()) answer.last_modified = date;
    p.head_done(answer);
  } else {
    DateValue unused;
    p.text_done(repository_.HttpGetText(p.path, unused));
  }
}

}  // namespace tw::testing
