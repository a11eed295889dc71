#include "platform/posix/posix_file_system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

Expected<std::unique_ptr<FileReader>, FileError> OpenForReadingAt(int dir, std::string_view name) {
  const int fd = ::openat(dir, std::string(name).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
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

Expected<std::unique_ptr<FileWriter>, FileError> CreateFileAt(int dir, std::string_view name,
                                                              const WriteOptions& options) {
  // Never through a symbolic link: in a folder other users may write to,
  // one planted under the staging file's name would have us overwrite the
  // file it points at.
  const int flags = options.exclusive ? O_EXCL : O_TRUNC;
  const int fd = ::openat(dir, std::string(name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | flags,
                          static_cast<mode_t>(options.mode));
  if (fd < 0) return Fail(LastError());
  if (options.exact_mode && ::fchmod(fd, static_cast<mode_t>(options.mode)) != 0) {
    FileError error = LastError();
    ::close(fd);
    return Fail(error);
  }
  return std::unique_ptr<FileWriter>(std::make_unique<PosixFileWriter>(fd, options.flush));
}

Expected<std::optional<FileLock>, FileError> TryLockAt(int dir, std::string_view name, bool folder) {
  // Read access is enough for flock, and a folder opens only for reading.
  const int fd = ::openat(dir, std::string(name).c_str(), O_RDONLY | O_CLOEXEC | (folder ? O_DIRECTORY : O_NOFOLLOW));
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

FileResult LinkOrCopyAt(int dir, std::string_view from, std::string_view to) {
  const std::string source(from), target(to);
  if (::linkat(dir, source.c_str(), dir, target.c_str(), 0) == 0) return std::nullopt;
  if (errno != EPERM && errno != EMLINK && errno != EXDEV && errno != ENOTSUP) return LastError();
  // No links on this file system: a copy, flushed like the new content.
  const int in = ::openat(dir, source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (in < 0) return LastError();
  struct stat st {};
  ::fstat(in, &st);
  const int out = ::openat(dir, target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, st.st_mode & 07777);
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
  if (result) ::unlinkat(dir, target.c_str(), 0);
  return result;
}

FileResult SetModificationTimeAt(int dir, std::string_view name, long long unix_seconds) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // the access time stays as it is
  times[1].tv_sec = static_cast<time_t>(unix_seconds);
  times[1].tv_nsec = 0;
  return Check(::utimensat(dir, std::string(name).c_str(), times, AT_SYMLINK_NOFOLLOW));
}

// The folder `name` in `dir`, made when missing, never through a link.
int OpenChildFolder(int dir, const std::string& name) {
  if (name == "." || name == "..") {
    errno = EINVAL;
    return -1;
  }
  const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  int fd = ::openat(dir, name.c_str(), flags);
  if (fd < 0 && errno == ENOENT && (::mkdirat(dir, name.c_str(), 0777) == 0 || errno == EEXIST))
    fd = ::openat(dir, name.c_str(), flags);
  // A link there reads as one, whatever it points at.
  if (fd < 0 && errno == ENOTDIR) {
    struct stat st {};
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) errno = ELOOP;
  }
  return fd;
}

class PosixOpenFolder : public OpenFolder {
 public:
  explicit PosixOpenFolder(int fd) : fd_(fd) {}
  ~PosixOpenFolder() override { ::close(fd_); }
  bool NormalFileExists(std::string_view name) override {
    // A name starting with "." is this platform's hidden file.
    const auto st = Stat(name);
    return !name.starts_with('.') && st && S_ISREG(st->st_mode);
  }
  std::optional<long long> LastModified(std::string_view name) override {
    const auto st = Stat(name);
    if (!st) return std::nullopt;
    return static_cast<long long>(st->st_mtim.tv_sec);
  }
  std::optional<unsigned> FileMode(std::string_view name) override {
    const auto st = Stat(name);
    if (!st || !S_ISREG(st->st_mode)) return std::nullopt;
    return static_cast<unsigned>(st->st_mode & 07777);
  }
  FileResult Delete(std::string_view name) override { return Check(::unlinkat(fd_, std::string(name).c_str(), 0)); }
  FileResult Rename(std::string_view from, std::string_view to) override {
    return Check(::renameat(fd_, std::string(from).c_str(), fd_, std::string(to).c_str()));
  }
  FileResult LinkOrCopy(std::string_view from, std::string_view to) override { return LinkOrCopyAt(fd_, from, to); }
  Expected<std::unique_ptr<FileWriter>, FileError> CreateFile(std::string_view name,
                                                              const WriteOptions& options) override {
    return CreateFileAt(fd_, name, options);
  }
  Expected<std::unique_ptr<FileReader>, FileError> OpenForReading(std::string_view name) override {
    return OpenForReadingAt(fd_, name);
  }
  Expected<std::optional<FileLock>, FileError> TryLock(std::string_view name) override {
    return name.empty() ? TryLockAt(fd_, ".", true) : TryLockAt(fd_, name, false);
  }
  FileResult SetModificationTime(std::string_view name, long long unix_seconds) override {
    return SetModificationTimeAt(fd_, name, unix_seconds);
  }
  FileResult Sync() override { return Check(::fsync(fd_)); }

 private:
  std::optional<struct stat> Stat(std::string_view name) const {
    struct stat st {};
    if (::fstatat(fd_, std::string(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    return st;
  }
  int fd_;
};

}  // namespace

Expected<std::unique_ptr<FileReader>, FileError> PosixFileSystem::OpenForReading(std::string_view path) {
  return OpenForReadingAt(AT_FDCWD, path);
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
  return CreateFileAt(AT_FDCWD, path, options);
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
  return TryLockAt(AT_FDCWD, path, folder);
}

std::optional<unsigned> PosixFileSystem::FileMode(std::string_view path) {
  struct stat st {};
  if (::stat(std::string(path).c_str(), &st) != 0) return std::nullopt;
  return static_cast<unsigned>(st.st_mode & 07777);
}

FileResult PosixFileSystem::LinkOrCopy(std::string_view from, std::string_view to) {
  return LinkOrCopyAt(AT_FDCWD, from, to);
}

FileResult PosixFileSystem::SyncFolder(std::string_view path) {
  const int fd = ::open(std::string(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return LastError();
  FileResult result = ::fsync(fd) == 0 ? FileResult() : FileResult(LastError());
  ::close(fd);
  return result;
}

FileResult PosixFileSystem::SetModificationTime(std::string_view path, long long unix_seconds) {
  return SetModificationTimeAt(AT_FDCWD, path, unix_seconds);
}

Expected<std::unique_ptr<OpenFolder>, FileError> PosixFileSystem::OpenFolderBelow(std::string_view top,
                                                                                  std::string_view folder) {
  std::string base(top);
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (folder != base && !folder.starts_with(base == "/" ? base : base + "/"))
    return Fail(FileError{EINVAL, ErrorDescription(EINVAL)});
  // The top folder as configured may be a link an administrator made.
  int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Fail(LastError());
  std::string_view rest = folder.substr(std::min(folder.size(), base.size()));
  while (!rest.empty()) {
    const size_t skip = rest.find_first_not_of('/');
    if (skip == std::string_view::npos) break;
    rest.remove_prefix(skip);
    const std::string name(rest.substr(0, rest.find('/')));
    rest.remove_prefix(name.size());
    const int next = OpenChildFolder(fd, name);
    const FileError error = next < 0 ? LastError() : FileError{};
    ::close(fd);
    if (next < 0) return Fail(error);
    fd = next;
  }
  return std::unique_ptr<OpenFolder>(std::make_unique<PosixOpenFolder>(fd));
}

}  // namespace tw
