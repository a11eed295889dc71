#include "ui/main_window_controller.h"

#include <array>

#include "catalogue/catalogue.h"
#include "common/settings_keys.h"
#include "common/text.h"
#include "platform/settings_store.h"
#include "resources/string_table.h"
#include "ui/batch_command.h"
#include "startup/read_fault_text.h"
#include "ui/run_log.h"

namespace tw {
namespace {

std::string Text(int id) { return std::string(LoadResString(id)); }

// The "Hide" setting as the check box takes it: 0, 1 or 2 (greyed); any
// other value leaves the box unchecked.
int HideValue(SettingsStore& settings) {
  const std::string stored = settings.Read(settings::kApplication, settings::kSection, settings::kHide, "0");
  const auto value = ParseInteger(TrimBlanks(stored));
  return value && *value >= 0 && *value <= 2 ? static_cast<int>(*value) : 0;
}

}  // namespace

std::string CaptionForDesignText(std::string_view design_text) {
  const auto id = ParseInteger(design_text);
  const std::string_view text = id ? LoadResString(static_cast<int>(*id)) : std::string_view();
  return std::string(text.empty() ? design_text : text);
}

MainWindowController::MainWindowController(MainWindowSwitches switches, MainWindowCollaborators with,
                                           MainWindowView& view)
    : switches_(std::move(switches)), with_(std::move(with)), view_(view) {
  // A catalogue document refused while the list fills or the run goes on
  // shows in the log beside the modules it concerns.
  with_.catalogue.SetRefusalListener([this](const std::string& line) { AddLog(line, LogLevel::Warning); });
}

MainWindowController::~MainWindowController() { with_.catalogue.SetRefusalListener({}); }

LoadOutcome MainWindowController::Load() {
  view_.RestorePlacement();
  static constexpr std::array<std::string_view, 4> kColumns = {"101", "102", "103", "104"};
  for (size_t c = 0; c < kColumns.size(); ++c)
    view_.SetColumnCaption(static_cast<int>(c), CaptionForDesignText(kColumns[c]));
  view_.SetButton(0, CaptionForDesignText("201"), tags_[0]);
  view_.SetButton(1, CaptionForDesignText("202"), tags_[1]);
  view_.SetHideCaption(CaptionForDesignText("204"));
  const int hide = HideValue(with_.settings);
  view_.SetHideValue(hide);
  if (hide != 1 && !switches_.HiddenMode) return LoadOutcome::ShowWindow;

  // The hidden start: nobody is there to press a button, nor to read the
  // window's log. What an earlier run left pending runs first, also when
  // nothing is left to update.
  if (with_.run_log) with_.run_log->EchoToStandardError();
  with_.installer.RunPendingPostSetups();
  RefreshList();
  if (rows_.empty()) {
    CloseProcedure();
    return LoadOutcome::Closed;
  }
  if (switches_.ConfirmMode) return LoadOutcome::ShowWindow;
  RunUnderSplash(true);
  CloseProcedure();
  return LoadOutcome::Closed;
}

void MainWindowController::Activated() {
  // A run under way, or a refresh that let this activation through, is
  // left alone; so is a finished run, whose list and buttons stay as the
  // run left them.
  if (switches_.HiddenMode || closing_ || activity_ != Activity::Idle) return;
  view_.SetBusy(true);
  RefreshList();
  view_.SetBusy(false);
  if (close_pending_) CloseProcedure();
}

void MainWindowController::Unloaded() { view_.SavePlacement(); }

void MainWindowController::ButtonClicked(int index) {
  if (closing_ || (index != 0 && index != 1)) return;
  const std::string tag = ToUpper(tags_[index]);
  if (tag == "CANCEL") {
    CancelClicked();
  } else if (tag == "UPDATE") {
    if (activity_ != Activity::Idle) return;
    view_.SetBusy(true);
    RunUnderSplash(false);
    view_.SetBusy(false);
    if (close_pending_) CloseProcedure();
  } else if (tag == "EXIT") {
    CloseProcedure();
  }
}

void MainWindowController::CancelClicked() {
  if (!rows_.empty() && !Ask(901, Text(901))) return;
  if (closing_) return;
  if (activity_ == Activity::Refreshing || activity_ == Activity::Running) {
    // The operation on the stack stops at its next step and the handler
    // that started it closes the window. A list that waits on the
    // repository would wait on: its requests end now.
    close_pending_ = true;
    cancel_ = true;
    if (activity_ == Activity::Refreshing) with_.installer.AbortRequests();
    return;
  }
  CloseProcedure();
}

void MainWindowController::ItemCheckChanged() {
  // Once the run is over the button is "Fine", the only way out left.
  if (closing_ || tags_[1] == "EXIT") return;
  UpdateButtonEnabled();
}

void MainWindowController::HideChanged(int value) {
  // A failed write leaves the box as the user set it; the next start reads
  // whatever the store kept.
  with_.settings.Write(settings::kApplication, settings::kSection, settings::kHide, std::to_string(value));
}

void MainWindowController::RefreshList() {
  if (closing_ || activity_ != Activity::Idle) return;
  activity_ = Activity::Refreshing;
  // Only what this fill could not read counts: a fault left by the
  // self-update's requests before it is not the list's.
  with_.installer.TakeListFault();
  FillModuleList(switches_.ModuleName);
  const std::optional<ReadFault> fault = with_.installer.TakeListFault();
  activity_ = Activity::Idle;
  if (close_pending_) return;
  view_.EnableButton(0, true);
  UpdateButtonEnabled();
  if (fault) {
    list_fault_line_ = Text(830) + " [" + ReadFaultText(*fault) + "]";
    AddLog(*list_fault_line_, LogLevel::Error);
  }
  if (rows_.empty()) {
    // "Nothing to update" only when the repository really said so.
    if (!fault) {
      if (list_fault_line_) AddLog(*list_fault_line_, LogLevel::Error);
      else AddLog(Text(807));
    }
    view_.ShowLog();
  }
}

void MainWindowController::CloseProcedure() {
  if (closing_) return;
  closing_ = true;
  const BatchLaunch batch = SplitBatchCommand(switches_.BatchCommand);
  if (!batch.program.empty()) with_.installer.ShellOpen(batch.program, batch.arguments);
  view_.CloseWindow();
}

bool MainWindowController::AnyRowChecked() {
  for (size_t row = 0; row < rows_.size(); ++row)
    if (view_.IsRowChecked(row)) return true;
  return false;
}

void MainWindowController::UpdateButtonEnabled() { view_.EnableButton(1, AnyRowChecked()); }

void MainWindowController::SetButton(int index, int caption_id, std::string_view tag) {
  tags_[index] = std::string(tag);
  view_.SetButton(index, Text(caption_id), tag);
}

void MainWindowController::AddLog(std::string_view message, LogLevel level) {
  const std::string line = log_.Add(message, with_.clock.local_now());
  view_.AppendLogLine(line);
  if (with_.run_log) with_.run_log->Line(line, level);
}

void MainWindowController::AddLogWithSuffix(int id, std::string_view detail, LogLevel level) {
  AddLog(Text(id) + " [" + std::string(detail) + "]", level);
}

void MainWindowController::SetStatus(size_t row, std::string_view status) { view_.SetRowStatus(row, status); }

// The splash lies above every window, so a question asked under it could
// not be reached: it steps aside while the user answers.
bool MainWindowController::Ask(int id, std::string_view text) {
  if (splash_shown_) {
    view_.HideSplash();
    splash_shown_ = false;
  }
  const bool yes = view_.Ask(id, text);
  if (splash_wanted_ && !splash_shown_) {
    view_.ShowSplash();
    splash_shown_ = true;
  }
  return yes;
}

void MainWindowController::Tell(int id) {
  HideSplash();
  view_.ShowMessage(id, Text(id));
}

void MainWindowController::ShowSplash() {
  splash_wanted_ = true;
  if (splash_shown_) return;
  view_.ShowSplash();
  splash_shown_ = true;
}

void MainWindowController::HideSplash() {
  splash_wanted_ = false;
  if (!splash_shown_) return;
  view_.HideSplash();
  splash_shown_ = false;
}


int MainWindowController::ExitStatus() const {
  return module_failed_ || list_fault_line_ || with_.catalogue.Index().Refused() ? 1 : 0;
}

}  // namespace tw
