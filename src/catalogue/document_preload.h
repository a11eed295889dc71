// The catalogue documents named by the index kept from the last run, read
// from the cache and parsed on a second core while the repository is asked
// for the index: a start where nothing changed then finds them ready.
//
// The kept index is not trusted for this: a document is found only by the
// digest of its own bytes, and the catalogue takes it only for an entry of
// the ruling index with that digest. The date it is given from the kept
// index is kept only where the ruling index gives the same.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "catalogue/index_gate.h"
#include "catalogue/module_records.h"
#include "platform/openssl/crypto.h"

namespace tw {

class DocumentPreload {
 public:
  // Reads the document with this digest and size from the cache and parses
  // it; nothing when the cache does not hold it whole. `module_date` is the
  // date the kept index gives the document's module file, if any: the
  // loader may date the document with it, saving the walk a copy when the
  // ruling index gives the same. Called from either thread, never for the
  // same digest twice.
  using Loader = std::function<std::shared_ptr<const ModuleINIInfo>(
      const crypto::Sha256Digest&, std::uint64_t size, std::optional<std::int64_t> module_date)>;

  // Runs on the second core once it has been through every document, with
  // those loaded by then: for work the walk would otherwise do from them.
  using Finisher = std::function<void(const std::vector<std::shared_ptr<const ModuleINIInfo>>& documents)>;

  // `index_bytes`: the kept index as it was served, read against `anchors`
  // (which outlive this object).
  DocumentPreload(std::string index_bytes, const TrustAnchors& anchors, Loader loader, Finisher finisher = nullptr);
  // Stops the second core after the document it is on.
  ~DocumentPreload();
  DocumentPreload(const DocumentPreload&) = delete;
  DocumentPreload& operator=(const DocumentPreload&) = delete;

  // The document with this digest, when the kept index listed it (one the
  // second core has not reached yet is loaded now): null when the cache
  // did not hold it whole, nothing when it was not listed.
  std::optional<std::shared_ptr<const ModuleINIInfo>> Take(const crypto::Sha256Digest& digest);

  // The kept index as read here (signature judged, text parsed), once the
  // second core has it; nothing before, so that no one waits for it.
  SharedIndexReading ReadingIfReady() const;

  // The second core is done, the finisher included.
  bool Finished() const { return finished_.load(std::memory_order_acquire); }

 private:
  enum State : int { kPending, kLoading, kLoaded };
  struct Slot {
    crypto::Sha256Digest digest{};
    std::uint64_t size = 0;
    std::optional<std::int64_t> module_date;
    std::atomic<int> state{kPending};
    std::shared_ptr<const ModuleINIInfo> info;  // written once, before kLoaded
  };
  struct DigestHash {
    size_t operator()(const crypto::Sha256Digest& digest) const;
  };

  void Run(const std::string& index_bytes, const TrustAnchors& anchors);
  // Loads the slot unless the other thread has claimed it; true when this
  // thread did.
  bool Claim(Slot& slot);

  Loader loader_;
  Finisher finisher_;
  SharedIndexReading reading_;  // written once, before listed_
  std::vector<Slot> slots_;
  std::unordered_map<crypto::Sha256Digest, size_t, DigestHash> by_digest_;
  std::atomic<bool> listed_{false};  // reading_, slots_ and by_digest_ are complete
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

}  // namespace tw
