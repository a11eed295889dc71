// A repository held in memory, counting the requests it answers.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "transport/repository.h"

namespace tw::testing {

// An installed copy's date, and a later one the repository reports.
inline const DateValue kOld = DateValue::FromCalendar(2020, 1, 1, 12, 0, 0);
inline const DateValue kNew = DateValue::FromCalendar(2021, 1, 1, 12, 0, 0);

class FakeRepository : public Repository {
 public:
  struct Resource {
    std::string content;
    DateValue last_modified;  // the zero date: no Last-Modified header
  };

  // `path` in repository form ("/eseguibili/prog.exe").
  void Put(const std::string& path, std::string content, DateValue last_modified = DateValue());
  // The catalogue document of `module_path` (repository form, without ".ini").
  void PutDocument(const std::string& module_path, std::string text);
  // A module: its document, and its file ("contenuto " + path) with `date`.
  void Publish(const std::string& module_path, std::string document, DateValue date);

  bool HttpHead(std::string_view remote_path, DateValue& last_modified) override;
  std::string HttpGetText(std::string_view remote_path, DateValue& last_modified) override;
  ByteBuffer HttpGetBytes(std::string_view remote_path, DateValue& last_modified) override;
  // The content in three pieces, the sink asked before each whether to stop.
  FetchResult HttpGetToSink(std::string_view remote_path, DownloadSink& sink,
                            DateValue& last_modified) override;
  // 304 when `ask` carries the resource's ETag (its content's length and
  // hash) or when `stray_not_modified` is left; status 0 when unreachable.
  RawReply HttpGetConditional(std::string_view remote_path, const Validators& ask) override;
  std::string URL() override { return "http://fake/base"; }
  AsyncRepository* Asynchronous() override { return async; }

  std::map<std::string, Resource> resources;
  bool reachable = true;
  int stray_not_modified = 0;  // 304s answered whatever was asked, as a broken proxy might
  int heads = 0, gets = 0;
  std::map<std::string, int> requests;  // per path, HEADs and GETs together
  std::vector<std::string> log;         // "HEAD path" / "GET path", in order
  AsyncRepository* async = nullptr;     // set by a FakeAsyncRepository over this one

 private:
  const Resource* Find(std::string_view path);
};

}  // namespace tw::testing
