// Replaces one file with UpdateFile on the real disk, and can die on the
// spot: replace_helper <target> <content-file> <die-before-operation>
// (-1: never). Each file-system operation counts as one.
#include <signal.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/path_mapping.h"
#include "engine/engine_context.h"
#include "engine/file_replacement.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_process_launcher.h"
#include "platform/posix/posix_system_info.h"
#include "support/fake_repository.h"
#include "support/fake_settings_store.h"

namespace {

class DyingFileSystem : public tw::PosixFileSystem {
 public:
  explicit DyingFileSystem(int die_at) : die_at_(die_at) {}
  tw::FileResult CreateFolder(std::string_view p) override { Step(); return PosixFileSystem::CreateFolder(p); }
  tw::FileResult Delete(std::string_view p) override { Step(); return PosixFileSystem::Delete(p); }
  tw::FileResult Rename(std::string_view a, std::string_view b) override { Step(); return PosixFileSystem::Rename(a, b); }
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  std::ifstream in(argv[2], std::ios::binary);
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  DyingFileSystem files(std::stoi(argv[3]));
  tw::PosixSystemInfo system("", argv[0], tw::StartMode::Standalone);
  tw::testing::FakeSettingsStore settings;
  tw::testing::FakeRepository repo;
  tw::PosixProcessLauncher launcher;
  tw::PathMapping paths(tw::MakePlaceholderTable({"/", "\\h", "", "", ""}, '/'), "h", '/');
  tw::Catalogue catalogue({paths, repo, files, settings, system});
  tw::EngineContext ctx{paths, repo, files, settings, system, catalogue, launcher, ""};
  const auto error = tw::UpdateFile(
      ctx, argv[1], {reinterpret_cast<const std::uint8_t*>(content.data()), content.size()},
      tw::DateValue::FromCalendar(2021, 1, 1));
  if (error) std::printf("errore %d: %s\n", error->Number, error->Description.c_str());
  return error ? 1 : 0;
}
