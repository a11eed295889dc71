#include "delta/patch.h"

#include <algorithm>
#include <array>
#include <bit>
#include <new>

#define ZSTD_STATIC_LINKING_ONLY  // the frame header reader
#include <zstd.h>
#include <zstd_errors.h>

namespace tw {

std::uint64_t PatchWindowLimit(std::uint64_t old_size) {
  // zstd's smallest window; a patch against a tiny file still needs one.
  constexpr std::uint64_t kSmallestWindow = std::uint64_t{1} << ZSTD_WINDOWLOG_MIN;
  if (old_size >= kMaxPatchWindow / 2) return kMaxPatchWindow;
  return std::max(kSmallestWindow, 2 * std::bit_ceil(old_size));
}

struct PatchApplier::Decoder {
  ZSTD_DCtx* context = ZSTD_createDCtx();
  ~Decoder() { ZSTD_freeDCtx(context); }
  // The first bytes, until the frame's header can be read whole.
  std::array<std::uint8_t, ZSTD_FRAMEHEADERSIZE_MAX> head{};
  std::size_t head_size = 0;
  std::unique_ptr<std::uint8_t[]> out{new std::uint8_t[ZSTD_DStreamOutSize()]};
  // The whole new file, when the frame gives its size.
  std::unique_ptr<std::uint8_t[]> whole;
  std::size_t whole_size = 0;

  // Rebuilds into one buffer of the frame's content size, when it gives
  // one within `limit`; otherwise (or without the memory) the decoder
  // streams through its own window.
  void UseWholeOutput(const ZSTD_frameHeader& header, std::uint64_t limit) {
    const unsigned long long size = header.frameContentSize;
    if (size == ZSTD_CONTENTSIZE_UNKNOWN || size == 0 || size > limit || size > kMaxWholeOutput) return;
    whole.reset(new (std::nothrow) std::uint8_t[size]);
    if (whole && !ZSTD_isError(ZSTD_DCtx_setParameter(context, ZSTD_d_stableOutBuffer, 1)))
      whole_size = static_cast<std::size_t>(size);
    else
      whole.reset();
  }
};

PatchApplier::PatchApplier(std::span<const std::uint8_t> reference, PatchOutput output)
    : reference_(reference), output_(std::move(output)), decoder_(std::make_unique<Decoder>()) {}

PatchApplier::~PatchApplier() = default;

Expected<void, PatchError> PatchApplier::Failed(PatchError error) {
  failure_ = error;
  return Fail(error);
}

// Gathers the header from the first pieces and judges the window it asks
// for; the decoder is given the limit too, so that nothing it reads later
// can raise it.
Expected<void, PatchError> PatchApplier::CheckHeader(std::span<const std::uint8_t>& bytes) {
  Decoder& d = *decoder_;
  const std::size_t take = std::min(bytes.size(), d.head.size() - d.head_size);
  std::copy_n(bytes.begin(), take, d.head.begin() + d.head_size);
  ZSTD_frameHeader header{};
  const std::size_t needed = ZSTD_getFrameHeader(&header, d.head.data(), d.head_size + take);
  if (ZSTD_isError(needed)) {
    // A window beyond what zstd itself allows is a huge window all the same.
    if (ZSTD_getErrorCode(needed) == ZSTD_error_frameParameter_windowTooLarge)
      return Failed(PatchError::WindowTooLarge);
    return Failed(PatchError::Damaged);
  }
  if (needed > 0) {
    // Not enough bytes yet for the whole header: keep them all.
    d.head_size += take;
    bytes = {};
    return {};
  }
  if (header.frameType != ZSTD_frame) return Failed(PatchError::Damaged);
  const std::uint64_t limit = PatchWindowLimit(reference_.size());
  if (header.windowSize > limit) return Failed(PatchError::WindowTooLarge);
  if (d.context == nullptr ||
      ZSTD_isError(ZSTD_DCtx_setParameter(d.context, ZSTD_d_windowLogMax, std::bit_width(limit) - 1)) ||
      ZSTD_isError(ZSTD_DCtx_refPrefix(d.context, reference_.data(), reference_.size())))
    return Failed(PatchError::NoMemory);
  d.UseWholeOutput(header, limit);
  header_checked_ = true;
  // The gathered bytes go to the decoder first, then the rest of this piece.
  const std::size_t gathered = d.head_size;
  d.head_size = 0;
  bytes = bytes.subspan(take);
  if (auto decoded = Decode({d.head.data(), gathered + take}); !decoded) return decoded;
  return {};
}

// Runs the decoder over `bytes`, and on while its output buffer comes back
// full (it may hold output back until there is room, also with no more
// input).
Expected<void, PatchError> PatchApplier::Decode(std::span<const std::uint8_t> bytes) {
  Decoder& d = *decoder_;
  ZSTD_inBuffer in{bytes.data(), bytes.size(), 0};
  for (;;) {
    if (frame_ended_) {
      // Bytes after the frame's end belong to no patch we write.
      if (in.pos < in.size) return Failed(PatchError::Damaged);
      return {};
    }
    const bool whole = d.whole != nullptr;
    // The whole buffer goes back each time as the decoder left it.
    ZSTD_outBuffer out = whole ? ZSTD_outBuffer{d.whole.get(), d.whole_size, static_cast<std::size_t>(produced_)}
                               : ZSTD_outBuffer{d.out.get(), ZSTD_DStreamOutSize(), 0};
    const std::size_t start = out.pos;
    const std::size_t result = ZSTD_decompressStream(d.context, &out, &in);
    if (ZSTD_isError(result)) {
      const auto code = ZSTD_getErrorCode(result);
      if (code == ZSTD_error_memory_allocation) return Failed(PatchError::NoMemory);
      if (code == ZSTD_error_frameParameter_windowTooLarge) return Failed(PatchError::WindowTooLarge);
      return Failed(PatchError::Damaged);
    }
    if (out.pos > start) {
      if (!output_({static_cast<const std::uint8_t*>(out.dst) + start, out.pos - start}))
        return Failed(PatchError::OutputRefused);
      produced_ += out.pos - start;
    }
    if (result == 0) frame_ended_ = true;
    // Straight into the whole buffer nothing is held back: all the input
    // taken is all that can be done until more comes.
    else if (in.pos == in.size && (whole || out.pos < out.size)) return {};
  }
}

bool PatchApplier::stable_output() const { return decoder_->whole != nullptr; }

Expected<void, PatchError> PatchApplier::Feed(std::span<const std::uint8_t> bytes) {
  if (failure_) return Fail(*failure_);
  if (!header_checked_) {
    if (auto checked = CheckHeader(bytes); !checked) return checked;
    if (!header_checked_) return {};
  }
  return Decode(bytes);
}

Expected<void, PatchError> PatchApplier::Finish() {
  if (failure_) return Fail(*failure_);
  if (!header_checked_) return Failed(PatchError::Truncated);
  if (auto drained = Decode({}); !drained) return drained;
  if (!frame_ended_) return Failed(PatchError::Truncated);
  return {};
}

}  // namespace tw
