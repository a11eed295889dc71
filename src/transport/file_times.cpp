#include "transport/file_times.h"

#include "platform/file_system.h"
#include "platform/system_info.h"

namespace tw {

void SetFileDate(FileSystem& files, SystemInfo& system, std::string_view path, DateValue date) {
  const DateValue utc = date.AddMinutes(system.CurrentUtcBias());
  files.SetModificationTime(path, utc.ToUnixSeconds());
}

DateValue FileDate(FileSystem& files, SystemInfo& system, std::string_view path) {
  const auto seconds = files.LastModified(path);
  if (!seconds) return DateValue();
  return DateValue::FromUnixSeconds(*seconds).AddMinutes(-system.CurrentUtcBias());
}

}  // namespace tw
