// The publisher's three commands. Each writes what it does to `out` and
// what fails to `err`, in Italian, and returns the process's exit status:
// 0 when everything worked, 1 when something failed, 2 for unusable
// arguments.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "publisher/index_publishing.h"

namespace tw::publisher {

struct PublishOptions {
  std::string suite;
  std::string repository;
  std::string key_file;  // "" publishes unsigned documents
  bool suite_document = false;
  int deltas = 0;     // patches from this many earlier versions (0: none)
  IndexSettings index;  // with a key, the signed index and the vendor's store
};

int Keygen(const std::string& private_key_file, std::ostream& out, std::ostream& err);
int PrintPublicKey(const std::string& private_key_file, std::ostream& out, std::ostream& err);
int Publish(const PublishOptions& options, std::ostream& out, std::ostream& err);
// Writes the next index of `repository` with a new expiry and nothing else
// changed; to `out_file` when given (for a signing host to upload).
int Refresh(const std::string& repository, const std::string& key_file, const IndexSettings& settings,
            const std::string& out_file, std::ostream& out, std::ostream& err);
// Writes the module settings of an existing repository's documents as the
// vendor's tarnwick-moduli.ini text.
int ExportSettings(const std::string& repository, std::ostream& out, std::ostream& err);
// `public_keys`: base64 keys, each entry possibly several separated by
// blanks; a document signed by any of them is valid.
int Verify(const std::string& repository, const std::vector<std::string>& public_keys, std::ostream& out,
           std::ostream& err);

// The probe the program asks for before it stores a repository address.
inline constexpr const char* kProbeName = "testserver.html";

// Where the whole suite's document lies: beside the repository folder,
// named after it (the program asks for the base path plus ".ini").
std::string SuiteDocumentPath(const std::string& repository_folder);

}  // namespace tw::publisher
