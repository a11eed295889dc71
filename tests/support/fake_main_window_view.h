// A main window held in memory: what the controller showed, in order, and
// the answers and events a test scripts.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/main_window_view.h"

namespace tw::testing {

class FakeMainWindowView : public MainWindowView {
 public:
  void RestorePlacement() override { events.push_back("restore placement"); }
  void SavePlacement() override { events.push_back("save placement"); }
  void SetColumnCaption(int column, std::string_view caption) override { columns.at(column) = caption; }
  void SetButton(int index, std::string_view caption, std::string_view tag) override {
    buttons.at(index).caption = caption;
    buttons.at(index).tag = tag;
  }
  void EnableButton(int index, bool enabled) override { buttons.at(index).enabled = enabled; }
  void SetHideCaption(std::string_view caption) override { hide_caption = caption; }
  void SetHideValue(int value) override { hide_value = value; }

  void AddRow(const ModuleRow& row) override {
    rows.push_back(row);
    rows.back().checked = new_rows_checked;
  }
  void SetRowStatus(size_t row, std::string_view status) override {
    rows.at(row).status = status;
    statuses.push_back(rows.at(row).text + ": " + std::string(status));
  }
  bool IsRowChecked(size_t row) override { return rows.at(row).checked; }
  void AutoSizeColumns() override { ++column_sizings; }

  void AppendLogLine(std::string_view line) override { log.emplace_back(line); }
  void ShowLog() override { events.push_back("show log"); }

  bool Ask(int id, std::string_view text) override {
    events.push_back("ask " + std::to_string(id));
    questions.emplace_back(text);
    if (splash_visible) asked_under_splash = true;
    if (on_ask) on_ask(id);
    if (answers.empty()) return true;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void ShowMessage(int id, std::string_view) override {
    events.push_back("message " + std::to_string(id));
    if (splash_visible) asked_under_splash = true;
  }

  void SetBusy(bool on) override { busy += on ? 1 : -1; events.push_back(on ? "busy on" : "busy off"); }
  void ShowSplash() override { splash_visible = true; events.push_back("splash on"); }
  void HideSplash() override { splash_visible = false; events.push_back("splash off"); }
  void SetSplashProgress(int percent) override { splash_progress.push_back(percent); }
  void SetRunProgress(std::string_view progress) override { run_progress.emplace_back(progress); }

  void ProcessEvents() override {
    ++events_processed;
    if (on_process_events) on_process_events();
  }
  void CloseWindow() override { closed = true; events.push_back("close"); }

  // The log lines without their time stamps.
  std::vector<std::string> LogMessages() const {
    std::vector<std::string> messages;
    for (const auto& line : log) messages.push_back(line.substr(22));
    return messages;
  }

  struct Button {
    std::string caption, tag;
    bool enabled = true;
  };
  std::vector<std::string> columns = std::vector<std::string>(4);
  std::vector<Button> buttons = std::vector<Button>(2);
  std::string hide_caption;
  int hide_value = -1;
  std::vector<ModuleRow> rows;
  bool new_rows_checked = true;
  std::vector<std::string> statuses;  // "file: status" in order
  std::vector<std::string> log;
  std::vector<std::string> events;
  std::vector<std::string> questions;
  std::deque<bool> answers;  // true (OK, Sì) once they run out
  std::function<void(int)> on_ask;
  std::function<void()> on_process_events;
  bool splash_visible = false, asked_under_splash = false, closed = false;
  std::vector<int> splash_progress;
  std::vector<std::string> run_progress;
  int busy = 0, column_sizings = 0, events_processed = 0;
};

}  // namespace tw::testing
