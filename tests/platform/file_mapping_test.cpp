// Mapped files show the bytes they had when mapped, also after a
// replacement renamed a new file over their path.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/posix/posix_file_system.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

std::string Text(std::span<const std::uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }

TEST(FileMapping, MapsWhatTheFileHeld) {
  testing::TempDir dir;
  PosixFileSystem files;
  testing::WriteTextFile(dir / "full", "old content");
  testing::WriteTextFile(dir / "empty", "");
  struct Case {
    std::string path;
    bool ok;
    std::string bytes;
  } cases[] = {{dir / "full", true, "old content"}, {dir / "empty", true, ""},
               {dir / "missing", false, ""},       {dir.path(), false, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    auto mapped = files.MapForReading(c.path);
    ASSERT_EQ(mapped.has_value(), c.ok);
    if (c.ok) EXPECT_EQ(Text((*mapped)->Bytes()), c.bytes);
    else EXPECT_NE(mapped.error().number, 0);
  }
}

TEST(FileMapping, KeepsTheOldBytesAcrossAReplacement) {
  testing::TempDir dir;
  PosixFileSystem files;
  testing::WriteTextFile(dir / "f", "old content");
  auto mapped = files.MapForReading(dir / "f");
  ASSERT_TRUE(mapped);
  testing::WriteTextFile(dir / "f.new", "new content!");
  ASSERT_EQ(std::rename((dir / "f.new").c_str(), (dir / "f").c_str()), 0);
  EXPECT_EQ(Text((*mapped)->Bytes()), "old content");
  EXPECT_EQ(testing::ReadTextFile(dir / "f"), "new content!");
}

}  // namespace
}  // namespace tw
