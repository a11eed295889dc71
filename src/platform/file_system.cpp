#include "platform/file_system.h"

namespace tw {

std::string FileNamePart(std::string_view path) {
  const size_t cut = path.find_last_of("/\\");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

}  // namespace tw
