#include "catalogue/ini_document.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

ModuleINIInfo Parse(std::string_view text) {
  ModuleINIInfo info;
  ParseModuleINI(text, info);
  return info;
}

std::string Dump(const KeyedCollection<std::string>& keys) {
  std::string out;
  for (const auto& item : keys) out += "<" + item.key.value_or("?") + "=" + item.value + ">";
  return out;
}

std::string Dump(const ModuleINIInfo& info) {
  return Dump(info.ReleaseKeys) + "|" + Dump(info.SetupKeys) + "|" + Dump(info.PostSetupKeys);
}

TEST(IniDocument, WindowsAndUnixLineEndsGiveEqualRecords) {
  const char* unix_text = "[RELEASE]\nVersion=1.2\n[SETUP]\nA={DATI}\\a.mdb\n";
  const char* windows_text = "[RELEASE]\r\nVersion=1.2\r\n[SETUP]\r\nA={DATI}\\a.mdb\r\n";
  EXPECT_EQ(Dump(Parse(unix_text)), Dump(Parse(windows_text)));
  EXPECT_EQ(Dump(Parse(unix_text)), "<Version=1.2>|<A={DATI}\\a.mdb>|");
  // A lone CR stays part of the line.
  EXPECT_EQ(Parse("[Release]\nVersion=1.2\r\r\n").GetKey("release", "version"), "1.2\r");
  // A leading byte-order mark is no part of the first header; one further
  // on is text like any other.
  EXPECT_EQ(Dump(Parse(std::string("\xEF\xBB\xBF") + windows_text)), Dump(Parse(unix_text)));
  EXPECT_EQ(Dump(Parse("[Release]\n\xEF\xBB\xBFVersion=1\n")), "<\xEF\xBB\xBFVersion=1>||");
}

TEST(IniDocument, KeysAndValuesAreTakenExactlyAsTheyStand) {
  const ModuleINIInfo info = Parse(
      "Version=0.1\n"                 // before any header: dropped
      "[Re]lease]\n"                  // brackets removed wherever they stand
      "Register=a=b\n"                // the first "=" splits
      "version = 2\n"                 // key "version ", value " 2"
      "VERSION=3\n"
      "Version=4\n"                   // same key in another case: the first stays
      ";Nota=commento\n"              // no comment syntax
      "nothing here\n"
      " [Setup]\n"                    // a leading blank: not a header
      "[Options]\nX=1\n"              // an unknown section keeps nothing
      "[release]\nLater=5\n");        // a repeated header adds to the same set
  EXPECT_EQ(info.GetKey("RELEASE", "Register"), "a=b");
  EXPECT_EQ(info.GetKey("Release", "version "), " 2");
  EXPECT_EQ(info.GetKey("Release", "Version"), "3");
  EXPECT_EQ(info.GetKey("Release", ";nota"), "commento");
  EXPECT_EQ(info.GetKey("Release", "Later"), "5");
  EXPECT_EQ(info.GetKey("Options", "X"), "");
  EXPECT_EQ(info.SetupKeys.Count(), 0u);
  EXPECT_EQ(info.ReleaseKeys.Count(), 5u);
}

TEST(IniDocument, KeyBeyondTheSupportedLengthIsNotRead) {
  const std::string longest(kMaxKeyLength - 1, 'k');
  const std::string too_long(kMaxKeyLength, 'k');
  const ModuleINIInfo info = Parse("[Release]\n" + longest + "=ok\n" + too_long + "=no\n");
  EXPECT_EQ(info.GetKey("Release", longest), "ok");
  EXPECT_EQ(info.ReleaseKeys.Count(), 1u);
}

TEST(ModuleRecords, KeySetsAndDefaults) {
  ModuleINIInfo info;
  EXPECT_EQ(info.AddKey("Release", "Version", "1"), "");
  info.AddKey("release", "VERSION", "2");
  info.AddKey("Options", "X", "1");
  EXPECT_EQ(info.GetKey("release", "version"), "1");
  EXPECT_EQ(info.ReleaseKeys.Count(), 1u);
  EXPECT_EQ(info.GetKey("Options", "X"), "");
  EXPECT_TRUE(info.LastModifiedDate.IsZero());
  const ModuleUpdateInfo fresh;
  EXPECT_TRUE(fresh.ForceUpdate);
  EXPECT_FALSE(fresh.OnDemand);
  EXPECT_EQ(fresh.InstallationType, 0);
  EXPECT_TRUE(fresh.PostSetup.Empty());
}

}  // namespace
}  // namespace tw
