#include "support/fake_repository.h"

#include <algorithm>
#include <functional>

namespace tw::testing {

void FakeRepository::Put(const std::string& path, std::string content, DateValue last_modified) {
  resources[path] = Resource{std::move(content), last_modified};
}

void FakeRepository::PutDocument(const std::string& module_path, std::string text) {
  Put(module_path + ".ini", std::move(text));
}

void FakeRepository::Publish(const std::string& module_path, std::string document, DateValue date) {
  PutDocument(module_path, std::move(document));
  Put(module_path, "contenuto " + module_path, date);
}

const FakeRepository::Resource* FakeRepository::Find(std::string_view path) {
  ++requests[std::string(path)];
  if (!reachable) return nullptr;
  auto it = resources.find(std::string(path));
  return it == resources.end() ? nullptr : &it->second;
}

bool FakeRepository::HttpHead(std::string_view remote_path, DateValue& last_modified) {
  ++heads;
  log.push_back("HEAD " + std::string(remote_path));
  const Resource* r = Find(remote_path);
  if (!r || r->last_modified.IsZero()) return false;
  last_modified = r->last_modified;
  return true;
}

std::string FakeRepository::HttpGetText(std::string_view remote_path, DateValue& last_modified) {
  ++gets;
  log.push_back("GET " + std::string(remote_path));
  const Resource* r = Find(remote_path);
  if (!r) return {};
  if (!r->last_modified.IsZero()) last_modified = r->last_modified;
  return r->content;
}

ByteBuffer FakeRepository::HttpGetBytes(std::string_view remote_path, DateValue& last_modified) {
  ++gets;
  log.push_back("GET " + std::string(remote_path));
  const Resource* r = Find(remote_path);
  if (!r) return ByteBuffer::Failed();
  if (!r->last_modified.IsZero()) last_modified = r->last_modified;
  return ByteBuffer(r->content);
}

RawReply FakeRepository::HttpGetConditional(std::string_view remote_path, const Validators& ask) {
  ++gets;
  log.push_back((ask.Empty() ? "GET " : "GET? ") + std::string(remote_path));
  const Resource* r = Find(remote_path);
  RawReply reply;
  if (!reachable) return reply;
  const auto etag = [](const std::string& content) {
    return "\"" + std::to_string(content.size()) + "-" + std::to_string(std::hash<std::string>{}(content)) + "\"";
  };
  if (stray_not_modified > 0) {
    --stray_not_modified;
    reply.status = 304;
  } else if (!r) {
    reply.status = 404;
  } else if (!ask.etag.empty() && ask.etag == etag(r->content)) {
    reply.status = 304;
  } else {
    reply = {200, r->content, {etag(r->content), ""}};
  }
  return reply;
}

FetchResult FakeRepository::HttpGetToSink(std::string_view remote_path, DownloadSink& sink,
                                          DateValue& last_modified) {
  ++gets;
  const Resource* r = Find(remote_path);
  if (!r) return reachable ? FetchResult::NotFound : FetchResult::Failed;
  if (!r->last_modified.IsZero()) last_modified = r->last_modified;
  const std::string& content = r->content;
  if (!sink.Begin(static_cast<long long>(content.size()))) return FetchResult::SinkRefused;
  const size_t piece = content.size() / 3 + 1;
  for (size_t at = 0; at < content.size(); at += piece) {
    if (sink.Cancelled()) return FetchResult::Cancelled;
    const size_t n = std::min(piece, content.size() - at);
    if (!sink.Write({reinterpret_cast<const std::uint8_t*>(content.data()) + at, n}))
      return FetchResult::SinkRefused;
  }
  return FetchResult::Done;
}

}  // namespace tw::testing
