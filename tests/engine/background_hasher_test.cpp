// The hashing thread behind a checked download: whatever the pieces look
// like, the digest is the content's, and a restart forgets what came first.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "trust/file_digest.h"
#include "engine/background_hasher.h"
#include "platform/openssl/crypto.h"

namespace tw {
namespace {

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

std::span<const std::uint8_t> Bytes(std::string_view text, size_t from, size_t count) {
  return std::span(reinterpret_cast<const std::uint8_t*>(text.data()) + from, count);
}

// Feeds `content` in pieces whose sizes go round `sizes`; with `mixed`,
// every other piece is one the feeder keeps (hashed in place).
void FeedInPieces(BackgroundHasher& hasher, std::string_view content, const std::vector<size_t>& sizes,
                  bool mixed = false) {
  size_t at = 0;
  for (size_t i = 0; at < content.size(); ++i) {
    const size_t n = std::min(sizes[i % sizes.size()], content.size() - at);
    if (mixed && i % 2) hasher.FeedStable(Bytes(content, at, n));
    else hasher.Feed(Bytes(content, at, n));
    at += n;
  }
}

DigestOutcome Check(std::string_view content, std::string_view expected_of,
                    const std::vector<size_t>& sizes, bool mixed = false) {
  FileDigestCheck check(crypto::ToHex(*crypto::Sha256Of(expected_of)), false);
  {
    BackgroundHasher hasher(check);
    FeedInPieces(hasher, content, sizes, mixed);
    hasher.Drain();
  }
  return check.Finish();
}

TEST(BackgroundHasher, DigestIsTheContentsWhateverThePiecesAcrossBlocks) {
  // More than the blocks in flight, ending in a partly filled block.
  const std::string content = RandomBytes((11u << 20) / 2 + 7, 1);
  const std::vector<std::vector<size_t>> shapes = {
      {16384}, {(1u << 20) - 1, 2}, {3u << 20}, {0, 65536, 1, 999999}};
  for (const auto& sizes : shapes)
    for (bool mixed : {false, true})
      EXPECT_EQ(Check(content, content, sizes, mixed), DigestOutcome::Matches) << sizes[0] << " mixed " << mixed;
  const std::string small = content.substr(0, 300000);
  EXPECT_EQ(Check(small, small, {1}), DigestOutcome::Matches);
  // The last byte lies in the block still filling when the feed ends.
  std::string changed = content;
  changed.back() ^= 1;
  EXPECT_EQ(Check(changed, content, {65536}), DigestOutcome::Mismatch);
  changed = content;
  changed[1u << 20] ^= 1;
  EXPECT_EQ(Check(changed, content, {4096}), DigestOutcome::Mismatch);
}

TEST(BackgroundHasher, RestartForgetsEverythingFedBefore) {
  const std::string content = RandomBytes(3u << 20, 2);
  const std::string abandoned = RandomBytes((5u << 20) / 2, 3);
  for (size_t piece : {size_t{4096}, size_t{1u << 20}}) {
    FileDigestCheck check(crypto::ToHex(*crypto::Sha256Of(content)), false);
    {
      BackgroundHasher hasher(check);
      FeedInPieces(hasher, abandoned, {piece});
      hasher.Restart();
      FeedInPieces(hasher, content, {piece});
    }
    EXPECT_EQ(check.Finish(), DigestOutcome::Matches) << piece;
  }
}

}  // namespace
}  // namespace tw
