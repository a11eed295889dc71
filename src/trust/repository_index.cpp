#include "trust/repository_index.h"

#include <algorithm>
#include <limits>
#include <set>
#include <unordered_set>

#include "common/text.h"
#include "trust/signature_section.h"

namespace tw {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

enum class Section { None, Index, Files, Other };

Unexpected<IndexError> Refuse(size_t line, std::string description) {
  return Fail(IndexError{line, std::move(description)});
}

// A decimal number in 0..2^63-1, written without sign, blanks or leading
// zeros, so that every number has one spelling.
std::optional<std::uint64_t> ReadNumber(std::string_view text) {
  if (text.empty() || text.size() > 19 || (text.size() > 1 && text.front() == '0')) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
  return value;
}

bool IsLowerHex(std::string_view text) {
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

// A path as the program asks for it: relative, lower case, no control
// characters, no backslash, no empty or climbing step.
bool IsIndexPath(std::string_view path) {
  if (path.empty() || path.front() == '/' || path.back() == '/') return false;
  for (unsigned char c : path)
    if (c < 0x20 || c == 0x7f || c == '\\' || (c >= 'A' && c <= 'Z')) return false;
  // Steps between slashes, without building a list of them: an index
  // holds thousands of paths.
  for (size_t start = 0; start <= path.size();) {
    const size_t slash = std::min(path.find('/', start), path.size());
    const std::string_view step = path.substr(start, slash - start);
    if (step.empty() || step == "." || step == "..") return false;
    start = slash + 1;
  }
  return true;
}

std::optional<IndexEntry> ReadEntry(std::string_view value) {
  // SHA256 SIZE DATE PATH, single blanks; PATH is the rest.
  const size_t first = value.find(' ');
  if (first != 64) return std::nullopt;
  const size_t second = value.find(' ', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const size_t third = value.find(' ', second + 1);
  if (third == std::string_view::npos) return std::nullopt;
  const std::string_view hex = value.substr(0, first);
  const std::string_view size = value.substr(first + 1, second - first - 1);
  const std::string_view date = value.substr(second + 1, third - second - 1);
  const std::string_view path = value.substr(third + 1);
  IndexEntry entry;
  const auto digest = IsLowerHex(hex) ? crypto::ParseSha256Hex(hex) : std::nullopt;
  const auto bytes = ReadNumber(size);
  if (!digest || !bytes || !IsIndexPath(path)) return std::nullopt;
  if (date != "-") {
    const auto seconds = ReadNumber(date);
    if (!seconds) return std::nullopt;
    entry.date = static_cast<std::int64_t>(*seconds);
  }
  entry.sha256 = *digest;
  entry.size = *bytes;
  entry.path = std::string(path);
  return entry;
}

bool IsRepositoryName(std::string_view name) {
  if (name.empty()) return false;
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7f) return false;
  return name.front() != ' ' && name.back() != ' ';
}

class Reader {
 public:
  Expected<RepositoryIndex, IndexError> Read(std::string_view text) {
    if (text.size() > kMaxIndexSize) return Refuse(0, "indice oltre 16 MiB");
    if (StartsWith(text, kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    // About one file per hundred bytes: room made once, not grown line by line.
    file_keys_.reserve(text.size() / 100);
    index_.by_path.reserve(text.size() / 100);
    index_.files.reserve(text.size() / 100);
    size_t at = 0;
    while (at < text.size()) {
      ++line_;
      const size_t lf = text.find('\n', at);
      std::string_view line = text.substr(at, lf == std::string_view::npos ? std::string_view::npos : lf - at);
      at = lf == std::string_view::npos ? text.size() : lf + 1;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (auto refused = ReadLine(line)) return Fail(std::move(*refused));
    }
    return Finish();
  }

 private:
  std::optional<IndexError> ReadLine(std::string_view line) {
    // Two scans, not find_first_of: that one looks each character of the
    // line up in the set, and an index has thousands of lines.
    if (line.find('\r') != std::string_view::npos || line.find('\0') != std::string_view::npos)
      return IndexError{line_, "carattere di controllo nella riga"};
    if (TrimBlanks(line).empty() || line.front() == ';') return std::nullopt;
    if (line.front() == '[') return ReadHeader(line);
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos || equals == 0) return IndexError{line_, "riga non valida"};
    const std::string_view key = line.substr(0, equals);
    const std::string_view value = line.substr(equals + 1);
    switch (section_) {
      case Section::None: return IndexError{line_, "chiave fuori da ogni sezione"};
      case Section::Other: return std::nullopt;
      case Section::Index: return ReadIndexKey(key, value);
      case Section::Files: return ReadFileKey(key, value);
    }
    return std::nullopt;
  }

  std::optional<IndexError> ReadHeader(std::string_view line) {
    if (line.back() != ']' || line.size() < 3) return IndexError{line_, "intestazione di sezione non valida"};
    const std::string_view name = line.substr(1, line.size() - 2);
    if (name.find_first_of("[]") != std::string_view::npos)
      return IndexError{line_, "intestazione di sezione non valida"};
    section_ = EqualsIgnoreCase(name, "Index") ? Section::Index
               : EqualsIgnoreCase(name, "Files") ? Section::Files
                                                 : Section::Other;
    if (section_ != Section::Other && !sections_.insert(ToUpper(name)).second)
      return IndexError{line_, "sezione ripetuta: " + std::string(name)};
    return std::nullopt;
  }

  std::optional<IndexError> ReadIndexKey(std::string_view key, std::string_view value) {
    if (!index_keys_.insert(ToUpper(key)).second) return IndexError{line_, "chiave ripetuta: " + std::string(key)};
    if (EqualsIgnoreCase(key, "Format")) {
      if (value != "1") return IndexError{line_, "formato dell'indice non supportato: " + std::string(value)};
      format_ = true;
    } else if (EqualsIgnoreCase(key, "Repository")) {
      if (!IsRepositoryName(value)) return IndexError{line_, "nome del repository non valido"};
      index_.repository = std::string(value);
    } else if (EqualsIgnoreCase(key, "Serial")) {
      return Number(value, serial_, "Serial");
    } else if (EqualsIgnoreCase(key, "Published")) {
      return Number(value, published_, "Published");
    } else if (EqualsIgnoreCase(key, "Expires")) {
      return Number(value, expires_, "Expires");
    }
    return std::nullopt;
  }

  std::optional<IndexError> Number(std::string_view value, std::optional<std::uint64_t>& into, std::string_view key) {
    into = ReadNumber(value);
    if (!into) return IndexError{line_, "numero non valido in " + std::string(key) + ": " + std::string(value)};
    return std::nullopt;
  }

  std::optional<IndexError> ReadFileKey(std::string_view key, std::string_view value) {
    if (!file_keys_.insert(key).second) return IndexError{line_, "chiave ripetuta: " + std::string(key)};
    auto entry = ReadEntry(value);
    if (!entry) return IndexError{line_, "voce di file non valida"};
    if (!index_.by_path.emplace(entry->path, index_.files.size()).second)
      return IndexError{line_, "percorso ripetuto: " + entry->path};
    index_.files.push_back(std::move(*entry));
    return std::nullopt;
  }

  Expected<RepositoryIndex, IndexError> Finish() {
    if (!sections_.contains("INDEX")) return Refuse(0, "sezione [Index] assente");
    if (!sections_.contains("FILES")) return Refuse(0, "sezione [Files] assente");
    if (!format_) return Refuse(0, "Format assente");
    if (index_.repository.empty()) return Refuse(0, "Repository assente");
    if (!serial_ || !published_ || !expires_) return Refuse(0, "Serial, Published o Expires assente");
    if (*expires_ < *published_) return Refuse(0, "Expires precede Published");
    index_.serial = *serial_;
    index_.published = static_cast<std::int64_t>(*published_);
    index_.expires = static_cast<std::int64_t>(*expires_);
    return std::move(index_);
  }

  size_t line_ = 0;
  Section section_ = Section::None;
  std::set<std::string> sections_;
  std::set<std::string> index_keys_;
  std::unordered_set<std::string_view> file_keys_;  // views into the text being read
  bool format_ = false;
  std::optional<std::uint64_t> serial_, published_, expires_;
  RepositoryIndex index_;
};

}  // namespace

const IndexEntry* RepositoryIndex::Find(std::string_view path) const {
  const auto found = by_path.find(IndexPathOf(path));
  return found == by_path.end() ? nullptr : &files[found->second];
}

std::string_view IndexPathOf(std::string_view repository_path) {
  if (!repository_path.empty() && repository_path.front() == '/') repository_path.remove_prefix(1);
  return repository_path;
}

Expected<RepositoryIndex, IndexError> ParseRepositoryIndex(std::string_view text) { return Reader().Read(text); }

Expected<IndexReading, IndexError> ReadRepositoryIndex(std::string_view bytes, const TrustAnchors& anchors) {
  if (bytes.size() > kMaxIndexSize) return Refuse(0, "indice oltre 16 MiB");
  const DocumentVerdict verdict = CheckDocumentSignature(bytes, anchors);
  auto index = ParseRepositoryIndex(verdict.text);
  if (!index) return Fail(index.error());
  return IndexReading{std::move(index.value()), verdict.trust, verdict.signer};
}

Expected<std::string, IndexError> WriteRepositoryIndex(const RepositoryIndex& index) {
  if (!IsRepositoryName(index.repository))
    return Refuse(0, "nome del repository non valido: " + index.repository);
  std::string text = "[Index]\r\nFormat=1\r\nRepository=" + index.repository + "\r\nSerial=" +
                     std::to_string(index.serial) + "\r\nPublished=" + std::to_string(index.published) +
                     "\r\nExpires=" + std::to_string(index.expires) + "\r\n[Files]\r\n";
  for (size_t i = 0; i < index.files.size(); ++i) {
    const IndexEntry& entry = index.files[i];
    text += "F" + std::to_string(i + 1) + "=" + crypto::ToHex(entry.sha256) + " " + std::to_string(entry.size) + " " +
            (entry.date ? std::to_string(*entry.date) : std::string("-")) + " " + entry.path + "\r\n";
  }
  // What the program would refuse is never written.
  auto reread = ParseRepositoryIndex(text);
  if (!reread) return Fail(reread.error());
  if (reread->files.size() != index.files.size() || reread->serial != index.serial)
    return Refuse(0, "indice non rileggibile");
  return text;
}

}  // namespace tw
