// The catalogue's side of fetching ahead: which requests a module needs,
// and what an arrived answer becomes (the same record LoadModuleINI makes).
#include "catalogue/catalogue.h"
#include "catalogue/module_path_check.h"
#include "catalogue/path_mapping.h"
#include "common/text.h"
#include "platform/settings_store.h"
#include "platform/system_info.h"
#include "transport/repository.h"

namespace tw {

Catalogue::Catalogue(CatalogueContext context)
    : ctx_(context),
      index_(std::make_unique<IndexGate>(ctx_.repository, ctx_.settings, ctx_.trust, ctx_.repository.URL(),
                                         SystemIndexClock([this] { return ctx_.system.CurrentUtcBias(); }),
                                         &cache_)),
      cache_(ctx_.files, ctx_.system, ctx_.repository.URL()),
      places_(ctx_.paths) {
  ListenForKeptIndex();
  if (AsyncRepository* async = ctx_.repository.Asynchronous())
    prefetch_ = std::make_unique<DocumentPrefetch>(
        *async, [this](const PrefetchRequest& request, PrefetchAnswer& answer) { return Arrived(request, answer); });
}

Catalogue::~Catalogue() = default;

Catalogue::WalkAhead::WalkAhead(Catalogue& catalogue) : catalogue_(catalogue) {
  // One view of the settings per walk: it reads one for every module.
  catalogue_.ctx_.settings.BeginBatch();
  // A walk is an operation: the index is asked before its first document.
  if (catalogue_.walk_depth_++ == 0) catalogue_.BeginOperation();
  if (catalogue_.prefetch_) catalogue_.prefetch_->BeginWalk();
}

Catalogue::WalkAhead::~WalkAhead() {
  --catalogue_.walk_depth_;
  if (catalogue_.prefetch_) catalogue_.prefetch_->EndWalk();
  catalogue_.ctx_.settings.EndBatch();
}

std::optional<PrefetchRequest> Catalogue::AheadRequest(std::string_view module) const {
  const ModulePlace& place = Place(module);
  PrefetchRequest request;
  request.document = place.document;
  request.key = ToUpper(request.document);
  if (ModuleINICache.Contains(request.key)) return std::nullopt;
  if (!module.empty() && !place.confined) return std::nullopt;
  request.module = std::string(module);
  request.file = place.remote;
  return request;
}

void Catalogue::Prefetch(const std::vector<std::string>& modules) {
  // Under an index nothing is fetched ahead: a document is one GET, and the
  // walk asks no HEAD.
  if (!prefetch_ || index_->Ruling() || index_->Refused()) return;
  std::vector<PrefetchRequest> requests;
  for (const std::string& module : modules)
    if (auto request = AheadRequest(ctx_.paths.GenericPath(module))) requests.push_back(std::move(*request));
  prefetch_->Want(requests);
}

// LoadModuleINI has checked the path and made the document's key already.
bool Catalogue::AwaitFetchedAhead(std::string_view module, const std::string& document, const std::string& key) {
  if (!prefetch_ || handed_ || index_->Ruling() || index_->Refused()) return false;
  if (prefetch_->HasArrived(key)) return true;
  return prefetch_->Await({key, std::string(module), document, Place(module).remote});
}

std::string Catalogue::FetchDocument(const std::string& document, std::string_view module, DateValue& file_date) {
  if (handed_) {
    file_date = handed_->file_date;
    return std::move(handed_->text);
  }
  return ctx_.repository.HttpGetDocumentAndHead(document, Place(module).remote, file_date);
}

std::vector<PrefetchRequest> Catalogue::Arrived(const PrefetchRequest& request, PrefetchAnswer& answer) {
  if (index_->Ruling() || index_->Refused()) return {};
  handed_ = &answer;
  const auto info = LoadModuleINI(request.module);
  handed_ = nullptr;
  std::vector<PrefetchRequest> named;
  for (const auto& entry : info->SetupKeys)
    if (auto next = AheadRequest(ctx_.paths.GenericPath(entry.value))) named.push_back(std::move(*next));
  return named;
}

}  // namespace tw
