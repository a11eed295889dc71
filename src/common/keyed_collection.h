// An ordered list whose items may carry a text key. Positions count from 1.
// Keys are compared ignoring letter case and are unique: adding an item
// under a key that is present fails and changes nothing.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/text.h"

namespace tw {

// Hashing and comparing keys without letter case, and without copying.
struct IgnoreCaseHash {
  using is_transparent = void;
  size_t operator()(std::string_view key) const { return HashIgnoreCase(key); }
};
struct IgnoreCaseEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return EqualsIgnoreCase(a, b); }
};

template <typename T>
class KeyedCollection {
 public:
  struct Item {
    std::optional<std::string> key;
    T value;
  };

  // Appends under `key`; false (and nothing changes) when the key is present.
  bool Add(T value, std::string key) {
    if (index_.find(std::string_view(key)) != index_.end()) return false;
    index_.emplace(key, items_.size());
    items_.push_back({std::move(key), std::move(value)});
    return true;
  }

  // Appends an item without a key; never fails.
  void Add(T value) { items_.push_back({std::nullopt, std::move(value)}); }

  const T* Find(std::string_view key) const {
    auto it = index_.find(key);
    return it == index_.end() ? nullptr : &items_[it->second].value;
  }
  T* Find(std::string_view key) {
    return const_cast<T*>(static_cast<const KeyedCollection&>(*this).Find(key));
  }
  bool Contains(std::string_view key) const { return Find(key) != nullptr; }

  bool Remove(std::string_view key) {
    auto it = index_.find(key);
    if (it == index_.end()) return false;
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(it->second));
    Reindex();
    return true;
  }

  size_t Count() const { return items_.size(); }
  bool Empty() const { return items_.empty(); }

  // Position counted from 1, as callers of the collection count.
  const Item& At(size_t position) const { return items_.at(position - 1); }

  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  void Reindex() {
    index_.clear();
    for (size_t i = 0; i < items_.size(); ++i)
      if (items_[i].key) index_.emplace(*items_[i].key, i);
  }

  std::vector<Item> items_;
  std::unordered_map<std::string, size_t, IgnoreCaseHash, IgnoreCaseEqual> index_;
};

}  // namespace tw
