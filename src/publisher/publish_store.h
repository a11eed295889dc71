// The vendor's own record of what was published, kept away from the web
// root: the last index and its serial. A repository whose index differs
// from this copy was changed by someone else, and nothing is signed on top
// of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tw::publisher {

struct StoredState {
  std::optional<std::string> index;  // the bytes last published
  std::uint64_t serial = 0;
};

// `option`: the folder of --store, or "" for
// $XDG_DATA_HOME/tarnwick-publish/<name> (~/.local/share when unset).
std::string StoreFolder(const std::string& option, const std::string& name);

StoredState LoadStore(const std::string& folder);
// "" on success, else an Italian description of the failure.
std::string SaveStore(const std::string& folder, const std::string& index, std::uint64_t serial);

}  // namespace tw::publisher
