// Keeps the source tree's layers honest: every folder under src/ is one
// library, the folder says which system libraries its files may use, and a
// file may include only its own folder and the folders its library links,
// directly or through them. The table below is the one place that says so;
// a new folder, or a new arrow between folders, starts here.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

enum Use : unsigned { kNone = 0, kQt = 1, kCurl = 2, kOpenSsl = 4, kPosix = 8, kZstd = 16 };

struct Layer {
  std::string folder;
  unsigned may_use;
  std::vector<std::string> links;
};

// From the bottom up, as src/CMakeLists.txt links them.
const std::vector<Layer>& Layers() {
  static const std::vector<Layer> layers = {
      {"common", kNone, {}},
      {"platform", kNone, {"common"}},
      {"platform/openssl", kOpenSsl, {}},
      {"platform/posix", kPosix, {"platform"}},
      {"platform/qt", kQt, {"platform"}},
      {"delta", kZstd, {"common"}},
      {"resources", kNone, {}},
      {"trust", kNone, {"platform", "platform/openssl", "resources"}},
      {"transport", kCurl, {"platform"}},
      {"transport/network", kQt | kCurl | kPosix, {"transport"}},
      {"catalogue", kNone, {"transport", "trust"}},
      {"engine", kNone, {"catalogue", "delta"}},
      {"automation", kQt, {"engine"}},
      {"startup", kNone, {"engine", "resources"}},
      {"ui", kNone, {"startup"}},
      {"ui/geometry", kNone, {"platform"}},
      {"ui/widgets", kQt, {"ui", "ui/geometry", "startup", "transport/network", "resources"}},
      {"standalone", kQt, {"ui/widgets", "platform/qt", "platform/posix"}},
      {"app", kQt, {"standalone", "automation", "platform/posix", "platform/qt"}},
      {"publisher", kPosix, {"catalogue", "trust", "platform/posix", "delta"}},
  };
  return layers;
}

const Layer* FindLayer(const std::string& folder) {
  for (const Layer& layer : Layers())
    if (layer.folder == folder) return &layer;
  return nullptr;
}

// The folders a file of `folder` may include: its own and all it links.
std::set<std::string> Reachable(const std::string& folder) {
  std::set<std::string> seen;
  std::vector<std::string> todo{folder};
  while (!todo.empty()) {
    std::string next = todo.back();
    todo.pop_back();
    if (!seen.insert(next).second) continue;
    if (const Layer* layer = FindLayer(next))
      for (const std::string& link : layer->links) todo.push_back(link);
  }
  return seen;
}

// The system libraries a bracketed include may belong to; any other is the
// standard library's.
struct SystemLibrary {
  Use use;
  const char* name;
  std::regex headers;
};
const std::vector<SystemLibrary>& SystemLibraries() {
  static const std::vector<SystemLibrary> libraries = {
      {kQt, "Qt", std::regex("^Q")},
      {kCurl, "libcurl", std::regex("^curl/")},
      {kOpenSsl, "OpenSSL", std::regex("^openssl/")},
      {kZstd, "zstd", std::regex("^zstd")},
      {kPosix, "POSIX",
       std::regex(R"(^(unistd|fcntl|dirent|signal|poll|spawn|pwd|grp|dlfcn|netdb|termios)\.h$|^(sys|netinet|arpa)/)")},
  };
  return libraries;
}

struct Violation {
  std::string file;
  std::string include;
  std::string why;
};

std::vector<Violation> CheckFile(const fs::path& src, const fs::path& file) {
  std::vector<Violation> out;
  const std::string folder = fs::relative(file.parent_path(), src).generic_string();
  const std::string name = fs::relative(file, src).generic_string();
  const Layer* layer = FindLayer(folder);
  if (!layer) return {{name, "", "its folder is not in the table of layers"}};
  const std::set<std::string> reachable = Reachable(folder);
  static const std::regex include_line(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
  std::ifstream in(file);
  std::string line;
  std::smatch m;
  while (std::getline(in, line)) {
    if (!std::regex_search(line, m, include_line)) continue;
    const std::string header = m[2];
    if (m[1] == "<") {
      for (const SystemLibrary& library : SystemLibraries())
        if (std::regex_search(header, library.headers) && !(layer->may_use & library.use)) {
          out.push_back({name, header, "uses " + std::string(library.name) + ", which " + folder + "/ may not"});
          break;
        }
      continue;
    }
    const std::string target = fs::path(header).parent_path().generic_string();
    if (!reachable.count(target))
      out.push_back({name, header, folder + "/ does not link " + target + "/"});
  }
  return out;
}

std::vector<Violation> CheckTree(const fs::path& src) {
  std::vector<Violation> out;
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    const std::string ext = entry.path().extension().string();
    if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h" && ext != ".in")) continue;
    for (Violation& v : CheckFile(src, entry.path())) out.push_back(std::move(v));
  }
  return out;
}

TEST(IncludeRules, EveryFileIncludesOnlyWhatItsLayerMayUse) {
  const std::vector<Violation> found = CheckTree(fs::path(SOURCE_DIR) / "src");
  for (const Violation& v : found) ADD_FAILURE() << v.file << ": " << v.include << ": " << v.why;
  EXPECT_TRUE(found.empty());
}

// The checker itself, on a small tree of its own: each kind of fault it is
// there to catch, and the arrows it must let through.
TEST(IncludeRules, CatchesWrongArrowsAndSystemHeaders) {
  const fs::path root = fs::temp_directory_path() / ("tw_layers_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::remove_all(root);
  struct Case {
    std::string file;
    std::string include;
    bool allowed;
  };
  const std::vector<Case> cases = {
      {"catalogue/a.cpp", "#include \"trust/trust_policy.h\"", true},
      {"catalogue/b.cpp", "#include \"common/text.h\"", true},  // through the links below
      {"catalogue/c.cpp", "#include \"engine/global.h\"", false},
      {"catalogue/d.cpp", "#include <QString>", false},
      {"catalogue/e.cpp", "#include <sys/stat.h>", false},
      {"catalogue/f.cpp", "#include <vector>", true},
      {"ui/g.cpp", "#include \"ui/widgets/form_main.h\"", false},
      {"ui/widgets/h.cpp", "#include <QWidget>", true},
      {"platform/posix/i.cpp", "#include <fcntl.h>", true},
      {"nowhere/j.cpp", "#include <vector>", false},
  };
  for (const Case& c : cases) {
    fs::create_directories((root / c.file).parent_path());
    std::ofstream(root / c.file) << "// test\n" << c.include << "\n";
  }
  for (const Case& c : cases)
    EXPECT_EQ(CheckFile(root, root / c.file).empty(), c.allowed) << c.file << " " << c.include;
  fs::remove_all(root);
}

}  // namespace
