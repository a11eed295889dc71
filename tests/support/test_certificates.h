// A certificate authority of a test's own, made with the openssl command,
// and server certificates it signs for chosen names.
#pragma once

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace tw::testing {

class TestCertificates {
 public:
  struct Pair {
    std::string certificate, key;  // PEM files
  };

  TestCertificates();
  bool ok() const { return ok_; }
  // The authority's own certificate: the trust store a test hands in.
  const std::string& authority() const { return authority_; }
  // A server certificate for `names` ("IP:127.0.0.1", "DNS:altro.example").
  Pair Issue(const std::string& label, const std::vector<std::string>& names);

 private:
  bool Run(const std::vector<std::string>& arguments);
  TempDir dir_;
  std::string authority_, authority_key_;
  bool ok_ = false;
};

// Sets an environment variable for one scope and puts the old value back.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value);
  ~ScopedVariable();
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  std::string name_, old_;
  bool had_ = false;
};

}  // namespace tw::testing
