// Rebuilding a file from a patch against an earlier version of it. A patch
// is one zstd frame compressed with the old file as its reference prefix
// ("patch from"): the old file is the start of the window the frame's
// matches reach into, and nothing else is needed to rebuild the new one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "common/expected.h"

namespace tw {

// The largest window a patch may ask for, whatever the old file's size:
// the decoder holds that much of the new file's history in memory.
inline constexpr std::uint64_t kMaxPatchWindow = std::uint64_t{2} << 30;  // 2 GiB

// The largest window a patch against an old file of `old_size` bytes may
// ask for: the old file's size rounded up to a power of two, twice over
// (room for a new file up to twice the old one), and never beyond
// kMaxPatchWindow. The publisher writes no patch that asks for more.
std::uint64_t PatchWindowLimit(std::uint64_t old_size);

enum class PatchError {
  Damaged,         // not a patch, bytes that do not decode, bytes after its end
  Truncated,       // the patch ended before its frame did
  WindowTooLarge,  // the frame asks for a window beyond PatchWindowLimit
  NoMemory,        // the decoder could not be set up
  OutputRefused,   // the output refused a piece
};

// Receives the rebuilt file, piece by piece, in order; false stops.
using PatchOutput = std::function<bool(std::span<const std::uint8_t>)>;

// The largest file rebuilt in one buffer of its size (see PatchApplier).
inline constexpr std::uint64_t kMaxWholeOutput = std::uint64_t{1} << 30;  // 1 GiB

// Decodes a patch fed piece by piece as it arrives. The reference is
// referenced, never copied: it must stay readable and unchanged until the
// applier goes. Memory stays within the frame's window plus fixed buffers,
// and the window is checked against the limit from the frame's header
// before the decoder allocates anything for it.
//
// A frame whose header gives the new file's size (the publisher's always
// do), within the window limit and kMaxWholeOutput, is rebuilt straight
// into one buffer of that size instead: the decoder keeps no window of its
// own and copies nothing out of it. Its pieces then lie one after another
// in that buffer and stay readable until the applier goes
// (stable_output()).
class PatchApplier {
 public:
  PatchApplier(std::span<const std::uint8_t> reference, PatchOutput output);
  ~PatchApplier();
  PatchApplier(const PatchApplier&) = delete;
  PatchApplier& operator=(const PatchApplier&) = delete;

  // The next piece of the patch. After a failure every later call fails
  // the same way.
  Expected<void, PatchError> Feed(std::span<const std::uint8_t> bytes);
  // The patch is complete: its frame must have ended exactly at its last
  // byte.
  Expected<void, PatchError> Finish();

  // Bytes handed to the output so far.
  std::uint64_t produced() const { return produced_; }
  // The pieces handed to the output stay readable and unchanged until the
  // applier goes.
  bool stable_output() const;

 private:
  Expected<void, PatchError> CheckHeader(std::span<const std::uint8_t>& bytes);
  Expected<void, PatchError> Decode(std::span<const std::uint8_t> bytes);
  Expected<void, PatchError> Failed(PatchError error);

  struct Decoder;
  std::span<const std::uint8_t> reference_;
  PatchOutput output_;
  std::unique_ptr<Decoder> decoder_;
  std::uint64_t produced_ = 0;
  bool header_checked_ = false, frame_ended_ = false;
  std::optional<PatchError> failure_;
};

}  // namespace tw
