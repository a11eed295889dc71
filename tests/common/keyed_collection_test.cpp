#include "common/keyed_collection.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(KeyedCollection, PresentKeyInAnyCaseRefusesTheAddAndKeepsTheFirstValue) {
  KeyedCollection<std::string> c;
  EXPECT_TRUE(c.Add("first", "Version"));
  EXPECT_FALSE(c.Add("second", "VERSION"));
  EXPECT_EQ(c.Count(), 1u);
  EXPECT_EQ(*c.Find("version"), "first");
  EXPECT_TRUE(c.Add("città", "CITTÀ"));
  EXPECT_FALSE(c.Add("x", "città"));
}

TEST(KeyedCollection, PositionsCountFromOneAndSurviveRemoval) {
  KeyedCollection<int> c;
  c.Add(1, "a");
  c.Add(2);  // no key
  c.Add(3, "c");
  EXPECT_EQ(c.At(1).value, 1);
  EXPECT_FALSE(c.At(2).key.has_value());
  EXPECT_TRUE(c.Remove("A"));
  EXPECT_FALSE(c.Remove("a"));
  EXPECT_EQ(c.At(2).value, 3);
  EXPECT_EQ(*c.Find("C"), 3);
  EXPECT_TRUE(c.Add(4, "a"));  // the removed key is free again
  EXPECT_THROW(c.At(4), std::out_of_range);
}

}  // namespace
}  // namespace tw
