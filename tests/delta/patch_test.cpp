// Patches rebuild the new file from the old one, and every way a patch can
// be wrong ends in a failure rather than in wrong bytes handed on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "delta/patch.h"
#include "delta/patch_writer.h"

#define ZSTD_STATIC_LINKING_ONLY  // the frame header reader
#include <zstd.h>

namespace tw {
namespace {

using Bytes = std::vector<std::uint8_t>;

// An "old" file of mixed content and a "new" one with a few edits and a
// block moved, as between two builds of a program.
Bytes OldFile() {
  Bytes bytes(300'000);
  std::mt19937 random(7);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = i % 4096 < 2048 ? random() & 0xFF : i % 251;
  return bytes;
}

Bytes NewFile(const Bytes& old) {
  Bytes bytes = old;
  for (size_t at : {1000u, 50'000u, 200'000u}) bytes[at] ^= 0x5A;
  bytes.insert(bytes.begin() + 10, old.begin() + 250'000, old.begin() + 260'000);
  return bytes;
}

struct Outcome {
  bool ok = false;
  PatchError error{};
  Bytes output;
  size_t fed = 0;  // patch bytes fed before the failure showed
};

// Feeds `patch` in pieces of `piece` bytes and finishes.
Outcome Apply(const Bytes& reference, const Bytes& patch, size_t piece) {
  Outcome outcome;
  PatchApplier applier(reference, [&](std::span<const std::uint8_t> bytes) {
    outcome.output.insert(outcome.output.end(), bytes.begin(), bytes.end());
    return true;
  });
  for (size_t at = 0; at < patch.size(); at += piece) {
    const size_t size = std::min(piece, patch.size() - at);
    outcome.fed = at + size;
    if (auto fed = applier.Feed({patch.data() + at, size}); !fed) {
      outcome.error = fed.error();
      return outcome;
    }
  }
  auto finished = applier.Finish();
  outcome.ok = finished.has_value();
  if (!finished) outcome.error = finished.error();
  return outcome;
}

// A frame header that asks for a window of 2^log bytes and says nothing
// else: magic number, descriptor, window byte.
Bytes HeaderClaimingWindow(int log) {
  return {0x28, 0xB5, 0x2F, 0xFD, 0x00, static_cast<std::uint8_t>((log - 10) << 3), 0, 0, 0};
}

// A patch whose header does not give the new file's size, as a streaming
// writer makes it: rebuilt through the decoder's own window.
Bytes PatchWithoutSize(const Bytes& old_file, const Bytes& new_file) {
  ZSTD_CCtx* c = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(c, ZSTD_c_contentSizeFlag, 0);
  ZSTD_CCtx_refPrefix(c, old_file.data(), old_file.size());
  Bytes patch(ZSTD_compressBound(new_file.size()));
  ZSTD_outBuffer out{patch.data(), patch.size(), 0};
  ZSTD_inBuffer in{new_file.data(), new_file.size(), 0};
  while (ZSTD_compressStream2(c, &out, &in, ZSTD_e_end) != 0) {
  }
  ZSTD_freeCCtx(c);
  patch.resize(out.pos);
  return patch;
}

// `patch` with the size its header gives changed by `delta`.
Bytes WithSizeOff(Bytes patch, int delta) {
  ZSTD_frameHeader header{};
  ZSTD_getFrameHeader(&header, patch.data(), patch.size());
  // The size is the header's last field, least significant byte first
  // (4 bytes for these sizes).
  patch[header.headerSize - 4] = static_cast<std::uint8_t>(patch[header.headerSize - 4] + delta);
  return patch;
}

TEST(Patch, RebuildsOrRefuses) {
  const Bytes old_file = OldFile();
  const Bytes new_file = NewFile(old_file);
  const auto made = MakePatch(old_file, new_file, 3);
  ASSERT_TRUE(made);
  const Bytes& patch = *made;
  EXPECT_LT(patch.size(), new_file.size() / 20);

  Bytes damaged = patch;
  damaged[damaged.size() / 2] ^= 0xFF;
  Bytes trailing = patch;
  trailing.push_back(0);
  Bytes other_reference = old_file;
  other_reference[100'000] ^= 1;

  struct Case {
    const char* name;
    Bytes reference, patch;
    size_t piece;
    bool ok;
    PatchError error;
  } cases[] = {
      {"whole", old_file, patch, patch.size(), true, {}},
      {"byte by byte", old_file, patch, 1, true, {}},
      {"no size in its header", old_file, PatchWithoutSize(old_file, new_file), 4096, true, {}},
      // The buffer made from the header's word is never overrun, nor left
      // partly unwritten.
      {"size given too small", old_file, WithSizeOff(patch, -1), 4096, false, PatchError::Damaged},
      {"size given too large", old_file, WithSizeOff(patch, 1), 4096, false, PatchError::Damaged},
      {"damaged", old_file, damaged, 4096, false, PatchError::Damaged},
      {"truncated", old_file, Bytes(patch.begin(), patch.end() - 10), 4096, false, PatchError::Truncated},
      {"header only", old_file, Bytes(patch.begin(), patch.begin() + 3), 4096, false, PatchError::Truncated},
      {"bytes after its end", old_file, trailing, 4096, false, PatchError::Damaged},
      {"other old file", other_reference, patch, 4096, false, PatchError::Damaged},
      {"not zstd", old_file, Bytes(64, 'x'), 4096, false, PatchError::Damaged},
      {"empty", old_file, Bytes(), 4096, false, PatchError::Truncated},
      // Beyond twice the old file's size rounded up (1 MiB here), and beyond
      // anything zstd accepts at all.
      {"window beyond the old file", old_file, HeaderClaimingWindow(21), 1, false, PatchError::WindowTooLarge},
      {"window beyond the limit", old_file, HeaderClaimingWindow(31), 1, false, PatchError::WindowTooLarge},
      {"window beyond zstd", old_file, HeaderClaimingWindow(40), 1, false, PatchError::WindowTooLarge},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = Apply(c.reference, c.patch, c.piece);
    EXPECT_EQ(outcome.ok, c.ok);
    if (c.ok) EXPECT_TRUE(outcome.output == new_file);
    else EXPECT_EQ(outcome.error, c.error);
  }
}

TEST(Patch, HugeWindowIsRefusedFromTheHeaderAlone) {
  // Nothing past the header is needed to refuse: the decoder never gets
  // to allocate the window.
  const Outcome outcome = Apply(Bytes(1000, 1), HeaderClaimingWindow(30), 1);
  EXPECT_EQ(outcome.error, PatchError::WindowTooLarge);
  EXPECT_EQ(outcome.fed, 6u);
}

TEST(Patch, WindowLimitFollowsTheOldFile) {
  EXPECT_EQ(PatchWindowLimit(0), 1024u);
  EXPECT_EQ(PatchWindowLimit(3000), 8192u);
  EXPECT_EQ(PatchWindowLimit(4096), 8192u);
  EXPECT_EQ(PatchWindowLimit(kMaxPatchWindow / 2 + 1), kMaxPatchWindow);
  EXPECT_EQ(PatchWindowLimit(std::uint64_t{1} << 40), kMaxPatchWindow);
}

TEST(Patch, RefusedOutputStopsTheRebuild) {
  const Bytes old_file = OldFile();
  const auto patch = MakePatch(old_file, NewFile(old_file), 1);
  ASSERT_TRUE(patch);
  PatchApplier applier(old_file, [](std::span<const std::uint8_t>) { return false; });
  auto fed = applier.Feed(*patch);
  ASSERT_FALSE(fed);
  EXPECT_EQ(fed.error(), PatchError::OutputRefused);
  EXPECT_FALSE(applier.Finish());
}

}  // namespace
}  // namespace tw
