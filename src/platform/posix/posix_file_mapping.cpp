// Read-only mappings of whole files.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/posix/error_text.h"
#include "platform/posix/posix_file_system.h"

namespace tw {
namespace {

class PosixMappedFile : public MappedFile {
 public:
  PosixMappedFile(void* address, std::size_t size) : address_(address), size_(size) {}
  ~PosixMappedFile() override {
    if (size_ > 0) ::munmap(address_, size_);
  }
  std::span<const std::uint8_t> Bytes() const override {
    return {static_cast<const std::uint8_t*>(address_), size_};
  }

 private:
  void* address_;
  std::size_t size_;
};

FileError ErrorOf(int number) { return FileError{number, ErrorDescription(number)}; }

}  // namespace

// A private mapping: a replacement renames a new file over the path and
// never writes into the mapped one, so the bytes stay as they were. The
// pages are mapped at once (MAP_POPULATE): the readers of a mapping (a
// patch's matches) jump all over it, and faulting each page in on first
// touch made a patch's rebuild two to three times slower.
Expected<std::unique_ptr<MappedFile>, FileError> PosixFileSystem::MapForReading(std::string_view path) {
  const int fd = ::open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Fail(ErrorOf(errno));
  struct stat info {};
  const bool known = ::fstat(fd, &info) == 0;
  if (!known || !S_ISREG(info.st_mode)) {
    const int number = known ? EISDIR : errno;
    ::close(fd);
    return Fail(ErrorOf(number));
  }
  const auto size = static_cast<std::size_t>(info.st_size);
  // An empty file has nothing to map (and mmap refuses a length of 0).
  void* address = nullptr;
  if (size > 0) {
    address = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (address == MAP_FAILED) {
      const int number = errno;
      ::close(fd);
      return Fail(ErrorOf(number));
    }
  }
  ::close(fd);  // the mapping keeps the file
  return std::unique_ptr<MappedFile>(std::make_unique<PosixMappedFile>(address, size));
}

}  // namespace tw
