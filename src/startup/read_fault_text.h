// The reason a repository read failed, in the words the window shows
// between brackets: "Connessione rifiutata", "HTTP 500", ...
#pragma once

#include <string>

#include "transport/read_fault.h"

namespace tw {

std::string ReadFaultText(const ReadFault& fault);

}  // namespace tw
