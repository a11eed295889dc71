// Why a request to the repository brought no usable answer, kept so that
// the window can say so instead of reading an unreachable repository as
// one with nothing new.
#pragma once

namespace tw {

enum class ReadFaultKind {
  Refused,          // nothing listens at the address
  HttpStatus,       // answered, with a status other than 200 (`number`)
  NoAnswer,         // nothing usable arrived within `number` seconds
  NameNotResolved,  // the server's name is unknown
  Aborted,          // the program stopped the request itself
  Other,            // any other transfer error (`number`: libcurl's code)
};

struct ReadFault {
  ReadFaultKind kind = ReadFaultKind::Other;
  long number = 0;
};

}  // namespace tw
