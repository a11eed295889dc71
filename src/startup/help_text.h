// What `Tarnwick --help` prints: how the launcher and a user start the
// program.
#pragma once

#include <string>

namespace tw {

std::string HelpText();

}  // namespace tw
