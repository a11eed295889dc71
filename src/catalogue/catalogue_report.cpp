// Lines about what the catalogue and the engine refuse or take up again:
// always on standard error (the log of a hidden start and of the
// automation server), and in the main window's log when one listens.
#include <cstdio>

#include "catalogue/catalogue.h"
#include "resources/string_table.h"

namespace tw {

void Catalogue::Report(const std::string& line, bool once) {
  // A document read by several walks of one run names its refused paths
  // each time; they are said once.
  if (once && !reported_.Add(true, line)) return;
  std::fprintf(stderr, "Tarnwick: %s\n", line.c_str());
  if (refusal_listener_) refusal_listener_(line);
}

void Catalogue::ReportRefusedPath(std::string_view path) {
  Report(std::string(LoadResString(810)) + " [" + std::string(path) + "]", true);
}

}  // namespace tw
