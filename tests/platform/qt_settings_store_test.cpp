#include "platform/qt/qt_settings_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/date_value.h"
#include "common/settings_keys.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

using testing::TempDir;

class QtSettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
    ::setenv("HOME", config_.path().c_str(), 1);
  }
  std::string FilePath() const { return config_.path() + "/Velmora s.r.l./Tarnwick.ini"; }

  TempDir config_;
};

TEST_F(QtSettingsStoreTest, AwkwardPathKeysRoundTripThroughTheFile) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/home/anna/Suite Prog/Eseguibili/Città.exe", "34644.7534722222"},
      {"C:\\Programmi\\Suite\\a=b.exe", "45000,5"},
      {"/srv/100%/x;y#z:w.dll", " spazi "},
      {"/a//b/", "più\nrighe"},
  };
  {
    QtSettingsStore writer;
    for (const auto& [key, value] : cases)
      ASSERT_TRUE(writer.Write(settings::kApplication, settings::kLastModifiedSection, key, value));
    EXPECT_EQ(writer.FilePath(settings::kApplication), FilePath());
  }
  QtSettingsStore reader;  // a new store reads the file afresh
  for (const auto& [key, value] : cases)
    EXPECT_EQ(reader.Read(settings::kApplication, settings::kLastModifiedSection, key, "0"), value)
        << key;
  EXPECT_EQ(reader.Read(settings::kApplication, settings::kLastModifiedSection, "/a/b", "none"),
            "none");
  EXPECT_TRUE(reader.Delete(settings::kApplication, settings::kLastModifiedSection, cases[0].first));
  EXPECT_EQ(QtSettingsStore().Read(settings::kApplication, settings::kLastModifiedSection,
                                   cases[0].first, "gone"),
            "gone");
  const std::string text = testing::ReadTextFile(FilePath());
  EXPECT_NE(text.find("[Tarnwick/LastModifiedDate]"), std::string::npos) << text;
  EXPECT_NE(text.find("C:%5CProgrammi%5CSuite%5Ca%3Db.exe=45000,5"), std::string::npos) << text;
}

TEST_F(QtSettingsStoreTest, DownloadDatesReadBackExactly) {
  const std::vector<DateValue> dates = {DateValue::FromCalendar(1994, 11, 6, 9, 49, 37),
                                        DateValue(45123.456789012345), DateValue(0.1 + 0.2)};
  {
    QtSettingsStore writer;
    for (size_t i = 0; i < dates.size(); ++i)
      writer.Write(settings::kApplication, settings::kLastModifiedSection, "/f" + std::to_string(i),
                   dates[i].ToSettingsText());
  }
  QtSettingsStore reader;
  for (size_t i = 0; i < dates.size(); ++i) {
    const auto back = DateValue::FromSettingsText(
        reader.Read(settings::kApplication, settings::kLastModifiedSection, "/f" + std::to_string(i), ""));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->Serial(), dates[i].Serial());
  }
}

TEST_F(QtSettingsStoreTest, ReadsASeededFile) {
  testing::WriteTextFile(FilePath(), "[Tarnwick]\nRemoteHost=aggiornamenti/tarnwick\nHide=1\n");
  QtSettingsStore store;
  EXPECT_EQ(store.Read(settings::kApplication, settings::kSection, settings::kRemoteHost, ""),
            "aggiornamenti/tarnwick");
  EXPECT_EQ(store.Read(settings::kApplication, settings::kSection, settings::kHide, "0"), "1");
  // Writing keeps what the administrator wrote.
  ASSERT_TRUE(store.Write(settings::kApplication, "Tarnwick\\FormMain", "Width", "6000"));
  store.Flush();
  const std::string text = testing::ReadTextFile(FilePath());
  EXPECT_NE(text.find("RemoteHost=aggiornamenti/tarnwick"), std::string::npos) << text;
  EXPECT_NE(text.find("[Tarnwick/FormMain]\nWidth=6000"), std::string::npos) << text;
}

// Another process's entries are taken in at every read, but in a batch
// only at its first; the store's own writes read back at once either way.
TEST_F(QtSettingsStoreTest, ABatchTakesInOtherProcessesOnlyAtItsFirstRead) {
  QtSettingsStore store;
  const auto read = [&](const char* key) { return store.Read(settings::kApplication, "Prova", key, ""); };
  std::string file = "[Prova]\n";
  const auto other_writes = [&](const char* line) { testing::WriteTextFile(FilePath(), file += line); };
  other_writes("a=1\n");
  EXPECT_EQ(read("a"), "1");
  {
    SettingsBatch batch(store);
    other_writes("b=2\n");
    EXPECT_EQ(read("b"), "2");  // the batch's first read
    other_writes("c=3\n");
    EXPECT_EQ(read("c"), "");
    ASSERT_TRUE(store.Write(settings::kApplication, "Prova", "d", "4"));
    EXPECT_EQ(read("d"), "4");
  }
  EXPECT_EQ(read("c"), "3");
}

TEST_F(QtSettingsStoreTest, TwoProcessesWritingAtOnceKeepEachOthersEntries) {
  constexpr int kPerWriter = 150;
  pid_t writers[2];
  const char* prefixes[2] = {"primo", "secondo"};
  for (int w = 0; w < 2; ++w) {
    writers[w] = ::fork();
    ASSERT_GE(writers[w], 0);
    if (writers[w] == 0) {
      ::execl(SETTINGS_WRITER, SETTINGS_WRITER, prefixes[w], std::to_string(kPerWriter).c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  for (pid_t pid : writers) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  QtSettingsStore store;
  int missing = 0;
  for (const char* prefix : prefixes)
    for (int i = 0; i < kPerWriter; ++i) {
      const std::string key =
          "/opt/suite/" + std::string(prefix) + "/modulo " + std::to_string(i) + ".exe";
      if (store.Read(settings::kApplication, settings::kLastModifiedSection, key, "") !=
          std::to_string(i))
        ++missing;
    }
  EXPECT_EQ(missing, 0);
}

}  // namespace
}  // namespace tw
