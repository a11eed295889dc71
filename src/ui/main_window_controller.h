// The main window's decisions: its load, activation and close, the module
// list, the update run and the activity log, behind a view that the window
// (or a stand-in without a display) implements.
//
// The run and the list refresh wait on the event loop (network, post-setup
// programs), so clicks and activations can reach the controller while one of
// them is on the stack: the controller keeps one operation at a time, and a
// close asked for meanwhile takes effect when that operation returns.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/keyed_collection.h"
#include "platform/log_file.h"
#include "startup/switches.h"
#include "ui/activity_log.h"
#include "ui/main_window_view.h"
#include "ui/module_installer.h"

namespace tw {

class Catalogue;
class PathMapping;
class RunLog;
class SettingsStore;

struct MainWindowCollaborators {
  Catalogue& catalogue;
  const PathMapping& paths;
  SettingsStore& settings;
  ModuleInstaller& installer;
  Clock clock;
  // Hears every log line too (the log file, standard error); may be none.
  RunLog* run_log = nullptr;
};

// How the load ended.
enum class LoadOutcome {
  ShowWindow,  // the window is to be shown and waits for the user
  Closed,      // the hidden start did its work (or had none) and closed
};

// A string-table id written as the design's caption, replaced by its text;
// an id the table does not hold stays as it is.
std::string CaptionForDesignText(std::string_view design_text);

class MainWindowController {
 public:
  MainWindowController(MainWindowSwitches switches, MainWindowCollaborators with, MainWindowView& view);
  ~MainWindowController();
  MainWindowController(const MainWindowController&) = delete;
  MainWindowController& operator=(const MainWindowController&) = delete;

  // --- window events --------------------------------------------------
  LoadOutcome Load();
  void Activated();
  // True only for the close that CloseProcedure asks for; the close box,
  // the keyboard, the task list and the end of the session are refused.
  bool CloseRequested() const { return closing_; }
  void Unloaded();
  void ButtonClicked(int index);
  void ItemCheckChanged();
  // The user changed the hide check box: 0 clear, 1 set. Stored at once.
  void HideChanged(int value);

  // --- operations -----------------------------------------------------
  void RefreshList();
  void FillModuleList(std::string_view module);
  void CloseProcedure();

  // --- state ----------------------------------------------------------
  bool UpdateErrors() const { return update_errors_; }
  // What the process returns once the window is gone: 1 when a module the
  // run covered could not be put in place (its download failed too), or
  // when the repository could not be read for the list or its index was
  // refused; else 0.
  int ExitStatus() const;
  bool Closed() const { return closing_; }
  bool Running() const { return activity_ == Activity::Running; }
  const std::string& ButtonTag(int index) const { return tags_[index == 0 ? 0 : 1]; }
  const std::string& LogText() const { return log_.Text(); }
  // The post-setup programs gathered so far, each once, in the order met.
  std::vector<std::string> PostSetupList() const;

 private:
  enum class Activity { Idle, Refreshing, Running, Finished };

  struct Row {
    std::string key, text, tag;
    std::string ready_status;
    bool installed = false;  // put in place by this run
  };
  struct PostSetup {
    std::string path;
    std::vector<size_t> named_by;  // rows of newly installed modules
  };

  void RunUpdate(bool every_row);
  void UpdateItem(size_t row, bool confirm);
  void RunPostSetups();
  // The post-setup programs that the new module of `row` names.
  std::vector<std::string> PostSetupsOf(size_t row) const;
  void FinishRun();
  void RunUnderSplash(bool every_row);

  void AddLog(std::string_view message, LogLevel level = LogLevel::Info);
  void AddLogWithSuffix(int id, std::string_view detail, LogLevel level = LogLevel::Info);
  void SetStatus(size_t row, std::string_view status);
  void ShowProgress(size_t row, std::uint64_t received, std::uint64_t total);
  // "done of covered modules", and the bytes the run has fetched so far.
  void ShowRunProgress(std::uint64_t received_now);
  bool Ask(int id, std::string_view text);
  void Tell(int id);
  void ShowSplash();
  void HideSplash();

  void SetButton(int index, int caption_id, std::string_view tag);
  bool AnyRowChecked();
  void UpdateButtonEnabled();
  void CancelClicked();

  MainWindowSwitches switches_;
  MainWindowCollaborators with_;
  MainWindowView& view_;

  Activity activity_ = Activity::Idle;
  bool closing_ = false;
  bool close_pending_ = false;
  bool refused_module_reported_ = false;
  std::atomic<bool> cancel_{false};
  bool update_errors_ = false;
  // A download or a replacement failed; a failed download leaves the run's
  // closing message out, but a launcher waiting on the exit status must
  // still learn of it.
  bool module_failed_ = false;
  bool splash_wanted_ = false, splash_shown_ = false;
  // The log line saying why the repository could not be read for the
  // list; a later refresh answered from the same failed documents says it
  // again rather than claim there is nothing to update.
  std::optional<std::string> list_fault_line_;

  std::string tags_[2] = {"CANCEL", "UPDATE"};
  std::vector<Row> rows_;
  KeyedCollection<size_t> row_index_;  // key -> row
  KeyedCollection<PostSetup> post_setups_;  // upper-case path -> entry
  ActivityLog log_;
  std::chrono::steady_clock::time_point last_progress_{};
  size_t run_done_ = 0, run_covered_ = 0;
  std::uint64_t run_bytes_ = 0;  // of the downloads that have ended
  std::uint64_t last_received_ = 0;  // of the download under way
  int last_percent_ = -1;
};

}  // namespace tw
