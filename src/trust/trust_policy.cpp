#include "trust/trust_policy.h"

#include "trust/signature_section.h"
#include "common/settings_keys.h"
#include "common/text.h"
#include "platform/settings_store.h"
#include "resources/string_table.h"

namespace tw {

DocumentVerdict CheckDocumentSignature(std::string_view document, const TrustAnchors& anchors) {
  const SignatureSection section = ReadSignatureSection(document);
  DocumentVerdict verdict;
  verdict.text = section.signed_bytes;
  switch (section.status) {
    case SignatureSectionStatus::Absent:
      verdict.trust = DocumentTrust::Unsigned;
      break;
    case SignatureSectionStatus::Malformed:
      verdict.trust = DocumentTrust::Malformed;
      break;
    case SignatureSectionStatus::Present:
      verdict.signer = anchors.FindSigner(section.signed_bytes, section.signature);
      verdict.trust = verdict.signer ? DocumentTrust::Valid : DocumentTrust::Invalid;
      break;
  }
  verdict.accepted = verdict.trust == DocumentTrust::Valid;
  return verdict;
}

TrustPolicy LoadTrustPolicy(SettingsStore& settings, std::string_view built_in, const MessageSink& warn) {
  TrustAnchors anchors = LoadTrustAnchors(settings, built_in, warn);
  const std::string configured = settings.Read(settings::kApplication, settings::kSection, settings::kPublicKey, "");
  const bool broken = !TrustAnchors().AddKeys(configured).empty();
  if (broken && warn) warn(std::string(LoadResString(1218)));
  return TrustPolicy(std::move(anchors), broken);
}

DocumentVerdict TrustPolicy::JudgeDocument(std::string_view document) const {
  // An empty body is what a failed fetch gives: a document that is not
  // there, which has nothing to refuse.
  if (KeysConfigured() && !document.empty()) return CheckDocumentSignature(document, anchors_);
  // Nothing to check against: read the document whole, as readers without
  // keys always have (the signature section is a section they ignore).
  DocumentVerdict verdict;
  verdict.text = document;
  return verdict;
}

bool TrustPolicy::MayInstall(std::string_view sha256) const {
  return !KeysConfigured() || !TrimBlanks(sha256).empty();
}

std::string_view TrustDetail(DocumentTrust trust) {
  switch (trust) {
    case DocumentTrust::Unsigned: return "firma assente";
    case DocumentTrust::Valid: return "firma valida";
    case DocumentTrust::Invalid: return "firma non valida";
    case DocumentTrust::Malformed: return "sezione della firma non leggibile";
  }
  return {};
}

std::string RefusalLogLine(std::string_view document_path, DocumentTrust trust) {
  return std::string(LoadResString(809)) + " [" + std::string(document_path) + ": " +
         std::string(TrustDetail(trust)) + "]";
}

}  // namespace tw
