// Fetching catalogue documents ahead of the walk that needs them: as soon
// as a document arrives, the modules its SETUP names are queued, and their
// documents and file dates are fetched, a bounded number at a time, while
// the walk goes on in its own order. The walk waits only for an answer it
// needs that has not arrived yet, and that one goes to the head of the
// queue. Every module is fetched at most once: the answer, once arrived, is
// handed to the owner, which keeps it for the rest of the run.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/date_value.h"
#include "transport/async_repository.h"

namespace tw {

struct PrefetchRequest {
  std::string key;       // the document's repository path in upper case
  std::string module;    // placeholder form
  std::string document;  // repository path of the catalogue document
  std::string file;      // repository path of the module file
};

struct PrefetchAnswer {
  std::string text;     // the bytes as served, undecoded; "" when the document could not be fetched
  DateValue file_date;  // the zero date when the HEAD gave none
};

class DocumentPrefetch {
 public:
  // Called once per request when its answer is whole; returns the modules
  // the document names, to be fetched next while a walk runs.
  using Arrived = std::function<std::vector<PrefetchRequest>(const PrefetchRequest&, PrefetchAnswer&)>;

  DocumentPrefetch(AsyncRepository& repository, Arrived arrived);
  ~DocumentPrefetch();
  DocumentPrefetch(const DocumentPrefetch&) = delete;
  DocumentPrefetch& operator=(const DocumentPrefetch&) = delete;

  // While a walk runs, what arriving documents name is queued. When the
  // last walk ends, requests not yet started are dropped; those under way
  // still arrive and are kept.
  void BeginWalk();
  void EndWalk();

  // Queued ahead of what was queued before, in this order.
  void Want(const std::vector<PrefetchRequest>& requests);
  // Waits until the request's answer has arrived (and was handed on),
  // starting it first when needed. False when it could not be waited for.
  bool Await(const PrefetchRequest& request);

  bool HasArrived(const std::string& key) const {
    const auto it = entries_.find(key);
    return it != entries_.end() && it->second.arrived;
  }

  size_t HeadsInFlight() const { return heads_in_flight_; }
  size_t GetsInFlight() const { return gets_in_flight_; }

 private:
  struct Entry {
    PrefetchRequest request;
    bool get_started = false, head_started = false;
    bool got = false, headed = false;
    bool arrived = false;
    PrefetchAnswer answer;
  };
  Entry& Add(const PrefetchRequest& request);
  void ToFront(const std::string& key);
  void Pump();
  void StartGet(Entry& entry);
  void StartHead(Entry& entry);
  void Finish(Entry& entry);

  AsyncRepository& repository_;
  Arrived arrived_;
  std::map<std::string, Entry> entries_;
  // Keys in the order their requests are to start; stale ones are skipped.
  std::deque<std::string> get_queue_, head_queue_;
  size_t gets_in_flight_ = 0, heads_in_flight_ = 0;
  int walks_ = 0;
  // Answers that arrive after this object is gone find it expired.
  std::shared_ptr<DocumentPrefetch*> alive_;
};

}  // namespace tw
