#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "ui/column_widths.h"
#include "ui/main_layout.h"

namespace tw {
namespace {

TEST(MainLayoutTest, DesignSizePlacesEveryControl) {
  const MainLayout l = LayoutMainWindow(kDesignLayout, 6000, 4500);
  EXPECT_EQ(l.update_button, (TwipRect{4865, 4115, 1125, 375}));
  EXPECT_EQ(l.cancel_button, (TwipRect{3735, 4115, 1125, 375}));
  EXPECT_EQ(l.modules, (TwipRect{0, 0, 6000, 4105}));
  EXPECT_EQ(l.log, l.modules);
  EXPECT_EQ(l.logo, (TwipRect{120, 4077.5, 1050, 450}));
  EXPECT_EQ(l.hide_box, (TwipRect{1410, 4205, 2205, 195}));
  // Laying out again at the same size changes nothing.
  EXPECT_EQ(LayoutMainWindow(l, 6000, 4500), l);
}

TEST(MainLayoutTest, AFirstStartIsWideEnoughForTheHideCaptionAndTheColumns) {
  // {hide box, columns, width}: the design, a caption 1000 twips wider
  // than the design's box, columns wider than both.
  const double cases[][3] = {{2205, 5000, 6000}, {3205, 5000, 7000}, {3205, 8000, 8000}};
  for (const auto& c : cases) {
    const double width = FirstStartClientWidth(c[0], c[1]);
    EXPECT_EQ(width, c[2]);
    EXPECT_GE(LayoutMainWindow(kDesignLayout, width, 4500).hide_box.width, c[0]);
  }
}

TEST(MainLayoutTest, WideningMovesTheButtonsAndStretchesTheRest) {
  const MainLayout before = LayoutMainWindow(kDesignLayout, 6000, 4500);
  const MainLayout after = LayoutMainWindow(before, 7500, 4500);
  EXPECT_EQ(after.update_button.left, before.update_button.left + 1500);
  EXPECT_EQ(after.cancel_button.left, before.cancel_button.left + 1500);
  EXPECT_EQ(after.modules.width, 7500);
  EXPECT_EQ(after.log, after.modules);
  EXPECT_EQ(after.hide_box.width, before.hide_box.width + 1500);
  EXPECT_EQ(after.hide_box.left, before.hide_box.left);
  EXPECT_EQ(after.logo, before.logo);
}

TEST(MainLayoutTest, ANegativeSizeSkipsOnlyItsOwnStep) {
  const MainLayout before = LayoutMainWindow(kDesignLayout, 6000, 4500);
  // Too narrow for the check box: it keeps its width, the rest still moves.
  const MainLayout narrow = LayoutMainWindow(before, 2000, 4500);
  EXPECT_EQ(narrow.hide_box.width, before.hide_box.width);
  EXPECT_EQ(narrow.hide_box.top, 4205);
  EXPECT_EQ(narrow.cancel_button.left, 2000 - 1125 - 10 - 1125 - 5);
  EXPECT_EQ(narrow.modules.width, 2000);

  // Minimized: no height. The list and the log stay where they were, the
  // bottom row goes above the top edge.
  const MainLayout minimized = LayoutMainWindow(before, 6000, 0);
  EXPECT_EQ(minimized.modules, before.modules);
  EXPECT_EQ(minimized.log, before.log);
  EXPECT_EQ(minimized.update_button.top, -385);
  EXPECT_EQ(minimized.cancel_button.top, -385);
  EXPECT_EQ(minimized.logo.top, -422.5);
  EXPECT_EQ(minimized.hide_box.top, -295);
}

TEST(MainLayoutTest, TwipsAndPixelsConvertAtTheResolution) {
  EXPECT_EQ(TwipsToPixels(6000, 96), 400);
  EXPECT_EQ(TwipsToPixels(15, 96), 1);
  EXPECT_EQ(PixelsToTwips(400, 96), 6000);
  EXPECT_EQ(TwipsToPixels(1440, 144), 144);
}

// The widths kept as rows come and cells change are those of measuring
// every cell again.
TEST(ColumnWidthsTest, KeptWidthsEqualAFullMeasure) {
  const std::vector<int> headers = {40, 30, 60, 20};
  ColumnWidths widths(headers);
  std::vector<std::vector<int>> cells;
  std::mt19937 random(7);
  std::uniform_int_distribution<int> width(0, 120);
  for (int step = 0; step < 2000; ++step) {
    if (cells.empty() || step % 3 != 0) {
      std::vector<int> row = {width(random), width(random), width(random), width(random)};
      widths.AddRow(row);
      cells.push_back(row);
    } else {
      const size_t row = random() % cells.size(), column = random() % 4;
      const int w = width(random);
      widths.SetCell(row, column, w);
      cells[row][column] = w;
    }
    for (size_t c = 0; c < 4; ++c) {
      int expected = headers[c];
      for (const auto& row : cells) expected = std::max(expected, row[c]);
      ASSERT_EQ(widths.Width(c), expected) << "step " << step << " column " << c;
    }
  }
  EXPECT_EQ(widths.Rows(), cells.size());

  // The widest cell shrinking gives the column back to the next widest.
  ColumnWidths two(std::vector<int>{10});
  two.AddRow(std::vector<int>{50});
  two.AddRow(std::vector<int>{50});
  two.AddRow(std::vector<int>{30});
  two.SetCell(0, 0, 5);
  EXPECT_EQ(two.Width(0), 50);
  two.SetCell(1, 0, 5);
  EXPECT_EQ(two.Width(0), 30);
  two.SetHeader(0, 80);
  EXPECT_EQ(two.Width(0), 80);
  two.SetCell(9, 0, 500);  // no such row
  EXPECT_EQ(two.Width(0), 80);
}

}  // namespace
}  // namespace tw
