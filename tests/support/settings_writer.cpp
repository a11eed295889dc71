// Writes many settings entries through the real store, to race another
// writer: settings_writer <prefix> <count>.
#include <string>

#include "common/settings_keys.h"
#include "platform/qt/qt_settings_store.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::string prefix = argv[1];
  const int count = std::stoi(argv[2]);
  tw::QtSettingsStore store;
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    const std::string key = "/opt/suite/" + prefix + "/modulo " + std::to_string(i) + ".exe";
    if (!store.Write(tw::settings::kApplication, tw::settings::kLastModifiedSection, key,
                     std::to_string(i)))
      ++failures;
    // A read writes out what is pending: the two writers interleave.
    store.Read(tw::settings::kApplication, tw::settings::kSection, "RemoteHost", "");
  }
  return failures == 0 ? 0 : 1;
}
