// FormMain: the main window. It shows what its controller decides (the
// module list, the log, the buttons, the questions) and hands every event
// of the window to it: the load before the first show, each activation, the
// close request, the unload, the clicks and the check marks.
#pragma once

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <array>

#include "ui/activation_count.h"
#include "ui/main_layout.h"
#include "ui/main_window_view.h"

class QSessionManager;

namespace tw {

class BusyPointers;
class MainWindowController;
class ModuleListWidget;
class SettingsStore;
class SplashService;

class FormMain : public QWidget, public MainWindowView {
 public:
  FormMain(SettingsStore& settings, SplashService& splash, BusyPointers& busy);
  ~FormMain() override;

  // The controller the window's events go to; set once, before Load.
  void Attach(MainWindowController& controller) { controller_ = &controller; }
  // The load: true when the window is to be shown (it is not shown yet).
  bool Load();

  ModuleListWidget* LVModules() { return lv_modules_; }
  QPushButton* CmdAction(int index) { return cmd_action_[index == 0 ? 0 : 1]; }
  QCheckBox* ChkHide() { return chk_hide_; }
  QPlainTextEdit* TxtLog() { return txt_log_; }
  QLabel* ImgLogo() { return img_logo_; }
  const MainLayout& Layout() const { return layout_; }

  // --- MainWindowView ---------------------------------------------------
  void RestorePlacement() override;
  void SavePlacement() override;
  void SetColumnCaption(int column, std::string_view caption) override;
  void SetButton(int index, std::string_view caption, std::string_view tag) override;
  void EnableButton(int index, bool enabled) override;
  void SetHideCaption(std::string_view caption) override;
  void SetHideValue(int value) override;
  void AddRow(const ModuleRow& row) override;
  void SetRowStatus(size_t row, std::string_view status) override;
  bool IsRowChecked(size_t row) override;
  void AutoSizeColumns() override;
  void AppendLogLine(std::string_view line) override;
  void ShowLog() override;
  bool Ask(int id, std::string_view text) override;
  void ShowMessage(int id, std::string_view text) override;
  void SetBusy(bool on) override;
  void ShowSplash() override;
  void HideSplash() override;
  void SetSplashProgress(int percent) override;
  void SetRunProgress(std::string_view progress) override;
  void ProcessEvents() override;
  void CloseWindow() override;

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  void ApplyLayout();
  // The hide box's caption whole where it fits, else cut with "…" and
  // whole in its tooltip.
  void FitHideCaption();
  // Wide enough for the list's columns and the hide box's caption in this
  // font, never below the design size.
  QSize FirstStartSize();
  void ButtonClicked(int index);
  void ActivateLater();
  void SessionEnding(QSessionManager& manager);
  int MessageBox(int id, std::string_view text);

  SettingsStore& settings_;
  SplashService& splash_;
  BusyPointers& busy_;
  MainWindowController* controller_ = nullptr;

  ModuleListWidget* lv_modules_ = nullptr;
  QPlainTextEdit* txt_log_ = nullptr;
  std::array<QPushButton*, 2> cmd_action_{};
  QCheckBox* chk_hide_ = nullptr;
  QLabel* img_logo_ = nullptr;
  QString hide_caption_;

  MainLayout layout_ = kDesignLayout;
  ActivationCount activations_;
  static constexpr qint64 kEventsEveryMs = 40;  // 25 times a second
  QElapsedTimer last_events_;
  bool shown_once_ = false;
  bool unloaded_ = false;
};

}  // namespace tw
