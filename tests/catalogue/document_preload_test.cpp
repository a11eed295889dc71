#include "catalogue/document_preload.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>

#include "trust/trust_keys.h"

namespace tw {
namespace {

using testing::TestKey;

struct Listed {
  RepositoryIndex index;
  std::map<crypto::Sha256Digest, std::string> documents;  // digest -> its text

  Listed() {
    index.repository = "suite";
    index.serial = 3;
    index.published = 100;
    index.expires = 200;
    for (int i = 0; i < 40; ++i) {
      const std::string text = "[Release]\r\nVersion=1." + std::to_string(i) + "\r\n";
      const crypto::Sha256Digest digest = *crypto::Sha256Of(text);
      documents[digest] = text;
      index.files.push_back({digest, text.size(), std::nullopt, "m" + std::to_string(i) + ".dat.ini"});
      // A module's own file is dated: never a document to load.
      index.files.push_back({digest, 7, 1000 + i, "m" + std::to_string(i) + ".dat"});
    }
    // The same document at a second path is loaded once.
    index.files.push_back({index.files[0].sha256, index.files[0].size, std::nullopt, "copia.dat.ini"});
  }
};

TEST(DocumentPreload, LoadsEachListedDocumentOnceWhicheverThreadComesFirst) {
  const Listed listed;
  TrustAnchors anchors;
  anchors.AddKeys(testing::PublicText(TestKey(1)));
  std::mutex mutex;
  std::map<crypto::Sha256Digest, std::vector<std::optional<std::int64_t>>> loads;  // the module date of each load
  std::atomic<size_t> finished_with{0};
  DocumentPreload preload(
      testing::Signed(*WriteRepositoryIndex(listed.index), TestKey(1)), anchors,
      [&](const crypto::Sha256Digest& digest, std::uint64_t, std::optional<std::int64_t> module_date) {
        {
          const std::lock_guard lock(mutex);
          loads[digest].push_back(module_date);
        }
        auto info = std::make_shared<ModuleINIInfo>();
        info->AddKey("Release", "Version", listed.documents.at(digest));
        return std::shared_ptr<const ModuleINIInfo>(std::move(info));
      },
      [&](const std::vector<std::shared_ptr<const ModuleINIInfo>>& documents) { finished_with = documents.size(); });
  // Two takers race the preload's own thread over every document.
  std::atomic<int> wrong{0};
  const auto take_all = [&] {
    for (const auto& [digest, text] : listed.documents) {
      const auto info = preload.Take(digest);
      if (!info || !*info || (*info)->GetKey("Release", "Version") != text) ++wrong;
    }
  };
  std::thread other(take_all);
  take_all();
  other.join();
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(loads.size(), listed.documents.size());
  // Each document once, with its own module file's date.
  for (size_t i = 0; i + 1 < listed.index.files.size(); i += 2)
    EXPECT_EQ(loads[listed.index.files[i].sha256], (std::vector{listed.index.files[i + 1].date}))
        << listed.index.files[i].path;

  EXPECT_EQ(preload.Take(*crypto::Sha256Of("not listed")), std::nullopt);
  // The finisher saw every loaded document but those the two takers were
  // still loading themselves when the preload got through the list.
  while (!preload.Finished()) std::this_thread::yield();
  EXPECT_LE(finished_with, listed.documents.size());
  EXPECT_GE(finished_with + 2, listed.documents.size());
  // By now the reading is ready, its signature judged.
  const SharedIndexReading reading = preload.ReadingIfReady();
  ASSERT_TRUE(reading && reading->reading);
  EXPECT_EQ(reading->reading->trust, DocumentTrust::Valid);
}

TEST(DocumentPreload, AnUnreadableKeptIndexListsNothing) {
  const TrustAnchors anchors;
  DocumentPreload preload("[Index]\r\nFormat=2\r\n", anchors, nullptr);
  EXPECT_EQ(preload.Take(*crypto::Sha256Of("x")), std::nullopt);
  const SharedIndexReading reading = preload.ReadingIfReady();
  ASSERT_TRUE(reading);
  EXPECT_FALSE(reading->reading);
}

}  // namespace
}  // namespace tw
