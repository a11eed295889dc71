// The catalogue documents the publisher writes. A document already in the
// repository keeps what its author put there (Register, ForceUpdate,
// OnDemand and any other [Release] key, [Setup], [PostSetup]); Version and
// SHA256 come from the file. Documents are written with CR LF line ends and
// the same keys in the same order each time, so publishing an unchanged
// file again gives the same bytes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/openssl/crypto.h"

namespace tw::publisher {

struct ComposedDocument {
  std::string text;
  // The existing document gave a Version for a file without a version
  // resource: the program would offer such a module again at every run, so
  // the version is dropped.
  bool dropped_version = false;
};

// `existing`: the document in the repository ("" when there is none); only
// its signed part counts when it is signed. `version`: the file's version
// resource ("" when none); `sha256`: the file's digest in hexadecimal;
// `deltas`: the values of its [Delta] section (the patches written now;
// an existing [Delta] is never kept).
ComposedDocument ComposeModuleDocument(std::string_view existing, std::string_view version, std::string_view sha256,
                                       const std::vector<std::string>& deltas = {});

// The whole suite's document: [Setup] lists `modules` (placeholder form) in
// order; its other keys are kept.
std::string ComposeSuiteDocument(std::string_view existing, const std::vector<std::string>& modules);

// The text to write: `content` signed with `key`, or as it is without one.
// Empty when signing failed.
std::string FinishDocument(std::string_view content, const crypto::Ed25519PrivateKey* key);

}  // namespace tw::publisher
