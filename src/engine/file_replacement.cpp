#include "engine/file_replacement.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>

#include "catalogue/path_mapping.h"
#include "common/settings_keys.h"
#include "engine/engine_context.h"
#include "platform/settings_store.h"
#include "transport/file_times.h"

namespace tw {
namespace {

Unexpected<ErrorRecord> Failure(const FileError& error) {
  return Fail(ErrorRecord{error.number, "UpdateFile", error.description});
}

void CreateParentFolders(FileSystem& files, const std::string& path, char separator) {
  // Every folder on the way, the first piece (a drive, or the root) aside.
  for (size_t cut = path.find(separator, 1); cut != std::string::npos;
       cut = path.find(separator, cut + 1)) {
    if (cut > 0 && path[cut - 1] == ':' && path.find(separator) == cut) continue;  // "C:\"
    files.CreateFolder(path.substr(0, cut));
  }
}

std::string FolderOf(std::string_view path, char separator) {
  const size_t cut = path.rfind(separator);
  if (cut == std::string::npos) return ".";
  return cut == 0 ? std::string(1, separator) : std::string(path.substr(0, cut));
}

}  // namespace

unsigned NewFileMode(std::span<const std::uint8_t> content) {
  const bool elf = content.size() >= 4 && content[0] == 0x7F && content[1] == 'E' &&
                   content[2] == 'L' && content[3] == 'F';
  const bool script = content.size() >= 2 && content[0] == '#' && content[1] == '!';
  return elf || script ? 0755 : 0644;
}

std::string PartPath(std::string_view target) { return std::string(target) + ".part"; }

std::string ReplacementLockPath(std::string_view target, char separator) {
  return FolderOf(target, separator) + separator + ".tarnwick.lock";
}

std::optional<ErrorRecord> CheckModuleHasFolder(EngineContext& ctx, std::string_view meta_path) {
  if (!ctx.paths.HasUnmappedToken(meta_path)) return std::nullopt;
  return ErrorRecord{ENOENT, "UpdateFile", "Cartella del modulo non disponibile su questo computer"};
}

StagedFile::StagedFile(EngineContext& ctx, std::string target, FileLock lock)
    : ctx_(&ctx),
      target_(std::move(target)),
      fresh_(target_ + ".new"),
      kept_(target_ + ".old"),
      part_(PartPath(target_)),
      lock_(std::move(lock)) {}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : ctx_(other.ctx_),
      target_(std::move(other.target_)),
      fresh_(std::move(other.fresh_)),
      kept_(std::move(other.kept_)),
      part_(std::move(other.part_)),
      lock_(std::move(other.lock_)),
      old_mode_(other.old_mode_),
      head_(other.head_),
      head_size_(other.head_size_),
      writer_(std::move(other.writer_)),
      size_(other.size_),
      last_modified_(other.last_modified_),
      finished_(other.finished_),
      live_(std::exchange(other.live_, false)) {}

StagedFile::~StagedFile() {
  if (live_) Discard();
}

void StagedFile::Discard() {
  writer_.reset();
  ctx_->files.Delete(fresh_);
  live_ = false;
}

Expected<StagedFile, ErrorRecord> StagedFile::Open(EngineContext& ctx, std::string_view target_view) {
  FileSystem& files = ctx.files;
  const char separator = ctx.paths.LocalSeparator();
  std::string target(target_view);
  CreateParentFolders(files, target, separator);
  auto lock = files.LockFile(ReplacementLockPath(target, separator));
  if (!lock) return Failure(lock.error());
  StagedFile staged(ctx, std::move(target), std::move(*lock));
  // An earlier run that stopped with the target moved aside left the old
  // content as ".old": put it back before anything else.
  if (!files.NormalFileExists(staged.target_) && files.NormalFileExists(staged.kept_))
    files.Rename(staged.kept_, staged.target_);
  files.Delete(staged.fresh_);
  files.Delete(staged.kept_);
  // A replacement keeps the bits of the file it replaces.
  staged.old_mode_ = files.FileMode(staged.target_);
  return staged;
}

ReplaceResult StagedFile::CreateFresh() {
  const std::span<const std::uint8_t> head(head_.data(), head_size_);
  WriteOptions options;
  options.mode = old_mode_.value_or(NewFileMode(head));
  options.exact_mode = old_mode_.has_value();
  options.flush = true;
  auto writer = ctx_->files.CreateFile(fresh_, options);
  if (!writer) return Failure(writer.error());
  writer_ = std::move(*writer);
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
  if (!writer_)
    if (ReplaceResult created = CreateFresh(); !created) return created;
  if (const FileResult error = writer_->Finish()) return Failure(*error);
  writer_.reset();
  // Without a repository date the file keeps the time it was written: the
  // zero date would stamp it 30 December 1899, which reads back as "no
  // date", and a present file would then count as a missing one.
  if (!last_modified.IsZero()) SetFileDate(ctx_->files, ctx_->system, fresh_, last_modified);
  last_modified_ = last_modified;
  finished_ = true;
  return {};
}

ReplaceResult StagedFile::Commit() {
  FileSystem& files = ctx_->files;
  if (!finished_) return Fail(ErrorRecord{EINVAL, "UpdateFile", "Contenuto incompleto"});
  const bool had_target = files.NormalFileExists(target_);
  if (had_target) {
    if (const FileResult error = files.LinkOrCopy(target_, kept_)) return Failure(*error);
  }
  if (const FileResult error = files.Rename(fresh_, target_)) {
    // The target was never moved: it still holds the old content.
    if (had_target) files.Delete(kept_);
    return Failure(*error);
  }
  live_ = false;
  files.SyncFolder(FolderOf(target_, ctx_->paths.LocalSeparator()));

  ctx_->settings.Write(settings::kApplication, settings::kLastModifiedSection, target_,
                       last_modified_.ToSettingsText());
  files.Delete(kept_);  // may stay while another process holds it
  if (files.NormalFileExists(part_)) files.Delete(part_);
  lock_ = FileLock();
  return {};
}

bool StagedFile::KeepAsPart(long long unix_seconds) {
  if (!live_ || finished_ || size_ == 0) return false;
  if (!writer_)
    if (!CreateFresh()) return false;
  if (writer_->Finish()) return false;
  writer_.reset();
  FileSystem& files = ctx_->files;
  if (files.SetModificationTime(fresh_, unix_seconds) || files.Rename(fresh_, part_)) return false;
  live_ = false;
  lock_ = FileLock();
  return true;
}

ReplaceResult UpdateFile(EngineContext& ctx, std::string_view target, std::span<const std::uint8_t> content,
                         DateValue last_modified) {
  auto staged = StagedFile::Open(ctx, target);
  if (!staged) return Fail(staged.error());
  if (ReplaceResult written = staged->Write(content); !written) return written;
  if (ReplaceResult finished = staged->Finish(last_modified); !finished) return finished;
  return staged->Commit();
}

}  // namespace tw
