// Putting a downloaded file in place of a module file. The new content is
// written and flushed beside the target as ".new", the old content is kept
// as ".old" (a second name of the same file), and ".new" then takes the
// target's name in one step: at every moment the target holds the whole
// old or the whole new content, also across a crash or a power cut.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "common/date_value.h"
#include "engine/error_record.h"

namespace tw {

struct EngineContext;

// Replaces the file at `path` (a full local path) with `content`, gives it
// the modification time `last_modified` and stores that date as the file's
// download date. Nothing on success; the failure (source "UpdateFile")
// otherwise, with the target as it was.
std::optional<ErrorRecord> UpdateFile(EngineContext& ctx, std::string_view path,
                                      std::span<const std::uint8_t> content, DateValue last_modified);

// The failure to report for a module named in placeholder form whose folder
// this computer does not have; nothing when the module has a place here.
std::optional<ErrorRecord> CheckModuleHasFolder(EngineContext& ctx, std::string_view meta_path);

// Permission bits for a new file: executable when its content starts like a
// program (an ELF image or a "#!" script).
unsigned NewFileMode(std::span<const std::uint8_t> content);

}  // namespace tw
