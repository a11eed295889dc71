// Replaces one file with UpdateFile on the real disk, and can die on the
// spot: replace_helper <target> <content-file> <die-before-operation>
// [repeats [signal-fd]] (-1: never). Each file-system operation counts as
// one. "S" goes to the descriptor `signal-fd` as the replacements start
// and "E" when they have ended.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "catalogue/catalogue.h"
#include "trust/trust_policy.h"
#include "catalogue/path_mapping.h"
#include "engine/engine_context.h"
#include "engine/file_replacement.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_process_launcher.h"
#include "platform/posix/posix_system_info.h"
#include "support/fake_repository.h"
#include "support/fake_settings_store.h"

namespace {

// Each step of a replacement in its open folder counts too.
class DyingFolder : public tw::OpenFolder {
 public:
  DyingFolder(std::unique_ptr<tw::OpenFolder> in, std::function<void()> step) : in_(std::move(in)), step_(std::move(step)) {}
  bool NormalFileExists(std::string_view n) override { return in_->NormalFileExists(n); }
  std::optional<long long> LastModified(std::string_view n) override { return in_->LastModified(n); }
  std::optional<unsigned> FileMode(std::string_view n) override { return in_->FileMode(n); }
  tw::FileResult Delete(std::string_view n) override { return step_(), in_->Delete(n); }
  tw::FileResult Rename(std::string_view a, std::string_view b) override { return step_(), in_->Rename(a, b); }
  tw::FileResult LinkOrCopy(std::string_view a, std::string_view b) override { return step_(), in_->LinkOrCopy(a, b); }
  tw::Expected<std::unique_ptr<tw::FileWriter>, tw::FileError> CreateFile(std::string_view n, const tw::WriteOptions& o) override {
    return step_(), in_->CreateFile(n, o);
  }
  tw::Expected<std::unique_ptr<tw::FileReader>, tw::FileError> OpenForReading(std::string_view n) override {
    return in_->OpenForReading(n);
  }
  tw::Expected<std::optional<tw::FileLock>, tw::FileError> TryLock(std::string_view n) override { return step_(), in_->TryLock(n); }
  tw::FileResult SetModificationTime(std::string_view n, long long t) override { return step_(), in_->SetModificationTime(n, t); }
  tw::FileResult Sync() override { return step_(), in_->Sync(); }

 private:
  std::unique_ptr<tw::OpenFolder> in_;
  std::function<void()> step_;
};

class DyingFileSystem : public tw::PosixFileSystem {
 public:
  tw::Expected<std::unique_ptr<tw::OpenFolder>, tw::FileError> OpenFolderBelow(std::string_view top,
                                                                              std::string_view folder) override {
    Step();
    auto opened = PosixFileSystem::OpenFolderBelow(top, folder);
    if (!opened) return opened;
    return std::unique_ptr<tw::OpenFolder>(std::make_unique<DyingFolder>(std::move(*opened), [this] { Step(); }));
  }
  explicit DyingFileSystem(int die_at) : die_at_(die_at) {}
  tw::FileResult CreateFolder(std::string_view p) override { Step(); return PosixFileSystem::CreateFolder(p); }
  tw::FileResult Delete(std::string_view p) override { Step(); return PosixFileSystem::Delete(p); }
  tw::FileResult Rename(std::string_view a, std::string_view b) override { Step(); return PosixFileSystem::Rename(a, b); }
  tw::Expected<std::unique_ptr<tw::FileWriter>, tw::FileError> CreateFile(std::string_view p,
                                                                          const tw::WriteOptions& o) override {
    Step();
    return PosixFileSystem::CreateFile(p, o);
  }
  tw::Expected<std::optional<tw::FileLock>, tw::FileError> TryLock(std::string_view p, bool folder) override {
    Step();
    return PosixFileSystem::TryLock(p, folder);
  }
  tw::FileResult WriteBytes(std::string_view p, std::span<const std::uint8_t> c,
                            const tw::WriteOptions& o) override { Step(); return PosixFileSystem::WriteBytes(p, c, o); }
  tw::FileResult LinkOrCopy(std::string_view a, std::string_view b) override { Step(); return PosixFileSystem::LinkOrCopy(a, b); }
  tw::FileResult SyncFolder(std::string_view p) override { Step(); return PosixFileSystem::SyncFolder(p); }
  tw::FileResult SetModificationTime(std::string_view p, long long t) override { Step(); return PosixFileSystem::SetModificationTime(p, t); }

 private:
  void Step() {
    if (count_++ == die_at_) ::raise(SIGKILL);
  }
  int die_at_;
  int count_ = 0;
};

void Signal(int fd, const char* what) {
  if (fd >= 0 && ::write(fd, what, 1) != 1) std::_Exit(3);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc > 6) return 2;
  const int repeats = argc >= 5 ? std::stoi(argv[4]) : 1;
  const int signal_fd = argc == 6 ? std::stoi(argv[5]) : -1;
  std::ifstream in(argv[2], std::ios::binary);
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  DyingFileSystem files(std::stoi(argv[3]));
  tw::PosixSystemInfo system("", argv[0], tw::StartMode::Standalone);
  tw::testing::FakeSettingsStore settings;
  tw::testing::FakeRepository repo;
  tw::PosixProcessLauncher launcher;
  tw::PathMapping paths(tw::MakePlaceholderTable({"/", "\\h", "", "", ""}, '/'), "h", '/');
  const tw::TrustPolicy trust;
  tw::Catalogue catalogue({paths, repo, files, settings, system, trust});
  tw::EngineContext ctx{paths, repo, files, settings, system, catalogue, launcher, ""};
  Signal(signal_fd, "S");
  for (int i = 0; i < repeats; ++i) {
    const auto replaced = tw::UpdateFile(
        ctx, argv[1], {reinterpret_cast<const std::uint8_t*>(content.data()), content.size()},
        tw::DateValue::FromCalendar(2021, 1, 1));
    if (!replaced) {
      std::printf("errore %d: %s\n", replaced.error().Number, replaced.error().Description.c_str());
      return 1;
    }
  }
  Signal(signal_fd, "E");
  return 0;
}
