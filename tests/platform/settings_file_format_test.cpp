#include "platform/settings_file_format.h"

#include <gtest/gtest.h>

namespace tw::settings_file {
namespace {

TEST(SettingsFile, AwkwardKeysAndValuesRoundTrip) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/home/anna/Suite Prog/Eseguibili/Città.exe", "34644.75"},
      {"C:\\Programmi\\Suite\\Eseguibili\\a=b.exe", "1"},
      {"%2F not an escape %", "100% sicuro"},
      {" leading and trailing ", " padded value "},
      {";looks like a comment", "line\r\nbreaks"},
      {"[looks like a header]", "#"},
      {"tab\there", ""},
  };
  Entries entries;
  for (const auto& [key, value] : cases) entries["Tarnwick/LastModifiedDate/" + EncodeKey(key)] = value;
  const Entries back = Parse(Serialize(entries));
  EXPECT_EQ(back, entries);
  for (const auto& [key, value] : cases) EXPECT_EQ(Decode(EncodeKey(key)), key);
}

TEST(SettingsFile, PathsStayReadable) {
  EXPECT_EQ(EncodeKey("/home/anna/Suite Prog/Città.exe"), "%2Fhome%2Fanna%2FSuite Prog%2FCittà.exe");
  EXPECT_EQ(EncodeKey("C:\\Suite\\x.ocx"), "C:%5CSuite%5Cx.ocx");
  Entries entries{{"Tarnwick/RemoteHost", "server/tarnwick"}, {"Tarnwick/Hide", "0"},
                  {"Tarnwick/LastModifiedDate/" + EncodeKey("/s/a.exe"), "1.5"}};
  EXPECT_EQ(Serialize(entries),
            "[Tarnwick]\nHide=0\nRemoteHost=server/tarnwick\n\n"
            "[Tarnwick/LastModifiedDate]\n%2Fs%2Fa.exe=1.5\n");
}

TEST(SettingsFile, ReadsWhatAnAdministratorWrites) {
  const Entries entries = Parse(
      "; pre-seeded by the installer\r\n"
      "[Tarnwick]\r\n"
      "  RemoteHost = aggiornamenti.example/tarnwick \r\n"
      "Hide=1\r\n"
      "not a pair\r\n"
      "[Tarnwick\\LastModifiedDate]\n"
      "/opt/suite/x.exe=2\n");
  EXPECT_EQ(entries.at("Tarnwick/RemoteHost"), "aggiornamenti.example/tarnwick");
  EXPECT_EQ(entries.at("Tarnwick/Hide"), "1");
  EXPECT_EQ(entries.at("Tarnwick/LastModifiedDate/" + EncodeKey("/opt/suite/x.exe")), "2");
  EXPECT_EQ(entries.size(), 3u);
}

}  // namespace
}  // namespace tw::settings_file
