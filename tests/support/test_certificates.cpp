#include "support/test_certificates.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>

extern char** environ;

namespace tw::testing {

TestCertificates::TestCertificates() {
  authority_ = dir_ / "ca.pem";
  authority_key_ = dir_ / "ca.key";
  ok_ = Run({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
             "-keyout", authority_key_, "-out", authority_, "-days", "2", "-subj", "/CN=Autorita di prova",
             "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign"});
}

TestCertificates::Pair TestCertificates::Issue(const std::string& label, const std::vector<std::string>& names) {
  Pair pair{dir_ / (label + ".pem"), dir_ / (label + ".key")};
  const std::string request = dir_ / (label + ".csr"), extensions = dir_ / (label + ".ext");
  std::string san = "subjectAltName=";
  for (size_t i = 0; i < names.size(); ++i) san += (i ? "," : "") + names[i];
  WriteTextFile(extensions, san + "\nextendedKeyUsage=serverAuth\n");
  const bool made =
      Run({"req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
           pair.key, "-out", request, "-subj", "/CN=" + label}) &&
      Run({"x509", "-req", "-in", request, "-CA", authority_, "-CAkey", authority_key_, "-CAcreateserial",
           "-out", pair.certificate, "-days", "2", "-extfile", extensions});
  if (!made) pair = {};
  return pair;
}

bool TestCertificates::Run(const std::vector<std::string>& arguments) {
  std::vector<std::string> words = {"/usr/bin/openssl"};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  return spawned == 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

ScopedVariable::ScopedVariable(const char* name, const char* value) : name_(name) {
  if (const char* old = std::getenv(name)) {
    had_ = true;
    old_ = old;
  }
  if (value) ::setenv(name, value, 1);
  else ::unsetenv(name);
}

ScopedVariable::~ScopedVariable() {
  if (had_) ::setenv(name_.c_str(), old_.c_str(), 1);
  else ::unsetenv(name_.c_str());
}

}  // namespace tw::testing
