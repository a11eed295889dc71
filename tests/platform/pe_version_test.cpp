#include "platform/pe_version.h"

#include <gtest/gtest.h>

#include "platform/posix/posix_file_system.h"
#include "pe_image/pe_image.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

using pe_image::BuildPeImage;
using pe_image::PutU32;

TEST(PeVersion, ReadsTheFixedFileVersionOfBothImageKinds) {
  EXPECT_EQ(PeFileVersion(BuildPeImage(6, 0, 8169, 0).bytes), "6.0.8169.0");
  EXPECT_EQ(PeFileVersion(BuildPeImage(65535, 1, 2, 65535, true).bytes), "65535.1.2.65535");
}

TEST(PeVersion, TruncatedImagesHaveNoVersion) {
  const auto image = BuildPeImage(1, 2, 3, 4);
  for (std::size_t size : {std::size_t{0}, std::size_t{2}, std::size_t{0x50}, image.section_table_at + 10,
                           image.version_block_at + 20, image.version_block_at + 91}) {
    std::vector<std::uint8_t> cut(image.bytes.begin(), image.bytes.begin() + static_cast<long>(size));
    EXPECT_EQ(PeFileVersion(cut), "") << size;
  }
}

TEST(PeVersion, LyingOffsetsAndSizesAreRefused) {
  auto lie = [](auto change) {
    auto image = BuildPeImage(1, 2, 3, 4);
    change(image);
    return PeFileVersion(image.bytes);
  };
  EXPECT_EQ(lie([](auto& i) { PutU32(i.bytes, i.e_lfanew_at, 0xFFFFFFF0u); }), "");
  EXPECT_EQ(lie([](auto& i) { PutU32(i.bytes, i.section_table_at + 20, 0x7FFFFFFFu); }), "");
  EXPECT_EQ(lie([](auto& i) { PutU32(i.bytes, i.section_table_at + 16, 0x10); }), "");
  EXPECT_EQ(lie([](auto& i) { PutU32(i.bytes, i.data_entry_at, 0xFFFFFFFFu); }), "");
  EXPECT_EQ(lie([](auto& i) { PutU32(i.bytes, i.data_entry_at + 4, 10); }), "");
  // A directory that claims many entries beyond the file's end.
  EXPECT_EQ(lie([](auto& i) { pe_image::PutU16(i.bytes, i.resource_directory_at + 12, 0xFFFF); }), "");
  // A subdirectory that points back at itself ends at the fixed depth.
  EXPECT_EQ(lie([](auto& i) { PutU32(i.bytes, i.resource_directory_at + 0x18 + 20, 0x80000018u); }), "");
  EXPECT_EQ(lie([](auto& i) { PutU32(i.bytes, i.version_block_at + 40, 0); }), "");
  EXPECT_EQ(lie([](auto& i) { i.bytes[i.version_block_at + 8] = 'X'; }), "");
}

TEST(PeVersion, FileSystemReportsTheVersionOfPeFilesOnly) {
  testing::TempDir dir;
  PosixFileSystem fs;
  const auto image = BuildPeImage(2, 7, 0, 12);
  ASSERT_FALSE(fs.WriteBytes(dir / "Prog.exe", image.bytes).has_value());
  EXPECT_EQ(fs.FileVersion(dir / "Prog.exe"), "2.7.0.12");
  const std::uint8_t text[] = {'M', 'Z', 'x'};
  ASSERT_FALSE(fs.WriteBytes(dir / "dati.mdb", text).has_value());
  EXPECT_EQ(fs.FileVersion(dir / "dati.mdb"), "");
  EXPECT_EQ(fs.FileVersion(dir / "assente.dll"), "");
  EXPECT_EQ(fs.FileVersion(dir.path()), "");
}

}  // namespace
}  // namespace tw
