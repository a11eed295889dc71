#include "engine/post_setup_journal.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <random>

#include "catalogue/catalogue.h"
#include "common/settings_keys.h"
#include "common/text.h"
#include "engine/engine_context.h"
#include "engine/post_setup.h"
#include "platform/file_system.h"
#include "platform/settings_store.h"
#include "platform/system_info.h"
#include "resources/string_table.h"

namespace tw {
namespace {

// One line per program: the module's local path, a tab, the command line,
// a tab and the entry's own name (which names its start marker). Module
// paths hold no control characters, and a line of a catalogue document no
// line break; a command line may hold tabs, the name never does.
struct Entry {
  std::string module, program, id;
};

// Sixteen hex digits, new for every entry: a marker left behind by an
// entry that ran can never be taken for a later entry's.
std::string NewEntryId() {
  static std::random_device source;
  const std::uint64_t value = (std::uint64_t{source()} << 32) ^ source() ^
                              static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

bool IsEntryId(std::string_view id) {
  return id.size() == 16 && id.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

std::vector<Entry> Load(EngineContext& ctx) {
  // Another process of this user may have run or added some meanwhile.
  ctx.settings.Flush();
  const std::string text =
      ctx.settings.Read(settings::kApplication, settings::kSection, settings::kPendingPostSetup, "");
  std::vector<Entry> entries;
  for (std::string_view line : Split(text, "\n")) {
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos || tab + 1 >= line.size()) continue;
    Entry entry{std::string(line.substr(0, tab)), std::string(line.substr(tab + 1)), ""};
    // A line written before entries had names runs like any other, with
    // no marker to tell whether an earlier start began it.
    if (const size_t last = entry.program.rfind('\t');
        last != std::string::npos && IsEntryId(std::string_view(entry.program).substr(last + 1))) {
      entry.id = entry.program.substr(last + 1);
      entry.program.resize(last);
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

void Store(EngineContext& ctx, const std::vector<Entry>& entries) {
  std::string text;
  for (const Entry& entry : entries)
    text += entry.module + "\t" + entry.program + (entry.id.empty() ? "" : "\t" + entry.id) + "\n";
  if (text.empty()) ctx.settings.Delete(settings::kApplication, settings::kSection, settings::kPendingPostSetup);
  else ctx.settings.Write(settings::kApplication, settings::kSection, settings::kPendingPostSetup, text);
  ctx.settings.Flush();
}

// The per-user turn to run pending programs: a lock in the user's own data
// folder, never among the suite's files. Nothing when another process has
// it; a lock that cannot be made at all does not stop the programs.
std::string JournalFolder(EngineContext& ctx) {
  const std::string data = ctx.system.UserDataFolder();
  return data.empty() ? std::string() : data + "/tarnwick";
}

// Where the process that starts the entry's program leaves its marker;
// "" when the user has no data folder (the program may then run again
// after a kill that hit while it ran).
std::string StartMarker(EngineContext& ctx, const Entry& entry) {
  const std::string folder = JournalFolder(ctx);
  if (folder.empty() || entry.id.empty() || !ctx.files.FileMode(folder)) return {};
  return folder + "/post-setup-" + entry.id + ".started";
}

// The user's data folder may not be there yet (~/.local/share on a new
// account): each missing folder down to the journal's is made.
void CreateJournalFolder(EngineContext& ctx, const std::string& folder) {
  for (size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
    if (!ctx.files.FileMode(folder.substr(0, slash))) ctx.files.CreateFolder(folder.substr(0, slash));
  ctx.files.CreateFolder(folder);
}

std::optional<FileLock> TakeTurn(EngineContext& ctx) {
  const std::string folder = JournalFolder(ctx);
  if (folder.empty()) return FileLock();
  const std::string path = folder + "/post-setup.lock";
  CreateJournalFolder(ctx, folder);
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
    if (!known && program.find('\n') == std::string::npos)
      entries.push_back({std::string(module), program, NewEntryId()});
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

namespace {

// Runs the entry's program unless an earlier start already began it, then
// removes the entry and its marker. Called with the turn held.
void RunEntry(EngineContext& ctx, const Entry& entry, bool module_present) {
  const std::string marker = StartMarker(ctx, entry);
  if (!marker.empty() && ctx.files.NormalFileExists(marker)) {
    // Started by a start that died before removing the entry: it ran (or
    // still runs), and is not run again.
    ctx.catalogue.Report(std::string(LoadResString(828)) + " [" + entry.program + "]");
  } else if (module_present) {
    RunPostSetupProgram(ctx, entry.program, marker);
  }
  // Removed after it ran, from the journal as it stands now; the marker
  // last, so that a kill in between still finds it.
  std::vector<Entry> now = Load(ctx);
  std::erase_if(now, [&](const Entry& e) { return e.id == entry.id && e.program == entry.program; });
  Store(ctx, now);
  if (!marker.empty()) ctx.files.Delete(marker);
}

}  // namespace

void RunPendingPostSetups(EngineContext& ctx) {
  if (Load(ctx).empty()) return;
  // One process of this user runs them at a time; the others leave them to
  // it (a program that asks the automation server to update a module would
  // otherwise be started again by the server, and wait for itself).
  const auto turn = TakeTurn(ctx);
  if (!turn) return;
  auto same = [](const Entry& a, const Entry& b) {
    return a.module == b.module && a.program == b.program && a.id == b.id;
  };
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
    RunEntry(ctx, entry, ctx.files.NormalFileExists(entry.module));
  }
}

bool RunRecordedPostSetup(EngineContext& ctx, std::string_view command_line) {
  const auto turn = TakeTurn(ctx);
  if (!turn) return false;
  const std::vector<Entry> entries = Load(ctx);
  const auto entry = std::find_if(entries.begin(), entries.end(),
                                  [&](const Entry& e) { return EqualsIgnoreCase(e.program, command_line); });
  if (entry == entries.end()) {
    // Not journalled (the journal could not be written): run as asked.
    RunPostSetupProgram(ctx, command_line);
    return true;
  }
  RunEntry(ctx, *entry, true);
  return true;
}

}  // namespace tw
