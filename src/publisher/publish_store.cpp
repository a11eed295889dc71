#include "publisher/publish_store.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "common/text.h"
#include "publisher/repository_files.h"

namespace tw::publisher {
namespace {

constexpr const char* kIndexCopy = "/indice.ini";
constexpr const char* kSerialFile = "/serial";

std::string DataHome() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && *data == '/') return data;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.local/share";
}

}  // namespace

std::string StoreFolder(const std::string& option, const std::string& name) {
  if (!option.empty()) return option;
  return DataHome() + "/tarnwick-publish/" + name;
}

StoredState LoadStore(const std::string& folder) {
  StoredState state;
  state.index = ReadWholeFile(folder + kIndexCopy);
  if (const auto serial = ReadWholeFile(folder + kSerialFile)) {
    const auto value = ParseInteger(TrimBlanks(ReplaceAll(*serial, "\n", "")));
    if (value && *value > 0) state.serial = static_cast<std::uint64_t>(*value);
  }
  return state;
}

std::string SaveStore(const std::string& folder, const std::string& index, std::uint64_t serial) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  ::chmod(folder.c_str(), 0700);
  std::string failure = WriteFileInPlace(folder + kIndexCopy, index);
  if (failure.empty()) failure = WriteFileInPlace(folder + kSerialFile, std::to_string(serial) + "\n");
  return failure;
}

}  // namespace tw::publisher
