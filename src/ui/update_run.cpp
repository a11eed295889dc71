// The update run over the module list: download, replace and register each
// covered module, run the post-setup programs, report.
#include <algorithm>

#include "catalogue/path_mapping.h"
#include "resources/string_table.h"
#include "ui/main_window_controller.h"

namespace tw {
namespace {

std::string Text(int id) { return std::string(LoadResString(id)); }

// Progress in the status column changes at most this often.
constexpr auto kProgressInterval = std::chrono::milliseconds(250);

// "27 byte", "3,4 KB", "1,5 MB": one decimal, with the Italian comma.
std::string ByteCount(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " byte";
  const bool mega = bytes >= 1024 * 1024;
  const std::uint64_t tenths = bytes * 10 / (mega ? 1024 * 1024 : 1024);
  return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + (mega ? " MB" : " KB");
}

std::string WithNumbers(int id, size_t first, size_t second) {
  std::string text = Text(id);
  for (const auto& [mark, value] : {std::pair{"%1", first}, std::pair{"%2", second}})
    if (const size_t at = text.find(mark); at != std::string::npos) text.replace(at, 2, std::to_string(value));
  return text;
}

}  // namespace

void MainWindowController::RunUnderSplash(bool every_row) {
  ShowSplash();
  RunUpdate(every_row);
  HideSplash();
}

void MainWindowController::RunUpdate(bool every_row) {
  activity_ = Activity::Running;
  AddLogWithSuffix(801, with_.installer.RepositoryURL());

  // The rows are settled when the run starts: marks changed meanwhile do
  // not add or drop a module halfway.
  std::vector<size_t> covered;
  for (size_t row = 0; row < rows_.size(); ++row)
    if (every_row || view_.IsRowChecked(row)) covered.push_back(row);

  bool confirmed = true;
  if (switches_.ModuleName.empty() && switches_.ConfirmMode) {
    AddLog(Text(803));
    confirmed = Ask(902, Text(902));
  }
  if (confirmed && !cancel_) {
    // What an earlier run left pending goes first.
    with_.installer.RunPendingPostSetups();
    with_.installer.SelfUpdate();
    const bool confirm_each = !switches_.ModuleName.empty() && switches_.ConfirmMode;
    // The bar of the status column covers one file: a thousand small ones
    // would keep it full for the whole run. The title counts them.
    run_done_ = 0;
    run_covered_ = covered.size();
    run_bytes_ = 0;
    for (size_t row : covered) {
      if (cancel_) break;
      ShowRunProgress(0);
      UpdateItem(row, confirm_each);
      ++run_done_;
    }
    ShowRunProgress(0);
    RunPostSetups();
    view_.SetRunProgress("");
  }
  AddLog(Text(802));
  if (cancel_) {
    // The window closes as soon as the handler that started the run has
    // unwound.
    activity_ = Activity::Idle;
    return;
  }
  FinishRun();
}

void MainWindowController::RunPostSetups() {
  // By position: the list cannot grow during a run, but a program waited on
  // lets the window's events run.
  for (size_t i = 1; i <= post_setups_.Count(); ++i) {
    if (cancel_) return;
    const PostSetup& entry = post_setups_.At(i).value;
    const bool installed = std::any_of(entry.named_by.begin(), entry.named_by.end(),
                                       [this](size_t row) { return rows_[row].installed; });
    if (installed) with_.installer.RunAndWait(std::string(entry.path));
  }
}

std::vector<std::string> MainWindowController::PostSetupsOf(size_t row) const {
  std::vector<std::string> programs;
  for (const auto& item : post_setups_)
    if (std::find(item.value.named_by.begin(), item.value.named_by.end(), row) != item.value.named_by.end())
      programs.push_back(item.value.path);
  return programs;
}

void MainWindowController::FinishRun() {
  // The long work is over: the splash goes before the closing message.
  HideSplash();
  activity_ = Activity::Finished;
  if (update_errors_) Tell(908);
  view_.ShowLog();
  view_.EnableButton(0, false);
  SetButton(1, 203, "EXIT");
  view_.EnableButton(1, true);
}

void MainWindowController::UpdateItem(size_t index, bool confirm) {
  const std::string key = rows_[index].key;
  const std::string text = rows_[index].text;
  AddLogWithSuffix(808, text);
  if (confirm) {
    AddLogWithSuffix(804, text);
    if (!Ask(903, Text(903) + "\r\n[" + text + "]")) return;
    if (cancel_) return;
  }
  SetStatus(index, Text(1002));
  last_percent_ = -1;
  last_received_ = 0;
  const DownloadOutcome fetched = with_.installer.Download(
      with_.paths.ResolvePath(key, true), key,
      [this, index](std::uint64_t received, std::uint64_t total) { ShowProgress(index, received, total); },
      cancel_);
  if (splash_shown_ && last_percent_ >= 0) view_.SetSplashProgress(-1);
  for (const std::string& note : fetched.notes) AddLog(note);
  run_bytes_ += last_received_;
  last_received_ = 0;

  if (fetched.status == DownloadStatus::Cancelled || cancel_) {
    with_.installer.Discard(key);
    SetStatus(index, rows_[index].ready_status);
    return;
  }
  if (fetched.status == DownloadStatus::Failed) {
    module_failed_ = true;
    SetStatus(index, Text(1005));
    AddLog(Text(806), LogLevel::Error);
    return;
  }

  SetStatus(index, Text(1003));
  with_.installer.RecordPostSetups(key, PostSetupsOf(index));
  const ReplaceOutcome replaced = with_.installer.Replace(key, fetched.last_modified);
  if (replaced.Succeeded()) {
    rows_[index].installed = true;
    SetStatus(index, Text(1004));
    AddLog(Text(805));
    // Only what this run put in place is registered: a file left as it was
    // may be anything.
    with_.installer.Register(key, rows_[index].tag);
  } else {
    update_errors_ = true;
    module_failed_ = true;
    const ErrorRecord& error = replaced.Error();
    const std::string detail = std::to_string(error.Number) + ": " + error.Description;
    SetStatus(index, Text(1005) + " [" + detail + "]");
    AddLogWithSuffix(806, detail, LogLevel::Error);
  }
}

void MainWindowController::ShowRunProgress(std::uint64_t received_now) {
  std::string text = WithNumbers(1401, run_done_, run_covered_);
  const std::uint64_t bytes = run_bytes_ + received_now;
  if (bytes > 0) text += ", " + ByteCount(bytes);
  view_.SetRunProgress(text);
}

void MainWindowController::ShowProgress(size_t row, std::uint64_t received, std::uint64_t total) {
  last_received_ = received;
  if (total == 0) return;
  const int percent = static_cast<int>(std::min<std::uint64_t>(100, received * 100 / total));
  const auto now = with_.clock.steady_now();
  if (percent == last_percent_) return;
  // The end of a download always shows, however soon it comes.
  const bool complete = received >= total;
  if (!complete && last_percent_ >= 0 && now - last_progress_ < kProgressInterval) return;
  last_percent_ = percent;
  last_progress_ = now;
  SetStatus(row, Text(1002) + " [" + std::to_string(percent) + "%]");
  if (splash_shown_) view_.SetSplashProgress(percent);
  ShowRunProgress(received);
}

}  // namespace tw
