// A repository that hides the inner one's requests in flight together:
// with it the catalogue walks one request at a time, as it did before it
// fetched ahead. Tests and benchmarks compare the two walks.
#pragma once

#include "transport/repository.h"

namespace tw::testing {

class OneAtATime : public Repository {
 public:
  explicit OneAtATime(Repository& inner) : inner_(inner) {}
  bool HttpHead(std::string_view p, DateValue& d) override { return inner_.HttpHead(p, d); }
  std::string HttpGetText(std::string_view p, DateValue& d) override { return inner_.HttpGetText(p, d); }
  ByteBuffer HttpGetBytes(std::string_view p, DateValue& d) override { return inner_.HttpGetBytes(p, d); }
  FetchResult HttpGetToSink(std::string_view p, DownloadSink& s, DateValue& d) override {
    return inner_.HttpGetToSink(p, s, d);
  }
  std::string URL() override { return inner_.URL(); }

 private:
  Repository& inner_;
};

}  // namespace tw::testing
