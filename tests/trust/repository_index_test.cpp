#include <gtest/gtest.h>

#include "trust/repository_index.h"
#include "trust/trust_keys.h"

namespace tw {
namespace {

using testing::TestKey;

const std::string kHex(64, 'a');

std::string Index(std::string_view files, std::string_view head = "Serial=7\r\nPublished=100\r\nExpires=200\r\n") {
  return "[Index]\r\nFormat=1\r\nRepository=tarnwick\r\n" + std::string(head) + "[Files]\r\n" + std::string(files);
}

TEST(RepositoryIndex, ReadsEntriesWithPathsThatHoldBlanksAndEquals) {
  const auto index = ParseRepositoryIndex(
      Index("F1=" + kHex + " 12 1700000000 eseguibili/prog.exe\r\n" + "x=" + kHex +
            " 0 - dati/a b=c.dat.ini\r\n" + "F3=" + kHex + " 5 - .ini\r\n") +
      "[Future]\r\nAnything=goes\r\n");
  ASSERT_TRUE(index) << index.error().description;
  EXPECT_EQ(index->repository, "tarnwick");
  EXPECT_EQ(index->serial, 7u);
  EXPECT_EQ(index->published, 100);
  EXPECT_EQ(index->expires, 200);
  ASSERT_EQ(index->files.size(), 3u);
  EXPECT_EQ(index->files[0].date, 1700000000);
  EXPECT_EQ(index->files[0].size, 12u);
  EXPECT_FALSE(index->files[1].date);
  EXPECT_EQ(index->Find("/dati/a b=c.dat.ini"), &index->files[1]);
  EXPECT_EQ(index->Find(".ini"), &index->files[2]);
  EXPECT_EQ(index->Find("/eseguibili/other.exe"), nullptr);
}

TEST(RepositoryIndex, RefusesTheWholeIndexForAnyFault) {
  const std::string good = "F1=" + kHex + " 1 2 a\r\n";
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"duplicate key", Index(good + "F1=" + kHex + " 1 2 b\r\n")},
      {"duplicate path", Index(good + "F2=" + kHex + " 3 4 a\r\n")},
      {"duplicate index key", Index(good, "Serial=7\r\nSerial=8\r\nPublished=1\r\nExpires=2\r\n")},
      {"repeated section", Index(good) + "[Files]\r\n"},
      {"no equals", Index(good + "F2\r\n")},
      {"upper-case hex", Index("F1=" + std::string(64, 'A') + " 1 2 a\r\n")},
      {"short hex", Index("F1=" + std::string(63, 'a') + " 1 2 a\r\n")},
      {"two blanks", Index("F1=" + kHex + "  1 2 a\r\n")},
      {"no path", Index("F1=" + kHex + " 1 2\r\n")},
      {"empty path", Index("F1=" + kHex + " 1 2 \r\n")},
      {"absolute path", Index("F1=" + kHex + " 1 2 /a\r\n")},
      {"climbing path", Index("F1=" + kHex + " 1 2 a/../b\r\n")},
      {"upper-case path", Index("F1=" + kHex + " 1 2 A\r\n")},
      {"negative size", Index("F1=" + kHex + " -1 2 a\r\n")},
      {"size 2^63", Index("F1=" + kHex + " 9223372036854775808 2 a\r\n")},
      {"size 2^64", Index("F1=" + kHex + " 18446744073709551616 2 a\r\n")},
      {"leading zero", Index("F1=" + kHex + " 01 2 a\r\n")},
      {"bad date", Index("F1=" + kHex + " 1 x a\r\n")},
      {"serial too big", Index(good, "Serial=9223372036854775808\r\nPublished=1\r\nExpires=2\r\n")},
      {"no serial", Index(good, "Published=1\r\nExpires=2\r\n")},
      {"expires first", Index(good, "Serial=1\r\nPublished=3\r\nExpires=2\r\n")},
      {"format 2", "[Index]\r\nFormat=2\r\nRepository=r\r\nSerial=1\r\nPublished=1\r\nExpires=2\r\n[Files]\r\n"},
      {"no repository", "[Index]\r\nFormat=1\r\nSerial=1\r\nPublished=1\r\nExpires=2\r\n[Files]\r\n"},
      {"no files section", "[Index]\r\nFormat=1\r\nRepository=r\r\nSerial=1\r\nPublished=1\r\nExpires=2\r\n"},
      {"key before sections", "F=1\r\n" + Index(good)},
      {"stray CR", Index("F1=" + kHex + " 1 2 a\rb\r\n")},
      {"NUL in a key", Index(std::string("F\0001=", 4) + kHex + " 1 2 a\r\n")},
      {"bad header", Index(good) + "[Files\r\n"},
      {"over 16 MiB", Index(good) + ";" + std::string(kMaxIndexSize, 'x') + "\r\n"},
  };
  for (const auto& c : cases) {
    const auto index = ParseRepositoryIndex(c.text);
    EXPECT_FALSE(index) << c.what;
    if (!index) {
      EXPECT_FALSE(index.error().description.empty());
    }
    EXPECT_FALSE(ReadRepositoryIndex(c.text, TrustAnchors())) << c.what;
  }
}

TEST(RepositoryIndex, WrittenIndexReadsBackAndIsSignedLikeADocument) {
  RepositoryIndex index;
  index.repository = "tarnwick";
  index.serial = 9223372036854775807u;
  index.published = 5;
  index.expires = 6;
  index.files.push_back({*crypto::Sha256Of("x"), 1, 1700000000, "eseguibili/a b=c.exe"});
  index.files.push_back({*crypto::Sha256Of("y"), 2, std::nullopt, "eseguibili/a b=c.exe.ini"});
  const auto text = WriteRepositoryIndex(index);
  ASSERT_TRUE(text);
  const auto key = TestKey(1);
  TrustAnchors anchors;
  anchors.AddKeys(testing::PublicText(key));
  const auto reading = ReadRepositoryIndex(testing::Signed(*text, key) + "F9=appended\r\n", anchors);
  ASSERT_TRUE(reading);
  EXPECT_EQ(reading->trust, DocumentTrust::Valid);
  EXPECT_EQ(reading->index.serial, index.serial);
  ASSERT_EQ(reading->index.files.size(), 2u);
  EXPECT_EQ(reading->index.files[1].path, "eseguibili/a b=c.exe.ini");
  EXPECT_EQ(reading->index.files[0].sha256, index.files[0].sha256);
  EXPECT_EQ(ReadRepositoryIndex(testing::Signed(*text, TestKey(2)), anchors)->trust, DocumentTrust::Invalid);
  EXPECT_EQ(ReadRepositoryIndex(*text, anchors)->trust, DocumentTrust::Unsigned);

  // What the reader would refuse is not written.
  index.files.push_back(index.files[0]);
  EXPECT_FALSE(WriteRepositoryIndex(index));
  index.files.pop_back();
  index.files[0].date = -1;
  EXPECT_FALSE(WriteRepositoryIndex(index));
}

}  // namespace
}  // namespace tw
