#include <filesystem>
#include <set>

#include "catalogue/ini_document.h"
#include "catalogue/module_version.h"
#include "trust/trust_policy.h"
#include "common/text.h"
#include "publisher/publish.h"
#include "publisher/repository_files.h"

namespace tw::publisher {
namespace {

namespace fs = std::filesystem;

class Checker {
 public:
  Checker(const std::string& repository, const TrustAnchors& anchors, std::ostream& out)
      : repository_(repository), anchors_(anchors), out_(out) {}

  size_t failures() const { return failures_; }
  size_t documents() const { return documents_; }

  // The document's signature; its signed part when the document was read.
  std::optional<std::string> CheckDocument(const std::string& file, const std::string& shown) {
    ++documents_;
    auto raw = ReadWholeFile(file);
    if (!raw) {
      Fail(shown, "documento non leggibile");
      return std::nullopt;
    }
    const DocumentVerdict verdict = CheckDocumentSignature(*raw, anchors_);
    if (!verdict.accepted) Fail(shown, std::string(TrustDetail(verdict.trust)));
    return std::string(verdict.text);
  }

  void CheckModule(const std::string& relative) {
    const auto content = CheckDocument(repository_ + relative + ".ini", relative + ".ini");
    if (!content) return;
    ModuleINIInfo info;
    ParseModuleINI(*content, info);
    const std::string file = repository_ + relative;
    CheckDigest(file, relative, info.GetKey("Release", std::string(kSha256Key)));
    CheckVersion(file, relative, info.GetKey("Release", "Version"));
  }

  void Fail(const std::string& shown, const std::string& reason) {
    out_ << "ERRORE " << shown << ": " << reason << "\n";
    ++failures_;
  }

 private:
  void CheckDigest(const std::string& file, const std::string& relative, const std::string& expected) {
    if (TrimBlanks(expected).empty()) {
      Fail(relative + ".ini", "SHA256 assente");
      return;
    }
    const auto wanted = crypto::ParseSha256Hex(TrimBlanks(expected));
    const auto actual = FileSha256(file);
    if (!wanted) Fail(relative + ".ini", "SHA256 non valido");
    else if (!actual) Fail(relative, "file non leggibile");
    else if (*actual != *wanted) Fail(relative, "impronta diversa da quella del documento");
  }

  void CheckVersion(const std::string& file, const std::string& relative, const std::string& stated) {
    if (stated.empty()) return;
    const std::string own = FileVersion(file);
    if (own.empty()) {
      Fail(relative + ".ini", "Version " + stated + " per un file senza risorsa di versione");
      return;
    }
    if (CompareVersionNumbers(MakeModuleVersion(stated, DateValue()), MakeModuleVersion(own, DateValue())) != 0)
      Fail(relative + ".ini", "Version " + stated + " diversa dalla versione del file " + own);
  }

  std::string repository_;
  const TrustAnchors& anchors_;
  std::ostream& out_;
  size_t failures_ = 0;
  size_t documents_ = 0;
};

// Every regular file below `root`, as "/relative/path"; our own temporary
// files (".name.XXXXXX") are left out.
std::set<std::string> ListFiles(const std::string& root, Checker& checker) {
  std::set<std::string> files;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code entry_ec;
    if (!it->is_regular_file(entry_ec) || it->is_symlink(entry_ec)) continue;
    if (it->path().filename().string().starts_with(".")) continue;
    files.insert("/" + it->path().lexically_relative(root).generic_string());
  }
  if (ec) checker.Fail(root, "cartella non leggibile");
  return files;
}

}  // namespace

int Verify(const std::string& repository, const std::vector<std::string>& public_keys, std::ostream& out,
           std::ostream& err) {
  TrustAnchors anchors;
  for (const std::string& text : public_keys)
    for (const std::string& bad : anchors.AddKeys(text)) {
      err << "Chiave pubblica non valida: " << bad << "\n";
      return 2;
    }
  if (anchors.empty()) {
    err << "Nessuna chiave pubblica indicata (--public-key)\n";
    return 2;
  }
  std::error_code ec;
  const std::string root = fs::absolute(repository, ec).lexically_normal().string();
  const std::string folder = root.size() > 1 && root.back() == '/' ? root.substr(0, root.size() - 1) : root;
  if (!fs::is_directory(folder, ec)) {
    err << repository << ": cartella del repository non trovata\n";
    return 2;
  }
  Checker checker(folder, anchors, out);
  const std::set<std::string> files = ListFiles(folder, checker);
  size_t modules = 0;
  for (const std::string& file : files) {
    if (files.contains(file + ".ini")) {
      checker.CheckModule(file);
      ++modules;
    } else if (!(EndsWith(file, ".ini") && files.contains(file.substr(0, file.size() - 4))) &&
               file != std::string("/") + kProbeName) {
      out << "Nota " << file << ": senza documento, il programma non lo installa\n";
    }
  }
  const std::string suite_document = SuiteDocumentPath(folder);
  if (fs::is_regular_file(suite_document, ec)) checker.CheckDocument(suite_document, suite_document);
  out << "Documenti: " << checker.documents() << ", moduli: " << modules << ", errori: " << checker.failures()
      << "\n";
  return checker.failures() == 0 ? 0 : 1;
}

}  // namespace tw::publisher
