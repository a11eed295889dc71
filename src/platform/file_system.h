// The file operations the logic needs, on full local paths.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "common/expected.h"

namespace tw {

// The failure of one file operation: the system's error number and a
// description a user can read.
struct FileError {
  int number = 0;
  std::string description;
};

// Empty on success.
using FileResult = std::optional<FileError>;

struct WriteOptions {
  // Permission bits of a new file; this platform's umask applies to them
  // unless `exact_mode` is set (a replacement keeps its predecessor's bits).
  unsigned mode = 0644;
  bool exact_mode = false;
  // Flush the content to the disk before returning.
  bool flush = false;
  // Fail when the name exists already (file or link), rather than
  // truncating it.
  bool exclusive = false;
};

// A file being written piece by piece. Dropped without Finish, it is
// closed with whatever was written so far.
class FileWriter {
 public:
  virtual ~FileWriter() = default;
  virtual FileResult Write(std::span<const std::uint8_t> bytes) = 0;
  // Flushes (when the options asked for it) and closes.
  virtual FileResult Finish() = 0;
};

// A file read from its start, piece by piece.
class FileReader {
 public:
  virtual ~FileReader() = default;
  // The file's size when it was opened.
  virtual std::uint64_t Size() const = 0;
  // Up to `buffer.size()` bytes; 0 at the end of the file.
  virtual Expected<std::size_t, FileError> Read(std::span<std::uint8_t> buffer) = 0;
};

// A file's bytes mapped into memory, read-only, as they were when it was
// mapped: the pages come from the file as they are touched, nothing is
// copied. Unmapped when this object goes.
class MappedFile {
 public:
  virtual ~MappedFile() = default;
  virtual std::span<const std::uint8_t> Bytes() const = 0;
};

// An exclusive lock, held until this object goes.
class FileLock {
 public:
  FileLock() = default;
  explicit FileLock(std::function<void()> release) : release_(std::move(release)) {}
  FileLock(FileLock&& other) noexcept : release_(std::exchange(other.release_, nullptr)) {}
  FileLock& operator=(FileLock&& other) noexcept {
    if (this != &other) {
      Release();
      release_ = std::exchange(other.release_, nullptr);
    }
    return *this;
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() { Release(); }
  bool Held() const { return static_cast<bool>(release_); }

 private:
  void Release() {
    if (release_) std::exchange(release_, nullptr)();
  }
  std::function<void()> release_;
};

// A folder held open: the names given are its own entries, so a folder
// put in its place under the same path meanwhile (a link, say) is never
// written to. No link is followed at the names themselves.
class OpenFolder {
 public:
  virtual ~OpenFolder() = default;
  virtual bool NormalFileExists(std::string_view name) = 0;
  virtual std::optional<long long> LastModified(std::string_view name) = 0;
  // Bits of a normal file; nothing for a link or a missing name.
  virtual std::optional<unsigned> FileMode(std::string_view name) = 0;
  virtual FileResult Delete(std::string_view name) = 0;
  // Both names in this folder; `to` is replaced in one step.
  virtual FileResult Rename(std::string_view from, std::string_view to) = 0;
  virtual FileResult LinkOrCopy(std::string_view from, std::string_view to) = 0;
  virtual Expected<std::unique_ptr<FileWriter>, FileError> CreateFile(std::string_view name,
                                                                      const WriteOptions& options) = 0;
  virtual Expected<std::unique_ptr<FileReader>, FileError> OpenForReading(std::string_view name) = 0;
  // As FileSystem::TryLock; "" is the folder itself.
  virtual Expected<std::optional<FileLock>, FileError> TryLock(std::string_view name) = 0;
  virtual FileResult SetModificationTime(std::string_view name, long long unix_seconds) = 0;
  // Flushes the folder's entries to the disk.
  virtual FileResult Sync() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // A normal file: not a folder, not hidden (hidden and system files count
  // as missing, as a plain directory search sees them).
  virtual bool NormalFileExists(std::string_view path) = 0;
  // "a.b.c.d" from the file's version resource; "" when it has none.
  virtual std::string FileVersion(std::string_view path) = 0;
  // Last modification, in seconds since 1970-01-01 UTC.
  virtual std::optional<long long> LastModified(std::string_view path) = 0;

  virtual FileResult CreateFolder(std::string_view path) = 0;
  // A folder only its owner may enter (mode 0700 where there are modes).
  virtual FileResult CreatePrivateFolder(std::string_view path) { return CreateFolder(path); }
  virtual FileResult Delete(std::string_view path) = 0;
  virtual FileResult Rename(std::string_view from, std::string_view to) = 0;
  // Creates or truncates the file and writes `content` from its start.
  virtual FileResult WriteBytes(std::string_view path, std::span<const std::uint8_t> content,
                                const WriteOptions& options = {}) = 0;
  // Creates or truncates the file, to be written piece by piece.
  virtual Expected<std::unique_ptr<FileWriter>, FileError> CreateFile(std::string_view path,
                                                                      const WriteOptions& options) = 0;
  // Takes the exclusive lock of the file at `path` (created when missing),
  // waiting while another process holds it. A lock this process already
  // holds fails at once instead of waiting for itself.
  virtual Expected<FileLock, FileError> LockFile(std::string_view path) = 0;
  // Takes the exclusive lock of an existing file without waiting and
  // without following a link, or with `folder` of a folder (a link to one
  // followed: the suite's top folders may be links): nothing when another
  // holder has it (another process, or another opening in this one).
  virtual Expected<std::optional<FileLock>, FileError> TryLock(std::string_view path, bool folder = false) = 0;
  // Permission bits of an existing file.
  virtual std::optional<unsigned> FileMode(std::string_view path) = 0;
  // Makes `to` a second name of `from`'s content (a hard link; a flushed
  // copy where the file system has no links). `to` must not exist.
  virtual FileResult LinkOrCopy(std::string_view from, std::string_view to) = 0;
  // Flushes the folder's entries (new names, renames) to the disk.
  virtual FileResult SyncFolder(std::string_view path) = 0;
  // Rename replaces an existing `to` in one step.
  // Changes the modification time only (seconds since 1970-01-01 UTC), of
  // the name itself: a link is not followed.
  virtual FileResult SetModificationTime(std::string_view path, long long unix_seconds) = 0;
  // The first symbolic link on the way from below `folder` down to `path`
  // (`path` itself included), checked without following any; nothing when
  // every existing name on the way is a real folder or file. A platform
  // without links finds none.
  virtual std::optional<std::string> FindLinkBelow(std::string_view /*folder*/, std::string_view /*path*/) {
    return std::nullopt;
  }
  // Opens `folder`, which is `top` or lies below it, one folder at a time
  // from `top` (which may itself be a link), making the missing ones and
  // following no link below `top`: ELOOP when one is a link. This
  // fallback goes by paths, for platforms without links.
  virtual Expected<std::unique_ptr<OpenFolder>, FileError> OpenFolderBelow(std::string_view top,
                                                                          std::string_view folder);
  // True when both paths, links followed, name one existing file. A
  // platform that cannot tell says false.
  virtual bool SameFile(std::string_view /*a*/, std::string_view /*b*/) { return false; }
  // Opens an existing normal file for reading, not through a link. A
  // platform without it reads nothing.
  virtual Expected<std::unique_ptr<FileReader>, FileError> OpenForReading(std::string_view /*path*/) {
    return Fail(FileError{38 /* ENOSYS */, "Lettura non disponibile"});
  }
  // Maps an existing normal file for reading. A platform without it maps
  // nothing.
  virtual Expected<std::unique_ptr<MappedFile>, FileError> MapForReading(std::string_view /*path*/) {
    return Fail(FileError{38 /* ENOSYS */, "Mappatura non disponibile"});
  }
  // True when OpenForReading may be called from a second thread while
  // this one goes on using the file system.
  virtual bool ReadableFromAnyThread() const { return false; }
};

// Everything after the last "/" or "\"; the whole text without either.
std::string FileNamePart(std::string_view path);

}  // namespace tw
