#include "startup/switches.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(Switches, ModuleNameKeepsItsCaseAndJoinsWordsWithSingleBlanks) {
  EXPECT_EQ(ReadMainWindowSwitches("@MODULE {ESEGUIBILI}\\Prog.exe").ModuleName,
            "{ESEGUIBILI}\\Prog.exe");
  EXPECT_EQ(ReadMainWindowSwitches("@m  {DATI}\\Due   Parole.mdb  @c").ModuleName,
            "{DATI}\\Due Parole.mdb");
  EXPECT_EQ(ReadMainWindowSwitches("@m").ModuleName, "");
  EXPECT_EQ(ReadMainWindowSwitches("@m    ").ModuleName, "");
  // The long form alone says "present, no value"; the short one is not read.
  EXPECT_EQ(ReadMainWindowSwitches("@module @m x").ModuleName, "");
}

TEST(Switches, ConfirmAndHiddenTakeNothingOrOne) {
  EXPECT_TRUE(ReadMainWindowSwitches("@c").ConfirmMode);
  EXPECT_TRUE(ReadMainWindowSwitches("@C 1").ConfirmMode);
  EXPECT_FALSE(ReadMainWindowSwitches("@c 0").ConfirmMode);
  EXPECT_FALSE(ReadMainWindowSwitches("@c sì").ConfirmMode);
  EXPECT_TRUE(ReadMainWindowSwitches("@hidden").HiddenMode);
  EXPECT_TRUE(ReadMainWindowSwitches("@h 1 @m x").HiddenMode);
  EXPECT_FALSE(ReadMainWindowSwitches("@h 1 2").HiddenMode);
  // The long form wins unless its value is empty.
  EXPECT_TRUE(ReadMainWindowSwitches("@confirm @c 0").ConfirmMode);
}

TEST(Switches, RepeatedSwitchExtendsItsFirstEntry) {
  EXPECT_EQ(ReadMainWindowSwitches("@m a @c @m b").ModuleName, "a b");
  const auto s = ParseSwitches("x y @M a @m b", " ", kSwitchNames);
  ASSERT_TRUE(s.has_value());
  EXPECT_EQ(s->Count(), 3u);  // two words without a key, one switch
  EXPECT_EQ(*s->Find("@m"), "a b");
  EXPECT_FALSE(s->At(1).key.has_value());
}

TEST(Switches, WordsBeforeTheFirstSwitchAndTabsAreNotSwitches) {
  const MainWindowSwitches none = ReadMainWindowSwitches("host @x \t@c");
  EXPECT_FALSE(none.ConfirmMode);
  EXPECT_EQ(none.ModuleName, "");
  EXPECT_FALSE(ReadMainWindowSwitches("@m\t@c").ConfirmMode);
  EXPECT_EQ(ReadMainWindowSwitches("@m\t@c").ModuleName, "");  // one unknown word
  EXPECT_FALSE(ParseSwitches("", " ", kSwitchNames).has_value());
}

TEST(Switches, BatchCommandKeepsQuotesAndCase) {
  EXPECT_EQ(ReadMainWindowSwitches("@m x @b \"C:\\Prog Files\\App.exe\" /A  /b").BatchCommand,
            "\"C:\\Prog Files\\App.exe\" /A /b");
  EXPECT_EQ(ReadMainWindowSwitches("@batch").BatchCommand, "");
  EXPECT_EQ(ReadMainWindowSwitches("@batch @b run").BatchCommand, "");
}

}  // namespace
}  // namespace tw
