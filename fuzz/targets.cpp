#include "targets.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "catalogue/ini_document.h"
#include "catalogue/module_path_check.h"
#include "catalogue/path_mapping.h"
#include "trust/repository_index.h"
#include "trust/signature_section.h"
#include "trust/trust_policy.h"
#include "common/text.h"
#include "delta/patch.h"
#include "platform/pe_version.h"
#include "startup/switches.h"
#include "transport/head_reply.h"
#include "transport/http_date.h"

namespace tw::fuzz {
namespace {

std::string_view Text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// A broken promise of the code under test: stop here, loudly.
void Require(bool condition) {
  if (!condition) std::abort();
}

void RequireDateInRange(DateValue date) {
  if (date.IsZero()) return;
  const CalendarTime t = date.ToCalendar();
  Require(t.year >= 100 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
          t.day <= 31 && t.hour < 24 && t.minute < 60 && t.second < 60);
}

}  // namespace

void CatalogueDocument(const std::uint8_t* data, std::size_t size) {
  ModuleINIInfo info;
  ParseModuleINI(Text(data, size), info);
  // Every stored key is found again, with the first value it was given.
  for (const auto* keys : {&info.ReleaseKeys, &info.SetupKeys, &info.PostSetupKeys}) {
    const char* section = keys == &info.ReleaseKeys ? "release" : keys == &info.SetupKeys ? "SETUP" : "PostSetup";
    for (const auto& item : *keys) {
      Require(item.key.has_value());
      Require(info.GetKey(section, *item.key) == item.value);
    }
  }
}

void HeadReply(const std::uint8_t* data, std::size_t size) {
  // The first byte cuts the rest into chunks, as a socket may deliver them.
  if (size == 0) return;
  const std::size_t chunk = 1 + data[0] % 64;
  const std::string_view bytes = Text(data + 1, size - 1);
  std::string received;
  ReplyProgress progress = ReplyProgress::More;
  for (std::size_t at = 0; at < bytes.size() && progress == ReplyProgress::More; at += chunk)
    progress = CollectHeadReply(received, bytes.substr(at, chunk), 4096);
  Require(progress != ReplyProgress::Complete || HeadReplyComplete(received));
  Require(progress != ReplyProgress::TooLarge || received.size() > 4096);
  const auto reply = ScanHeadReply(received, -60);
  Require(!reply.ok || reply.last_modified.has_value());
  if (reply.last_modified) RequireDateInRange(*reply.last_modified);
}

void HttpDate(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  const int bias = static_cast<int>(data[0]) * 10 - 1280;  // -1280 .. +1270 minutes
  const std::string_view text = Text(data + 1, size - 1);
  RequireDateInRange(ParseHttpDate(text, bias));
  RequireDateInRange(ParseRfc1123Date(text, bias));
  RequireDateInRange(ParseRfc850Date(text, bias));
  RequireDateInRange(ParseAsctimeDate(text, bias));
}

void PeVersion(const std::uint8_t* data, std::size_t size) {
  const std::string version = PeFileVersion({data, size});
  // Four numbers of at most five digits, or nothing.
  Require(version.empty() || (version.size() <= 23 && Split(version, ".").size() == 4));
}

void Switches(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = Text(data, size);
  const MainWindowSwitches fields = ReadMainWindowSwitches(text);
  Require(fields.ModuleName.size() <= text.size() && fields.BatchCommand.size() <= text.size());
  Require(TrimBlanks(fields.ModuleName) == fields.ModuleName);
  if (auto parsed = ParseSwitches(text, " ", kSwitchNames))
    for (const auto& item : *parsed) Require(!item.key || item.key->front() == '@');
}

void PathMapping(const std::uint8_t* data, std::size_t size) {
  static const tw::PathMapping kWindows(
      MakePlaceholderTable({"C:\\Suite", "/PC1", "C:\\WINDOWS\\system32", "", "C:\\WINDOWS"}, '\\'), "PC1", '\\');
  static const tw::PathMapping kPosix(
      MakePlaceholderTable({"/opt/Città", "\\pc1", "/home/u/.local/lib", "/home/u/.local/share/fonts",
                            "/home/u/.local/share"},
                           '/'),
      "pc1", '/');
  const std::string_view text = Text(data, size);
  for (const tw::PathMapping* paths : {&kWindows, &kPosix}) {
    const std::string generic = paths->GenericPath(text);
    Require(generic.find('/') == std::string::npos);
    const std::string remote = paths->ResolvePath(text, true);
    Require(remote.find('\\') == std::string::npos && ToLower(remote) == remote);
    const std::string local = paths->ResolvePath(text, false);
    Require(local.find(paths->LocalSeparator() == '/' ? '\\' : '/') == std::string::npos);
    paths->HasUnmappedToken(text);
    // A path the check takes lies below a suite folder here, and its
    // repository form can neither climb nor change what a URL means.
    if (IsConfinedModulePath(*paths, text)) {
      const std::string sep(1, paths->LocalSeparator());
      Require(local.find(sep + ".." + sep) == std::string::npos && !EndsWith(local, sep + ".."));
      Require(StartsWith(remote, "/") && remote.find("/../") == std::string::npos &&
              remote.find_first_of("?#%@\"") == std::string::npos);
    }
  }
}

void SignatureSection(const std::uint8_t* data, std::size_t size) {
  static const TrustAnchors kAnchors = [] {
    TrustAnchors anchors;
    anchors.AddKeys("11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo=");  // RFC 8032, test 1
    return anchors;
  }();
  const std::string_view document = Text(data, size);
  const tw::SignatureSection section = ReadSignatureSection(document);
  // The signed bytes are the document's own first bytes, and they end a
  // line (or are nothing but a byte-order mark).
  Require(section.signed_bytes.data() == document.data() && section.signed_bytes.size() <= document.size());
  if (section.status == SignatureSectionStatus::Absent) {
    Require(section.signed_bytes.size() == document.size());
  } else {
    const std::string_view rest = document.substr(section.signed_bytes.size());
    Require(!rest.empty() && rest.front() == '[');
    Require(section.signed_bytes.empty() || section.signed_bytes.back() == '\n' ||
            section.signed_bytes == "\xEF\xBB\xBF");
  }
  // What a signature section written for these bytes holds reads back.
  if (section.status == SignatureSectionStatus::Present) {
    const std::string again = AppendSignatureSection(section.signed_bytes, section.signature);
    const tw::SignatureSection reread = ReadSignatureSection(again);
    Require(reread.status == SignatureSectionStatus::Present && reread.signature == section.signature);
  }
  const DocumentVerdict verdict = CheckDocumentSignature(document, kAnchors);
  Require(verdict.accepted == (verdict.trust == DocumentTrust::Valid));
  Require(verdict.text == section.signed_bytes);
}

std::vector<std::uint8_t> PatchReference() {
  // Text-like runs and a counting pattern, 64 KiB: matches at every
  // distance, and a window limit of 128 KiB.
  std::vector<std::uint8_t> bytes(64 * 1024);
  std::uint32_t state = 12345;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    state = state * 1103515245 + 12345;
    bytes[i] = i % 1024 < 512 ? static_cast<std::uint8_t>('a' + (state >> 16) % 26) : static_cast<std::uint8_t>(i);
  }
  return bytes;
}

void DeltaPatch(const std::uint8_t* data, std::size_t size) {
  static const std::vector<std::uint8_t> reference = PatchReference();
  // A few bytes of patch can stand for gigabytes of output: the output
  // stops after 4 MiB, and memory stays within the window the old file
  // allows.
  constexpr std::uint64_t kMaxOutput = 4u << 20;
  std::uint64_t seen = 0;
  PatchApplier applier(reference, [&](std::span<const std::uint8_t> bytes) {
    seen += bytes.size();
    return seen <= kMaxOutput;
  });
  // The first byte cuts the patch into pieces, as the network delivers it.
  if (size == 0) return;
  const std::size_t piece = 1 + data[0] % 200;
  bool ok = true;
  for (std::size_t at = 1; at < size && ok; at += piece)
    ok = applier.Feed({data + at, std::min(piece, size - at)}).has_value();
  if (ok) ok = applier.Finish().has_value();
  Require(applier.produced() <= kMaxOutput);
  Require(!ok || seen == applier.produced());
}

void RepositoryIndex(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = Text(data, size);
  const auto index = ParseRepositoryIndex(text);
  if (!index) {
    Require(!index.error().description.empty());
    return;
  }
  // Every entry is found under its own path, and an accepted index written
  // again reads back as the same index.
  for (const IndexEntry& entry : index->files) Require(index->Find(entry.path) == &entry);
  const auto written = WriteRepositoryIndex(*index);
  Require(written.has_value());
  const auto again = ParseRepositoryIndex(written.value());
  Require(again.has_value());
  Require(again->repository == index->repository && again->serial == index->serial &&
          again->published == index->published && again->expires == index->expires &&
          again->files.size() == index->files.size());
  for (size_t i = 0; i < index->files.size(); ++i)
    Require(again->files[i].path == index->files[i].path && again->files[i].sha256 == index->files[i].sha256 &&
            again->files[i].size == index->files[i].size && again->files[i].date == index->files[i].date);
}

}  // namespace tw::fuzz
