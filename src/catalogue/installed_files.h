// What the walk reads of a module's local file, as one look finds it, and
// the looks the second core takes while the index is asked: over a slow
// link that wait is time enough to look at every module of the suite, and
// the walk then finds them ready.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>

namespace tw {

class FileSystem;

struct InstalledFile {
  bool present = false;               // a normal file is there
  std::string version;                // its version resource, "" for none
  std::optional<long long> modified;  // Unix seconds
};

InstalledFile LookAtInstalledFile(FileSystem& files, const std::string& path);

// Looks taken on the second core, for the walk whose index request they
// were taken during: it takes each once, and they go with its end, so
// that nothing installed later is judged by a look from before.
class LooksAhead {
 public:
  // On the second core, before the looks are handed over.
  void Look(FileSystem& files, const std::string& path);
  // On the walk's thread, after the hand-over; nothing when the path was
  // not looked at or its look was taken already.
  std::optional<InstalledFile> Take(const std::string& path);

 private:
  std::unordered_map<std::string, InstalledFile> looks_;
};

}  // namespace tw
