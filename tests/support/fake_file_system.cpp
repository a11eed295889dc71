#include "support/fake_file_system.h"

#include <algorithm>
#include <cerrno>

namespace tw::testing {

class FakeFileWriter : public FileWriter {
 public:
  FakeFileWriter(FakeFileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}
  FileResult Write(std::span<const std::uint8_t> bytes) override {
    auto it = files_.files.find(path_);
    if (it == files_.files.end()) return FileError{ENOENT, "Percorso non trovato"};
    if (files_.disk_full_after_ && it->second.content.size() + bytes.size() > files_.disk_full_after_->first)
      return files_.disk_full_after_->second;
    it->second.content.insert(it->second.content.end(), bytes.begin(), bytes.end());
    return std::nullopt;
  }
  FileResult Finish() override { return files_.Armed("Finish", path_); }

 private:
  FakeFileSystem& files_;
  std::string path_;
};

class FakeFileReader : public FileReader {
 public:
  explicit FakeFileReader(std::vector<std::uint8_t> content) : content_(std::move(content)) {}
  std::uint64_t Size() const override { return content_.size(); }
  Expected<std::size_t, FileError> Read(std::span<std::uint8_t> buffer) override {
    const std::size_t n = std::min(buffer.size(), content_.size() - at_);
    std::copy_n(content_.begin() + static_cast<std::ptrdiff_t>(at_), n, buffer.begin());
    at_ += n;
    return n;
  }

 private:
  std::vector<std::uint8_t> content_;
  std::size_t at_ = 0;
};

Expected<std::unique_ptr<FileReader>, FileError> FakeFileSystem::OpenForReading(std::string_view path) {
  auto it = files.find(std::string(path));
  if (it == files.end()) return Fail(FileError{ENOENT, "Percorso non trovato"});
  return std::unique_ptr<FileReader>(std::make_unique<FakeFileReader>(it->second.content));
}

namespace {

class FakeMappedFile : public MappedFile {
 public:
  explicit FakeMappedFile(std::vector<std::uint8_t> content) : content_(std::move(content)) {}
  std::span<const std::uint8_t> Bytes() const override { return content_; }

 private:
  std::vector<std::uint8_t> content_;
};

}  // namespace

Expected<std::unique_ptr<MappedFile>, FileError> FakeFileSystem::MapForReading(std::string_view path) {
  auto it = files.find(std::string(path));
  if (it == files.end()) return Fail(FileError{ENOENT, "Percorso non trovato"});
  return std::unique_ptr<MappedFile>(std::make_unique<FakeMappedFile>(it->second.content));
}

void FakeFileSystem::AddFile(const std::string& path, std::string content, long long mtime,
                             std::string version) {
  files[path] = File{std::vector<std::uint8_t>(content.begin(), content.end()), mtime,
                     std::move(version), false};
}

std::string FakeFileSystem::Content(const std::string& path) const {
  auto it = files.find(path);
  return it == files.end() ? std::string()
                           : std::string(it->second.content.begin(), it->second.content.end());
}

void FakeFileSystem::FailNext(const std::string& operation, const std::string& path,
                              FileError error) {
  failures_[{operation, path}] = std::move(error);
}

FileResult FakeFileSystem::Armed(const std::string& operation, std::string_view path) {
  calls.push_back(operation + " " + std::string(path));
  auto it = failures_.find({operation, std::string(path)});
  if (it == failures_.end()) return std::nullopt;
  FileError error = it->second;
  failures_.erase(it);
  return error;
}

bool FakeFileSystem::NormalFileExists(std::string_view path) {
  ++existence_checks;
  auto it = files.find(std::string(path));
  return it != files.end() && !it->second.hidden;
}

std::string FakeFileSystem::FileVersion(std::string_view path) {
  auto it = files.find(std::string(path));
  return it == files.end() ? std::string() : it->second.version;
}

std::optional<long long> FakeFileSystem::LastModified(std::string_view path) {
  auto it = files.find(std::string(path));
  if (it == files.end()) return std::nullopt;
  return it->second.mtime;
}

FileResult FakeFileSystem::CreateFolder(std::string_view path) {
  if (auto error = Armed("CreateFolder", path)) return error;
  if (!folders.insert(std::string(path)).second) return FileError{EEXIST, "Il file esiste già"};
  return std::nullopt;
}

FileResult FakeFileSystem::Delete(std::string_view path) {
  if (auto error = Armed("Delete", path)) return error;
  if (files.erase(std::string(path)) == 0) return FileError{ENOENT, "Percorso non trovato"};
  return std::nullopt;
}

FileResult FakeFileSystem::Rename(std::string_view from, std::string_view to) {
  if (auto error = Armed("Rename", from)) return error;
  auto it = files.find(std::string(from));
  if (it == files.end()) return FileError{ENOENT, "Percorso non trovato"};
  File moved = std::move(it->second);
  files.erase(it);
  files[std::string(to)] = std::move(moved);
  return std::nullopt;
}

FileResult FakeFileSystem::WriteBytes(std::string_view path,
                                      std::span<const std::uint8_t> content,
                                      const WriteOptions& options) {
  if (auto error = Armed("WriteBytes", path)) return error;
  File& file = files[std::string(path)];
  file.content.assign(content.begin(), content.end());
  file.mode = options.exact_mode ? options.mode : options.mode & ~umask;
  return std::nullopt;
}

Expected<std::unique_ptr<FileWriter>, FileError> FakeFileSystem::CreateFile(std::string_view path,
                                                                            const WriteOptions& options) {
  if (auto error = Armed("CreateFile", path)) return Fail(*error);
  if (options.exclusive && files.count(std::string(path))) return Fail(FileError{EEXIST, "File esistente"});
  File& file = files[std::string(path)];
  file.content.clear();
  file.mode = options.exact_mode ? options.mode : options.mode & ~umask;
  return std::unique_ptr<FileWriter>(std::make_unique<FakeFileWriter>(*this, std::string(path)));
}

Expected<FileLock, FileError> FakeFileSystem::LockFile(std::string_view path) {
  if (auto error = Armed("LockFile", path)) return Fail(*error);
  const std::string key(path);
  if (!locked.insert(key).second) return Fail(FileError{EDEADLK, "Blocco già preso"});
  return FileLock([this, key] { locked.erase(key); });
}

Expected<std::optional<FileLock>, FileError> FakeFileSystem::TryLock(std::string_view path, bool) {
  if (auto error = Armed("TryLock", path)) return Fail(*error);
  const std::string key(path);
  if (!files.count(key) && !folders.count(key)) return Fail(FileError{ENOENT, "Percorso non trovato"});
  if (!locked.insert(key).second) return std::optional<FileLock>();
  return std::optional<FileLock>(FileLock([this, key] { locked.erase(key); }));
}

std::optional<unsigned> FakeFileSystem::FileMode(std::string_view path) {
  auto it = files.find(std::string(path));
  if (it == files.end()) return folders.count(std::string(path)) ? std::optional<unsigned>(0700) : std::nullopt;
  return it->second.mode;
}

FileResult FakeFileSystem::LinkOrCopy(std::string_view from, std::string_view to) {
  if (auto error = Armed("LinkOrCopy", from)) return error;
  auto it = files.find(std::string(from));
  if (it == files.end()) return FileError{ENOENT, "Percorso non trovato"};
  if (files.count(std::string(to))) return FileError{EEXIST, "Il file esiste già"};
  files[std::string(to)] = it->second;
  return std::nullopt;
}

FileResult FakeFileSystem::SyncFolder(std::string_view path) { return Armed("SyncFolder", path); }

FileResult FakeFileSystem::SetModificationTime(std::string_view path, long long unix_seconds) {
  if (auto error = Armed("SetModificationTime", path)) return error;
  auto it = files.find(std::string(path));
  if (it == files.end()) return FileError{ENOENT, "Percorso non trovato"};
  it->second.mtime = unix_seconds;
  return std::nullopt;
}

}  // namespace tw::testing
