#include "engine/file_replacement.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>

#include "catalogue/catalogue.h"
#include "catalogue/path_mapping.h"
#include "catalogue/placeholders.h"
#include "common/settings_keys.h"
#include "engine/engine_context.h"
#include "engine/installed_digest.h"
#include "platform/process_launcher.h"
#include "platform/settings_store.h"
#include "platform/system_info.h"
#include "resources/string_table.h"

namespace tw {
namespace {

Unexpected<ErrorRecord> Failure(const FileError& error) {
  return Fail(ErrorRecord{error.number, "UpdateFile", error.description});
}

ErrorRecord BusyError() { return ErrorRecord{EBUSY, "UpdateFile", std::string(LoadResString(825))}; }

// Another process's turn lasts milliseconds: the replacement steps of one
// target, or the creation of its ".new".
constexpr int kLockPollMs = 5;
constexpr int kLockWaitMs = 10000;
// Another process's download of the same target may take longer.
constexpr int kOtherReplacementWaitMs = 120000;

// Every folder on the way to `path` and `path` itself; these are above
// the suite's own folders, or are them, and may be links.
void CreateFolders(FileSystem& files, const std::string& path, char separator) {
  // Every folder on the way, the first piece (a drive, or the root) aside.
  for (size_t cut = path.find(separator, 1); cut != std::string::npos;
       cut = path.find(separator, cut + 1)) {
    if (cut > 0 && path[cut - 1] == ':' && path.find(separator) == cut) continue;  // "C:\"
    files.CreateFolder(path.substr(0, cut));
  }
  files.CreateFolder(path);
}

std::string FolderOf(std::string_view path, char separator) {
  const size_t cut = path.rfind(separator);
  if (cut == std::string::npos) return ".";
  return cut == 0 ? std::string(1, separator) : std::string(path.substr(0, cut));
}

// The folder of the top token `local` descends from: the shortest of the
// suite's folders that holds it ({UTENTI} lies in {DATI}, {COMPONENTI} in
// {ESEGUIBILI}). "" when none does.
std::string TopFolderOf(const PathMapping& paths, std::string_view local) {
  const char separator = paths.LocalSeparator();
  std::string top;
  for (std::string_view token : kPlaceholderList) {
    std::string folder = paths.LocalFolder(token);
    while (folder.size() > 1 && folder.back() == separator) folder.pop_back();
    if (folder.empty() || !local.starts_with(folder + separator)) continue;
    if (top.empty() || folder.size() < top.size()) top = folder;
  }
  return top;
}

}  // namespace

std::optional<ErrorRecord> CheckNoLinkOnTheWay(EngineContext& ctx, std::string_view target) {
  // The top folders as configured may be links an administrator made;
  // below them, a folder the suite's users share could hold one that a
  // member planted to aim another user's run at that user's files.
  const std::string top = TopFolderOf(ctx.paths, target);
  if (top.empty()) return std::nullopt;
  const auto link = ctx.files.FindLinkBelow(top, target);
  if (!link) return std::nullopt;
  const int id = *link == target ? 821 : 822;
  ctx.catalogue.Report(std::string(LoadResString(id)) + " [" + *link + "]");
  return ErrorRecord{ELOOP, "UpdateFile", std::string(LoadResString(id))};
}

unsigned NewFileMode(std::span<const std::uint8_t> content) {
  const bool elf = content.size() >= 4 && content[0] == 0x7F && content[1] == 'E' &&
                   content[2] == 'L' && content[3] == 'F';
  const bool script = content.size() >= 2 && content[0] == '#' && content[1] == '!';
  return elf || script ? 0755 : 0644;
}

std::string PartPath(std::string_view target) { return std::string(target) + ".part"; }

Expected<FileLock, ErrorRecord> LockReplacementFolder(EngineContext& ctx, OpenFolder& folder, bool may_wait) {
  for (int waited = 0;; waited += kLockPollMs) {
    auto lock = folder.TryLock("");
    if (!lock) return Failure(lock.error());
    if (*lock) return std::move(**lock);
    if (!may_wait || waited >= kLockWaitMs) return Fail(BusyError());
    ctx.processes.Pause(kLockPollMs);
  }
}

bool AwaitTurn(EngineContext& ctx, std::string_view target, TurnWait& waited, bool again) {
  const std::string fresh = std::string(target) + ".new";
  const std::string folder = FolderOf(target, ctx.paths.LocalSeparator());
  // Only a look: a missing or unreadable name holds nothing.
  auto held = [&ctx](const std::string& path, bool is_folder) {
    auto lock = ctx.files.TryLock(path, is_folder);
    return lock && !*lock;
  };
  for (;; again = false) {
    int* budget = held(fresh, false) ? &waited.fresh_ms : held(folder, true) ? &waited.folder_ms : nullptr;
    if (!budget && !again) return true;
    if (!budget) budget = &waited.folder_ms;
    if (*budget >= (budget == &waited.fresh_ms ? kOtherReplacementWaitMs : kLockWaitMs)) return false;
    *budget += kLockPollMs;
    ctx.processes.Pause(kLockPollMs);
  }
}

ErrorRecord BusyReplacementError() { return BusyError(); }

bool IsBusyTurn(const ErrorRecord& error) {
  return error.Number == EBUSY && error.Description == BusyError().Description;
}

std::optional<ErrorRecord> CheckModuleHasFolder(EngineContext& ctx, std::string_view meta_path) {
  if (!ctx.paths.HasUnmappedToken(meta_path)) return std::nullopt;
  return ErrorRecord{ENOENT, "UpdateFile", "Cartella del modulo non disponibile su questo computer"};
}

StagedFile::StagedFile(EngineContext& ctx, std::string target, std::unique_ptr<OpenFolder> folder)
    : ctx_(&ctx),
      target_(std::move(target)),
      name_(FileNamePart(target_)),
      fresh_(name_ + ".new"),
      kept_(name_ + ".old"),
      part_(PartPath(name_)),
      folder_(std::move(folder)) {}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : ctx_(other.ctx_),
      target_(std::move(other.target_)),
      name_(std::move(other.name_)),
      fresh_(std::move(other.fresh_)),
      kept_(std::move(other.kept_)),
      part_(std::move(other.part_)),
      folder_(std::move(other.folder_)),
      staging_lock_(std::move(other.staging_lock_)),
      old_mode_(other.old_mode_),
      recorded_digest_(std::move(other.recorded_digest_)),
      head_(other.head_),
      head_size_(other.head_size_),
      writer_(std::move(other.writer_)),
      size_(other.size_),
      last_modified_(other.last_modified_),
      recorded_date_(other.recorded_date_),
      may_wait_(other.may_wait_),
      finished_(other.finished_),
      live_(std::exchange(other.live_, false)) {}

StagedFile::~StagedFile() {
  if (live_) Discard();
}

void StagedFile::Discard() {
  writer_.reset();
  // Only a ".new" of our own making goes; while it is ours, no other
  // process touches it.
  if (staging_lock_.Held()) folder_->Delete(fresh_);
  staging_lock_ = FileLock();
  live_ = false;
}

namespace {

Expected<std::unique_ptr<OpenFolder>, ErrorRecord> OpenTargetFolder(EngineContext& ctx, const std::string& target) {
  if (auto refused = CheckNoLinkOnTheWay(ctx, target)) return Fail(std::move(*refused));
  const char separator = ctx.paths.LocalSeparator();
  const std::string folder = FolderOf(target, separator);
  std::string top = TopFolderOf(ctx.paths, target);
  if (top.empty()) top = folder;
  CreateFolders(ctx.files, top, separator);
  // Held open from the top folder down, no link followed: a folder that
  // someone swaps for a link after the check above is refused here, and
  // one swapped after this point is no longer the folder written to.
  auto opened = ctx.files.OpenFolderBelow(top, folder);
  if (opened) return std::move(*opened);
  if (opened.error().number != ELOOP) return Failure(opened.error());
  const auto link = ctx.files.FindLinkBelow(top, folder);
  ctx.catalogue.Report(std::string(LoadResString(822)) + " [" + link.value_or(folder) + "]");
  return Fail(ErrorRecord{ELOOP, "UpdateFile", std::string(LoadResString(822))});
}

}  // namespace

Expected<StagedFile, ErrorRecord> StagedFile::Open(EngineContext& ctx, std::string_view target_view,
                                                   bool may_wait) {
  auto folder = OpenTargetFolder(ctx, std::string(target_view));
  if (!folder) return Fail(folder.error());
  auto lock = LockReplacementFolder(ctx, **folder, may_wait);
  if (!lock) return Fail(lock.error());
  StagedFile staged(ctx, std::string(target_view), std::move(*folder));
  staged.may_wait_ = may_wait;
  OpenFolder& files = *staged.folder_;
  // An earlier run that stopped with the target moved aside left the old
  // content as ".old": put it back before anything else. No replacement
  // is halfway while the folder's lock is ours.
  if (!files.NormalFileExists(staged.name_) && files.NormalFileExists(staged.kept_))
    files.Rename(staged.kept_, staged.name_);
  files.Delete(staged.kept_);
  // A replacement keeps the bits of the file it replaces.
  staged.old_mode_ = files.FileMode(staged.name_);
  return staged;
}

ReplaceResult StagedFile::ClaimFresh(const WriteOptions& options) {
  OpenFolder& files = *folder_;
  for (int waited = 0;; waited += kLockPollMs) {
    auto folder_lock = LockReplacementFolder(*ctx_, files, may_wait_);
    if (!folder_lock) return Fail(folder_lock.error());
    // A ".new" whose maker still holds it is another process's download of
    // this target: that one goes first. One nobody holds was left by a run
    // that died, or is a link someone planted: it goes.
    bool busy = false;
    {
      auto holder = files.TryLock(fresh_);
      busy = holder && !*holder;
    }
    if (!busy) {
      files.Delete(fresh_);
      auto writer = files.CreateFile(fresh_, options);
      if (!writer) return Failure(writer.error());
      auto mine = files.TryLock(fresh_);
      if (!mine || !*mine) return Fail(mine ? BusyError() : ErrorRecord{mine.error().number, "UpdateFile",
                                                                            mine.error().description});
      writer_ = std::move(*writer);
      staging_lock_ = std::move(**mine);
      return {};
    }
    if (!may_wait_ || waited >= kLockWaitMs) return Fail(BusyError());
    folder_lock = FileLock();
    ctx_->processes.Pause(kLockPollMs);
  }
}

ReplaceResult StagedFile::CreateFresh() {
  const std::span<const std::uint8_t> head(head_.data(), head_size_);
  WriteOptions options;
  options.mode = old_mode_.value_or(NewFileMode(head));
  options.exact_mode = old_mode_.has_value();
  options.flush = true;
  // Under the folder's lock the name is free: one that appears anyway was
  // put there by someone else, and is not written through.
  options.exclusive = true;
  if (ReplaceResult claimed = ClaimFresh(options); !claimed) return claimed;
  if (head_size_ > 0)
    if (const FileResult error = writer_->Write(head)) return Failure(*error);
  return {};
}

ReplaceResult StagedFile::Write(std::span<const std::uint8_t> bytes) {
  size_ += bytes.size();
  if (!writer_) {
    const size_t taken = std::min(bytes.size(), head_.size() - head_size_);
    std::copy_n(bytes.begin(), taken, head_.begin() + head_size_);
    head_size_ += taken;
    bytes = bytes.subspan(taken);
    if (head_size_ < head_.size()) return {};
    if (ReplaceResult created = CreateFresh(); !created) return created;
  }
  if (bytes.empty()) return {};
  if (const FileResult error = writer_->Write(bytes)) return Failure(*error);
  return {};
}

ReplaceResult StagedFile::Finish(DateValue last_modified) {
  // The content is complete, so the transfer is over: from here on a turn
  // is waited for.
  may_wait_ = true;
  if (!writer_)
    if (ReplaceResult created = CreateFresh(); !created) return created;
  if (const FileResult error = writer_->Finish()) return Failure(*error);
  writer_.reset();
  // Without a repository date the file keeps the time it was written: the
  // zero date would stamp it 30 December 1899, which reads back as "no
  // date", and a present file would then count as a missing one.
  if (!last_modified.IsZero())
    folder_->SetModificationTime(fresh_, last_modified.AddMinutes(ctx_->system.CurrentUtcBias()).ToUnixSeconds());
  last_modified_ = last_modified;
  finished_ = true;
  return {};
}

ReplaceResult StagedFile::Commit() {
  OpenFolder& files = *folder_;
  if (!finished_) return Fail(ErrorRecord{EINVAL, "UpdateFile", "Contenuto incompleto"});
  // The steps below are the turn: the folder's lock for milliseconds,
  // waited for with the event loop running.
  auto folder_lock = LockReplacementFolder(*ctx_, files, true);
  if (!folder_lock) return Fail(folder_lock.error());
  const bool had_target = files.NormalFileExists(name_);
  if (had_target) {
    if (const FileResult error = files.LinkOrCopy(name_, kept_)) return Failure(*error);
  }
  if (const FileResult error = files.Rename(fresh_, name_)) {
    // The target was never moved: it still holds the old content.
    if (had_target) files.Delete(kept_);
    return Failure(*error);
  }
  live_ = false;
  files.Sync();

  ctx_->settings.Write(settings::kApplication, settings::kLastModifiedSection, target_,
                       recorded_date_.value_or(last_modified_).ToSettingsText());
  if (recorded_digest_)
    if (const auto seconds = ctx_->files.LastModified(target_))
      KeepDigest(*ctx_, target_, FileStamp{size_, *seconds}, *recorded_digest_);
  files.Delete(kept_);  // may stay while another process holds it
  if (files.NormalFileExists(part_)) files.Delete(part_);
  staging_lock_ = FileLock();
  return {};
}

bool StagedFile::KeepAsPart(long long unix_seconds) {
  if (!live_ || finished_ || size_ == 0) return false;
  may_wait_ = true;  // the transfer that broke off is over
  if (!writer_)
    if (!CreateFresh()) return false;
  if (writer_->Finish()) return false;
  writer_.reset();
  OpenFolder& files = *folder_;
  if (files.SetModificationTime(fresh_, unix_seconds)) return false;
  auto folder_lock = LockReplacementFolder(*ctx_, files, true);
  if (!folder_lock || files.Rename(fresh_, part_)) return false;
  live_ = false;
  staging_lock_ = FileLock();
  return true;
}

std::unique_ptr<FileReader> StagedFile::OpenPart(long long& unix_seconds) {
  // A part is never written in place, only renamed there whole, so the one
  // opened here stays what it was.
  const auto seconds = folder_->LastModified(part_);
  if (!seconds || !folder_->NormalFileExists(part_)) return nullptr;
  auto reader = folder_->OpenForReading(part_);
  if (!reader) return nullptr;
  unix_seconds = *seconds;
  return std::move(*reader);
}

void StagedFile::DropPart() { folder_->Delete(part_); }

ReplaceResult UpdateFile(EngineContext& ctx, std::string_view target, std::span<const std::uint8_t> content,
                         DateValue last_modified) {
  auto staged = StagedFile::Open(ctx, target);
  if (!staged) return Fail(staged.error());
  if (ReplaceResult written = staged->Write(content); !written) return written;
  if (ReplaceResult finished = staged->Finish(last_modified); !finished) return finished;
  return staged->Commit();
}

}  // namespace tw
