// tarnwick_bench <head|walk|slowwalk|index|slowindex|indexfloor|list|window|download|digest|replace> [repeats]:
// runs one figure and prints its line for bench/run to tabulate. The
// figures run this program again as their child processes ("...-child").
#include <stdlib.h>

#include <QApplication>
#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "bench_support.h"
#include "figures.h"
#include "platform/posix/posix_system_info.h"
#include "support/temp_dir.h"

int main(int argc, char** argv) {
  // The benchmark's own settings and home, never the user's.
  tw::testing::TempDir home;
  tw::bench::UseBenchmarkHome(home.path());
  const std::string figure = argc > 1 ? argv[1] : "";
  std::unique_ptr<QCoreApplication> app;
  if (figure == "window-child") {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    app = std::make_unique<QApplication>(argc, argv);
  } else {
    app = std::make_unique<QCoreApplication>(argc, argv);
  }
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const std::string self = tw::PosixSystemInfo::RunningExecutablePath();
  if (figure == "walk-child" && argc == 4) return tw::bench::WalkChild(argv[2], argv[3], "ahead");
  if (figure == "slow-walk-child" && argc == 5) return tw::bench::WalkChild(argv[2], argv[3], argv[4]);
  if (figure == "index-child" && argc == 4) return tw::bench::IndexChild(argv[2], argv[3]);
  if (figure == "floor-child" && argc == 4) return tw::bench::IndexFloorChild(argv[2], argv[3]);
  if (figure == "list-child" && argc == 5) return tw::bench::ListChild(argv[2], argv[3], argv[4]);
  if (figure == "window-child" && argc == 5) return tw::bench::WindowChild(argv[2], argv[3], argv[4]);
  if (figure == "download-child" && argc == 5) return tw::bench::DownloadChild(argv[2], argv[3], argv[4]);
  if (figure == "digest-child" && argc == 5) return tw::bench::DigestChild(argv[2], argv[3], argv[4]);
  if (figure == "head") tw::bench::Head(repeats);
  else if (figure == "walk") tw::bench::Walk(repeats, self);
  else if (figure == "list") tw::bench::List(repeats, self);
  else if (figure == "window") tw::bench::Window(repeats, self);
  else if (figure == "slowwalk") tw::bench::SlowWalk(repeats, self);
  else if (figure == "index") tw::bench::IndexCheck(repeats, self, tw::bench::IndexFigure::Check);
  else if (figure == "slowindex") tw::bench::IndexCheck(repeats, self, tw::bench::IndexFigure::SlowCheck);
  else if (figure == "indexfloor") tw::bench::IndexCheck(repeats, self, tw::bench::IndexFigure::Floor);
  else if (figure == "download") tw::bench::Download(repeats, self, argc > 3 ? std::atoi(argv[3]) : 256);
  else if (figure == "digest") tw::bench::Digest(repeats, self, argc > 3 ? std::atoi(argv[3]) : 256);
  else if (figure == "replace") tw::bench::Replace(repeats);
  else {
    std::fprintf(stderr, "uso: tarnwick_bench head|walk|slowwalk|index|slowindex|indexfloor|list|window|download|digest|replace [ripetizioni]\n");
    return 2;
  }
  return 0;
}
