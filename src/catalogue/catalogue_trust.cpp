// The catalogue's side of the trust policy: a document is judged on the
// bytes the repository served, before any decoding, and only what the
// policy accepts is read.
#include <cstdio>

#include "catalogue/catalogue.h"
#include "trust/trust_policy.h"
#include "transport/text_decoding.h"

namespace tw {

std::optional<std::string> Catalogue::TrustedText(std::string_view document_path, std::string_view bytes) {
  const DocumentVerdict verdict = ctx_.trust.JudgeDocument(bytes);
  if (verdict.accepted) return DecodeDocumentText(verdict.text);
  Report(RefusalLogLine(document_path, verdict.trust));
  return std::nullopt;
}

}  // namespace tw
