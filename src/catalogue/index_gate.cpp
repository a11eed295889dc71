#include "catalogue/index_gate.h"

#include <chrono>
#include <cstdio>

#include "catalogue/document_cache.h"
#include "common/date_value.h"
#include "common/settings_keys.h"
#include "common/text.h"
#include "platform/settings_store.h"
#include "resources/string_table.h"
#include "transport/repository.h"

namespace tw {
namespace {

constexpr std::string_view kSerialSection = "Tarnwick\\IndexSerial";
constexpr std::string_view kDigestSection = "Tarnwick\\IndexSHA256";
constexpr std::string_view kNameSection = "Tarnwick\\IndexRepository";
constexpr std::string_view kMinSerial = "MinSerial";
constexpr std::string_view kRepository = "Repository";
// A newer index is asked only when the last ask is older than this.
constexpr std::int64_t kAskInterval = 60;

std::string Numbered(int number, int string_id, std::string_view detail) {
  std::string text = "Errore " + std::to_string(number) + ": " + std::string(LoadResString(string_id));
  if (!detail.empty()) text += " (" + std::string(detail) + ")";
  return text;
}

}  // namespace

std::string IndexErrorText(int number, std::string_view detail) {
  return Numbered(number, 1211 + (number - kIndexMissingError), detail);
}

namespace {

IndexVerdict Refusal(int number, int string_id, std::string_view detail) {
  return {IndexDecision::Refuse, nullptr, number, Numbered(number, string_id, detail)};
}

std::uint64_t ReadSerial(std::string_view text) {
  const auto value = ParseInteger(TrimBlanks(text));
  return value && *value > 0 ? static_cast<std::uint64_t>(*value) : 0;
}

}  // namespace

SharedIndexReading ReadSharedIndex(std::string_view bytes, const TrustAnchors& anchors) {
  return std::make_shared<const IndexReadingOf>(
      IndexReadingOf{crypto::Sha256Of(bytes).value_or(crypto::Sha256Digest{}), ReadRepositoryIndex(bytes, anchors)});
}

IndexVerdict JudgeIndex(const std::optional<std::string>& bytes, const TrustPolicy& trust, const IndexFloor& floor,
                        const RepositoryIndex* current, std::int64_t now,
                        const std::function<std::string(std::int64_t)>& local_time, SharedIndexReading reading) {
  const bool keyed = trust.KeysConfigured();
  if (trust.ConfigurationBroken()) return Refusal(kKeyConfigurationError, 1218, "");
  if (!bytes || bytes->empty()) {
    if (!keyed) return {};
    return Refusal(kIndexMissingError, 1211, std::string(kIndexFileName));
  }
  // A reading made elsewhere is judged only if it is of these very bytes.
  const std::optional<crypto::Sha256Digest> bytes_digest = crypto::Sha256Of(*bytes);
  if (!reading || !bytes_digest || reading->sha256 != *bytes_digest)
    reading = ReadSharedIndex(*bytes, trust.Anchors());
  const Expected<IndexReading, IndexError>& read = reading->reading;
  if (!read) {
    // Without a key the index only saves requests: a broken one is passed
    // over and the repository is read as it always was.
    if (!keyed) return {};
    return Refusal(kIndexUnreadableError, 1212,
                   "riga " + std::to_string(read.error().line) + ": " + read.error().description);
  }
  // The verdict shares the reading's index instead of copying it.
  std::shared_ptr<const RepositoryIndex> shared(reading, &read->index);
  const RepositoryIndex& index = *shared;
  if (!keyed) return {IndexDecision::Accept, std::move(shared), 0, ""};
  if (read->trust != DocumentTrust::Valid) return Refusal(kIndexUnsignedError, 1213, TrustDetail(read->trust));
  if (!floor.repository.empty() && index.repository != floor.repository)
    return Refusal(kIndexOtherRepositoryError, 1215, index.repository + " invece di " + floor.repository);
  const std::string digest = crypto::ToHex(bytes_digest.value_or(crypto::Sha256Digest{}));
  if (index.serial < floor.serial) {
    const std::string detail = "serie " + std::to_string(index.serial) + ", accettata " + std::to_string(floor.serial);
    if (current && current->expires > now)
      return {IndexDecision::KeepCurrent, nullptr, kIndexOlderError, Numbered(kIndexOlderError, 1217, detail)};
    return Refusal(kIndexOlderError, 1217, detail);
  }
  if (index.serial == floor.serial && !floor.sha256.empty() && !EqualsIgnoreCase(floor.sha256, digest))
    return Refusal(kIndexSerialReusedError, 1216, "serie " + std::to_string(index.serial));
  if (index.expires <= now)
    return Refusal(kIndexExpiredError, 1214, "Expires " + local_time(index.expires) + ", ora " + local_time(now));
  return {IndexDecision::Accept, std::move(shared), 0, ""};
}

IndexFloor ReadIndexFloor(SettingsStore& settings, std::string_view location) {
  using namespace settings;
  IndexFloor floor;
  floor.serial = ReadSerial(settings.Read(kApplication, kSerialSection, location, ""));
  floor.sha256 = settings.Read(kApplication, kDigestSection, location, "");
  const std::uint64_t minimum = ReadSerial(settings.Read(kApplication, kSection, kMinSerial, ""));
  if (minimum > floor.serial) {
    floor.serial = minimum;
    floor.sha256.clear();
  }
  floor.repository = std::string(TrimBlanks(settings.Read(kApplication, kSection, kRepository, "")));
  if (floor.repository.empty()) floor.repository = settings.Read(kApplication, kNameSection, location, "");
  return floor;
}

void RaiseIndexFloor(SettingsStore& settings, std::string_view location, const RepositoryIndex& index,
                     std::string_view sha256) {
  using namespace settings;
  const std::uint64_t stored = ReadSerial(settings.Read(kApplication, kSerialSection, location, ""));
  const bool digest_known = !settings.Read(kApplication, kDigestSection, location, "").empty();
  if (index.serial > stored || (index.serial == stored && !digest_known)) {
    settings.Write(kApplication, kSerialSection, location, std::to_string(index.serial));
    settings.Write(kApplication, kDigestSection, location, sha256);
  }
  if (settings.Read(kApplication, kNameSection, location, "").empty())
    settings.Write(kApplication, kNameSection, location, index.repository);
}

IndexClock SystemIndexClock(std::function<int()> utc_bias) {
  using namespace std::chrono;
  IndexClock clock;
  clock.unix_now = [] { return static_cast<std::int64_t>(duration_cast<seconds>(system_clock::now().time_since_epoch()).count()); };
  clock.monotonic = [] { return static_cast<std::int64_t>(duration_cast<seconds>(steady_clock::now().time_since_epoch()).count()); };
  clock.local_time = [utc_bias = std::move(utc_bias)](std::int64_t unix_seconds) {
    const CalendarTime t =
        DateValue::FromUnixSeconds(unix_seconds).AddMinutes(utc_bias ? -utc_bias() : 0).ToCalendar();
    char text[40];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", t.day, t.month, t.year, t.hour, t.minute,
                  t.second);
    return std::string(text);
  };
  return clock;
}

IndexGate::IndexGate(Repository& repository, SettingsStore& settings, const TrustPolicy& trust, std::string location,
                     IndexClock clock, DocumentCache* cache)
    : repository_(repository), settings_(settings), trust_(trust), location_(std::move(location)),
      clock_(std::move(clock)), cache_(cache) {}

std::optional<std::string> IndexGate::FetchIndex(Validators& fresh_validators, bool& fresh, bool& answered,
                                                 ReadingSource& kept_reading) {
  const std::string path = "/" + std::string(kIndexFileName);
  std::optional<DocumentCache::Index> cached = cache_ ? cache_->ReadIndex() : std::nullopt;
  if (cached && kept_listener_) kept_reading = kept_listener_(*cached);
  RawReply reply = repository_.HttpGetConditional(path, cached ? cached->validators : Validators{});
  // The cached copy is judged again like any served index: signature,
  // expiry and floor.
  if (reply.status == 304 && cached) {
    fresh = false;
    return std::move(cached->bytes);
  }
  kept_reading = nullptr;
  // "Not modified" with nothing held (or a validator the cache no longer
  // backs): the whole index again.
  if (reply.status == 304) reply = repository_.HttpGetConditional(path, Validators{});
  fresh = true;
  answered = reply.status != 0;
  if (reply.status != 200) return std::nullopt;
  fresh_validators = std::move(reply.validators);
  return std::move(reply.body);
}

bool IndexGate::BeginOperation() {
  message_.clear();
  // Without a key the index is asked all the same: where the repository
  // has one, a start where nothing changed costs that request alone; where
  // it has none, the repository is read as it always was.
  const std::int64_t now = clock_.monotonic();
  if (asked_at_ && now - *asked_at_ <= kAskInterval) return false;
  asked_at_ = now;
  Validators validators;
  bool fresh = false;
  bool answered = true;
  ReadingSource kept_reading;
  const std::optional<std::string> bytes = FetchIndex(validators, fresh, answered, kept_reading);
  const IndexFloor floor = ReadIndexFloor(settings_, location_);
  IndexVerdict verdict = JudgeIndex(bytes, trust_, floor, Ruling(), clock_.unix_now(), clock_.local_time,
                                    kept_reading ? kept_reading() : nullptr);
  // No answer at all is not a missing index: the repository is unreachable.
  if (!answered && verdict.number == kIndexMissingError) {
    verdict.number = kRepositoryUnreachableError;
    verdict.message = IndexErrorText(kRepositoryUnreachableError, repository_.URL());
  }
  message_ = verdict.message;
  if (verdict.decision != IndexDecision::KeepCurrent) refusal_.clear();
  const bool was_ruling = ruling_ != nullptr;
  const bool was_refused = refused_;
  switch (verdict.decision) {
    case IndexDecision::NoIndex:
      ruling_.reset();
      refused_ = false;
      return was_ruling;
    case IndexDecision::KeepCurrent:
      return false;
    case IndexDecision::Refuse:
      ruling_.reset();
      refused_ = true;
      refusal_ = verdict.message;
      return was_ruling || !was_refused;
    case IndexDecision::Accept:
      break;
  }
  const bool same = ruling_ && ruling_->serial == verdict.index->serial && ruling_->files.size() == verdict.index->files.size();
  if (trust_.KeysConfigured())
    RaiseIndexFloor(settings_, location_, *verdict.index,
                    crypto::ToHex(crypto::Sha256Of(*bytes).value_or(crypto::Sha256Digest{})));
  if (cache_ && fresh) cache_->StoreIndex(*bytes, validators);
  ruling_ = std::move(verdict.index);
  refused_ = false;
  return !same || was_refused;
}

}  // namespace tw
