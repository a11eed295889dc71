#pragma once

#include <string>

namespace tw {

// An Italian description of a system error number, for status texts and log
// lines that users read.
std::string ErrorDescription(int error_number);

}  // namespace tw
