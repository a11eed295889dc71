#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/openssl/crypto.h"
#include "platform/posix/error_text.h"
#include "publisher/publish.h"
#include "publisher/repository_files.h"

namespace tw::publisher {

int Keygen(const std::string& private_key_file, std::ostream& out, std::ostream& err) {
  const auto key = crypto::Ed25519PrivateKey::Generate();
  const std::string pem = key ? key->ToPem() : std::string();
  if (pem.empty()) {
    err << "Impossibile generare la chiave\n";
    return 1;
  }
  // Never over an existing key: it may be the only copy of one in use.
  const int fd = ::open(private_key_file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    err << private_key_file << ": " << ErrorDescription(errno) << "\n";
    return 1;
  }
  int error = 0;
  if (::fchmod(fd, 0600) != 0) error = errno;  // whatever the umask
  if (!error && ::write(fd, pem.data(), pem.size()) != static_cast<ssize_t>(pem.size())) error = errno ? errno : EIO;
  if (!error && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && !error) error = errno;
  if (error) {
    ::unlink(private_key_file.c_str());
    err << private_key_file << ": " << ErrorDescription(error) << "\n";
    return 1;
  }
  out << crypto::Base64Encode(key->PublicKey()) << "\n";
  return 0;
}

int PrintPublicKey(const std::string& private_key_file, std::ostream& out, std::ostream& err) {
  const auto pem = ReadWholeFile(private_key_file);
  const auto key = pem ? crypto::Ed25519PrivateKey::FromPem(*pem) : std::nullopt;
  if (!key) {
    err << private_key_file << ": chiave privata Ed25519 non leggibile\n";
    return 1;
  }
  out << crypto::Base64Encode(key->PublicKey()) << "\n";
  return 0;
}

}  // namespace tw::publisher
