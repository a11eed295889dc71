// What the main window's controller asks of the window itself: rows of the
// module list, the log, the buttons, the hide check box, the questions and
// the window services. The window (or a stand-in without a display)
// implements it and forwards its events to the controller.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tw {

struct ModuleRow {
  std::string key;             // the module's full local path
  std::string text;            // file name, first column
  std::string tag;             // registration kind
  std::string client_version;  // sub-item "CLIENT VERSION"
  std::string remote_version;  // sub-item "REMOTE VERSION"
  std::string status;          // sub-item "STATUS"
  bool checked = true;
};

// The buttons of a question or message box, by its string-table number.
enum class MessageButtons { Ok, OkCancel, YesNo };
MessageButtons ButtonsOfMessage(int id);

class MainWindowView {
 public:
  virtual ~MainWindowView() = default;

  // Placement of the window in the settings store.
  virtual void RestorePlacement() = 0;
  virtual void SavePlacement() = 0;

  // Captions; `caption` may carry an "&" before the access key.
  virtual void SetColumnCaption(int column, std::string_view caption) = 0;
  virtual void SetButton(int index, std::string_view caption, std::string_view tag) = 0;
  virtual void EnableButton(int index, bool enabled) = 0;
  virtual void SetHideCaption(std::string_view caption) = 0;
  // 0 unchecked, 1 checked, 2 greyed.
  virtual void SetHideValue(int value) = 0;

  // Rows are only ever appended; `row` counts from 0 in that order.
  virtual void AddRow(const ModuleRow& row) = 0;
  virtual void SetRowStatus(size_t row, std::string_view status) = 0;
  virtual bool IsRowChecked(size_t row) = 0;
  // Columns fit their headers and every cell (called after each new row,
  // so it must not cost a pass over the whole list).
  virtual void AutoSizeColumns() = 0;

  // `line` becomes the log's new last line.
  virtual void AppendLogLine(std::string_view line) = 0;
  // The log becomes visible in front of the list.
  virtual void ShowLog() = 0;

  // A question of the string table (901, 902, 903) with its buttons and
  // icon; true for OK or "Sì".
  virtual bool Ask(int id, std::string_view text) = 0;
  // A message with an OK button (908).
  virtual void ShowMessage(int id, std::string_view text) = 0;

  // Nested: busy until every on has met its off.
  virtual void SetBusy(bool on) = 0;
  virtual void ShowSplash() = 0;
  virtual void HideSplash() = 0;
  // A bar under the splash's text; -1 takes it away.
  virtual void SetSplashProgress(int percent) = 0;
  // The run's overall progress beside the window's title ("2 di 12
  // moduli, 1,5 MB"); "" gives the title back as it was.
  virtual void SetRunProgress(std::string_view progress) = 0;

  // Lets pending window events run (clicks included).
  virtual void ProcessEvents() = 0;
  // Unloads the window; the controller has allowed the close by then.
  virtual void CloseWindow() = 0;
};

}  // namespace tw
