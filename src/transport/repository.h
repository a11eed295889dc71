// The update repository as the logic sees it: HEAD and GET of remote paths
// (repository form: "/eseguibili/prog.exe") below the configured location.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/byte_buffer.h"
#include "common/date_value.h"
#include "transport/download_sink.h"
#include "transport/read_fault.h"

namespace tw {

class AsyncRepository;

// What a conditional GET asks with, and what a reply hands back to ask
// with next time: the resource's ETag and Last-Modified, verbatim.
struct Validators {
  std::string etag;
  std::string last_modified;
  bool Empty() const { return etag.empty() && last_modified.empty(); }
};

struct RawReply {
  long status = 0;  // 0: no answer came (refused, silent, stalled, too large)
  std::string body;  // with 200, exactly as served
  Validators validators;
};

class Repository {
 public:
  virtual ~Repository() = default;

  // True when the resource answers status 200 with a Last-Modified header.
  // `last_modified` is written whenever the reply carries that header (even
  // with another status) and left alone otherwise.
  virtual bool HttpHead(std::string_view remote_path, DateValue& last_modified) = 0;

  // The body as text when the status is 200, else "". `last_modified` is
  // written when the reply carries a non-empty Last-Modified header.
  virtual std::string HttpGetText(std::string_view remote_path, DateValue& last_modified) = 0;

  // The body as bytes when the status is 200, else one byte of value 0:
  // callers treat fewer than two bytes as a failed download.
  virtual ByteBuffer HttpGetBytes(std::string_view remote_path, DateValue& last_modified) = 0;

  // A module file streamed into `sink` as it arrives; `last_modified` is
  // written as HttpGetText writes it. Catalogue documents go through
  // HttpGetText.
  virtual FetchResult HttpGetToSink(std::string_view remote_path, DownloadSink& sink,
                                    DateValue& last_modified) = 0;

  // "http://" + the repository location, for the log.
  virtual std::string URL() = 0;

  // A catalogue document and the date of the file it describes: the text
  // as HttpGetText gives it, and `file_date` written as HttpHead writes it.
  // A repository that can runs both requests at once.
  virtual std::string HttpGetTextAndHead(std::string_view document_path, std::string_view file_path,
                                         DateValue& file_date) {
    DateValue unused;
    std::string text = HttpGetText(document_path, unused);
    HttpHead(file_path, file_date);
    return text;
  }

  // The same with the document's bytes exactly as the repository served
  // them, undecoded: a signature covers those bytes. A repository that has
  // only the text hands the text.
  virtual std::string HttpGetDocumentAndHead(std::string_view document_path, std::string_view file_path,
                                             DateValue& file_date) {
    return HttpGetTextAndHead(document_path, file_path, file_date);
  }

  // The body exactly as served when the status is 200 (the repository's
  // index, a document judged by it); nothing otherwise. A repository that
  // has only the byte form hands that.
  virtual std::optional<std::string> HttpGetRaw(std::string_view remote_path) {
    DateValue unused;
    const ByteBuffer bytes = HttpGetBytes(remote_path, unused);
    if (bytes.size() < 2) return std::nullopt;
    return std::string(bytes.view());
  }

  // The repository's index: a GET with If-None-Match / If-Modified-Since
  // from `ask` (none when empty), so an unchanged index is a 304. A
  // repository that cannot ask conditionally fetches the whole body, and
  // one that has only HttpGetRaw tells no answer from a missing file.
  virtual RawReply HttpGetConditional(std::string_view remote_path, const Validators& /*ask*/) {
    RawReply reply;
    std::optional<std::string> body = HttpGetRaw(remote_path);
    reply.status = body ? 200 : 404;
    if (body) reply.body = std::move(*body);
    return reply;
  }

  // The same repository with requests in flight together, when this one
  // offers that; the catalogue then fetches ahead of its walk.
  virtual AsyncRepository* Asynchronous() { return nullptr; }

  // The first catalogue document since the last call that could not be
  // read (any status but 200 counts), and why; nothing when every one was
  // read. Once taken, it is forgotten.
  virtual std::optional<ReadFault> TakeReadFault() { return std::nullopt; }

  // Why the last HttpHead answered false; nothing after one that answered
  // true (a reply without Last-Modified counts as its status).
  virtual std::optional<ReadFault> LastHeadFault() { return std::nullopt; }

  // Ends every request under way at once and fails every later one without
  // asking the repository: the program is closing and waits for nothing.
  virtual void AbortRequests() {}
};

}  // namespace tw
