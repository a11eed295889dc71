// Every seed of the fuzzers and every input a fuzzer ever found, replayed
// through the same entries, so that what was fixed stays fixed without a
// fuzzer in the build.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "targets.h"

namespace tw {
namespace {

TEST(FuzzReplay, SeedsAndFoundInputsRunCleanly) {
  size_t replayed = 0;
  for (const auto& target : fuzz::kTargets) {
    for (const char* kind : {"corpus", "regressions"}) {
      const std::filesystem::path folder = std::filesystem::path(FUZZ_DIR) / kind / target.name;
      if (!std::filesystem::is_directory(folder)) continue;
      for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        target.run(bytes.data(), bytes.size());  // aborts on a broken promise
        ++replayed;
      }
    }
  }
  EXPECT_GT(replayed, 20u);
}

}  // namespace
}  // namespace tw
