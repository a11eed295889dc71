#include "platform/posix/posix_system_info.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <utility>

namespace tw {
namespace {

std::string EnvOrEmpty(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

std::string HomeFolder() {
  std::string home = EnvOrEmpty("HOME");
  if (home.empty()) {
    if (const passwd* pw = ::getpwuid(::getuid())) home = pw->pw_dir ? pw->pw_dir : "";
  }
  return home;
}

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

long OffsetSeconds(time_t when, int* is_dst = nullptr) {
  struct tm local {};
  ::localtime_r(&when, &local);
  if (is_dst) *is_dst = local.tm_isdst;
  return local.tm_gmtoff;
}

}  // namespace

PosixSystemInfo::PosixSystemInfo(std::string command_line, std::string executable_path,
                                 StartMode mode)
    : command_line_(std::move(command_line)),
      executable_path_(std::move(executable_path)),
      mode_(mode) {}

std::string PosixSystemInfo::RunningExecutablePath() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

std::string PosixSystemInfo::ComputerName() {
  char buffer[256] = {};
  if (::gethostname(buffer, sizeof buffer - 1) != 0) return {};
  return buffer;
}

std::string PosixSystemInfo::ProgramFolder() {
  const size_t cut = executable_path_.rfind('/');
  if (cut == std::string::npos) return ".";
  return cut == 0 ? std::string("/") : executable_path_.substr(0, cut);
}

std::string PosixSystemInfo::ExecutableName() {
  std::string name = executable_path_.substr(executable_path_.rfind('/') + 1);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string PosixSystemInfo::SpecialFolderPath(SpecialFolder kind) {
  return PerUserSpecialFolder(kind);
}

std::string PosixSystemInfo::UserDataFolder() { return PerUserDataFolder(); }

std::string PosixSystemInfo::UserCacheFolder() {
  if (std::string cache_home = EnvOrEmpty("XDG_CACHE_HOME"); cache_home.starts_with('/'))
    return WithoutTrailingSlash(cache_home);
  const std::string home = HomeFolder();
  return home.empty() ? std::string() : WithoutTrailingSlash(home) + "/.cache";
}

std::string PerUserDataFolder() {
  // A relative value is no folder at all (it would follow whatever folder
  // the program was started in), and the desktop's rule is to ignore it.
  if (std::string data_home = EnvOrEmpty("XDG_DATA_HOME"); data_home.starts_with('/'))
    return WithoutTrailingSlash(data_home);
  const std::string home = HomeFolder();
  return home.empty() ? std::string() : WithoutTrailingSlash(home) + "/.local/share";
}

std::string PerUserSpecialFolder(SpecialFolder kind) {
  const char* variable = kind == SpecialFolder::System  ? "TARNWICK_SYSTEM_DIR"
                         : kind == SpecialFolder::Fonts ? "TARNWICK_FONTS_DIR"
                                                        : "TARNWICK_WINDOWS_DIR";
  if (std::string overridden = EnvOrEmpty(variable); !overridden.empty())
    return WithoutTrailingSlash(overridden);
  const std::string home = HomeFolder();
  if (home.empty()) return {};
  const std::string data_home = PerUserDataFolder();
  switch (kind) {
    case SpecialFolder::System: return WithoutTrailingSlash(home) + "/.local/lib";
    case SpecialFolder::Fonts: return data_home + "/fonts";
    // A folder of the suite's own: the whole data folder would let a module
    // drop user services, desktop entries or autostart files.
    case SpecialFolder::Windows: return data_home + "/Velmora/Windows";
  }
  return {};
}

int PosixSystemInfo::TimeZoneBias() {
  // The standard offset is the one of the half year without daylight saving;
  // where neither or both halves observe it, the smaller offset is standard.
  const time_t now = std::time(nullptr);
  struct tm today {};
  ::localtime_r(&now, &today);
  struct tm probe {};
  probe.tm_year = today.tm_year;
  probe.tm_mday = 1;
  probe.tm_isdst = -1;
  probe.tm_mon = 0;
  const time_t january = ::mktime(&probe);
  probe = {};
  probe.tm_year = today.tm_year;
  probe.tm_mday = 1;
  probe.tm_isdst = -1;
  probe.tm_mon = 6;
  const time_t july = ::mktime(&probe);
  int dst_jan = 0, dst_jul = 0;
  const long off_jan = OffsetSeconds(january, &dst_jan);
  const long off_jul = OffsetSeconds(july, &dst_jul);
  long standard = off_jan < off_jul ? off_jan : off_jul;
  if (dst_jan == 0 && dst_jul > 0) standard = off_jan;
  if (dst_jul == 0 && dst_jan > 0) standard = off_jul;
  return static_cast<int>(-standard / 60);
}

int PosixSystemInfo::CurrentUtcBias() {
  return static_cast<int>(-OffsetSeconds(std::time(nullptr)) / 60);
}

}  // namespace tw
