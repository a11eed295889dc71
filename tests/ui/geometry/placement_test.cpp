#include "ui/geometry/placement.h"

#include <gtest/gtest.h>

#include "common/settings_keys.h"
#include "support/fake_settings_store.h"
#include "ui/busy_pointer_book.h"
#include "ui/geometry/column_sizing.h"
#include "ui/geometry/twips.h"

namespace tw {
namespace {

// A window on one 1920x1080 screen whose usable area leaves a 40-pixel
// panel at the bottom.
class FakeWindow : public PlacementTarget {
 public:
  FakeWindow() { screens.push_back(PixelRect{0, 0, 1920, 1040}); }
  WindowShowState State() override { return state; }
  void SetState(WindowShowState s) override { state = s; }
  PixelRect NormalRect() override { return rect; }
  void SetNormalRect(const PixelRect& r) override { rect = r; }
  double DpiX() override { return dpi; }
  double DpiY() override { return dpi; }
  std::vector<PixelRect> Screens() override { return screens; }
  std::optional<PixelRect> PointerScreen() override { return pointer; }

  std::optional<PixelRect> pointer;
  WindowShowState state = WindowShowState::Normal;
  PixelRect rect{760, 390, 400, 300};
  double dpi = 96;
  std::vector<PixelRect> screens;
};

class PlacementTest : public ::testing::Test {
 protected:
  std::optional<std::string> Stored(std::string_view key) {
    return settings_.Get("Tarnwick\\FormMain", key);
  }
  void Put(std::string_view key, std::string_view value) { settings_.Set("Tarnwick\\FormMain", key, value); }

  testing::FakeSettingsStore settings_;
  FakeWindow window_;
  NumberFormat format_;
};

TEST_F(PlacementTest, SaveWritesTwipsAndTheStateAndLeavesTheWindowNormal) {
  window_.rect = {100, 50, 400, 300};
  window_.state = WindowShowState::Maximized;
  SaveWindowPlacement(window_, "FormMain", settings_, format_);
  EXPECT_EQ(Stored("WindowState"), "2");
  EXPECT_EQ(Stored("Width"), "6000");
  EXPECT_EQ(Stored("Height"), "4500");
  EXPECT_EQ(Stored("Left"), "1500");
  EXPECT_EQ(Stored("Top"), "750");
  EXPECT_EQ(window_.state, WindowShowState::Normal);

  FakeWindow next;
  RestoreWindowPlacement(next, "FormMain", settings_, format_);
  EXPECT_EQ(next.rect, (PixelRect{100, 50, 400, 300}));
  EXPECT_EQ(next.state, WindowShowState::Maximized);
}

TEST_F(PlacementTest, NoRecordKeepsTheDesignAndTheNormalState) {
  window_.state = WindowShowState::Minimized;
  RestoreWindowPlacement(window_, "FormMain", settings_, format_);
  EXPECT_EQ(window_.rect, (PixelRect{760, 390, 400, 300}));
  EXPECT_EQ(window_.state, WindowShowState::Normal);
}

TEST_F(PlacementTest, MeasuresFollowTheLogicalResolutionAndTheUsersNumberFormat) {
  window_.dpi = 110;  // 13.09 twips a pixel: fractions
  window_.rect = {10, 20, 333, 222};
  SaveWindowPlacement(window_, "FormMain", settings_, NumberFormat{','});
  EXPECT_EQ(Stored("Width"), "4359,273");
  EXPECT_EQ(Stored("Left"), "130,9091");
  FakeWindow next;
  next.dpi = 110;
  RestoreWindowPlacement(next, "FormMain", settings_, format_);
  EXPECT_EQ(next.rect, (PixelRect{10, 20, 333, 222}));

  // The same record on a 120-dpi screen: 12 twips a pixel.
  Put("Width", "6000");
  FakeWindow large;
  large.dpi = 120;
  RestoreWindowPlacement(large, "FormMain", settings_, format_);
  EXPECT_EQ(large.rect.width, 500);
}

TEST_F(PlacementTest, AValueThatDoesNotConvertIsSkippedAndTheRestApplied) {
  Put("Width", "largo");
  Put("Height", "3000");
  Put("Left", "1,5e3");
  Put("Top", "1.2.3");
  Put("WindowState", "1");
  RestoreWindowPlacement(window_, "FormMain", settings_, format_);
  EXPECT_EQ(window_.rect, (PixelRect{100, 390, 400, 200}));
  EXPECT_EQ(window_.state, WindowShowState::Minimized);

  Put("WindowState", "3");
  RestoreWindowPlacement(window_, "FormMain", settings_, format_);
  EXPECT_EQ(window_.state, WindowShowState::Normal);
  Put("WindowState", "nan");
  Put("Width", "1e300");
  RestoreWindowPlacement(window_, "FormMain", settings_, format_);
  EXPECT_EQ(window_.rect.width, 400);
}

TEST_F(PlacementTest, TinySizesApplyButZeroAndNegativeSizesAreRefused) {
  Put("Width", "15");
  Put("Height", "0");
  RestoreWindowPlacement(window_, "FormMain", settings_, format_);
  EXPECT_EQ(window_.rect.width, 1);
  EXPECT_EQ(window_.rect.height, 300);
  Put("Width", "-600");
  Put("Height", "5");  // a third of a pixel
  RestoreWindowPlacement(window_, "FormMain", settings_, format_);
  EXPECT_EQ(window_.rect.width, 1);
  EXPECT_EQ(window_.rect.height, 300);
}

TEST_F(PlacementTest, ARecordOutsideEveryScreenIsCentredWithItsSizeAsFarAsItFits) {
  Put("Left", "60000");  // 4000 pixels: a monitor that is gone
  Put("Top", "1500");
  Put("Width", "9000");
  Put("Height", "30000");  // 2000 pixels: taller than the screen
  Put("WindowState", "2");
  RestoreWindowPlacement(window_, "FormMain", settings_, format_);
  EXPECT_EQ(window_.rect, (PixelRect{660, 0, 600, 1040}));
  EXPECT_EQ(window_.state, WindowShowState::Maximized);

  // Partly visible on the second screen: left where it was.
  window_.screens.push_back({1920, 0, 2560, 1440});
  Put("Height", "4500");
  RestoreWindowPlacement(window_, "FormMain", settings_, format_);
  EXPECT_EQ(window_.rect, (PixelRect{4000, 100, 600, 300}));
}

// The frame's top-left is what is stored; a title bar that would lie off
// the screen is brought back, and a first start opens where the pointer is.
TEST_F(PlacementTest, TheTitleBarStaysOnScreenAndAFirstStartFollowsThePointer) {
  struct Case {
    const char* left;
    const char* top;
    PixelRect expected;
  };
  const std::vector<Case> cases = {
      {"0", "-300", {0, 0, 400, 300}},          // above the screen
      {"0", "15300", {0, 1016, 400, 300}},      // below it: the title bar's height stays in view
      {"-5550", "1500", {-336, 100, 400, 300}},  // nearly off the left edge: a grip comes back
      {"150", "150", {10, 10, 400, 300}},       // on screen: left alone
  };
  for (const Case& c : cases) {
    Put("Left", c.left);
    Put("Top", c.top);
    RestoreWindowPlacement(window_, "FormMain", settings_, format_);
    EXPECT_EQ(window_.rect, c.expected) << c.left << " " << c.top;
  }

  testing::FakeSettingsStore nothing_stored;
  window_.screens.push_back({1920, 0, 2560, 1440});
  window_.pointer = PixelRect{1920, 0, 2560, 1440};
  window_.rect = {0, 0, 400, 300};
  RestoreWindowPlacement(window_, "FormMain", nothing_stored, format_);
  EXPECT_EQ(window_.rect, (PixelRect{1920 + 1080, 570, 400, 300}));
}

TEST(Twips, FifteenTwipsAPixelAt96Dpi) {
  EXPECT_EQ(TwipsToPixels(4800, 96), 320);
  EXPECT_EQ(TwipsToPixels(195, 96), 13);
  EXPECT_EQ(TwipsToPixels(4800, 144), 480);
  EXPECT_DOUBLE_EQ(PixelsToTwips(320, 96), 4800);
  EXPECT_FALSE(Intersects({0, 0, 10, 10}, {10, 0, 10, 10}));
  EXPECT_TRUE(Intersects({0, 0, 11, 10}, {10, 0, 10, 10}));
}

TEST(BusyPointerBook, NestsAndGivesBackThePointerBeforeTheFirstOn) {
  constexpr int kArrow = 0, kCross = 2, kHourglass = 11;
  BusyPointerBook<int> book;
  EXPECT_EQ(book.Change(1234, kCross, true, kHourglass), kHourglass);
  EXPECT_EQ(book.Change(1234, kHourglass, true, kHourglass), kHourglass);
  EXPECT_EQ(book.Change(1234, kHourglass, false, kHourglass), std::nullopt);
  EXPECT_EQ(book.Depth(1234), 1);
  EXPECT_EQ(book.Change(1234, kHourglass, false, kHourglass), kCross);
  EXPECT_EQ(book.Depth(1234), 0);

  // An off without an on gives the window its own pointer, leaving no entry.
  EXPECT_EQ(book.Change(77, kArrow, false, kHourglass), kArrow);
  EXPECT_EQ(book.Depth(77), 0);

  // Windows are kept apart; a forgotten window starts afresh.
  book.Change(1, kCross, true, kHourglass);
  book.Change(2, kArrow, true, kHourglass);
  book.Forget(1);
  EXPECT_EQ(book.Depth(1), 0);
  EXPECT_EQ(book.Change(2, kHourglass, false, kHourglass), kArrow);
}

TEST(AutoSizeColumns, AnEmptyListSizesEveryColumnElseTheListedOnes) {
  EXPECT_EQ(ColumnsToSize(4, {}), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(ColumnsToSize(4, {3, 1}), (std::vector<int>{3, 1}));
  EXPECT_EQ(ColumnsToSize(4, {-1, 4, 2}), (std::vector<int>{2}));
  EXPECT_TRUE(ColumnsToSize(0, {}).empty());
}

}  // namespace
}  // namespace tw
