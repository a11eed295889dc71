// Putting a downloaded file in place of a module file. The new content is
// written and flushed beside the target as ".new", the old content is kept
// as ".old" (a second name of the same file), and ".new" then takes the
// target's name in one step: at every moment the target holds the whole
// old or the whole new content, also across a crash or a power cut. The
// names are fixed, so two processes replacing one file take turns: the
// ".new" belongs to the replacement that holds it, and the steps that
// rename and remove happen in a short turn of the folder's lock.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/date_value.h"
#include "common/expected.h"
#include "engine/error_record.h"
#include "platform/file_system.h"

namespace tw {

struct EngineContext;

// Success, or the failure to show (source "UpdateFile").
using ReplaceResult = Expected<void, ErrorRecord>;

// One replacement under way: ".new" is being filled, and held (locked) by
// this replacement from its creation to the end, so that another process
// replacing the same target waits for its turn instead of taking the name.
// Dropped before Commit, it removes ".new" and leaves the target as it
// was.
class StagedFile {
 public:
  // Creates the target's folders and opens them from the top folder down
  // without following a link, then clears what an interrupted run left
  // behind, in a short turn of the folder's lock. Inside a transfer's
  // callbacks, where the event loop must not run again, `may_wait` is
  // false: a turn that another process holds then fails at once with
  // error 16, and the caller waits outside the transfer (AwaitTurn) and
  // begins again. Outside them, turns are waited for with the event loop
  // running, for a bounded time.
  static Expected<StagedFile, ErrorRecord> Open(EngineContext& ctx, std::string_view target,
                                                bool may_wait = true);

  StagedFile(StagedFile&&) noexcept;
  StagedFile& operator=(StagedFile&&) = delete;
  ~StagedFile();

  // The next piece of the new content.
  ReplaceResult Write(std::span<const std::uint8_t> bytes);
  // ".new" exists: a further Write only appends to it, without locks or
  // waits, and may come from another thread (one at a time).
  bool Created() const { return writer_ != nullptr; }
  // Flushes ".new" and gives it `last_modified` (a zero date leaves the
  // time it was written); the content is complete.
  ReplaceResult Finish(DateValue last_modified);
  // Puts ".new" in the target's place and records its download date; a
  // ".part" kept by an earlier attempt goes with it.
  ReplaceResult Commit();
  // The download date to record instead of the file's own: the date the
  // catalogue compared with (its HEAD's), so that the next comparison finds
  // the two equal even where the repository's GET dated the file earlier.
  void RecordDate(DateValue compared) { recorded_date_ = compared; }
  // The content's checked SHA-256 (lower-case hexadecimal), kept with the
  // new file's size and time once it is in place, so that a patch for the
  // next version finds the file's digest without reading it.
  void RecordDigest(std::string sha256) { recorded_digest_ = std::move(sha256); }
  // Keeps what was written so far as ".part", its modification time set to
  // the repository file's date (seconds since 1970, UTC), for a later
  // attempt to go on from; false (and nothing kept) when there is nothing
  // to keep.
  bool KeepAsPart(long long unix_seconds);
  // The bytes an earlier attempt kept as ".part", and the repository
  // file's date they came with; nothing when there are none.
  std::unique_ptr<FileReader> OpenPart(long long& unix_seconds);
  void DropPart();

  const std::string& target() const { return target_; }
  std::uint64_t size() const { return size_; }

 private:
  StagedFile(EngineContext& ctx, std::string target, std::unique_ptr<OpenFolder> folder);
  ReplaceResult CreateFresh();
  // Creates ".new" as this replacement's own, waiting while another
  // process's replacement of the target holds it.
  ReplaceResult ClaimFresh(const WriteOptions& options);
  void Discard();

  EngineContext* ctx_;
  std::string target_;
  // The names in the target's folder, which is held open: every step goes
  // to the folder that was checked, whatever is put at its path later.
  std::string name_, fresh_, kept_, part_;
  std::unique_ptr<OpenFolder> folder_;
  FileLock staging_lock_;
  std::optional<unsigned> old_mode_;
  std::optional<std::string> recorded_digest_;
  // The first bytes decide the new file's bits; the file is created once
  // they are known.
  std::array<std::uint8_t, 4> head_{};
  std::size_t head_size_ = 0;
  std::unique_ptr<FileWriter> writer_;
  std::uint64_t size_ = 0;
  DateValue last_modified_;
  std::optional<DateValue> recorded_date_;
  bool may_wait_ = true;
  bool finished_ = false, live_ = true;
};

// Replaces the file at `path` (a full local path) with `content`, gives it
// the modification time `last_modified` and stores that date as the file's
// download date. On failure the target is as it was.
ReplaceResult UpdateFile(EngineContext& ctx, std::string_view path, std::span<const std::uint8_t> content,
                         DateValue last_modified);

// What one download has waited for its turns so far, in milliseconds.
struct TurnWait {
  int fresh_ms = 0, folder_ms = 0;
};

// Waits, with the event loop running, while another process's
// replacement of `target` holds its ".new" (a download of the same file:
// at most two minutes in all) or the folder's turn (at most 10 seconds in
// all): the two replacements then follow each other. False when the
// bound was reached first. `again` (a turn was just found taken) lets at
// least one poll pass, counted against the folder's bound, so a download
// begins again a bounded number of times.
bool AwaitTurn(EngineContext& ctx, std::string_view target, TurnWait& waited, bool again = false);

// "File occupato da un altro aggiornamento in corso" (error 16), and
// whether `error` is it: a turn another process held.
ErrorRecord BusyReplacementError();
bool IsBusyTurn(const ErrorRecord& error);

// The failure to report for a module named in placeholder form whose folder
// this computer does not have; nothing when the module has a place here.
std::optional<ErrorRecord> CheckModuleHasFolder(EngineContext& ctx, std::string_view meta_path);

// The refusal (logged) of a target reached through a symbolic link below
// the folder of the suite's top token it lies in, or that is one itself;
// nothing when the way is clear.
std::optional<ErrorRecord> CheckNoLinkOnTheWay(EngineContext& ctx, std::string_view target);

// Permission bits for a new file: executable when its content starts like a
// program (an ELF image or a "#!" script).
unsigned NewFileMode(std::span<const std::uint8_t> content);

// Where the bytes of a broken download of `target` wait for the next
// attempt.
std::string PartPath(std::string_view target);

// The turn of the target's `folder`: the folder's own lock (no lock file
// lies among the modules). With `may_wait` it is waited for at most 10
// seconds with the event loop running, without it not at all. A turn lasts
// only the steps of one replacement, never a download.
Expected<FileLock, ErrorRecord> LockReplacementFolder(EngineContext& ctx, OpenFolder& folder, bool may_wait);

}  // namespace tw
