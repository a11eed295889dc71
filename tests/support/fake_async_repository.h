// Requests in flight together over a FakeRepository: each is answered by
// the repository under it, in an order a seed chooses, when the caller
// waits. Counts how many were in flight at once.
#pragma once

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "support/fake_repository.h"
#include "transport/async_repository.h"

namespace tw::testing {

class FakeAsyncRepository : public AsyncRepository {
 public:
  // Becomes `repository`'s asynchronous side.
  FakeAsyncRepository(FakeRepository& repository, unsigned seed);

  void StartGetText(std::string_view remote_path, TextDone done) override;
  void StartHead(std::string_view remote_path, HeadDone done) override;
  void WaitForAny() override;
  size_t InFlight() const override { return pending_.size(); }

  size_t most_in_flight = 0, most_heads = 0, most_gets = 0;
  int waits = 0;
  // Runs before each answer, with the request it answers ("GET path").
  std::function<void(const std::string&)> before_answer;

 private:
  struct Pending {
    bool head;
    std::string path;
    TextDone text_done;
    HeadDone head_done;
  };
  void Started();

  FakeRepository& repository_;
  std::mt19937 random_;
  std::vector<Pending> pending_;
};

}  // namespace tw::testing
