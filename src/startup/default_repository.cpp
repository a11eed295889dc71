#include "startup/repository_dialog.h"

#ifndef TARNWICK_DEFAULT_REPOSITORY_HOST
#define TARNWICK_DEFAULT_REPOSITORY_HOST "aggiornamenti.example"
#endif

namespace tw {

std::string DefaultRepositoryURL() {
  return std::string("http://") + TARNWICK_DEFAULT_REPOSITORY_HOST + "/tarnwick";
}

}  // namespace tw
