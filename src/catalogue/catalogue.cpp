#include "catalogue/catalogue.h"

#include "catalogue/dependency_walk.h"
#include <cstdio>

#include "catalogue/ini_document.h"
#include "catalogue/module_path_check.h"
#include "catalogue/path_mapping.h"
#include "common/settings_keys.h"
#include "common/text.h"
#include "platform/file_system.h"
#include "platform/settings_store.h"
#include "platform/system_info.h"
#include "transport/file_times.h"
#include "transport/repository.h"
#include "transport/text_decoding.h"
#include "trust/signature_section.h"
#include "trust/trust_policy.h"

namespace tw {

void Catalogue::BeginOperation() {
  index_asked_ = true;
  cache_.Recheck();
  // Documents read under another index (or under none) no longer count.
  if (index_->BeginOperation()) {
    ModuleINICache = {};
    frozen_.clear();
  }
  if (!index_->Message().empty()) {
    Report(index_->Message());
    if (index_->Refused()) refusal_reported_in_ = operation_;
  } else if (index_->Refused() && refusal_reported_in_ != operation_) {
    // The refused index was asked less than a minute ago, by another
    // operation: this one says so too.
    Report(index_->Refusal());
    refusal_reported_in_ = operation_;
  }
}

void Catalogue::SetIndexClock(IndexClock clock) {
  index_ = std::make_unique<IndexGate>(ctx_.repository, ctx_.settings, ctx_.trust, ctx_.repository.URL(),
                                       std::move(clock), &cache_);
  ListenForKeptIndex();
  index_asked_ = false;
}

namespace {

// The index vouches for the bytes; a signature section is read as the
// signed part, as everywhere else with keys.
void ParseIndexedDocument(std::string_view bytes, bool keyed, ModuleINIInfo& info) {
  ParseModuleINI(DecodeDocumentText(keyed ? ReadSignatureSection(bytes).signed_bytes : bytes), info);
}

}  // namespace

void Catalogue::ListenForKeptIndex() {
  index_->SetKeptIndexListener([this](const DocumentCache::Index& kept) -> IndexGate::ReadingSource {
    PreloadDocuments(kept);
    // The gate takes the reading only for the very bytes it judges.
    return [this]() -> SharedIndexReading { return preload_ ? preload_->ReadingIfReady() : nullptr; };
  });
}

void Catalogue::PreloadDocuments(const DocumentCache::Index& kept) {
  // The same kept index as last time: what was read from it still holds.
  if (preload_ && preloaded_from_ == kept.sha256) return;
  preload_.reset();
  preloaded_places_.reset();
  const std::optional<std::string> folder = cache_.SoundFolder();
  if (!folder || !ctx_.files.ReadableFromAnyThread()) return;
  preloaded_from_ = kept.sha256;
  // The path forms of every module the documents name, worked out by the
  // second core too: over a slow link it has the time while the index is
  // asked, and the walk then finds them ready.
  auto places = std::make_shared<ModulePlaces>(ctx_.paths);
  preloaded_places_ = places;
  auto finisher = [places, &paths = ctx_.paths](const std::vector<std::shared_ptr<const ModuleINIInfo>>& documents) {
    for (const auto& info : documents)
      for (const auto& item : info->SetupKeys) places->Of(paths.GenericPath(item.value));
  };
  auto loader = [&files = ctx_.files, folder = *folder, keyed = ctx_.trust.KeysConfigured(),
                 bias = ctx_.system.CurrentUtcBias()](const crypto::Sha256Digest& digest, std::uint64_t size,
                                                      std::optional<std::int64_t> module_date)
      -> std::shared_ptr<const ModuleINIInfo> {
    const std::optional<std::string> bytes = DocumentCache::ReadHeld(files, folder, digest, size);
    if (!bytes) return nullptr;
    auto info = std::make_shared<ModuleINIInfo>();
    ParseIndexedDocument(*bytes, keyed, *info);
    // The same arithmetic as the walk's, so that equal dates compare equal.
    if (module_date) info->LastModifiedDate = LocalDate(*module_date, bias);
    return info;
  };
  preload_ =
      std::make_unique<DocumentPreload>(kept.bytes, ctx_.trust.Anchors(), std::move(loader), std::move(finisher));
}

void Catalogue::AdoptPreloadedPlaces() const {
  if (!preloaded_places_ || !preload_ || !preload_->Finished()) return;
  places_.Merge(std::move(*preloaded_places_));
  preloaded_places_.reset();
}

DateValue Catalogue::LocalDate(std::int64_t unix_seconds) const {
  return LocalDate(unix_seconds, ctx_.system.CurrentUtcBias());
}

DateValue Catalogue::LocalDate(std::int64_t unix_seconds, int utc_bias) {
  return DateValue::FromUnixSeconds(unix_seconds).AddMinutes(-utc_bias);
}

std::shared_ptr<const ModuleINIInfo> Catalogue::LoadIndexedDocument(std::string_view module,
                                                                    const std::string& document,
                                                                    const RepositoryIndex& index) {
  auto info = std::make_shared<ModuleINIInfo>();
  const IndexEntry* entry = index.Find(document);
  if (!entry) return info;  // the repository's word is that there is none
  const IndexEntry* file = module.empty() ? nullptr : index.Find(Place(module).remote);
  // A document the index lists with the digest of one already held costs
  // no request: a start where nothing changed asks for the index alone.
  const std::optional<std::shared_ptr<const ModuleINIInfo>> held =
      preload_ ? preload_->Take(entry->sha256) : std::nullopt;
  if (held && *held) {
    // Dated by the kept index: taken as it is when the ruling one agrees.
    const DateValue date = file && file->date ? LocalDate(*file->date) : DateValue();
    if ((*held)->LastModifiedDate == date) return *held;
    auto dated = std::make_shared<ModuleINIInfo>(**held);
    dated->LastModifiedDate = date;
    return dated;
  }
  // One the second core found missing or damaged in the cache is not read
  // from it again.
  std::optional<std::string> bytes = held ? std::nullopt : cache_.Read(entry->sha256, entry->size);
  const bool cached = bytes.has_value();  // the cache checked its size and digest
  if (!cached) bytes = ctx_.repository.HttpGetRaw(document);
  const bool matches =
      cached || (bytes && bytes->size() == entry->size && crypto::Sha256Of(*bytes) == entry->sha256);
  if (matches && !cached) cache_.Store(entry->sha256, *bytes);
  if (!matches) {
    // A listed document that cannot be had freezes its module: an error,
    // never silence.
    Report(IndexErrorText(kDocumentNotIndexedError, document + ": " + (bytes ? "contenuto diverso" : "assente")));
    frozen_.insert(ToUpper(document));
    return info;
  }
  ParseIndexedDocument(*bytes, ctx_.trust.KeysConfigured(), *info);
  if (file && file->date) info->LastModifiedDate = LocalDate(*file->date);
  return info;
}

bool Catalogue::IsFrozen(std::string_view module) const {
  return frozen_.contains(ToUpper(Place(module).document));
}

std::shared_ptr<const ModuleINIInfo> Catalogue::LoadModuleINI(std::string_view module) {
  if (!index_asked_) BeginOperation();
  const ModulePlace& place = Place(module);
  const std::string& document = place.document;
  const std::string key = ToUpper(document);
  if (const auto* cached = ModuleINICache.Find(key)) return *cached;
  // A path the check refuses names nothing the repository holds: it is not
  // asked, and nothing is cached under a key another spelling might share.
  if (!module.empty() && !place.confined) return std::make_shared<const ModuleINIInfo>();
  // Keys and no accepted index: nothing is offered, nothing is asked.
  if (index_->Refused()) {
    ModuleINICache.Add(std::make_shared<const ModuleINIInfo>(), key);
    return *ModuleINICache.Find(key);
  }
  if (const RepositoryIndex* index = index_->Ruling()) {
    ModuleINICache.Add(LoadIndexedDocument(module, document, *index), key);
    return *ModuleINICache.Find(key);
  }

  if (AwaitFetchedAhead(module, document, key))
    if (const auto* cached = ModuleINICache.Find(key)) return *cached;

  auto info = std::make_shared<ModuleINIInfo>();
  DateValue file_date;
  const std::string bytes = FetchDocument(document, module, file_date);
  // A refused document is an absent one whose file has no date either: the
  // module gets no repository version and is neither offered nor walked.
  if (const auto text = TrustedText(document, bytes)) {
    info->LastModifiedDate = file_date;
    ParseModuleINI(*text, *info);
  }
  // While the HEAD waited, another caller may have stored the same
  // document; the first one stored stays and both are equal.
  ModuleINICache.Add(info, key);
  return *ModuleINICache.Find(key);
}

bool Catalogue::IsOnDemand(const ModuleINIInfo& info) const {
  return ParseBoolean(info.GetKey("Release", "OnDemand")).value_or(false);
}

bool Catalogue::IsForced(const ModuleINIInfo& info) const {
  return ParseBoolean(info.GetKey("Release", "ForceUpdate")).value_or(true);
}

bool Catalogue::SkippedOnDemand(std::string_view module, const ModuleINIInfo& info) {
  if (!IsOnDemand(info)) return false;
  return !ctx_.files.NormalFileExists(Place(module).local + ".OnDemand");
}

namespace {

ModuleVersion RepositoryVersion(const ModuleINIInfo& info) {
  return MakeModuleVersion(info.GetKey("Release", "Version"), info.LastModifiedDate);
}

}  // namespace

ModuleVersion Catalogue::GetModuleVersion(std::string_view module, bool remote) {
  if (!remote) return InstalledVersion(module);
  return RepositoryVersion(*LoadModuleINI(module));
}

bool Catalogue::IsInstalled(std::string_view module) {
  const ModulePlace& place = Place(module);
  return place.mapped && place.confined && ctx_.files.NormalFileExists(place.local);
}

ModuleVersion Catalogue::InstalledVersion(std::string_view module, bool* present) {
  if (present) *present = false;
  // A module whose folder this computer does not have is not installed,
  // whatever lies where its path would resolve to.
  const ModulePlace& place = Place(module);
  if (!place.mapped || !place.confined) return MakeModuleVersion("", DateValue());
  const std::string& path = place.local;
  SettingsStore& settings = ctx_.settings;
  if (!ctx_.files.NormalFileExists(path)) {
    if (!settings.Read(settings::kApplication, settings::kLastModifiedSection, path, "").empty())
      settings.Delete(settings::kApplication, settings::kLastModifiedSection, path);
    return MakeModuleVersion("", DateValue());
  }
  if (present) *present = true;
  const std::string version = ctx_.files.FileVersion(path);
  const auto stored = DateValue::FromSettingsText(
      settings.Read(settings::kApplication, settings::kLastModifiedSection, path, "0"));
  DateValue date = stored && !stored->IsZero() ? *stored : FileDate(ctx_.files, ctx_.system, path);
  // A date later than the ruling index was published cannot be a version
  // this repository served: it counts as unknown, so a date once poisoned
  // (a reply dated far ahead) no longer hides the real current version.
  if (const RepositoryIndex* index = index_->Ruling())
    if (date.Serial() > LocalDate(index->published).Serial()) date = DateValue();
  return MakeModuleVersion(version, date);
}

void Catalogue::CollectUpdates(UpdateDictionary& updates, std::string_view module) {
  WalkDependencies(
      *this, module,
      [this](const std::string& name, const ModuleINIInfo& info) {
        return SkippedOnDemand(name, info) ? WalkStep::kSkip : WalkStep::kDependencies;
      },
      [this, &updates](const std::string& name, const ModuleINIInfo& info) {
        if (auto record = Decide(name, info)) updates.Add(std::move(record), ToUpper(name));
      });
}

std::shared_ptr<ModuleUpdateInfo> Catalogue::Decide(const std::string& module, const ModuleINIInfo& info) {
  // The walk hands over the module's document and the file is looked at
  // once: neither is asked for again here.
  bool present = false;
  ModuleVersion local = InstalledVersion(module, &present);
  ModuleVersion remote = RepositoryVersion(info);
  if (IsVersionEmpty(remote) || CompareVersions(remote, local) != 1) return nullptr;
  // Only a file that is not there is missing: a present one whose version
  // reads empty would otherwise be overwritten against ForceUpdate and have
  // its post-setup programs run again.
  const bool missing = IsVersionEmpty(local) && !present;
  auto record = std::make_shared<ModuleUpdateInfo>();
  record->MetaPath = module;
  record->LocalVersion = VersionText(local);
  record->RemoteVersion = VersionText(remote);
  record->InstallationType = missing ? 0 : 1;
  record->Register = info.GetKey("Release", "Register");
  record->ForceUpdate = IsForced(info);
  record->OnDemand = IsOnDemand(info);
  // A program outside the suite's folders, or in a folder this computer
  // lacks, is never run.
  if (missing)
    for (const auto& program : info.PostSetupKeys) {
      if (!IsConfinedModulePath(ctx_.paths, CommandLineProgram(program.value))) {
        ReportRefusedPath(program.value);
        continue;
      }
      if (!ctx_.paths.HasUnmappedToken(program.value))
        record->PostSetup.Add(ctx_.paths.ResolvePath(program.value, false));
    }
  if (!record->ForceUpdate && !missing) return nullptr;
  return record;
}

}  // namespace tw
