// Files of a repository as the web server reads them while they are being
// published: every file is written under a temporary name beside its place
// and renamed into place, so a reader sees the whole old or the whole new
// file, never half of one.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "platform/openssl/crypto.h"

namespace tw::publisher {

struct FileFacts {
  std::uint64_t size = 0;
  timespec modified{};
};

// Nothing when `path` is no regular file.
std::optional<FileFacts> RegularFileFacts(const std::string& path);

// The whole file; nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// The SHA-256 of a file, read in blocks.
std::optional<crypto::Sha256Digest> FileSha256(const std::string& path);

// The version of a file's PE version resource; "" when it has none.
std::string FileVersion(const std::string& path);

// Folders are created as needed; files get mode 0644 (the web server must
// read them). "" on success, else an Italian description of the failure.
std::string WriteFileInPlace(const std::string& path, std::string_view bytes);
// Copies `from` to `to` and gives the copy the modification time `modified`.
std::string CopyFileInPlace(const std::string& from, const std::string& to, const timespec& modified);
std::string SetModificationTime(const std::string& path, const timespec& modified);

bool SameTime(const timespec& a, const timespec& b);

}  // namespace tw::publisher
