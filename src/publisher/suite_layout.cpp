#include "publisher/suite_layout.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "catalogue/module_path_check.h"
#include "catalogue/path_mapping.h"
#include "common/text.h"
#include "platform/posix/error_text.h"
#include "publisher/module_settings.h"

namespace tw::publisher {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kTopFolders[] = {"eseguibili", "dati", "system", "fonts", "windir"};

// The suite folder as the local side of the program's mapping: its top
// folders stand where the suite's folders stand on a workstation, and the
// per-computer folder is one named {PCID}.
PathMapping SuiteMapping(const std::string& root) {
  LocalFolders folders;
  folders.root = root;
  folders.pc_folder = "/{PCID}";
  folders.system = root + "/System";
  folders.fonts = root + "/Fonts";
  folders.windows = root + "/Windir";
  return PathMapping(MakePlaceholderTable(folders, '/'), "{PCID}", '/');
}

bool InSuiteFolder(const fs::path& relative) {
  const std::string top = ToLower(relative.begin()->string());
  return std::find(std::begin(kTopFolders), std::end(kTopFolders), top) != std::end(kTopFolders);
}

// Files that may not become modules: two that differ only in letter case
// share a repository path, and a file whose repository path is another
// module's document would be overwritten by it.
void RemoveClashes(SuiteScan& scan) {
  std::map<std::string, size_t> by_path;
  for (size_t i = 0; i < scan.modules.size(); ++i) by_path.emplace(scan.modules[i].repository_path, i);
  std::vector<bool> drop(scan.modules.size(), false);
  for (size_t i = 0; i < scan.modules.size(); ++i) {
    const SuiteModule& module = scan.modules[i];
    const auto same = by_path.find(module.repository_path);
    if (same->second != i) {
      drop[i] = true;
      scan.errors.push_back(module.file + ": stesso percorso nel repository di " + scan.modules[same->second].file);
    }
    const auto document = by_path.find(module.document_path);
    if (document != by_path.end()) {
      drop[document->second] = true;
      scan.errors.push_back(scan.modules[document->second].file + ": occupa il posto del documento di " + module.file);
    }
  }
  std::vector<SuiteModule> kept;
  for (size_t i = 0; i < scan.modules.size(); ++i)
    if (!drop[i]) kept.push_back(std::move(scan.modules[i]));
  scan.modules = std::move(kept);
}

}  // namespace

SuiteScan ScanSuite(const std::string& suite_folder) {
  SuiteScan scan;
  std::error_code ec;
  std::string root = fs::absolute(suite_folder, ec).lexically_normal().string();
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  if (ec || !fs::is_directory(root, ec)) {
    scan.errors.push_back(suite_folder + ": cartella della suite non trovata");
    return scan;
  }
  const PathMapping paths = SuiteMapping(root);
  fs::recursive_directory_iterator it(root, fs::directory_options::none, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const fs::path& path = it->path();
    const fs::path relative = path.lexically_relative(root);
    std::error_code entry_ec;
    const bool folder = it->is_directory(entry_ec) && !it->is_symlink(entry_ec);
    if (it->is_symlink(entry_ec)) {
      // A link could lead out of the suite; the repository gets real files.
      scan.skipped.push_back(path.string() + ": collegamento simbolico, ignorato");
      continue;
    }
    const bool top_level_file = !folder && std::distance(relative.begin(), relative.end()) < 2;
    if (top_level_file && relative == kModuleSettingsFile) continue;  // the vendor's own settings
    if (!InSuiteFolder(relative) || top_level_file) {
      scan.skipped.push_back(path.string() + ": fuori dalle cartelle della suite, ignorato");
      if (folder) it.disable_recursion_pending();
      continue;
    }
    if (folder || !it->is_regular_file(entry_ec)) continue;
    SuiteModule module;
    module.file = path.string();
    module.placeholder = paths.GenericPath(module.file);
    // The program would never ask for it, nor install it anywhere.
    if (!IsConfinedModulePath(paths, module.placeholder)) {
      scan.errors.push_back(module.file + ": percorso rifiutato dal programma, non pubblicato");
      continue;
    }
    module.repository_path = paths.ResolvePath(module.placeholder, true);
    module.document_path = paths.ResolvePath(module.placeholder + ".ini", true);
    scan.modules.push_back(std::move(module));
  }
  if (ec) scan.errors.push_back(root + ": " + ErrorDescription(ec.value()));
  std::sort(scan.modules.begin(), scan.modules.end(),
            [](const SuiteModule& a, const SuiteModule& b) { return a.repository_path < b.repository_path; });
  RemoveClashes(scan);
  return scan;
}

std::string RepositoryPathOf(std::string_view module) {
  static const PathMapping paths = SuiteMapping("/suite");
  if (!IsConfinedModulePath(paths, module) || paths.HasUnmappedToken(module)) return {};
  return paths.ResolvePath(module, true);
}

}  // namespace tw::publisher
