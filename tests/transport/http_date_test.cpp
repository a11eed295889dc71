#include "transport/http_date.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

constexpr int kRome = -60;  // UTC = local standard time - 60 minutes

DateValue Local(int y, int mo, int d, int h, int mi, int s) {
  return DateValue::FromCalendar(y, mo, d, h, mi, s);
}

TEST(HttpDate, TheThreeFormsOfOneInstantAgree) {
  const DateValue expected = Local(1994, 11, 6, 9, 49, 37);
  EXPECT_EQ(ParseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT", kRome), expected);
  EXPECT_EQ(ParseHttpDate("Sunday, 06-Nov-94 08:49:37 GMT", kRome), expected);
  EXPECT_EQ(ParseHttpDate("Sun Nov  6 08:49:37 1994", kRome), expected);
  EXPECT_EQ(ParseHttpDate("Sun Nov 16 08:49:37 1994", kRome), Local(1994, 11, 16, 9, 49, 37));
  EXPECT_EQ(ParseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT", 0), Local(1994, 11, 6, 8, 49, 37));
  EXPECT_EQ(ParseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT", 300), Local(1994, 11, 6, 3, 49, 37));
}

TEST(HttpDate, EachFormRefusesTheOthers) {
  EXPECT_TRUE(ParseRfc1123Date("Sunday, 06-Nov-94 08:49:37 GMT", kRome).IsZero());
  EXPECT_TRUE(ParseRfc850Date("Sun, 06 Nov 1994 08:49:37 GMT", kRome).IsZero());
  EXPECT_TRUE(ParseAsctimeDate("Sun, 06 Nov 1994 08:49:37 GMT", kRome).IsZero());
}

TEST(HttpDate, NamesAreComparedExactly) {
  EXPECT_TRUE(ParseHttpDate("sun, 06 nov 1994 08:49:37 GMT", kRome).IsZero());
  EXPECT_TRUE(ParseHttpDate("Sun, 06 NOV 1994 08:49:37 GMT", kRome).IsZero());
  EXPECT_TRUE(ParseHttpDate("Sun, 06 Nov 1994 08:49:37 UTC", kRome).IsZero());
  EXPECT_TRUE(ParseHttpDate("", kRome).IsZero());
  EXPECT_TRUE(ParseHttpDate("GMT", kRome).IsZero());
  // The weekday is not checked against the date.
  EXPECT_EQ(ParseHttpDate("Mon, 06 Nov 1994 08:49:37 GMT", kRome), Local(1994, 11, 6, 9, 49, 37));
}

TEST(HttpDate, FieldsThatAreNotNumbersGiveTheZeroDate) {
  EXPECT_TRUE(ParseHttpDate("Sun, xx Nov 1994 08:49:37 GMT", kRome).IsZero());
  EXPECT_TRUE(ParseHttpDate("Sun, 06 Nov 19x4 08:49:37 GMT", kRome).IsZero());
  EXPECT_TRUE(ParseHttpDate("Sun, 06 Nov 1994 08:49 GMT", kRome).IsZero());
  EXPECT_TRUE(ParseHttpDate("Sun, 06 Nov 1994 08:4a:37 GMT", kRome).IsZero());
  EXPECT_TRUE(ParseHttpDate("Sunday, 06-Nov-9x 08:49:37 GMT", kRome).IsZero());
  EXPECT_TRUE(ParseHttpDate("Sun Nov  x 08:49:37 1994", kRome).IsZero());
  EXPECT_TRUE(ParseHttpDate("Sun, 06 Nov 99999999999999999999 08:49:37 GMT", kRome).IsZero());
}

TEST(HttpDate, FieldsFarBeyondAnyDateGiveTheZeroDateWithoutOverflow) {
  // The sanitizer build fails on any overflow these could cause.
  for (int bias : {-1280, 0, 1270}) {
    EXPECT_TRUE(ParseHttpDate("Sun, 06 Nov 1994 9223372036854775807:49:37 GMT", bias).IsZero());
    EXPECT_TRUE(ParseHttpDate("Sun, 06 Nov 1994 08:-9223372036854775808:37 GMT", bias).IsZero());
    EXPECT_TRUE(ParseHttpDate("Sun, 06 Nov 1994 08:9223372036854775807:37 GMT", bias).IsZero());
    EXPECT_TRUE(ParseHttpDate("Sun, 9223372036854775807 Nov -9223372036854775808 08:49:37 GMT", bias).IsZero());
    EXPECT_TRUE(ParseHttpDate("Sunday, 06-Nov-94 08:49:9223372036854775807 GMT", bias).IsZero());
    EXPECT_TRUE(ParseHttpDate("Sun Nov  6 08:49:-9223372036854775808 1994", bias).IsZero());
  }
  // Large but bounded fields still carry over.
  EXPECT_EQ(ParseHttpDate("Sun, 06 Nov 1994 08:49:86400 GMT", 0), Local(1994, 11, 7, 8, 49, 0));
}

TEST(HttpDate, TwoDigitYearsAndCarries) {
  EXPECT_EQ(ParseHttpDate("Sunday, 06-Nov-07 08:49:37 GMT", 0), Local(2007, 11, 6, 8, 49, 37));
  EXPECT_EQ(ParseHttpDate("Sunday, 06-Nov-29 08:49:37 GMT", 0), Local(2029, 11, 6, 8, 49, 37));
  EXPECT_EQ(ParseHttpDate("Sunday, 06-Nov-30 08:49:37 GMT", 0), Local(1930, 11, 6, 8, 49, 37));
  EXPECT_EQ(ParseHttpDate("Sun, 06 Nov 0094 08:49:37 GMT", 0), Local(1994, 11, 6, 8, 49, 37));
  EXPECT_EQ(ParseHttpDate("Sun, 31 Nov 1994 23:30:00 GMT", kRome), Local(1994, 12, 2, 0, 30, 0));
}

}  // namespace
}  // namespace tw
