#include "platform/posix/posix_file_system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <set>
#include <string>

#include "platform/pe_version.h"
#include "platform/posix/error_text.h"

namespace tw {
namespace {

FileError LastError() {
  const int number = errno;
  return FileError{number, ErrorDescription(number)};
}

FileResult Check(int rc) { return rc == 0 ? FileResult() : FileResult(LastError()); }

FileResult WriteAll(int fd, std::span<const std::uint8_t> content) {
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return LastError();
    done += static_cast<size_t>(n);
  }
  return std::nullopt;
}

class PosixFileWriter : public FileWriter {
 public:
  PosixFileWriter(int fd, bool flush) : fd_(fd), flush_(flush) {}
  ~PosixFileWriter() override {
    if (fd_ >= 0) ::close(fd_);
  }
  FileResult Write(std::span<const std::uint8_t> bytes) override { return WriteAll(fd_, bytes); }
  FileResult Finish() override {
    FileResult result;
    if (flush_ && ::fdatasync(fd_) != 0) result = LastError();
    if (::close(fd_) != 0 && !result) result = LastError();
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
  bool flush_;
};

class PosixFileReader : public FileReader {
 public:
  PosixFileReader(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  ~PosixFileReader() override { ::close(fd_); }
  std::uint64_t Size() const override { return size_; }
  Expected<std::size_t, FileError> Read(std::span<std::uint8_t> buffer) override {
    for (;;) {
      const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return Fail(LastError());
      return static_cast<std::size_t>(n);
    }
  }

 private:
  int fd_;
  std::uint64_t size_;
};

}  // namespace

Expected<std::unique_ptr<FileReader>, FileError> PosixFileSystem::OpenForReading(std::string_view path) {
  const int fd = ::open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return Fail(LastError());
  struct stat info {};
  const bool known = ::fstat(fd, &info) == 0;
  if (!known || !S_ISREG(info.st_mode)) {
    const FileError error = known ? FileError{EISDIR, ErrorDescription(EISDIR)} : LastError();
    ::close(fd);
    return Fail(error);
  }
  return std::unique_ptr<FileReader>(std::make_unique<PosixFileReader>(fd, static_cast<std::uint64_t>(info.st_size)));
}

bool PosixFileSystem::SameFile(std::string_view a, std::string_view b) {
  struct stat left {}, right {};
  return ::stat(std::string(a).c_str(), &left) == 0 && ::stat(std::string(b).c_str(), &right) == 0 &&
         left.st_dev == right.st_dev && left.st_ino == right.st_ino;
}

std::optional<std::string> PosixFileSystem::FindLinkBelow(std::string_view folder, std::string_view path) {
  std::string below(folder);
  while (below.size() > 1 && below.back() == '/') below.pop_back();
  if (!path.starts_with(below + "/")) return std::string(path);  // not below it: nothing vouches for it
  for (size_t cut = below.size() + 1; cut <= path.size(); ++cut) {
    if (cut < path.size() && path[cut] != '/') continue;
    const std::string name(path.substr(0, cut));
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0) return std::nullopt;  // the rest is yet to be made
    if (S_ISLNK(st.st_mode)) return name;
  }
  return std::nullopt;
}

bool PosixFileSystem::NormalFileExists(std::string_view path) {
  // A name starting with "." is this platform's hidden file.
  if (FileNamePart(path).starts_with('.')) return false;
  struct stat st {};
  return ::stat(std::string(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string PosixFileSystem::FileVersion(std::string_view path) {
  const int fd = ::open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  struct stat st {};
  std::string version;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    const ReadAtFunction read_at = [fd](std::uint64_t offset, std::size_t size, std::uint8_t* out) {
      size_t done = 0;
      while (done < size) {
        const ssize_t n = ::pread(fd, out + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
      }
      return true;
    };
    version = PeFileVersion(static_cast<std::uint64_t>(st.st_size), read_at);
  }
  ::close(fd);
  return version;
}

std::optional<long long> PosixFileSystem::LastModified(std::string_view path) {
  struct stat st {};
  if (::stat(std::string(path).c_str(), &st) != 0) return std::nullopt;
  return static_cast<long long>(st.st_mtim.tv_sec);
}

FileResult PosixFileSystem::CreatePrivateFolder(std::string_view path) {
  return Check(::mkdir(std::string(path).c_str(), 0700));
}

FileResult PosixFileSystem::CreateFolder(std::string_view path) {
  return Check(::mkdir(std::string(path).c_str(), 0777));
}

FileResult PosixFileSystem::Delete(std::string_view path) {
  return Check(::unlink(std::string(path).c_str()));
}

FileResult PosixFileSystem::Rename(std::string_view from, std::string_view to) {
  return Check(::rename(std::string(from).c_str(), std::string(to).c_str()));
}

FileResult PosixFileSystem::WriteBytes(std::string_view path,
                                       std::span<const std::uint8_t> content,
                                       const WriteOptions& options) {
  auto writer = CreateFile(path, options);
  if (!writer) return writer.error();
  if (FileResult error = (*writer)->Write(content)) return error;
  return (*writer)->Finish();
}

Expected<std::unique_ptr<FileWriter>, FileError> PosixFileSystem::CreateFile(std::string_view path,
                                                                             const WriteOptions& options) {
  // Never through a symbolic link: in a folder other users may write to,
  // one planted under the staging file's name would have us overwrite the
  // file it points at.
  const int flags = options.exclusive ? O_EXCL : O_TRUNC;
  const int fd = ::open(std::string(path).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | flags,
                        static_cast<mode_t>(options.mode));
  if (fd < 0) return Fail(LastError());
  if (options.exact_mode && ::fchmod(fd, static_cast<mode_t>(options.mode)) != 0) {
    FileError error = LastError();
    ::close(fd);
    return Fail(error);
  }
  return std::unique_ptr<FileWriter>(std::make_unique<PosixFileWriter>(fd, options.flush));
}

// The locks this process holds: a second lock of one file from the same
// process would wait for itself forever.
std::mutex held_mutex;
std::set<std::string> held;

Expected<FileLock, FileError> PosixFileSystem::LockFile(std::string_view path) {
  const std::string name(path);
  {
    std::lock_guard guard(held_mutex);
    if (!held.insert(name).second) return Fail(FileError{EDEADLK, ErrorDescription(EDEADLK)});
  }
  auto forget = [name] {
    std::lock_guard guard(held_mutex);
    held.erase(name);
  };
  // flock belongs to the open file description: another process's open
  // waits; the lock ends with the descriptor, also when the process dies.
  // The file stays after its creator: in a folder the suite's users share
  // it belongs to whoever made it first, and the others may only read it,
  // which is enough for flock.
  // A link planted under the lock's name is never followed.
  int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) {
    FileError error = LastError();
    if (error.number == EACCES) fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
      forget();
      return Fail(error);
    }
  }
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    FileError error = LastError();
    ::close(fd);
    forget();
    return Fail(error);
  }
  return FileLock([fd, forget] {
    ::close(fd);
    forget();
  });
}

Expected<std::optional<FileLock>, FileError> PosixFileSystem::TryLock(std::string_view path, bool folder) {
  // Read access is enough for flock, and a folder opens only for reading.
  const int fd = ::open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC | (folder ? O_DIRECTORY : O_NOFOLLOW));
  if (fd < 0) return Fail(LastError());
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    FileError error = LastError();
    ::close(fd);
    if (error.number == EWOULDBLOCK) return std::optional<FileLock>();
    return Fail(error);
  }
  return std::optional<FileLock>(FileLock([fd] { ::close(fd); }));
}

std::optional<unsigned> PosixFileSystem::FileMode(std::string_view path) {
  struct stat st {};
  if (::stat(std::string(path).c_str(), &st) != 0) return std::nullopt;
  return static_cast<unsigned>(st.st_mode & 07777);
}

FileResult PosixFileSystem::LinkOrCopy(std::string_view from, std::string_view to) {
  const std::string source(from), target(to);
  if (::link(source.c_str(), target.c_str()) == 0) return std::nullopt;
  if (errno != EPERM && errno != EMLINK && errno != EXDEV && errno != ENOTSUP) return LastError();
  // No links on this file system: a copy, flushed like the new content.
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (in < 0) return LastError();
  struct stat st {};
  ::fstat(in, &st);
  const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
  if (out < 0) {
    FileError error = LastError();
    ::close(in);
    return error;
  }
  FileResult result;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) { result = LastError(); break; }
    if (n == 0) break;
    if ((result = WriteAll(out, {reinterpret_cast<const std::uint8_t*>(buffer), static_cast<size_t>(n)})))
      break;
  }
  if (!result && ::fdatasync(out) != 0) result = LastError();
  ::close(in);
  if (::close(out) != 0 && !result) result = LastError();
  // Half a copy is no second name of anything: it would only wait in the
  // folder, as large as what it got, for the next replacement to find it.
  if (result) ::unlink(target.c_str());
  return result;
}

FileResult PosixFileSystem::SyncFolder(std::string_view path) {
  const int fd = ::open(std::string(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return LastError();
  FileResult result = ::fsync(fd) == 0 ? FileResult() : FileResult(LastError());
  ::close(fd);
  return result;
}

FileResult PosixFileSystem::SetModificationTime(std::string_view path, long long unix_seconds) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // the access time stays as it is
  times[1].tv_sec = static_cast<time_t>(unix_seconds);
  times[1].tv_nsec = 0;
  return Check(::utimensat(AT_FDCWD, std::string(path).c_str(), times, AT_SYMLINK_NOFOLLOW));
}

}  // namespace tw
