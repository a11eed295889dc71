#pragma once

#include <string>

namespace tw {

// A failure the program shows: the system's error number, the operation
// that failed and a description a user can read.
struct ErrorRecord {
  int Number = 0;
  std::string Source;
  std::string Description;
};

}  // namespace tw
