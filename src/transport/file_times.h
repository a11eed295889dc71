// A file's modification time as the program's local date, and back.
#pragma once

#include <string_view>

#include "common/date_value.h"

namespace tw {

class FileSystem;
class SystemInfo;

// Gives the file at `path` the modification time `date` (a local time),
// converted to UTC with the offset in force at the moment of the call.
// Only the modification time changes; a missing file changes nothing.
void SetFileDate(FileSystem& files, SystemInfo& system, std::string_view path, DateValue date);

// The file's modification time as local time, by the same rule; the zero
// date when the file cannot be read.
DateValue FileDate(FileSystem& files, SystemInfo& system, std::string_view path);

}  // namespace tw
