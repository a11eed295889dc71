#include "catalogue/document_preload.h"

#include <cstring>
#include <string_view>
#include <utility>

namespace tw {
namespace {

// A module's document is its file's path with ".ini" added; the suite's own
// (".ini" alone) has no file.
std::optional<std::int64_t> ModuleDate(const RepositoryIndex& index, std::string_view document) {
  constexpr std::string_view kSuffix = ".ini";
  if (document.size() <= kSuffix.size() || !document.ends_with(kSuffix)) return std::nullopt;
  const IndexEntry* file = index.Find(document.substr(0, document.size() - kSuffix.size()));
  return file ? file->date : std::nullopt;
}

}  // namespace

size_t DocumentPreload::DigestHash::operator()(const crypto::Sha256Digest& digest) const {
  size_t hash = 0;
  std::memcpy(&hash, digest.data(), sizeof hash);  // a digest's bytes are already evenly spread
  return hash;
}

DocumentPreload::DocumentPreload(std::string index_bytes, const TrustAnchors& anchors, Loader loader,
                                 Finisher finisher)
    : loader_(std::move(loader)), finisher_(std::move(finisher)) {
  thread_ = std::thread([this, bytes = std::move(index_bytes), &anchors] { Run(bytes, anchors); });
}

DocumentPreload::~DocumentPreload() {
  stop_.store(true, std::memory_order_relaxed);
  if (thread_.joinable()) thread_.join();
}

void DocumentPreload::Run(const std::string& index_bytes, const TrustAnchors& anchors) {
  // Read whole, signature included, so that the index gate can judge this
  // reading when the repository answers that the kept index stands; the
  // documents are listed whatever the signature says, since only their
  // digests are taken from it.
  reading_ = ReadSharedIndex(index_bytes, anchors);
  if (const auto& read = reading_->reading) {
    std::vector<const IndexEntry*> documents;
    for (const IndexEntry& entry : read->index.files)
      if (!entry.date && by_digest_.emplace(entry.sha256, documents.size()).second) documents.push_back(&entry);
    slots_ = std::vector<Slot>(documents.size());
    for (size_t i = 0; i < documents.size(); ++i) {
      slots_[i].digest = documents[i]->sha256;
      slots_[i].size = documents[i]->size;
      slots_[i].module_date = ModuleDate(read->index, documents[i]->path);
    }
  }
  listed_.store(true, std::memory_order_release);
  listed_.notify_all();
  for (Slot& slot : slots_) {
    if (stop_.load(std::memory_order_relaxed)) return;
    Claim(slot);
  }
  if (finisher_ && !stop_.load(std::memory_order_relaxed)) {
    // A document the walk is still loading itself is left out.
    std::vector<std::shared_ptr<const ModuleINIInfo>> documents;
    for (const Slot& slot : slots_)
      if (slot.state.load(std::memory_order_acquire) == kLoaded && slot.info) documents.push_back(slot.info);
    finisher_(documents);
  }
  finished_.store(true, std::memory_order_release);
}

bool DocumentPreload::Claim(Slot& slot) {
  int expected = kPending;
  if (!slot.state.compare_exchange_strong(expected, kLoading, std::memory_order_acq_rel)) return false;
  slot.info = loader_(slot.digest, slot.size, slot.module_date);
  slot.state.store(kLoaded, std::memory_order_release);
  slot.state.notify_all();
  return true;
}

SharedIndexReading DocumentPreload::ReadingIfReady() const {
  return listed_.load(std::memory_order_acquire) ? reading_ : nullptr;
}

std::optional<std::shared_ptr<const ModuleINIInfo>> DocumentPreload::Take(const crypto::Sha256Digest& digest) {
  listed_.wait(false, std::memory_order_acquire);
  const auto it = by_digest_.find(digest);
  if (it == by_digest_.end()) return std::nullopt;
  Slot& slot = slots_[it->second];
  if (Claim(slot)) return slot.info;
  for (int state = slot.state.load(std::memory_order_acquire); state != kLoaded;
       state = slot.state.load(std::memory_order_acquire))
    slot.state.wait(state, std::memory_order_acquire);
  return slot.info;
}

}  // namespace tw
