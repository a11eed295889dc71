// The main window's first display is its first activation, whether the
// window system activates it before, after, or never.
#include <gtest/gtest.h>

#include "ui/activation_count.h"

namespace tw {
namespace {

TEST(ActivationCount, FirstDisplayCountsOnceWhateverTheWindowSystemDoes) {
  {
    SCOPED_TRACE("no window manager: nothing activates the window");
    ActivationCount count;
    EXPECT_TRUE(count.Displayed());
    EXPECT_FALSE(count.Displayed());
  }
  {
    SCOPED_TRACE("activated before the display settled");
    ActivationCount count;
    EXPECT_TRUE(count.WindowActivated());
    EXPECT_FALSE(count.Displayed());
    EXPECT_TRUE(count.WindowActivated());
  }
  {
    SCOPED_TRACE("activated after the display stood in, then again by the user");
    ActivationCount count;
    EXPECT_TRUE(count.Displayed());
    EXPECT_FALSE(count.WindowActivated());
    EXPECT_TRUE(count.WindowActivated());
    EXPECT_TRUE(count.WindowActivated());
  }
}

}  // namespace
}  // namespace tw
