// The module catalogue: catalogue documents read once per run and kept in
// ModuleINICache, the installed and repository versions of a module, and
// the walk that decides what to install or update.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>
#include <string>
#include <string_view>

#include "catalogue/document_cache.h"
#include "catalogue/document_preload.h"
#include "catalogue/document_prefetch.h"
#include "catalogue/index_gate.h"
#include "catalogue/module_places.h"
#include "catalogue/module_records.h"
#include "catalogue/module_version.h"

namespace tw {

class FileSystem;
class PathMapping;
class Repository;
class SettingsStore;
class SystemInfo;
class TrustPolicy;

struct CatalogueContext {
  const PathMapping& paths;
  Repository& repository;
  FileSystem& files;
  SettingsStore& settings;
  SystemInfo& system;
  // Which documents count, and which module files must carry a digest:
  // built once at start-up from the configured keys.
  const TrustPolicy& trust;
};

// Told of each catalogue document the trust policy refuses, with the line
// to show (string 809, the document and the reason).
using RefusalListener = std::function<void(const std::string& line)>;

class Catalogue {
 public:
  explicit Catalogue(CatalogueContext context);
  ~Catalogue();

  // The module's catalogue document: fetched with one GET (and its file's
  // date with one HEAD) the first time any form of the module's path is
  // asked for, then answered from the cache for the rest of the run, also
  // when the fetch failed. A path the check refuses gets an empty record
  // without a request ("" is the whole suite's document).
  std::shared_ptr<const ModuleINIInfo> LoadModuleINI(std::string_view module);

  // A refused path is not installed and has no repository version.
  ModuleVersion GetModuleVersion(std::string_view module, bool remote);

  // Adds to `updates` every module, from `module` down through its SETUP
  // entries (dependencies first), whose repository version is newer than
  // the installed one. "" walks the whole suite. Entries the path check
  // refuses are passed over.
  void CollectUpdates(UpdateDictionary& updates, std::string_view module);

  // True when the module's file is on this computer. A file that is there
  // is never a new installation, even when its version reads empty (a
  // version resource of 0.0.0.0, or a date that reads as none).
  bool IsInstalled(std::string_view module);

  // What is known of the module's catalogue flags, with their defaults.
  bool IsOnDemand(const ModuleINIInfo& info) const;
  bool IsForced(const ModuleINIInfo& info) const;
  // True when the module is on demand and this computer has not asked for
  // it (no ".OnDemand" marker beside the module).
  bool SkippedOnDemand(std::string_view module, const ModuleINIInfo& info);

  size_t CachedDocuments() const { return ModuleINICache.Count(); }

  // While a walk runs (from its start to its end, nested walks counted
  // once), the documents of the modules that arriving documents name are
  // fetched ahead, when the repository can have requests in flight
  // together. Walks say so with a WalkAhead.
  class WalkAhead {
   public:
    explicit WalkAhead(Catalogue& catalogue);
    ~WalkAhead();
    WalkAhead(const WalkAhead&) = delete;
    WalkAhead& operator=(const WalkAhead&) = delete;

   private:
    Catalogue& catalogue_;
  };
  // Starts fetching these modules' documents now, for callers that will
  // load them one after another.
  void Prefetch(const std::vector<std::string>& modules);
  const PathMapping& Paths() const { return ctx_.paths; }
  // The module path's forms and the path check's verdict, worked out once.
  const ModulePlace& Place(std::string_view module) const {
    AdoptPreloadedPlaces();
    return places_.Of(module);
  }
  // The places the second core worked out from the preloaded documents,
  // once it is done.
  void AdoptPreloadedPlaces() const;
  const TrustPolicy& Trust() const { return ctx_.trust; }

  // The repository's index, asked at the start of every operation (a walk,
  // or the first document of the process; callers that read no document
  // first say so with BeginOperation).
  void BeginOperation();
  // A new operation of a long-lived process (an automation call): a
  // refused index it reuses is reported again, once.
  void StartOperation() { ++operation_; }
  const IndexGate& Index() const { return *index_; }
  // The module's document is listed by the ruling index but was missing or
  // other than listed: the module is frozen, which is an error.
  bool IsFrozen(std::string_view module) const;
  // For tests: the clocks the index's freshness and expiry are judged by.
  void SetIndexClock(IndexClock clock);

  // A refused document is always named on standard error; `listener`, when
  // set, hears of it too (the main window's log). An empty one unhooks.
  void SetRefusalListener(RefusalListener listener) { refusal_listener_ = std::move(listener); }
  // Names a refusal or a step taken up again the same way: on standard
  // error and to the listener. With `once`, a line already said in this
  // catalogue's life is not said again.
  void Report(const std::string& line, bool once = false);
  // "Modulo ignorato" for a path the path check refuses, once per path.
  void ReportRefusedPath(std::string_view path);

 private:
  // The record of a walked module when it is to be installed or updated.
  std::shared_ptr<ModuleUpdateInfo> Decide(const std::string& module, const ModuleINIInfo& info);
  // `present`, when given, tells whether the module's file is there (as
  // IsInstalled would), from the same look at it.
  ModuleVersion InstalledVersion(std::string_view module, bool* present = nullptr);
  // The text to read of the document at `document_path` as served
  // (`bytes`); nothing when the trust policy refuses it, which is then
  // reported.
  std::optional<std::string> TrustedText(std::string_view document_path, std::string_view bytes);
  // The document's bytes as served and its file's date: an answer fetched
  // ahead when one is being handed over, else both requests now.
  std::string FetchDocument(const std::string& document, std::string_view module, DateValue& file_date);
  bool AwaitFetchedAhead(std::string_view module, const std::string& document, const std::string& key);
  std::optional<PrefetchRequest> AheadRequest(std::string_view module) const;
  std::vector<PrefetchRequest> Arrived(const PrefetchRequest& request, PrefetchAnswer& answer);

  // The document as the ruling index vouches for it: unlisted is absent, a
  // listed one must match its entry, and the module's date is the index's.
  std::shared_ptr<const ModuleINIInfo> LoadIndexedDocument(std::string_view module, const std::string& document,
                                                           const RepositoryIndex& index);
  // Starts reading the documents `kept` names from the cache on a second
  // core, when the file system allows it.
  void PreloadDocuments(const DocumentCache::Index& kept);
  // Hooks PreloadDocuments to the index gate.
  void ListenForKeptIndex();
  // The index's Unix time as a local date, as file dates are read.
  DateValue LocalDate(std::int64_t unix_seconds) const;
  static DateValue LocalDate(std::int64_t unix_seconds, int utc_bias);

  CatalogueContext ctx_;
  RefusalListener refusal_listener_;
  KeyedCollection<bool> reported_;
  std::unique_ptr<IndexGate> index_;
  DocumentCache cache_;
  mutable ModulePlaces places_;
  std::set<std::string> frozen_;  // upper-case document paths
  bool index_asked_ = false;
  // The operation under way, and the one the refusal in force was last
  // reported in.
  std::uint64_t operation_ = 0;
  std::optional<std::uint64_t> refusal_reported_in_;
  int walk_depth_ = 0;
  // Upper-case repository path of the document -> its record.
  KeyedCollection<std::shared_ptr<const ModuleINIInfo>> ModuleINICache;
  std::unique_ptr<DocumentPrefetch> prefetch_;
  PrefetchAnswer* handed_ = nullptr;
  // Last: its second core reads through ctx_ and stops before the rest goes.
  std::unique_ptr<DocumentPreload> preload_;
  std::string preloaded_from_;  // hex digest of the kept index it read
  // The second core's, until adopted.
  mutable std::shared_ptr<ModulePlaces> preloaded_places_;
};

}  // namespace tw
