// The publisher's command line:
//   keygen PRIVATE_KEY_FILE
//   public-key PRIVATE_KEY_FILE
//   publish SUITE REPOSITORY [--key PRIVATE_KEY_FILE] [--suite-document]
//           [--name NAME] [--store DIR] [--expires DAYS] [--trusted-keys KEYS] [--trust-repository]
//   refresh REPOSITORY --key PRIVATE_KEY_FILE [--expires DAYS] [--out FILE] [--name NAME] [--store DIR]
//   export-settings REPOSITORY
//   verify REPOSITORY --public-key KEY [--public-key KEY ...]
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tw::publisher {

// Runs the command that `arguments` (without the program's name) ask for;
// the process's exit status.
int RunCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace tw::publisher
