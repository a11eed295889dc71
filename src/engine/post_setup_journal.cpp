#include "engine/post_setup_journal.h"

#include <algorithm>
#include <optional>

#include "common/settings_keys.h"
#include "common/text.h"
#include "engine/engine_context.h"
#include "engine/post_setup.h"
#include "platform/file_system.h"
#include "platform/settings_store.h"
#include "platform/system_info.h"

namespace tw {
namespace {

// One line per program: the module's local path, a tab, the command line.
// Module paths hold no control characters, and a line of a catalogue
// document no line break.
struct Entry {
  std::string module, program;
};

std::vector<Entry> Load(EngineContext& ctx) {
  // Another process of this user may have run or added some meanwhile.
  ctx.settings.Flush();
  const std::string text =
      ctx.settings.Read(settings::kApplication, settings::kSection, settings::kPendingPostSetup, "");
  std::vector<Entry> entries;
  for (std::string_view line : Split(text, "\n")) {
    const size_t tab = line.find('\t');
    if (tab != std::string_view::npos && tab + 1 < line.size())
      entries.push_back({std::string(line.substr(0, tab)), std::string(line.substr(tab + 1))});
  }
  return entries;
}

void Store(EngineContext& ctx, const std::vector<Entry>& entries) {
  std::string text;
  for (const Entry& entry : entries) text += entry.module + "\t" + entry.program + "\n";
  if (text.empty()) ctx.settings.Delete(settings::kApplication, settings::kSection, settings::kPendingPostSetup);
  else ctx.settings.Write(settings::kApplication, settings::kSection, settings::kPendingPostSetup, text);
  ctx.settings.Flush();
}

// The per-user turn to run pending programs: a lock in the user's own data
// folder, never among the suite's files. Nothing when another process has
// it; a lock that cannot be made at all does not stop the programs.
std::optional<FileLock> TakeTurn(EngineContext& ctx) {
  const std::string data = ctx.system.UserDataFolder();
  if (data.empty()) return FileLock();
  const std::string folder = data + "/tarnwick", path = folder + "/post-setup.lock";
  ctx.files.CreateFolder(folder);
  WriteOptions options;
  options.exclusive = true;
  options.mode = 0600;
  ctx.files.WriteBytes(path, {}, options);  // made once; an existing one stays
  auto lock = ctx.files.TryLock(path);
  if (!lock) return FileLock();
  return std::move(*lock);
}

}  // namespace

void RecordPostSetups(EngineContext& ctx, std::string_view module, const std::vector<std::string>& programs) {
  if (programs.empty()) return;
  std::vector<Entry> entries = Load(ctx);
  for (const std::string& program : programs) {
    bool known = false;
    for (const Entry& entry : entries) known = known || EqualsIgnoreCase(entry.program, program);
    if (!known && program.find('\n') == std::string::npos) entries.push_back({std::string(module), program});
  }
  Store(ctx, entries);
}

void ForgetPostSetups(EngineContext& ctx, std::string_view module) {
  std::vector<Entry> entries = Load(ctx);
  std::erase_if(entries, [&](const Entry& entry) { return entry.module == module; });
  Store(ctx, entries);
}

std::vector<std::string> PendingPostSetups(EngineContext& ctx) {
  std::vector<std::string> programs;
  for (const Entry& entry : Load(ctx)) programs.push_back(entry.program);
  return programs;
}

void RunPendingPostSetups(EngineContext& ctx) {
  if (Load(ctx).empty()) return;
  // One process of this user runs them at a time; the others leave them to
  // it (a program that asks the automation server to update a module would
  // otherwise be started again by the server, and wait for itself).
  const auto turn = TakeTurn(ctx);
  if (!turn) return;
  auto same = [](const Entry& a, const Entry& b) { return a.module == b.module && a.program == b.program; };
  std::vector<Entry> handled;
  for (;;) {
    // Also those another process recorded while one ran.
    const std::vector<Entry> entries = Load(ctx);
    auto next = std::find_if(entries.begin(), entries.end(), [&](const Entry& e) {
      return std::none_of(handled.begin(), handled.end(), [&](const Entry& h) { return same(e, h); });
    });
    if (next == entries.end()) return;
    const Entry entry = *next;
    handled.push_back(entry);
    if (ctx.files.NormalFileExists(entry.module)) RunPostSetupProgram(ctx, entry.program);
    // Removed after it ran, from the journal as it stands now.
    std::vector<Entry> now = Load(ctx);
    std::erase_if(now, [&](const Entry& e) { return same(e, entry); });
    Store(ctx, now);
  }
}

bool RunRecordedPostSetup(EngineContext& ctx, std::string_view command_line) {
  const auto turn = TakeTurn(ctx);
  if (!turn) return false;
  RunPostSetupProgram(ctx, command_line);
  std::vector<Entry> entries = Load(ctx);
  std::erase_if(entries, [&](const Entry& e) { return EqualsIgnoreCase(e.program, command_line); });
  Store(ctx, entries);
  return true;
}

}  // namespace tw
