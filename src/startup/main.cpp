// The program's entry: builds the platform objects and hands them to the
// start-up sequence.
#include <QCoreApplication>
#include <string>

#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_system_info.h"
#include "platform/qt/qt_settings_store.h"
#include "startup/environment.h"

namespace {

std::string JoinArguments(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  tw::PosixSystemInfo system(JoinArguments(argc, argv),
                             tw::PosixSystemInfo::RunningExecutablePath(),
                             tw::StartMode::Standalone);
  tw::QtSettingsStore settings;
  tw::PosixFileSystem files;
  const tw::Environment env = tw::InitEnvironment(system, settings, files);
  (void)env;
  return 0;
}
