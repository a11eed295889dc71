// The second core looks at the module files while the index is asked: the
// walk must judge each file as a look of its own would, and never by a
// look taken before it started.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include "catalogue/catalogue.h"
#include "common/settings_keys.h"
#include "engine/engine_fixture.h"
#include "platform/posix/posix_file_system.h"
#include "support/fake_index.h"
#include "support/temp_dir.h"
#include "transport/file_times.h"

namespace tw {
namespace {

using testing::kNew;
using testing::kOld;

// The real disk, counting the looks at module files taken by other threads.
class CountingDisk : public PosixFileSystem {
 public:
  bool NormalFileExists(std::string_view path) override {
    if (path.ends_with(".dat") && std::this_thread::get_id() != main_) ++looked_ahead;
    return PosixFileSystem::NormalFileExists(path);
  }
  std::atomic<int> looked_ahead{0};

 private:
  const std::thread::id main_ = std::this_thread::get_id();
};

// Holds the index's answer until the second core has looked at `files`
// module files: the walk then starts with every look ready.
struct SlowIndex : testing::FakeRepository {
  RawReply HttpGetConditional(std::string_view path, const Validators& ask) override {
    for (int i = 0; i < 500 && disk && disk->looked_ahead < files; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return FakeRepository::HttpGetConditional(path, ask);
  }
  CountingDisk* disk = nullptr;
  int files = 0;
};

class LooksAheadTest : public ::testing::Test {
 protected:
  LooksAheadTest() {
    f_.system.user_cache_folder = dir_ / "cache";
    std::string suite = "[Setup]\r\n";
    for (const char* name : {"a", "b", "c", "d"}) {
      repo_.Publish(std::string("/dati/") + name + ".dat", "[Release]\r\n", kNew);
      suite += std::string(name) + "={DATI}\\" + name + ".dat\r\n";
    }
    repo_.PutDocument("", suite);
    testing::PublishIndex(repo_, testing::TestKey(5));
    // Newer in the repository; missing; current; older on disk but
    // downloaded at the repository's date.
    Install("a", kOld);
    Install("c", kNew);
    Install("d", kOld);
    f_.settings.Write(settings::kApplication, settings::kLastModifiedSection, Local("d"), kNew.ToSettingsText());
    UpdateDictionary first;
    Catalogue(Context(disk_)).CollectUpdates(first, "");  // keeps the index and the documents
  }

  std::string Local(const std::string& name) const { return root_ + "/Dati/" + name + ".dat"; }
  void Install(const std::string& name, DateValue date) {
    testing::WriteTextFile(Local(name), "installato");
    SetFileDate(disk_, f_.system, Local(name), date);
  }
  CatalogueContext Context(FileSystem& files) { return {paths_, repo_, files, f_.settings, f_.system, f_.trust}; }

  // Each offer as "KEY:type:local version", in the walk's order.
  static std::string Offers(const UpdateDictionary& updates, bool versions = true) {
    std::string text;
    for (const auto& item : updates)
      text += *item.key + ":" + std::to_string(item.value->InstallationType) +
              (versions ? ":" + item.value->LocalVersion : "") + " ";
    return text;
  }

  testing::TempDir dir_;
  testing::EngineFixture f_;
  SlowIndex repo_;
  PosixFileSystem disk_;
  const std::string root_ = dir_ / "suite";
  PathMapping paths_{MakePlaceholderTable({root_, "\\pc1", "", "", ""}, '/'), "pc1", '/'};
};

TEST_F(LooksAheadTest, TheWalkJudgesEachFileAsItsOwnLookWould) {
  UpdateDictionary fresh;
  Catalogue(Context(disk_)).CollectUpdates(fresh, "");
  CountingDisk counting;
  repo_.disk = &counting;
  repo_.files = 4;
  UpdateDictionary ahead;
  Catalogue(Context(counting)).CollectUpdates(ahead, "");
  ASSERT_GE(counting.looked_ahead, 4);
  EXPECT_EQ(Offers(ahead), Offers(fresh));
  EXPECT_EQ(Offers(fresh, false), "{DATI}\\A.DAT:1 {DATI}\\B.DAT:0 ");
}

// A long-lived process: a second walk in the same minute asks no index, and
// a file removed since the first walk is missing for it.
TEST_F(LooksAheadTest, AFileRemovedAfterAWalkIsMissingForTheNext) {
  CountingDisk counting;
  repo_.disk = &counting;
  repo_.files = 4;
  Catalogue catalogue(Context(counting));
  UpdateDictionary one;
  catalogue.CollectUpdates(one, "{DATI}\\a.dat");
  ASSERT_GE(counting.looked_ahead, 4);
  ASSERT_EQ(std::remove(Local("c").c_str()), 0);
  UpdateDictionary all;
  catalogue.CollectUpdates(all, "");
  const auto* c = all.Find("{DATI}\\C.DAT");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ((*c)->InstallationType, 0);
}

}  // namespace
}  // namespace tw
