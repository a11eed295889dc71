#include "engine/file_replacement.h"

#include <cerrno>
#include <string>

#include "catalogue/path_mapping.h"
#include "common/settings_keys.h"
#include "engine/engine_context.h"
#include "platform/file_system.h"
#include "platform/settings_store.h"
#include "transport/file_times.h"

namespace tw {
namespace {

ErrorRecord Failure(const FileError& error) {
  return ErrorRecord{error.number, "UpdateFile", error.description};
}

void CreateParentFolders(FileSystem& files, const std::string& path, char separator) {
  // Every folder on the way, the first piece (a drive, or the root) aside.
  for (size_t cut = path.find(separator, 1); cut != std::string::npos;
       cut = path.find(separator, cut + 1)) {
    if (cut > 0 && path[cut - 1] == ':' && path.find(separator) == cut) continue;  // "C:\"
    files.CreateFolder(path.substr(0, cut));
  }
}

std::string FolderOf(const std::string& path, char separator) {
  const size_t cut = path.rfind(separator);
  if (cut == std::string::npos) return ".";
  return cut == 0 ? std::string(1, separator) : path.substr(0, cut);
}

}  // namespace

unsigned NewFileMode(std::span<const std::uint8_t> content) {
  const bool elf = content.size() >= 4 && content[0] == 0x7F && content[1] == 'E' &&
                   content[2] == 'L' && content[3] == 'F';
  const bool script = content.size() >= 2 && content[0] == '#' && content[1] == '!';
  return elf || script ? 0755 : 0644;
}

std::optional<ErrorRecord> CheckModuleHasFolder(EngineContext& ctx, std::string_view meta_path) {
  if (!ctx.paths.HasUnmappedToken(meta_path)) return std::nullopt;
  return ErrorRecord{ENOENT, "UpdateFile", "Cartella del modulo non disponibile su questo computer"};
}

std::optional<ErrorRecord> UpdateFile(EngineContext& ctx, std::string_view target_view,
                                      std::span<const std::uint8_t> content, DateValue last_modified) {
  FileSystem& files = ctx.files;
  const char separator = ctx.paths.LocalSeparator();
  const std::string target(target_view);
  const std::string fresh = target + ".new";
  const std::string kept = target + ".old";

  CreateParentFolders(files, target, separator);
  // An earlier run that stopped with the target moved aside left the old
  // content as ".old": put it back before anything else.
  if (!files.NormalFileExists(target) && files.NormalFileExists(kept)) files.Rename(kept, target);
  files.Delete(fresh);
  files.Delete(kept);

  // A replacement keeps the bits of the file it replaces.
  const std::optional<unsigned> old_mode = files.FileMode(target);
  WriteOptions options;
  options.mode = old_mode.value_or(NewFileMode(content));
  options.exact_mode = old_mode.has_value();
  options.flush = true;
  if (const FileResult error = files.WriteBytes(fresh, content, options)) {
    files.Delete(fresh);
    return Failure(*error);
  }
  SetFileDate(files, ctx.system, fresh, last_modified);

  const bool had_target = files.NormalFileExists(target);
  if (had_target) {
    if (const FileResult error = files.LinkOrCopy(target, kept)) {
      files.Delete(fresh);
      return Failure(*error);
    }
  }
  if (const FileResult error = files.Rename(fresh, target)) {
    // The target was never moved: it still holds the old content.
    files.Delete(fresh);
    if (had_target) files.Delete(kept);
    return Failure(*error);
  }
  files.SyncFolder(FolderOf(target, separator));

  ctx.settings.Write(settings::kApplication, settings::kLastModifiedSection, target,
                     last_modified.ToSettingsText());
  files.Delete(kept);  // may stay while another process holds it
  return std::nullopt;
}

}  // namespace tw
