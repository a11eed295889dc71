#include <gtest/gtest.h>

#include "trust/file_digest.h"
#include "trust/trust_policy.h"
#include "common/settings_keys.h"
#include "support/fake_settings_store.h"
#include "trust/trust_keys.h"

namespace tw {
namespace {

using testing::PublicText;
using testing::TestKey;

constexpr std::string_view kAbcDigest = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

TEST(TrustAnchors, SettingAndBuiltInKeysAddUpAndBadWordsAreNamed) {
  testing::FakeSettingsStore settings;
  const std::string one = PublicText(TestKey(1));
  const std::string two = PublicText(TestKey(2));
  const std::string three = PublicText(TestKey(3));
  settings.Set(settings::kSection, settings::kPublicKey, " " + two + "\t" + one + "  nonsense " + one.substr(4) + "\n" + two);
  std::vector<std::string> messages;
  const TrustAnchors anchors =
      LoadTrustAnchors(settings, one + " " + three, [&](const std::string& m) { messages.push_back(m); });
  ASSERT_EQ(anchors.size(), 3u);  // one, three, two: each once
  EXPECT_EQ(anchors[0].text, one);
  EXPECT_EQ(anchors[1].text, three);
  EXPECT_EQ(anchors[2].text, two);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], "Chiave pubblica non valida ignorata (impostazione PublicKey): nonsense");
  EXPECT_NE(messages[1].find(one.substr(4)), std::string::npos);

  testing::FakeSettingsStore empty;
  EXPECT_TRUE(LoadTrustAnchors(empty, "", nullptr).empty());
  EXPECT_TRUE(LoadTrustAnchors(empty, "   ", nullptr).empty());
}

TEST(TrustAnchors, PublicKeysAreExactly32BytesOfCanonicalBase64) {
  const std::string good = PublicText(TestKey(1));
  EXPECT_TRUE(ParsePublicKey(good));
  EXPECT_TRUE(ParsePublicKey("  " + good + "\r\n"));
  EXPECT_FALSE(ParsePublicKey(good + " " + good));
  EXPECT_FALSE(ParsePublicKey(crypto::Base64Encode(std::vector<std::uint8_t>(31, 1))));
  EXPECT_FALSE(ParsePublicKey(crypto::Base64Encode(std::vector<std::uint8_t>(64, 1))));
  EXPECT_FALSE(ParsePublicKey(""));
}

TEST(TrustPolicy, WithoutKeysEveryDocumentIsReadWhole) {
  const TrustPolicy policy;
  EXPECT_FALSE(policy.KeysConfigured());
  const std::string tampered = testing::Signed("[Release]\r\nVersion=1\r\n", TestKey(1)) + "[Release]\r\nx=1\r\n";
  for (const std::string& document : {std::string("[Release]\r\nVersion=1\r\n"), tampered, std::string()}) {
    const DocumentVerdict verdict = policy.JudgeDocument(document);
    EXPECT_TRUE(verdict.accepted);
    EXPECT_EQ(verdict.text, document);
  }
  EXPECT_TRUE(policy.MayInstall(""));
  EXPECT_TRUE(policy.MayInstall(kAbcDigest));
}

TEST(TrustPolicy, WithKeysOnlyTheSignedBytesOfSignedDocumentsCount) {
  TrustAnchors anchors;
  anchors.AddKeys(PublicText(TestKey(1)));
  const TrustPolicy policy(std::move(anchors));
  ASSERT_TRUE(policy.KeysConfigured());
  const std::string body = "[Release]\r\nVersion=1\r\nSHA256=" + std::string(kAbcDigest) + "\r\n";
  const std::string document = testing::Signed(body, TestKey(1));
  const DocumentVerdict good = policy.JudgeDocument(document);
  EXPECT_TRUE(good.accepted);
  EXPECT_EQ(good.text, body);
  EXPECT_EQ(good.signer, 0u);

  for (const std::string& bad : {body, testing::Signed(body, TestKey(2)), document + "[Release]\r\nRegister=self\r\n",
                                 std::string("\r\n")}) {
    const DocumentVerdict verdict = policy.JudgeDocument(bad);
    EXPECT_FALSE(verdict.accepted) << bad;
  }
  // A document the repository does not have reads as empty, not refused.
  const DocumentVerdict absent = policy.JudgeDocument("");
  EXPECT_TRUE(absent.accepted);
  EXPECT_TRUE(absent.text.empty());
  EXPECT_FALSE(policy.MayInstall(""));
  EXPECT_FALSE(policy.MayInstall("   "));
  EXPECT_TRUE(policy.MayInstall(kAbcDigest));
}

TEST(TrustPolicy, RefusalsAreLoggedWithTheDocumentAndTheReason) {
  EXPECT_EQ(RefusalLogLine("/eseguibili/prog.exe.ini", DocumentTrust::Invalid),
            "Documento di catalogo rifiutato: firma non valida [/eseguibili/prog.exe.ini: firma non valida]");
  EXPECT_EQ(RefusalLogLine(".ini", DocumentTrust::Unsigned),
            "Documento di catalogo rifiutato: firma non valida [.ini: firma assente]");
  EXPECT_EQ(TrustDetail(DocumentTrust::Malformed), "sezione della firma non leggibile");
}

DigestOutcome CheckInPieces(std::string_view expected, bool required, std::string_view bytes) {
  FileDigestCheck check(expected, required);
  for (char c : bytes) check.Update(std::string_view(&c, 1));
  return check.Finish();
}

TEST(FileDigest, PresentDigestsAreAlwaysCheckedAndRequiredOnesMustBeThere) {
  std::string upper(kAbcDigest);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (bool required : {false, true}) {
    EXPECT_EQ(CheckInPieces(kAbcDigest, required, "abc"), DigestOutcome::Matches);
    EXPECT_EQ(CheckInPieces(" " + upper + " ", required, "abc"), DigestOutcome::Matches);
    EXPECT_EQ(CheckInPieces(kAbcDigest, required, "abd"), DigestOutcome::Mismatch);
    EXPECT_EQ(CheckInPieces(kAbcDigest, required, "ab"), DigestOutcome::Mismatch);
    EXPECT_EQ(CheckInPieces(kAbcDigest, required, ""), DigestOutcome::Mismatch);
    // A digest that is no SHA-256 matches nothing.
    EXPECT_EQ(CheckInPieces(kAbcDigest.substr(1), required, "abc"), DigestOutcome::Mismatch);
    EXPECT_EQ(CheckInPieces("md5:900150983cd24fb0d6963f7d28e17f72", required, "abc"), DigestOutcome::Mismatch);
  }
  EXPECT_EQ(CheckInPieces("", false, "abc"), DigestOutcome::NotChecked);
  EXPECT_EQ(CheckInPieces("", true, "abc"), DigestOutcome::Missing);
  EXPECT_FALSE(FileDigestCheck("", false).Wanted());
  EXPECT_TRUE(FileDigestCheck(kAbcDigest, false).Wanted());

  TrustAnchors anchors;
  anchors.AddKeys(PublicText(TestKey(1)));
  EXPECT_EQ(FileDigestCheck("", TrustPolicy(anchors)).Finish(), DigestOutcome::Missing);
  EXPECT_EQ(FileDigestCheck("", TrustPolicy()).Finish(), DigestOutcome::NotChecked);

  // The check can be used again for the next download.
  FileDigestCheck again(kAbcDigest, false);
  again.Update(std::string_view("abd"));
  EXPECT_EQ(again.Finish(), DigestOutcome::Mismatch);
  again.Update(std::string_view("abc"));
  EXPECT_EQ(again.Finish(), DigestOutcome::Matches);
}

TEST(FileDigest, FailuresCarryTheirNumbersAndItalianDescriptions) {
  EXPECT_FALSE(DigestErrorOf(DigestOutcome::Matches));
  EXPECT_FALSE(DigestErrorOf(DigestOutcome::NotChecked));
  const auto mismatch = DigestErrorOf(DigestOutcome::Mismatch);
  ASSERT_TRUE(mismatch);
  EXPECT_EQ(mismatch->number, 30001);
  EXPECT_EQ(mismatch->description, "impronta del file non valida");
  const auto missing = DigestErrorOf(DigestOutcome::Missing);
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->number, 30002);
  EXPECT_FALSE(missing->description.empty());
  EXPECT_TRUE(DigestAllowsInstall(DigestOutcome::NotChecked));
  EXPECT_FALSE(DigestAllowsInstall(DigestOutcome::Missing));
}

}  // namespace
}  // namespace tw
