// The second core looks at the module files while the index is asked: the
// walk must judge each file as its own look would, and never by a look
// taken before it started.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
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

// Answers the index late enough for the second core to be through.
struct SlowIndex : testing::FakeRepository {
  RawReply HttpGetConditional(std::string_view path, const Validators& ask) override {
    if (slow) std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return FakeRepository::HttpGetConditional(path, ask);
  }
  bool slow = false;
};

class LooksAheadTest : public ::testing::Test {
 protected:
  LooksAheadTest() {
    f_.system.user_cache_folder = dir_ / "cache";
    std::string suite = "[Setup]\r\n";
    for (std::string name : {"a", "b", "c", "d"}) {
      repo_.Publish("/dati/" + name + ".dat", "[Release]\r\n", kNew);
      suite += name + "={DATI}\\" + name + ".dat\r\n";
    }
    repo_.PutDocument("", suite);
    testing::PublishIndex(repo_, testing::TestKey(5));
    // Newer in the repository; missing; current; older on disk but
    // downloaded at the repository's date.
    for (auto [name, date] : {std::pair{"a", kOld}, {"c", kNew}, {"d", kOld}}) {
      testing::WriteTextFile(Local(name), "installato");
      SetFileDate(disk_, f_.system, Local(name), date);
    }
    f_.settings.Write(settings::kApplication, settings::kLastModifiedSection, Local("d"), kNew.ToSettingsText());
    Catalogue first(Context());
    Walk(first, "");  // keeps the index and the documents
    repo_.slow = true;
  }

  CatalogueContext Context() { return {paths_, repo_, disk_, f_.settings, f_.system, f_.trust}; }
  std::string Local(const std::string& name) const { return root_ + "/Dati/" + name + ".dat"; }
  // Each offer as "KEY:type:local version ", in the walk's order.
  static std::string Walk(Catalogue& catalogue, std::string_view module) {
    UpdateDictionary updates;
    catalogue.CollectUpdates(updates, module);
    std::string text;
    for (const auto& item : updates)
      text += *item.key + ":" + std::to_string(item.value->InstallationType) + ":" + item.value->LocalVersion + " ";
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
  Catalogue next_start(Context());
  const std::string a = "{DATI}\\A.DAT:1:" + VersionText(MakeModuleVersion("", kOld));
  EXPECT_EQ(Walk(next_start, ""), a + " {DATI}\\B.DAT:0:-.-.-.- ");
}

// A long-lived process: its next walk in the same minute asks no index,
// and a file removed since the walk before is missing for it.
TEST_F(LooksAheadTest, AFileRemovedAfterAWalkIsMissingForTheNext) {
  Catalogue next_start(Context());
  Walk(next_start, "{DATI}\\a.dat");
  ASSERT_EQ(std::remove(Local("c").c_str()), 0);
  EXPECT_NE(Walk(next_start, "").find("{DATI}\\C.DAT:0:"), std::string::npos);
}

}  // namespace
}  // namespace tw
