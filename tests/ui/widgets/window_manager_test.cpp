// The main window and the splash as a window manager treats them (openbox
// on Xvfb, run by window_manager_test.sh): where a first start puts the
// frame, how small a stored placement may make the window, and that the
// splash never takes the activation. Skipped on Qt's offscreen platform.
#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

#include "common/settings_keys.h"
#include "ui/main_layout.h"
#include "ui/widgets/form_splash.h"
#include "form_main_window_rig.h"

namespace tw {
namespace {

using testing::NginxServer;
using testing::WindowRig;

const QString kCaption = QStringLiteral("&Nascondi al prossimo avvio");

class UnderWindowManager : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) GTEST_SKIP() << "needs X and a window manager";
    ASSERT_TRUE(nginx_.running());
    base_ = nginx_.FreshBase();
    nginx_.Put(base_ + ".ini", "[Setup]\r\n");
  }

  // Shown, framed by the window manager and active.
  static bool OpenManaged(FormMain& form) {
    if (!form.Load()) return false;
    form.show();
    return QTest::qWaitFor(
        [&] { return form.isActiveWindow() && form.frameGeometry().top() != form.geometry().top(); }, 10000);
  }

  NginxServer& nginx_ = NginxServer::Shared();
  std::string base_;
};

TEST_F(UnderWindowManager, AFirstStartShowsItsTitleBarAndItsCaptionAndTheSplashNeverTakesTheFocus) {
  WindowRig rig(base_);
  FormMain& form = rig.form();
  ASSERT_TRUE(OpenManaged(form));
  EXPECT_GE(form.frameGeometry().top(), 0);
  EXPECT_GE(form.frameGeometry().left(), 0);
  EXPECT_EQ(form.ChkHide()->text(), kCaption);
  EXPECT_TRUE(form.ChkHide()->toolTip().isEmpty());

  // The splash comes up over the active window and stays a bystander.
  rig.splash().ShowSplash();
  FormSplash* splash = rig.splash().Window();
  ASSERT_NE(splash, nullptr);
  bool splash_active = false;
  (void)QTest::qWaitFor(
      [&] {
        splash_active = splash_active || splash->isActiveWindow() || QApplication::activeWindow() == splash;
        return false;
      },
      1500);
  EXPECT_TRUE(splash->isVisible());
  EXPECT_FALSE(splash_active);
  EXPECT_TRUE(form.isActiveWindow());
  rig.splash().HideSplash();
}

TEST_F(UnderWindowManager, AStoredTinyPlacementOpensAtTheDesignSizeOrLarger) {
  WindowRig rig(base_);
  const std::string section = std::string(settings::kSection) + "\\FormMain";
  // 90 x 60 pixels at 96 dpi, in the screen's corner: the place is the
  // frame's, so its title bar is on screen too.
  for (const auto& [key, value] : {std::pair{"Width", "1350"}, {"Height", "900"}, {"Left", "0"}, {"Top", "0"}})
    rig.settings().Write(settings::kApplication, section, key, value);
  FormMain& form = rig.form();
  ASSERT_TRUE(OpenManaged(form));
  EXPECT_EQ(form.frameGeometry().topLeft(), QPoint(0, 0));
  EXPECT_GE(form.width(), static_cast<int>(TwipsToPixels(kDesignClientWidth, form.logicalDpiX())));
  EXPECT_GE(form.height(), static_cast<int>(TwipsToPixels(kDesignClientHeight, form.logicalDpiY())));
  // Whole, or cut with the whole caption a hover away.
  if (form.ChkHide()->text() != kCaption) {
    EXPECT_TRUE(form.ChkHide()->text().endsWith(QChar(0x2026)));
    EXPECT_EQ(form.ChkHide()->toolTip(), QStringLiteral("Nascondi al prossimo avvio"));
  }
}

}  // namespace
}  // namespace tw
