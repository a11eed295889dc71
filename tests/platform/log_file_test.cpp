// The administrators' log file: where it lies, and how it stays bounded.
#include <gtest/gtest.h>

#include <map>

#include "platform/log_file.h"

namespace tw {
namespace {

class MemoryLogDisk : public LogDisk {
 public:
  std::optional<std::uint64_t> Size(const std::string& path) override {
    auto it = files.find(path);
    if (it == files.end()) return std::nullopt;
    return it->second.size();
  }
  bool Append(const std::string& path, std::string_view bytes) override {
    if (full) return false;
    files[path] += bytes;
    return true;
  }
  bool Rename(const std::string& from, const std::string& to) override {
    auto it = files.find(from);
    if (it == files.end()) return false;
    files[to] = it->second;
    files.erase(from);
    return true;
  }
  bool CreateFolders(const std::string& path) override {
    folders.push_back(path);
    return true;
  }
  std::map<std::string, std::string> files;
  std::vector<std::string> folders;
  bool full = false;
};

TEST(LogFile, LiesInTheStateFolderWithItsFallbacks) {
  struct Case {
    const char* state;
    const char* home;
    std::string path;
  };
  const std::vector<Case> cases = {
      {"/s", "/h", "/s/Velmora/Tarnwick/tarnwick.log"},
      {nullptr, "/h", "/h/.local/state/Velmora/Tarnwick/tarnwick.log"},
      {"", "/h", "/h/.local/state/Velmora/Tarnwick/tarnwick.log"},
      {"relativo", "/h", "/h/.local/state/Velmora/Tarnwick/tarnwick.log"},
      {nullptr, nullptr, ""},
  };
  for (const Case& c : cases) {
    const auto env = [&](const char* name) -> const char* {
      return std::string_view(name) == "XDG_STATE_HOME" ? c.state : std::string_view(name) == "HOME" ? c.home : nullptr;
    };
    EXPECT_EQ(LogFilePath(env), c.path) << (c.state ? c.state : "(unset)");
  }
}

TEST(LogFile, SetsTheFileAsideAtItsLimitAndKeepsTwoOldOnes) {
  MemoryLogDisk disk;
  LogFile log(disk, "/s/t.log", 20);
  for (const char* line : {"uno-uno-uno", "due-due-due", "tre-tre-tre", "quattro-qua"}) log.Write(line);
  EXPECT_EQ(disk.folders, (std::vector<std::string>{"/s"}));
  EXPECT_EQ(disk.files, (std::map<std::string, std::string>{{"/s/t.log", "quattro-qua\n"},
                                                            {"/s/t.log.1", "tre-tre-tre\n"},
                                                            {"/s/t.log.2", "due-due-due\n"}}));
  // A disk that refuses is no failure of the run.
  disk.full = true;
  log.Write("cinque");
  EXPECT_EQ(disk.files["/s/t.log"], "quattro-qua\n");
}

TEST(LogFile, MarksLinesForTheJournal) {
  EXPECT_EQ(WithPriority("errore", LogLevel::Error), "<3>errore");
  EXPECT_EQ(WithPriority("nota", LogLevel::Info), "<6>nota");
}

}  // namespace
}  // namespace tw
