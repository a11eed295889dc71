#include "catalogue/document_prefetch.h"

#include <utility>

namespace tw {

DocumentPrefetch::DocumentPrefetch(AsyncRepository& repository, Arrived arrived)
    : repository_(repository), arrived_(std::move(arrived)), alive_(std::make_shared<DocumentPrefetch*>(this)) {}

DocumentPrefetch::~DocumentPrefetch() { *alive_ = nullptr; }

void DocumentPrefetch::BeginWalk() { ++walks_; }

void DocumentPrefetch::EndWalk() {
  if (walks_ > 0) --walks_;
  if (walks_ > 0) return;
  // A module half started keeps its other half queued: its answer must
  // become whole.
  auto keep = [this](std::deque<std::string>& queue, bool Entry::*other_started, bool Entry::*this_started) {
    std::deque<std::string> kept;
    for (std::string& key : queue) {
      Entry& entry = entries_.at(key);
      if (!(entry.*this_started) && entry.*other_started) kept.push_back(std::move(key));
    }
    queue.swap(kept);
  };
  keep(get_queue_, &Entry::head_started, &Entry::get_started);
  keep(head_queue_, &Entry::get_started, &Entry::head_started);
  // What was never started is forgotten, so that a later walk may ask again.
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (!it->second.get_started && !it->second.head_started) it = entries_.erase(it);
    else ++it;
  }
}

DocumentPrefetch::Entry& DocumentPrefetch::Add(const PrefetchRequest& request) {
  auto [it, added] = entries_.try_emplace(request.key);
  if (added) it->second.request = request;
  return it->second;
}

void DocumentPrefetch::ToFront(const std::string& key) {
  const Entry& entry = entries_.at(key);
  if (!entry.get_started) get_queue_.push_front(key);
  if (!entry.head_started) head_queue_.push_front(key);
}

void DocumentPrefetch::Want(const std::vector<PrefetchRequest>& requests) {
  for (auto it = requests.rbegin(); it != requests.rend(); ++it) {
    const Entry& entry = Add(*it);
    if (!entry.get_started || !entry.head_started) ToFront(it->key);
  }
  Pump();
}

bool DocumentPrefetch::Await(const PrefetchRequest& request) {
  Entry& entry = Add(request);
  if (entry.arrived) return true;
  ToFront(request.key);
  Pump();
  // Handlers run while we wait: the entry stays where it is (map nodes do
  // not move), and its state is read again after every wait.
  while (!entry.arrived) {
    if (repository_.InFlight() == 0) return false;
    repository_.WaitForAny();
  }
  return true;
}

void DocumentPrefetch::Pump() {
  auto next = [this](std::deque<std::string>& queue, bool Entry::*started) -> Entry* {
    while (!queue.empty()) {
      auto it = entries_.find(queue.front());
      queue.pop_front();
      if (it != entries_.end() && !(it->second.*started)) return &it->second;
    }
    return nullptr;
  };
  while (gets_in_flight_ < kGetConnections) {
    Entry* entry = next(get_queue_, &Entry::get_started);
    if (!entry) break;
    StartGet(*entry);
  }
  while (heads_in_flight_ < kHeadConnections) {
    Entry* entry = next(head_queue_, &Entry::head_started);
    if (!entry) break;
    StartHead(*entry);
  }
}

void DocumentPrefetch::StartGet(Entry& entry) {
  entry.get_started = true;
  ++gets_in_flight_;
  std::weak_ptr<DocumentPrefetch*> alive = alive_;
  const std::string key = entry.request.key;
  repository_.StartGetText(entry.request.document, [alive, key](std::string text) {
    const auto self = alive.lock();
    if (!self || !*self) return;
    DocumentPrefetch& prefetch = **self;
    Entry& entry = prefetch.entries_.at(key);
    --prefetch.gets_in_flight_;
    entry.got = true;
    entry.answer.text = std::move(text);
    prefetch.Finish(entry);
  });
}

void DocumentPrefetch::StartHead(Entry& entry) {
  entry.head_started = true;
  ++heads_in_flight_;
  std::weak_ptr<DocumentPrefetch*> alive = alive_;
  const std::string key = entry.request.key;
  repository_.StartHead(entry.request.file, [alive, key](const HeadAnswer& answer) {
    const auto self = alive.lock();
    if (!self || !*self) return;
    DocumentPrefetch& prefetch = **self;
    Entry& entry = prefetch.entries_.at(key);
    --prefetch.heads_in_flight_;
    entry.headed = true;
    if (answer.last_modified) entry.answer.file_date = *answer.last_modified;
    prefetch.Finish(entry);
  });
}

void DocumentPrefetch::Finish(Entry& entry) {
  if (entry.got && entry.headed && !entry.arrived) {
    entry.arrived = true;
    std::vector<PrefetchRequest> named = arrived_(entry.request, entry.answer);
    entry.answer = {};
    if (walks_ > 0) {
      // Named modules not asked for before go ahead of older ones, so the
      // queue follows the walk's depth-first order.
      std::vector<PrefetchRequest> fresh;
      for (PrefetchRequest& request : named)
        if (!entries_.contains(request.key)) fresh.push_back(std::move(request));
      for (auto it = fresh.rbegin(); it != fresh.rend(); ++it) {
        Add(*it);
        ToFront(it->key);
      }
    }
  }
  Pump();
}

}  // namespace tw
