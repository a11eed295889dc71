#include "platform/log_file.h"

namespace tw {
namespace {

// The folder part of `path`, without its last separator.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

std::string LogFilePath(const std::function<const char*(const char*)>& getenv) {
  constexpr std::string_view kBelow = "/Velmora/Tarnwick/tarnwick.log";
  // A relative XDG_STATE_HOME is invalid and ignored, as the other XDG
  // folders are.
  const char* state = getenv("XDG_STATE_HOME");
  if (state && state[0] == '/') return std::string(state) + std::string(kBelow);
  const char* home = getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.local/state" + std::string(kBelow);
  return {};
}

bool StandardErrorIsJournal(const std::function<const char*(const char*)>& getenv) {
  const char* stream = getenv("JOURNAL_STREAM");
  return stream && *stream;
}

std::string WithPriority(std::string_view line, LogLevel level) {
  return "<" + std::to_string(static_cast<int>(level)) + ">" + std::string(line);
}

LogFile::LogFile(LogDisk& disk, std::string path, std::uint64_t limit)
    : disk_(disk), path_(std::move(path)), limit_(limit) {}

void LogFile::Write(std::string_view line) {
  if (path_.empty()) return;
  if (!folder_made_) {
    disk_.CreateFolders(FolderOf(path_));
    folder_made_ = true;
  }
  std::string bytes(line);
  bytes += '\n';
  const auto size = disk_.Size(path_);
  if (size && *size > 0 && *size + bytes.size() > limit_) Rotate();
  disk_.Append(path_, bytes);
}

// tarnwick.log.1 -> .2 (the old .2 is replaced), tarnwick.log -> .1.
void LogFile::Rotate() {
  for (int n = kKept; n > 1; --n)
    disk_.Rename(path_ + "." + std::to_string(n - 1), path_ + "." + std::to_string(n));
  disk_.Rename(path_, path_ + ".1");
}

}  // namespace tw
