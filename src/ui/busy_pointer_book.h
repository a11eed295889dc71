// The nesting of the busy pointer, window by window: a window stays busy
// until every "on" has been matched by an "off", and then gets back exactly
// the pointer it had before its first "on". `Pointer` is whatever the
// toolkit calls a mouse pointer; the book only keeps and hands back copies.
#pragma once

#include <cstdint>
#include <map>
#include <optional>

namespace tw {

template <typename Pointer>
class BusyPointerBook {
 public:
  // The pointer to put on the window after this call; nothing when it
  // keeps the one it has. `current` is the window's pointer now.
  std::optional<Pointer> Change(std::uintptr_t window, const Pointer& current, bool on,
                                const Pointer& busy) {
    auto it = entries_.find(window);
    Entry entry = it != entries_.end() ? it->second : Entry{current, 0};
    if (it != entries_.end()) entries_.erase(it);
    if (on) {
      ++entry.depth;
      entries_.emplace(window, entry);
      return busy;
    }
    if (--entry.depth >= 1) {
      entries_.emplace(window, entry);
      return std::nullopt;
    }
    return entry.saved;
  }

  // Unmatched "on" calls of `window`; 0 when it is not busy.
  int Depth(std::uintptr_t window) const {
    auto it = entries_.find(window);
    return it == entries_.end() ? 0 : it->second.depth;
  }

  // A window that goes while busy must not hand its entry to a later
  // window that happens to get the same handle.
  void Forget(std::uintptr_t window) { entries_.erase(window); }

 private:
  struct Entry {
    Pointer saved;
    int depth = 0;
  };
  std::map<std::uintptr_t, Entry> entries_;
};

}  // namespace tw
