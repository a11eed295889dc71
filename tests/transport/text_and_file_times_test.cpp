#include <gtest/gtest.h>

#include "support/fake_file_system.h"
#include "support/fake_system_info.h"
#include "transport/file_times.h"
#include "transport/text_decoding.h"

namespace tw {
namespace {

TEST(DocumentText, Utf8StaysAndAnythingElseIsWindows1252) {
  EXPECT_EQ(DecodeDocumentText("Versione=1.0\r\nNome=Città"), "Versione=1.0\r\nNome=Città");
  EXPECT_EQ(DecodeDocumentText("Citt\xE0 \x80 \x93x\x94"), "Città € “x”");
  EXPECT_EQ(DecodeDocumentText("\x81"), "\xC2\x81");
  // The byte-order mark goes, whichever way the rest is read.
  EXPECT_EQ(DecodeDocumentText("\xEF\xBB\xBF[Release]"), "[Release]");
  EXPECT_EQ(DecodeDocumentText("\xEF\xBB\xBF[Release]\nNome=Citt\xE0"), "[Release]\nNome=Città");
  EXPECT_FALSE(IsValidUtf8("\xC3"));             // cut short
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));         // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));     // a surrogate
  EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));  // beyond the basic plane
}

TEST(FileTimes, LocalDateBecomesUtcWithTheOffsetInForceNow) {
  testing::FakeFileSystem files;
  testing::FakeSystemInfo system;
  files.AddFile("/s/a.exe");
  const DateValue local = DateValue::FromCalendar(1994, 11, 6, 9, 49, 37);
  system.current_bias = -60;  // standard time now
  SetFileDate(files, system, "/s/a.exe", local);
  EXPECT_EQ(files.files["/s/a.exe"].mtime, DateValue::FromCalendar(1994, 11, 6, 8, 49, 37).ToUnixSeconds());
  EXPECT_EQ(FileDate(files, system, "/s/a.exe"), local);
  system.current_bias = -120;  // daylight saving now
  SetFileDate(files, system, "/s/a.exe", local);
  EXPECT_EQ(files.files["/s/a.exe"].mtime, DateValue::FromCalendar(1994, 11, 6, 7, 49, 37).ToUnixSeconds());

  SetFileDate(files, system, "/s/missing", local);
  EXPECT_EQ(files.files.count("/s/missing"), 0u);
  EXPECT_TRUE(FileDate(files, system, "/s/missing").IsZero());
}

}  // namespace
}  // namespace tw
