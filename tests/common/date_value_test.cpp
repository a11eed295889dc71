#include "common/date_value.h"

#include <gtest/gtest.h>

#include <random>

namespace tw {
namespace {

TEST(DateValue, SerialCountsDaysFromTheEndOf1899) {
  EXPECT_EQ(DateValue::FromCalendar(1899, 12, 30).Serial(), 0.0);
  EXPECT_EQ(DateValue::FromCalendar(1900, 1, 1).Serial(), 2.0);
  EXPECT_EQ(DateValue::FromCalendar(1994, 11, 6).Serial(), 34644.0);
  EXPECT_DOUBLE_EQ(DateValue::FromCalendar(1994, 11, 6, 18, 0, 0).Serial(), 34644.75);
  EXPECT_EQ(DateValue::FromCalendar(1970, 1, 1).ToUnixSeconds(), 0);
}

TEST(DateValue, FieldsBeyondTheirRangeCarryOver) {
  EXPECT_EQ(DateValue::FromCalendar(1994, 11, 31), DateValue::FromCalendar(1994, 12, 1));
  EXPECT_EQ(DateValue::FromCalendar(1994, 13, 1), DateValue::FromCalendar(1995, 1, 1));
  EXPECT_EQ(DateValue::FromCalendar(1994, 3, 0), DateValue::FromCalendar(1994, 2, 28));
  EXPECT_EQ(DateValue::FromCalendar(1994, 11, 6, 24, 0, 0), DateValue::FromCalendar(1994, 11, 7));
  const CalendarTime t = DateValue::FromCalendar(2000, 2, 29, 23, 59, 59).ToCalendar();
  EXPECT_EQ(t.year, 2000);
  EXPECT_EQ(t.month, 2);
  EXPECT_EQ(t.day, 29);
  EXPECT_EQ(t.second, 59);
  EXPECT_EQ(t.day_of_week, 2);  // a Tuesday
}

TEST(DateValue, OutOfRangeOrHugeFieldsGiveTheZeroDate) {
  EXPECT_TRUE(DateValue::FromCalendar(10000, 1, 1).IsZero());
  EXPECT_TRUE(DateValue::FromCalendar(2000, 1, 1LL << 40).IsZero());
  EXPECT_TRUE(DateValue::FromCalendar(-5, 1, 1).IsZero());
}

TEST(DateValue, SettingsTextReadsBackToTheSameValue) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> serials(-600000.0, 2900000.0);
  for (int i = 0; i < 10000; ++i) {
    const DateValue d(serials(random));
    const auto back = DateValue::FromSettingsText(d.ToSettingsText());
    ASSERT_TRUE(back.has_value());
    ASSERT_EQ(back->Serial(), d.Serial()) << d.ToSettingsText();
  }
  EXPECT_EQ(DateValue::FromSettingsText("34644,75")->Serial(), 34644.75);
  EXPECT_FALSE(DateValue::FromSettingsText("ieri").has_value());
  EXPECT_FALSE(DateValue::FromSettingsText("").has_value());
}

TEST(DateValue, TextForms) {
  const DateValue d = DateValue::FromCalendar(2007, 10, 30, 14, 25, 1);
  EXPECT_EQ(d.FormatVersionStamp(), "2007.10.30.142501");
  EXPECT_EQ(d.FormatLogStamp(), "30/10/2007 14:25:01");
  // A hair below the second still shows that second.
  EXPECT_EQ(DateValue(d.Serial() - 1e-9).FormatVersionStamp(), "2007.10.30.142501");
}

TEST(DateValue, SecondsDifferenceTruncatesBelowOneSecond) {
  const DateValue a = DateValue::FromCalendar(2020, 5, 5, 10, 0, 0);
  EXPECT_EQ(DifferenceInSeconds(a, a.AddMinutes(-1)), 60);
  EXPECT_EQ(DifferenceInSeconds(a.AddMinutes(-1), a), -60);
  EXPECT_EQ(DifferenceInSeconds(DateValue(a.Serial() + 0.9 / 86400), a), 0);
  EXPECT_EQ(DifferenceInSeconds(DateValue::FromCalendar(2020, 5, 6), DateValue::FromCalendar(2020, 5, 5)), 86400);
}

}  // namespace
}  // namespace tw
