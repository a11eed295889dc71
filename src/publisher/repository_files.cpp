#include "publisher/repository_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <vector>

#include "platform/pe_version.h"
#include "platform/posix/error_text.h"

namespace tw::publisher {
namespace {

constexpr size_t kBlock = 1 << 20;

std::string Failure(const std::string& path, int error) { return path + ": " + ErrorDescription(error); }

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // The result of close(2), which reports a write that failed late.
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Reads blocks of `path` into `consume` until the end; false on a failure.
bool ReadBlocks(const std::string& path, const std::function<bool(const char*, size_t)>& consume) {
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return false;
  std::vector<char> block(kBlock);
  for (;;) {
    const ssize_t n = ::read(fd.get(), block.data(), block.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (!consume(block.data(), static_cast<size_t>(n))) return false;
  }
}

// Writes through `fill` into a temporary file beside `path`, then renames
// it over `path`. The temporary name starts with "." so that listings pass
// over it; it is removed on any failure.
std::string WriteThroughTemporary(const std::string& path, const std::function<bool(int fd)>& fill,
                                  const timespec* modified) {
  const std::filesystem::path target(path);
  std::error_code ec;
  std::filesystem::create_directories(target.parent_path(), ec);
  if (ec) return Failure(target.parent_path().string(), ec.value());
  std::string temporary = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
  Descriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
  if (fd.get() < 0) return Failure(path, errno);
  int error = 0;
  errno = 0;
  if (!fill(fd.get())) error = errno ? errno : EIO;
  if (!error && ::fchmod(fd.get(), 0644) != 0) error = errno;
  if (!error && modified) {
    const timespec times[2] = {{0, UTIME_OMIT}, *modified};
    if (::futimens(fd.get(), times) != 0) error = errno;
  }
  if (!error && ::fsync(fd.get()) != 0) error = errno;
  if (fd.Close() != 0 && !error) error = errno;
  if (!error && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error) {
    ::unlink(temporary.c_str());
    return Failure(path, error);
  }
  return {};
}

}  // namespace

std::optional<FileFacts> RegularFileFacts(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return FileFacts{static_cast<std::uint64_t>(st.st_size), st.st_mtim};
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::string out;
  if (!ReadBlocks(path, [&](const char* data, size_t size) {
        out.append(data, size);
        return true;
      }))
    return std::nullopt;
  return out;
}

std::optional<crypto::Sha256Digest> FileSha256(const std::string& path) {
  crypto::Sha256 hasher;
  if (!ReadBlocks(path, [&](const char* data, size_t size) {
        hasher.Update(std::string_view(data, size));
        return true;
      }))
    return std::nullopt;
  return hasher.Finish();
}

std::string FileVersion(const std::string& path) {
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) return {};
  return PeFileVersion(static_cast<std::uint64_t>(st.st_size),
                       [&](std::uint64_t offset, std::size_t size, std::uint8_t* out) {
                         return ::pread(fd.get(), out, size, static_cast<off_t>(offset)) ==
                                static_cast<ssize_t>(size);
                       });
}

std::string WriteFileInPlace(const std::string& path, std::string_view bytes) {
  return WriteThroughTemporary(
      path, [&](int fd) { return WriteAll(fd, bytes.data(), bytes.size()); }, nullptr);
}

std::string CopyFileInPlace(const std::string& from, const std::string& to, const timespec& modified) {
  return WriteThroughTemporary(
      to, [&](int fd) { return ReadBlocks(from, [&](const char* data, size_t size) { return WriteAll(fd, data, size); }); },
      &modified);
}

std::string SetModificationTime(const std::string& path, const timespec& modified) {
  const timespec times[2] = {{0, UTIME_OMIT}, modified};
  if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) return Failure(path, errno);
  return {};
}

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

}  // namespace tw::publisher
