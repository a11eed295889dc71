// The repository's requests started now and answered later, so that many
// can be in flight at once. Answers arrive only from within WaitForAny, on
// the calling thread: nothing runs behind the caller's back.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/date_value.h"

namespace tw {

// Connections to the repository at once, all requests together. GETs keep
// theirs open for the next GET; a HEAD takes one of its own and closes it.
inline constexpr size_t kMaxRepositoryConnections = 16;
// The GETs' share: a HEAD costs its connection's setup and one exchange,
// a GET on a kept connection only the exchange, so HEADs get about twice as
// many.
inline constexpr size_t kGetConnections = 5;
inline constexpr size_t kHeadConnections = kMaxRepositoryConnections - kGetConnections;

struct HeadAnswer {
  bool ok = false;                         // as Repository::HttpHead returns it
  std::optional<DateValue> last_modified;  // when the reply carried the header
};

class AsyncRepository {
 public:
  using TextDone = std::function<void(std::string text)>;
  using HeadDone = std::function<void(const HeadAnswer& answer)>;

  virtual ~AsyncRepository() = default;

  // A catalogue document's bytes as served, undecoded ("" unless status
  // 200): a signature covers those bytes. `done` runs once, from a later
  // WaitForAny.
  virtual void StartGetText(std::string_view remote_path, TextDone done) = 0;
  // The reply to a HEAD as Repository::HttpHead reads it.
  virtual void StartHead(std::string_view remote_path, HeadDone done) = 0;
  // Waits until at least one started request has been answered and its
  // `done` has run; returns at once when none is in flight.
  virtual void WaitForAny() = 0;
  virtual size_t InFlight() const = 0;
};

}  // namespace tw
