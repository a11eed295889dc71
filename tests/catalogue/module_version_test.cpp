#include "catalogue/module_version.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

const DateValue kDay1 = DateValue::FromCalendar(2007, 10, 30, 14, 25, 1);
const DateValue kDay2 = DateValue::FromCalendar(2007, 10, 31, 14, 25, 1);

TEST(ModuleVersion, TextsBecomeNumbersPieceByPiece) {
  const ModuleVersion v = MakeModuleVersion("1.2.x.4.9", kDay1);
  EXPECT_EQ(v.Kind, VersionKindNumbers);
  EXPECT_EQ(VersionText(v), "1.2.0.4");
  EXPECT_EQ(VersionText(MakeModuleVersion("1.2", kDay1)), "1.2.0.0");
  EXPECT_EQ(VersionText(MakeModuleVersion("70000.-5.32767", kDay1)), "0.0.32767.0");
  EXPECT_EQ(VersionText(MakeModuleVersion("2.0.40000.65535", kDay1)), "2.0.40000.65535");
  const ModuleVersion dated = MakeModuleVersion("", kDay1);
  EXPECT_EQ(dated.Kind, VersionKindDate);
  EXPECT_EQ(VersionText(dated), "2007.10.30.142501");
  EXPECT_EQ(VersionText(MakeModuleVersion("", DateValue())), "-.-.-.-");
}

TEST(ModuleVersion, EmptyMeansAllFourNumbersZero) {
  EXPECT_TRUE(IsVersionEmpty(ModuleVersion{}));
  EXPECT_TRUE(IsVersionEmpty(MakeModuleVersion("0.0.0.0", kDay1)));
  EXPECT_TRUE(IsVersionEmpty(MakeModuleVersion("", DateValue())));
  EXPECT_FALSE(IsVersionEmpty(MakeModuleVersion("", kDay1)));
  EXPECT_TRUE(IsVersionEmpty(MakeModuleVersion("-1.65536", DateValue())));  // both out of range
  EXPECT_FALSE(IsVersionEmpty(MakeModuleVersion("0.0.0.65535", DateValue())));
  ModuleVersion odd;
  odd.Kind = 7;
  EXPECT_FALSE(IsVersionEmpty(odd));
  EXPECT_EQ(VersionText(odd), "-.-.-.-");
}

TEST(ModuleVersion, NumbersCompareFieldByField) {
  // Build numbers above 32767 are ordinary: 2.0.40000.0 is newer, not 0.
  const struct { const char *a, *b; int expected; } cases[] = {
      {"2.0.40000.0", "2.0.30000.0", 1}, {"2.0.30000.0", "2.0.40000.0", -1},
      {"65535.0", "32768.0", 1},         {"1.0.65535.0", "1.0.65535", 0}};
  for (const auto& c : cases) {
    ModuleVersion a = MakeModuleVersion(c.a, kDay1), b = MakeModuleVersion(c.b, kDay1);
    EXPECT_EQ(CompareVersions(a, b), c.expected) << c.a << " against " << c.b;
  }
  ModuleVersion a = MakeModuleVersion("6.0.8169.0", kDay1), b = MakeModuleVersion("6.0.8170.0", kDay1);
  EXPECT_EQ(CompareVersions(a, b), -1);
  EXPECT_EQ(a.Kind, VersionKindNumbers);
  EXPECT_EQ(b.Kind, VersionKindNumbers);
  ModuleVersion c = MakeModuleVersion("2.0", kDay1), d = MakeModuleVersion("1.9.9.9", kDay2);
  EXPECT_EQ(CompareVersions(c, d), 1);
}

TEST(ModuleVersion, EqualNumbersAreDecidedByDateAndBothBecomeDates) {
  ModuleVersion remote = MakeModuleVersion("1.0.0.0", kDay2), local = MakeModuleVersion("1.0.0.0", kDay1);
  EXPECT_EQ(CompareVersions(remote, local), 1);
  EXPECT_EQ(remote.Kind, VersionKindDate);
  EXPECT_EQ(local.Kind, VersionKindDate);
  EXPECT_EQ(VersionText(local), "2007.10.30.142501");
  // Less than a second apart is the same date: nothing is rewritten.
  ModuleVersion x = MakeModuleVersion("1.0", DateValue(kDay1.Serial() + 0.5 / 86400)), y = MakeModuleVersion("1.0", kDay1);
  EXPECT_EQ(CompareVersions(x, y), 0);
  EXPECT_EQ(x.Kind, VersionKindNumbers);
}

TEST(ModuleVersion, OnlyTheFirstRecordsKindChoosesTheOrder) {
  // A dated, B numbered: dates first; B's numbers only on equal dates.
  ModuleVersion a = MakeModuleVersion("", kDay1), b = MakeModuleVersion("9.9", kDay2);
  EXPECT_EQ(CompareVersions(a, b), -1);
  EXPECT_EQ(b.Kind, VersionKindNumbers);
  ModuleVersion c = MakeModuleVersion("", kDay1), d = MakeModuleVersion("9.9", kDay1);
  EXPECT_EQ(CompareVersions(c, d), -1);  // 0.0.0.0 against 9.9.0.0
  EXPECT_EQ(c.Kind, VersionKindNumbers);
  EXPECT_EQ(d.Kind, VersionKindNumbers);
  // A numbered against a dated B (numbers 0.0.0.0): numbers decide alone.
  ModuleVersion e = MakeModuleVersion("1.0.0.0", DateValue()), f = MakeModuleVersion("", kDay2);
  EXPECT_EQ(CompareVersions(e, f), 1);
  EXPECT_EQ(f.Kind, VersionKindDate);
}

}  // namespace
}  // namespace tw
