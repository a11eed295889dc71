// The options window, the splash and the window services on real widgets,
// driven as a person would.
#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>
#include <QWindow>
#include <gtest/gtest.h>

#include "resources/string_table.h"
#include "support/fake_settings_store.h"
#include "support/window_system.h"
#include "ui/widgets/form_options.h"
#include "ui/widgets/form_splash.h"
#include "ui/widgets/program_icon.h"
#include "ui/widgets/window_placement.h"
#include "ui/widgets/window_services.h"

namespace tw {
namespace {

bool AnyWindowVisible() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible()) return true;
  return false;
}

class OptionsWindow : public ::testing::Test {
 protected:
  void Open(const QString& path) {
    form_.TxtPath()->setText(path);
    form_.open();  // modal, without a nested loop
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));
  }
  FormOptions form_;
};

TEST_F(OptionsWindow, HasTheDesignSizesTitleAndTabOrder) {
  EXPECT_EQ(form_.windowTitle(), "Opzioni");
  EXPECT_EQ(form_.size(), QSize(320, 160));  // 4800 x 2400 twips at 96 dpi
  EXPECT_EQ(form_.TxtPath()->geometry(), QRect(8, 24, 305, 19));
  EXPECT_EQ(form_.Cmds(0)->geometry(), QRect(232, 120, 73, 25));
  EXPECT_FALSE(form_.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  EXPECT_EQ(form_.Cmds(0)->text(), "OK");
  EXPECT_EQ(form_.Cmds(1)->text(), "Annulla");
  EXPECT_EQ(form_.TxtPath()->nextInFocusChain(), form_.ChkHide());
  EXPECT_EQ(form_.ChkHide()->nextInFocusChain(), form_.Cmds(0));
  EXPECT_EQ(form_.Cmds(0)->nextInFocusChain(), form_.Cmds(1));
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE(std::abs(form_.geometry().center().x() - screen.center().x()), 1);
}

TEST_F(OptionsWindow, RefusesItsCloseBoxButLetsTheProgramCloseIt) {
  Open("http://server/base");
  testing::CloseBoxClicked(form_.windowHandle());
  QApplication::processEvents();
  EXPECT_TRUE(form_.isVisible());
  EXPECT_EQ(form_.TxtPath()->text(), "http://server/base");
  form_.close();
  EXPECT_FALSE(form_.isVisible());
}

TEST_F(OptionsWindow, AnnullaAndEscapeEmptyThePathOkAndEnterKeepIt) {
  Open("http://server/base");
  QTest::mouseClick(form_.ChkHide(), Qt::LeftButton);
  QTest::mouseClick(form_.Cmds(1), Qt::LeftButton);
  EXPECT_FALSE(form_.isVisible());
  EXPECT_EQ(form_.TxtPath()->text(), "");
  EXPECT_TRUE(form_.ChkHide()->isChecked());  // kept for the caller

  Open("http://server/base");
  QTest::keyClick(form_.TxtPath(), Qt::Key_Escape);
  EXPECT_FALSE(form_.isVisible());
  EXPECT_EQ(form_.TxtPath()->text(), "");

  Open("");
  form_.TxtPath()->setFocus();
  QTest::keyClicks(form_.TxtPath(), "server/altro");
  QTest::keyClick(form_.TxtPath(), Qt::Key_Return);
  EXPECT_FALSE(form_.isVisible());
  EXPECT_EQ(form_.TxtPath()->text(), "server/altro");

  Open("server");
  QTest::mouseClick(form_.Cmds(0), Qt::LeftButton);
  EXPECT_EQ(form_.result(), QDialog::Accepted);
  EXPECT_EQ(form_.TxtPath()->text(), "server");
}

TEST(Splash, FramelessOnTopWithItsTextIconAndBlackOutline) {
  SplashService service;
  service.ShowSplash();
  FormSplash* splash = service.Window();
  ASSERT_NE(splash, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(splash));
  EXPECT_TRUE(splash->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(IsTopMost(splash));
  EXPECT_EQ(splash->LblInfo()->text().toStdString(), LoadResString(105));
  EXPECT_EQ(splash->windowTitle(), "");
  const QRect logo = splash->ImgLogo()->geometry();
  EXPECT_LE(std::abs(logo.left() - (splash->width() - logo.right() - 1)), 1);
  EXPECT_FALSE(splash->ImgLogo()->pixmap().isNull());

  const QImage image = splash->grab().toImage();
  const int w = image.width(), h = image.height();
  for (int x = 0; x < w; x += 7) {
    EXPECT_EQ(image.pixelColor(x, 0), Qt::black) << x;
    EXPECT_EQ(image.pixelColor(x, h - 1), Qt::black) << x;
  }
  for (int y = 0; y < h; y += 7) {
    EXPECT_EQ(image.pixelColor(0, y), Qt::black) << y;
    EXPECT_EQ(image.pixelColor(w - 1, y), Qt::black) << y;
  }
  EXPECT_NE(image.pixelColor(w / 2, 1), Qt::black);

  service.HideSplash();
  EXPECT_EQ(service.Window(), nullptr);
  EXPECT_FALSE(AnyWindowVisible());
}

TEST(Splash, HideWithoutShowShowsNothing) {
  SplashService service;
  service.HideSplash();
  EXPECT_EQ(service.Window(), nullptr);
  EXPECT_FALSE(AnyWindowVisible());
}

TEST(BusyPointer, NestsOnAWidgetAndRestoresACustomOrNoPointer) {
  BusyPointers busy;
  QWidget window;
  const QCursor hand(QPixmap(ProgramIconImage(32)), 3, 4);
  window.setCursor(hand);
  busy.SetBusyPointer(&window, true);
  busy.SetBusyPointer(&window, true);
  EXPECT_EQ(window.cursor().shape(), Qt::WaitCursor);
  busy.SetBusyPointer(&window, false);
  EXPECT_EQ(window.cursor().shape(), Qt::WaitCursor);
  EXPECT_EQ(busy.Depth(&window), 1);
  busy.SetBusyPointer(&window, false);
  EXPECT_EQ(window.cursor().shape(), Qt::BitmapCursor);
  EXPECT_EQ(window.cursor().hotSpot(), QPoint(3, 4));
  EXPECT_EQ(busy.Depth(&window), 0);

  // A control without a pointer of its own shows its window's, before and
  // after.
  auto* control = new QWidget(&window);
  busy.SetBusyPointer(control, false);  // off without on: nothing
  EXPECT_FALSE(control->testAttribute(Qt::WA_SetCursor));
  busy.SetBusyPointer(control, true);
  EXPECT_EQ(control->cursor().shape(), Qt::WaitCursor);
  busy.SetBusyPointer(control, false);
  EXPECT_FALSE(control->testAttribute(Qt::WA_SetCursor));
  EXPECT_EQ(control->cursor().shape(), Qt::BitmapCursor);
  busy.SetBusyPointer(nullptr, true);
}

TEST(BusyPointer, AWindowDestroyedWhileBusyLeavesNothingForItsSuccessor) {
  BusyPointers busy;
  auto* first = new QWidget;
  busy.SetBusyPointer(first, true);
  QWidget* gone = first;
  delete first;
  EXPECT_EQ(busy.Depth(gone), 0);
}

TEST(AutoSizeColumns, EachColumnTakesTheWiderOfContentsAndHeader) {
  QTreeWidget list;
  list.setRootIsDecorated(false);
  list.setHeaderLabels({"Modulo", "Locale", "Aggiornamento", "Stato"});
  for (int i = 0; i < 4; ++i) list.setColumnWidth(i, 5);
  new QTreeWidgetItem(&list, {"Un nome di modulo piuttosto lungo.exe", "1", "2", "Pronto"});
  list.show();
  AutoSizeColumns(&list);
  const QFontMetrics metrics(list.font());
  EXPECT_GE(list.columnWidth(0), metrics.horizontalAdvance("Un nome di modulo piuttosto lungo.exe"));
  EXPECT_GE(list.columnWidth(2), metrics.horizontalAdvance("Aggiornamento"));
  EXPECT_GE(list.columnWidth(1), metrics.horizontalAdvance("Locale"));
  EXPECT_GT(list.columnWidth(0), list.columnWidth(1));

  for (int i = 0; i < 4; ++i) list.setColumnWidth(i, 5);
  const int first = list.columnWidth(0);
  AutoSizeColumns(&list, {3});
  EXPECT_EQ(list.columnWidth(0), first);
  EXPECT_GE(list.columnWidth(3), metrics.horizontalAdvance("Pronto"));
}

TEST(TopMost, EntersAndLeavesTheBandWithoutMovingOrHiding) {
  QWidget window;
  window.setGeometry(100, 120, 300, 200);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  SetTopMost(&window, true);
  EXPECT_TRUE(IsTopMost(&window));
  EXPECT_TRUE(window.windowHandle()->flags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.geometry(), QRect(100, 120, 300, 200));
  SetTopMost(&window, false);
  EXPECT_FALSE(IsTopMost(&window));
  EXPECT_EQ(window.geometry(), QRect(100, 120, 300, 200));
}

TEST(ProgramIcon, EightSizesOf32BitsAndTheLogo) {
  const QList<QSize> sizes = ProgramIcon().availableSizes();
  EXPECT_EQ(sizes.size(), 8);
  EXPECT_TRUE(sizes.contains(QSize(16, 16)));
  EXPECT_TRUE(sizes.contains(QSize(128, 128)));
  for (const QSize& size : sizes) {
    const QImage image = ProgramIcon().pixmap(size).toImage();
    EXPECT_EQ(image.size(), size);
    EXPECT_EQ(image.depth(), 32);
    EXPECT_TRUE(image.hasAlphaChannel());
  }
  EXPECT_EQ(LogoImage().size(), QSize(70, 30));
}

class Placement : public ::testing::Test {
 protected:
  std::optional<std::string> Stored(std::string_view key) { return settings_.Get("Tarnwick\\FormMain", key); }
  testing::FakeSettingsStore settings_;
};

TEST_F(Placement, NormalMaximizedAndMinimizedRoundTrips) {
  {
    QWidget window;
    window.setGeometry(50, 60, 400, 300);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    SaveWindowPlacement(window, "FormMain", settings_);
  }
  EXPECT_EQ(Stored("WindowState"), "0");
  EXPECT_EQ(Stored("Width"), "6000");
  // The position is the frame's, its border (2 pixels here) outside the
  // client area.
  EXPECT_EQ(Stored("Left"), "720");
  {
    QWidget window;
    RestoreWindowPlacement(window, "FormMain", settings_);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.geometry(), QRect(50, 60, 400, 300));
    EXPECT_EQ(window.windowState(), Qt::WindowNoState);
  }
  {
    QWidget window;
    window.setGeometry(70, 80, 500, 350);
    window.showMaximized();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    SaveWindowPlacement(window, "FormMain", settings_);
    EXPECT_FALSE(window.isMaximized());
  }
  EXPECT_EQ(Stored("WindowState"), "2");
  EXPECT_EQ(Stored("Width"), "7500");
  {
    QWidget window;
    RestoreWindowPlacement(window, "FormMain", settings_);
    window.show();
    EXPECT_TRUE(window.isMaximized());
    window.showNormal();
    EXPECT_EQ(window.normalGeometry(), QRect(70, 80, 500, 350));
  }
  settings_.Set("Tarnwick\\FormMain", "WindowState", "1");
  {
    QWidget window;
    RestoreWindowPlacement(window, "FormMain", settings_);
    window.show();
    EXPECT_TRUE(window.isMinimized());
  }
}

TEST_F(Placement, ABadWidthIsSkippedAndAnOffScreenRecordComesBackOnScreen) {
  settings_.Set("Tarnwick\\FormMain", "Width", "largo");
  settings_.Set("Tarnwick\\FormMain", "Height", "3000");
  settings_.Set("Tarnwick\\FormMain", "Left", "300");
  settings_.Set("Tarnwick\\FormMain", "Top", "450");
  QWidget window;
  window.setGeometry(10, 10, 321, 123);
  RestoreWindowPlacement(window, "FormMain", settings_);
  EXPECT_EQ(window.geometry(), QRect(20, 30, 321, 200));

  settings_.Set("Tarnwick\\FormMain", "Left", "-90000");
  RestoreWindowPlacement(window, "FormMain", settings_);
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_TRUE(screen.contains(window.geometry()));
  EXPECT_EQ(window.size(), QSize(321, 200));
}

}  // namespace
}  // namespace tw
