#include <ctime>
#include <filesystem>
#include <set>

#include "catalogue/ini_document.h"
#include "catalogue/module_path_check.h"
#include "catalogue/module_version.h"
#include "publisher/index_publishing.h"
#include "publisher/suite_layout.h"
#include "trust/repository_index.h"
#include "trust/signature_section.h"
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

  void Note(const std::string& text) { out_ << text << "\n"; }

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

// An index that will expire this soon fails verification, so that a check
// run from a timer warns before workstations refuse the repository.
constexpr std::int64_t kExpiryWarning = 48 * 3600;

class IndexChecker {
 public:
  IndexChecker(const std::string& folder, const TrustAnchors& anchors, Checker& checker)
      : folder_(folder), anchors_(anchors), checker_(checker) {}

  void Check(const std::set<std::string>& files) {
    const std::string shown = std::string("/") + std::string(kIndexFileName);
    const auto bytes = ReadWholeFile(folder_ + shown);
    if (!bytes) return checker_.Fail(shown, "indice assente: i programmi con una chiave rifiutano il repository");
    const auto reading = ReadRepositoryIndex(*bytes, anchors_);
    if (!reading)
      return checker_.Fail(shown, "indice non leggibile (riga " + std::to_string(reading.error().line) + ": " +
                                      reading.error().description + ")");
    if (reading->trust != DocumentTrust::Valid) checker_.Fail(shown, std::string(TrustDetail(reading->trust)));
    const RepositoryIndex& index = reading->index;
    CheckExpiry(shown, index);
    for (const IndexEntry& entry : index.files) CheckEntry(entry);
    for (const std::string& file : files)
      if (EndsWith(file, ".ini") && file != shown && !index.Find(file))
        checker_.Fail(file, "documento servito ma assente dall'indice");
    std::error_code ec;
    if (fs::is_regular_file(SuiteDocumentPath(folder_), ec) && !index.Find(".ini"))
      checker_.Fail(SuiteDocumentPath(folder_), "documento servito ma assente dall'indice");
    for (const IndexEntry& entry : index.files)
      if (!entry.date) CheckTargets(index, entry);
  }

 private:
  std::string FileOf(const IndexEntry& entry) const {
    return entry.path == ".ini" ? SuiteDocumentPath(folder_) : folder_ + "/" + entry.path;
  }

  void CheckExpiry(const std::string& shown, const RepositoryIndex& index) {
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    if (index.expires <= now)
      checker_.Fail(shown, "indice scaduto il " + UtcText(index.expires));
    else if (index.expires - now < kExpiryWarning)
      checker_.Fail(shown, "l'indice scade entro 48 ore, il " + UtcText(index.expires) + " (tarnwick-publish refresh)");
    else
      checker_.Note("Indice: serie " + std::to_string(index.serial) + ", scade il " + UtcText(index.expires));
  }

  void CheckEntry(const IndexEntry& entry) {
    const std::string file = FileOf(entry);
    const std::string shown = "/" + entry.path;
    const auto facts = RegularFileFacts(file);
    if (!facts) return checker_.Fail(shown, "elencato nell'indice ma assente");
    if (facts->size != entry.size)
      return checker_.Fail(shown, "dimensione " + std::to_string(facts->size) + " diversa dall'indice (" +
                                      std::to_string(entry.size) + ")");
    if (FileSha256(file) != entry.sha256) checker_.Fail(shown, "impronta diversa da quella dell'indice");
  }

  // The modules a document's [Setup] names and the programs its
  // [PostSetup] runs must be in the index, or workstations never get them.
  void CheckTargets(const RepositoryIndex& index, const IndexEntry& document) {
    const auto text = ReadWholeFile(FileOf(document));
    if (!text) return;
    ModuleINIInfo info;
    ParseModuleINI(ReadSignatureSection(*text).signed_bytes, info);
    const auto require = [&](const std::string& module, std::string_view what) {
      const std::string path = RepositoryPathOf(module);
      if (path.empty() || !index.Find(path))
        checker_.Fail("/" + document.path, std::string(what) + " " + module + " assente dall'indice");
    };
    for (const auto& item : info.SetupKeys) require(item.value, "[Setup]");
    for (const auto& item : info.PostSetupKeys) require(CommandLineProgram(item.value), "[PostSetup]");
  }

  std::string folder_;
  const TrustAnchors& anchors_;
  Checker& checker_;
};

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
               file != std::string("/") + kProbeName && file != "/" + std::string(kIndexFileName)) {
      out << "Nota " << file << ": senza documento, il programma non lo installa\n";
    }
  }
  const std::string suite_document = SuiteDocumentPath(folder);
  if (fs::is_regular_file(suite_document, ec)) checker.CheckDocument(suite_document, suite_document);
  IndexChecker(folder, anchors, checker).Check(files);
  out << "Documenti: " << checker.documents() << ", moduli: " << modules << ", errori: " << checker.failures()
      << "\n";
  return checker.failures() == 0 ? 0 : 1;
}

}  // namespace tw::publisher
