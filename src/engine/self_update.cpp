#include "engine/self_update.h"

#include <span>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/path_mapping.h"
#include "engine/checked_download.h"
#include "engine/engine_context.h"
#include "engine/engine_log.h"
#include "engine/module_download.h"
#include "platform/file_system.h"

namespace tw {
namespace {

std::optional<crypto::Sha256Digest> DigestOfFile(FileSystem& files, const std::string& path) {
  auto reader = files.OpenForReading(path);
  if (!reader) return std::nullopt;
  crypto::Sha256 hasher;
  std::vector<std::uint8_t> block(1u << 20);
  for (;;) {
    auto read = (*reader)->Read(block);
    if (!read) return std::nullopt;
    if (*read == 0) break;
    hasher.Update(std::span<const std::uint8_t>(block.data(), *read));
  }
  return hasher.Finish();
}

// Whatever puts the ".update" copy in place of the program trusts it: a
// copy the ruling index does not vouch for (left by an earlier run, or by
// anyone else) is deleted instead.
void DropUnvouchedUpdate(EngineContext& ctx, const std::string& program) {
  const RepositoryIndex* index = ctx.catalogue.Index().Ruling();
  if (!index || !ctx.catalogue.Trust().KeysConfigured()) return;
  const std::string copy = ctx.paths.ResolvePath(program, false) + ".update";
  if (!ctx.files.NormalFileExists(copy)) return;
  const IndexEntry* entry = index->Find(ctx.paths.ResolvePath(program, true));
  if (!entry || DigestOfFile(ctx.files, copy) != entry->sha256) ctx.files.Delete(copy);
}

// Puts the repository's copy of `module` in place as `target`. A failure
// carries the system's error when there is one (a refused digest, a file
// that could not be replaced).
Expected<void, std::optional<ErrorRecord>> Refresh(EngineContext& ctx, const std::string& module,
                                                   const std::string& target, const std::string& remote) {
  auto staged = DownloadCheckedToStaging(ctx, module, target, remote);
  if (!staged) return Fail(staged.error().file);
  if (ReplaceResult replaced = ReplaceFromStaging(std::move(*staged)); !replaced)
    return Fail(std::optional<ErrorRecord>(replaced.error()));
  return {};
}

}  // namespace

void SelfUpdate(EngineContext& ctx) {
  ctx.catalogue.BeginOperation();
  struct Entry {
    std::string module;
    std::string target_suffix;
  };
  const Entry entries[] = {{"{ESEGUIBILI}\\Run" + ctx.executable_suffix, ""},
                           {"{ESEGUIBILI}\\Tarnwick" + ctx.executable_suffix, ".update"}};
  // Both documents are needed whatever the first one says.
  ctx.catalogue.Prefetch({entries[0].module, entries[1].module});
  DropUnvouchedUpdate(ctx, entries[1].module);
  for (const Entry& entry : entries) {
    const std::string target = ctx.paths.ResolvePath(entry.module, false) + entry.target_suffix;
    const std::string remote = ctx.paths.ResolvePath(entry.module, true);
    ModuleVersion installed = ctx.catalogue.GetModuleVersion(entry.module, false);
    ModuleVersion available = ctx.catalogue.GetModuleVersion(entry.module, true);
    if (IsVersionEmpty(available) || CompareVersions(available, installed) != 1) continue;
    // Each file is checked against its own module's document: the ".update"
    // copy against the program's.
    const auto refreshed = Refresh(ctx, entry.module, target, remote);
    if (!ctx.log) continue;
    // Run unattended, the self-update leaves its trace in the log alone.
    if (refreshed) {
      ctx.log->Line(LogLineWithError(826, target, 0, ""), LogLevel::Info);
    } else {
      const std::optional<ErrorRecord>& error = refreshed.error();
      ctx.log->Line(LogLineWithError(827, target, error ? error->Number : 0, error ? error->Description : ""),
                    LogLevel::Error);
    }
  }
}

}  // namespace tw
