// What the main window's update run needs of the update engine: fetch a
// module file, put it in place, register it, bring the program itself up
// to date, and start the programs the catalogue and the launcher name.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/date_value.h"
#include "engine/error_record.h"
#include "transport/read_fault.h"

namespace tw {

enum class DownloadStatus { Done, Failed, Cancelled };

struct DownloadOutcome {
  DownloadStatus status = DownloadStatus::Failed;
  // The repository's date of the file; the zero date when it sent none.
  DateValue last_modified;
  // Lines for the log the download had to tell (a patch used, or one that
  // could not be used), in order.
  std::vector<std::string> notes;
};

// Bytes received so far, and the whole size (0 while it is not known).
using DownloadProgress = std::function<void(std::uint64_t received, std::uint64_t total)>;

// The result of putting a downloaded file in place: done, or the failure
// to show (number and description).
class ReplaceOutcome {
 public:
  static ReplaceOutcome Done() { return ReplaceOutcome(); }
  static ReplaceOutcome Failed(ErrorRecord error) {
    ReplaceOutcome outcome;
    outcome.error_ = std::move(error);
    return outcome;
  }
  bool Succeeded() const { return !error_.has_value(); }
  // Only for an outcome that did not succeed.
  const ErrorRecord& Error() const { return *error_; }

 private:
  std::optional<ErrorRecord> error_;
};

class ModuleInstaller {
 public:
  virtual ~ModuleInstaller() = default;

  // "http://" + the repository location, as the run's first log line shows.
  virtual std::string RepositoryURL() = 0;

  // Brings the suite's launcher and the program's own executable up to date.
  virtual void SelfUpdate() = 0;

  // Fetches the module file `remote_path` (repository form) meant for
  // `local_path`, keeping it ready for Replace; the installed file is not
  // touched. A body of fewer than two bytes counts as failed. `progress` is
  // called as bytes arrive; once `cancel` reads true the transfer stops and
  // nothing of it remains (Cancelled). The window keeps running meanwhile.
  virtual DownloadOutcome Download(std::string_view remote_path, std::string_view local_path,
                                   const DownloadProgress& progress, const std::atomic<bool>& cancel) = 0;

  // Puts what Download fetched for `local_path` in place, dated
  // `last_modified`, and stores that date as the file's download date.
  virtual ReplaceOutcome Replace(std::string_view local_path, DateValue last_modified) = 0;

  // Drops what Download fetched for `local_path` without installing it.
  virtual void Discard(std::string_view local_path) = 0;

  // Starts the registration of an installed file as its catalogue asks
  // ("regsvr32", "self", any case; anything else registers nothing),
  // without waiting for it.
  virtual void Register(std::string_view local_path, std::string_view kind) = 0;

  // Runs a command line and returns when the program has ended (an
  // implementation may keep the window's events running meanwhile).
  virtual void RunAndWait(std::string_view command_line) = 0;

  // The post-setup programs of the module about to be installed for the
  // first time at `local_path`: kept as pending from before Replace puts it
  // in place (and dropped when it does not), so that a run cut short leaves
  // them to the next start. RunAndWait of one of them removes it.
  virtual void RecordPostSetups(std::string_view /*local_path*/, const std::vector<std::string>& /*programs*/) {}
  // Runs the programs an earlier run left pending, each waited for.
  virtual void RunPendingPostSetups() {}

  // Opens `program` with `arguments` as the desktop's "open" does, without
  // waiting.
  virtual void ShellOpen(std::string_view program, std::string_view arguments) = 0;

  // The first catalogue document since the last call that the repository
  // would not give, and why.
  virtual std::optional<ReadFault> TakeListFault() { return std::nullopt; }

  // Ends the repository's requests under way, and fails later ones at
  // once: the window is closing.
  virtual void AbortRequests() {}
};

}  // namespace tw
