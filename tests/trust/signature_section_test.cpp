#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "trust/signature_section.h"
#include "trust/trust_policy.h"
#include "trust/trust_keys.h"

namespace tw {
namespace {

using testing::SignatureLine;
using testing::TestKey;

constexpr std::string_view kBody = "[Release]\r\nVersion=1.2.0.0\r\nSHA256=00\r\n";

TrustAnchors AnchorsOf(std::initializer_list<std::uint8_t> fills) {
  TrustAnchors anchors;
  for (std::uint8_t fill : fills) anchors.AddKeys(testing::PublicText(TestKey(fill)));
  return anchors;
}

DocumentTrust TrustOf(std::string_view document, const TrustAnchors& anchors) {
  return CheckDocumentSignature(document, anchors).trust;
}

TEST(SignatureSection, DocumentsWithoutTheSectionAreUnsignedAndWhole) {
  for (std::string_view document : {std::string_view(), kBody, std::string_view("[Release]\nVersion=1"),
                                    std::string_view(" [Signature]\nEd25519=AAAA\n"),
                                    std::string_view("[Signatures]\nx=1\n"),
                                    std::string_view("Signature=1\n[Release]\n")}) {
    const SignatureSection section = ReadSignatureSection(document);
    EXPECT_EQ(section.status, SignatureSectionStatus::Absent) << document;
    EXPECT_EQ(section.signed_bytes, document);
    EXPECT_EQ(TrustOf(document, AnchorsOf({1})), DocumentTrust::Unsigned);
  }
}

TEST(SignatureSection, SignedBytesAreExactlyWhatPrecedesTheOpeningLine) {
  const auto key = TestKey(1);
  const auto anchors = AnchorsOf({1});
  // Line ends as served, a byte-order mark, the header in any case and with
  // blanks or a CR at its end, blank lines and other keys in the section.
  const std::string bodies[] = {std::string(kBody), "[Release]\nVersion=1\n", "\xEF\xBB\xBF[Release]\r\nVersion=1\r\n",
                                "[Release]\r\nVersion=1\r\n\r\n", "", "\xEF\xBB\xBF"};
  const std::string headers[] = {"[Signature]\r\n", "[signature]\n", "[SIGNATURE]   \t\r\n", "[Sig]nature]\n",
                                 "[Signature]\r\r\n"};
  for (const std::string& body : bodies) {
    for (const std::string& header : headers) {
      for (const std::string& ending : {std::string("\r\n"), std::string("\n"), std::string(), std::string("\n\n  \n")}) {
        const std::string document = body + header + "\r\nVersion=x\n " + SignatureLine(body, key) + " " + ending;
        const SignatureSection section = ReadSignatureSection(document);
        ASSERT_EQ(section.status, SignatureSectionStatus::Present) << document;
        EXPECT_EQ(section.signed_bytes, body);
        EXPECT_EQ(TrustOf(document, anchors), DocumentTrust::Valid) << document;
      }
    }
  }
}

TEST(SignatureSection, TheSignatureIsOverTheRawBytes) {
  const auto key = TestKey(1);
  const auto anchors = AnchorsOf({1});
  const std::string crlf(kBody);
  const std::string lf = "[Release]\nVersion=1.2.0.0\nSHA256=00\n";
  // Signed with LF line ends, served with CR LF (or the other way round).
  EXPECT_EQ(TrustOf(crlf + "[Signature]\n" + SignatureLine(lf, key), anchors), DocumentTrust::Invalid);
  EXPECT_EQ(TrustOf(lf + "[Signature]\n" + SignatureLine(crlf, key), anchors), DocumentTrust::Invalid);
  // A byte-order mark added or dropped on the way.
  EXPECT_EQ(TrustOf("\xEF\xBB\xBF" + crlf + "[Signature]\n" + SignatureLine(crlf, key), anchors),
            DocumentTrust::Invalid);
  // One letter changed.
  std::string changed = testing::Signed(crlf, key);
  changed[changed.find("1.2")] = '9';
  EXPECT_EQ(TrustOf(changed, anchors), DocumentTrust::Invalid);
  // A document whose last line had no line end is signed with one added.
  const std::string unterminated = "[Release]\r\nVersion=1";
  const std::string document = testing::Signed(unterminated, key);
  EXPECT_EQ(ReadSignatureSection(document).signed_bytes, unterminated + "\r\n");
  EXPECT_EQ(TrustOf(document, anchors), DocumentTrust::Valid);
}

TEST(SignatureSection, AnythingButOneSignatureAfterTheHeaderIsMalformed) {
  const auto key = TestKey(1);
  const std::string body(kBody);
  const std::string line = SignatureLine(body, key);
  const std::string broken[] = {
      body + "[Signature]\r\n",                                                 // no key at all
      body + "[Signature]",                                                     // header at the very end
      body + "[Signature]\r\nEd25519=\r\n",                                     // empty value
      body + "[Signature]\r\n" + line + "\r\n" + line + "\r\n",                 // the key twice
      body + "[Signature]\r\n" + line + "\r\n[Signature]\r\n" + line + "\r\n",  // a second section
      body + "[Signature]\r\n" + line + "\r\n[Release]\r\nVersion=9.9\r\n",     // unsigned keys after it
      body + "[Signature]\r\n" + line + "\r\nnonsense\r\n",                     // a line that is no pair
      body + "[Signature]\r\n" + line.substr(0, line.size() - 4) + "\r\n",      // too short
      body + "[Signature]\r\n" + line + "AAAA\r\n",                             // too long
      body + "[Signature]\r\nEd25519=" + std::string(86, 'A') + "!=\r\n",      // no base64
      body + "[Signature]\r\nEd25519=" + line.substr(8, 40) + "\n " + line.substr(48) + "\r\n",  // wrapped
  };
  for (const std::string& document : broken) {
    EXPECT_EQ(ReadSignatureSection(document).status, SignatureSectionStatus::Malformed) << document;
    EXPECT_EQ(TrustOf(document, AnchorsOf({1})), DocumentTrust::Malformed) << document;
    EXPECT_EQ(ReadSignatureSection(document).signed_bytes, body);
  }
  // The first header is the one that counts, even one that would sign
  // nothing but a second header.
  EXPECT_EQ(ReadSignatureSection("[Signature]\n[Signature]\n" + line).status, SignatureSectionStatus::Malformed);
  const std::string empty_signed = "[Signature]\n" + SignatureLine("", key) + "\n";
  EXPECT_EQ(TrustOf(empty_signed, AnchorsOf({1})), DocumentTrust::Valid);
}

TEST(SignatureSection, OnlyConfiguredKeysMakeADocumentValid) {
  const std::string by_one = testing::Signed(kBody, TestKey(1));
  const std::string by_two = testing::Signed(kBody, TestKey(2));
  EXPECT_EQ(TrustOf(by_one, AnchorsOf({2})), DocumentTrust::Invalid);
  EXPECT_EQ(TrustOf(by_one, AnchorsOf({})), DocumentTrust::Invalid);
  // Two keys while the publisher moves from one to the other.
  const auto both = AnchorsOf({1, 2});
  EXPECT_EQ(CheckDocumentSignature(by_one, both).signer, 0u);
  EXPECT_EQ(CheckDocumentSignature(by_two, both).signer, 1u);
  EXPECT_EQ(TrustOf(testing::Signed(kBody, TestKey(3)), both), DocumentTrust::Invalid);
}

TEST(SignatureSection, WrittenSectionsReadBack) {
  const auto key = TestKey(7);
  const std::string signed_bytes = EndLastLine("[Release]\nVersion=1");
  EXPECT_EQ(signed_bytes, "[Release]\nVersion=1\r\n");
  EXPECT_EQ(EndLastLine(""), "");
  EXPECT_EQ(EndLastLine("a\n"), "a\n");
  const std::string document = AppendSignatureSection(signed_bytes, *key.Sign(signed_bytes));
  EXPECT_TRUE(document.starts_with(signed_bytes + "[Signature]\r\nEd25519="));
  EXPECT_TRUE(document.ends_with("\r\n"));
  const SignatureSection section = ReadSignatureSection(document);
  ASSERT_EQ(section.status, SignatureSectionStatus::Present);
  EXPECT_EQ(section.signature, *key.Sign(signed_bytes));
}

// The fuzzer's seeds were signed by the openssl command-line tool with the
// key of RFC 8032's first test: an outside check of what is signed.
TEST(SignatureSection, DocumentsSignedByAnotherToolVerify) {
  TrustAnchors rfc_key;
  rfc_key.AddKeys("11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo=");
  const std::pair<const char*, DocumentTrust> seeds[] = {
      {"signed_crlf.ini", DocumentTrust::Valid},          {"signed_lf_no_final_newline.ini", DocumentTrust::Valid},
      {"signed_bom.ini", DocumentTrust::Valid},           {"empty_signed.ini", DocumentTrust::Valid},
      {"second_section.ini", DocumentTrust::Malformed},   {"bad_base64.ini", DocumentTrust::Malformed},
      {"unsigned.ini", DocumentTrust::Unsigned}};
  for (const auto& [name, trust] : seeds) {
    std::ifstream in(std::string(FUZZ_DIR) + "/corpus/signature_section/" + name, std::ios::binary);
    ASSERT_TRUE(in) << name;
    std::stringstream bytes;
    bytes << in.rdbuf();
    EXPECT_EQ(TrustOf(bytes.str(), rfc_key), trust) << name;
  }
}

}  // namespace
}  // namespace tw
