#include "common/text.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(Text, CaseFoldingCoversAccentedLatinLettersOnly) {
  EXPECT_EQ(ToUpper("città perché àÀÿ"), "CITTÀ PERCHÉ ÀÀÿ");
  EXPECT_EQ(ToLower("CITTÀ Þ"), "città þ");
  // The multiplication and division signs sit among the letters but are not.
  EXPECT_EQ(ToLower("×"), "×");
  EXPECT_EQ(ToUpper("÷"), "÷");
  EXPECT_TRUE(EqualsIgnoreCase("{Eseguibili}\\Città", "{ESEGUIBILI}\\CITTÀ"));
  EXPECT_FALSE(EqualsIgnoreCase("a", "ab"));
}

TEST(Text, ReplacementsScanLeftToRightWithoutOverlap) {
  EXPECT_EQ(ReplaceAll("aaaa", "aa", "b"), "bb");
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(ReplaceAllIgnoreCase("Http://a/HTTP://b", "http://", ""), "a/b");
  // The replacement goes in as written, not in the case of the match.
  EXPECT_EQ(ReplaceAllIgnoreCase("x{eseguibili}y", "{ESEGUIBILI}", "/Eseguibili"),
            "x/Eseguibiliy");
}

TEST(Text, FindIgnoringCaseMatchesEveryFirstLetterForm) {
  struct Case {
    std::string_view haystack, needle;
    size_t from, expected;
  };
  const Case cases[] = {
      {"x{eseguibili}\\a", "{ESEGUIBILI}", 0, 1},  // a first byte with no case
      {"/Suite/eSEGUIBILI/a", "eseguibili", 0, 7},   // an ASCII letter first
      {"perché ÈCCO", "ècco", 0, 8},                 // an accented letter first
      {"abcabc", "ABC", 1, 3},
      {"abc", "abcd", 0, std::string_view::npos},
      {"abc", "", 2, 2},
      {"abc", "", 4, std::string_view::npos},
      {"\xC3\xA8x", "\xA8X", 0, std::string_view::npos},  // a tail byte is not a letter alone
  };
  for (const Case& c : cases)
    EXPECT_EQ(FindIgnoreCase(c.haystack, c.needle, c.from), c.expected) << c.haystack << " / " << c.needle;
}

TEST(Text, SplitKeepsEmptyPieces) {
  const auto pieces = Split(" a  b ", " ");
  ASSERT_EQ(pieces.size(), 5u);
  EXPECT_EQ(pieces[1], "a");
  EXPECT_EQ(pieces[2], "");
  EXPECT_EQ(pieces[4], "");
  EXPECT_EQ(Split("", ",").size(), 1u);
}

TEST(Text, TrimRemovesBlanksButNotTabs) {
  EXPECT_EQ(TrimBlanks("  a b  "), "a b");
  EXPECT_EQ(TrimBlanks("\ta\t"), "\ta\t");
  EXPECT_EQ(TrimBlanks("   "), "");
}

TEST(Text, BooleanTextAcceptsNumbersAndTruthWords) {
  EXPECT_EQ(ParseBoolean("0"), false);
  EXPECT_EQ(ParseBoolean("-1"), true);
  EXPECT_EQ(ParseBoolean("2"), true);
  EXPECT_EQ(ParseBoolean("0,0"), false);
  EXPECT_EQ(ParseBoolean("TRUE"), true);
  EXPECT_EQ(ParseBoolean("fAlSe"), false);
  EXPECT_EQ(ParseBoolean("yes"), std::nullopt);
  EXPECT_EQ(ParseBoolean(""), std::nullopt);
  EXPECT_EQ(ParseBoolean("1x"), std::nullopt);
}

TEST(Text, NumbersRejectTrailingTextAndSecondSeparator) {
  EXPECT_EQ(ParseNumber(" 12,5 "), 12.5);
  EXPECT_EQ(ParseNumber("1.5"), 1.5);
  EXPECT_EQ(ParseNumber("1.2.3"), std::nullopt);
  EXPECT_EQ(ParseNumber("inf"), std::nullopt);
  EXPECT_EQ(ParseNumber("0x10"), std::nullopt);
  EXPECT_EQ(ParseInteger("+42"), 42);
  EXPECT_EQ(ParseInteger("4 2"), std::nullopt);
  EXPECT_EQ(ParseInteger("99999999999999999999"), std::nullopt);
}

}  // namespace
}  // namespace tw
