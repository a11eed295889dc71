#include "startup/repository_dialog.h"

#include <cstdio>
#include <optional>

#include "catalogue/index_gate.h"
#include "common/date_value.h"
#include "common/settings_keys.h"
#include "common/text.h"
#include "platform/settings_store.h"
#include "startup/environment.h"
#include "startup/read_fault_text.h"
#include "transport/repository.h"
#include "transport/repository_location.h"

namespace tw {
namespace {

// Every repository holds this file; a location that answers for it is one.
constexpr std::string_view kProbePath = "/TestServer.html";

// With a key the repository must hold an index this program would accept
// (its floor for that location included); no HEAD is asked then. Nothing
// when it does; else why not, for the message: the reason a repository
// that never answered gave, or the index's error.
std::optional<std::string> IndexFailure(Repository& repository, const TrustPolicy& trust, SettingsStore& settings,
                                        int utc_bias) {
  const IndexClock clock = SystemIndexClock([utc_bias] { return utc_bias; });
  // Asked as the operations ask it: bounded to its first byte like them.
  const RawReply reply = repository.HttpGetConditional("/" + std::string(kIndexFileName), Validators{});
  const std::optional<std::string> bytes = reply.status == 200 ? std::optional<std::string>(reply.body) : std::nullopt;
  const IndexVerdict verdict = JudgeIndex(bytes, trust, ReadIndexFloor(settings, repository.URL()), nullptr,
                                          clock.unix_now(), clock.local_time);
  if (verdict.decision == IndexDecision::Accept) return std::nullopt;
  if (reply.status == 0 && verdict.number == kIndexMissingError) {
    const std::string message = IndexErrorText(kRepositoryUnreachableError, repository.URL());
    std::fprintf(stderr, "Tarnwick: %s\n", message.c_str());
    const std::optional<ReadFault> fault = repository.TakeReadFault();
    return fault ? ReadFaultText(*fault) : message;
  }
  std::fprintf(stderr, "Tarnwick: %s\n", verdict.message.c_str());
  return verdict.message;
}

// Nothing when the location is a repository; else why not, as far as
// that is known ("" when it is not).
std::optional<std::string> TestRepository(const std::string& location, const Environment& env,
                                          RepositoryDialogParts& parts) {
  const TrustPolicy& trust = env.Trust;
  parts.host.ShowSplash();
  std::optional<std::string> failure = "";
  if (std::unique_ptr<Repository> repository = parts.opener.Open(location)) {
    DateValue ignored;
    if (trust.KeysConfigured()) {
      failure = IndexFailure(*repository, trust, parts.settings, env.TimeZoneBias);
    } else if (repository->HttpHead(kProbePath, ignored)) {
      failure.reset();
    } else if (const auto fault = repository->LastHeadFault()) {
      failure = ReadFaultText(*fault);
    }
  }
  parts.host.HideSplash();
  return failure;
}

}  // namespace

std::string CleanTypedAddress(std::string_view typed) {
  std::string address = ToLower(TrimBlanks(typed));
  // A repository reached over TLS keeps its scheme: without it the
  // location means plain HTTP.
  if (StartsWith(address, "https://")) return "https://" + CleanTypedAddress(address.substr(8));
  address = ReplaceAllIgnoreCase(address, "http://", "");
  address = ReplaceAllIgnoreCase(address, "ftp://", "");
  // A pasted address often carries a blank at either end; the test would
  // fail on it although the repository is fine.
  return std::string(TrimBlanks(address));
}

StandaloneOutcome RunRepositoryDialog(const CommandText& command, Environment& env,
                                      RepositoryDialogParts parts) {
  const std::string suggested =
      env.RemoteHost.empty() ? DefaultRepositoryURL() : LocationUrl(env.RemoteHost);
  // Host mode asks again; the stored address stays until a new one passes.
  if (command.host_mode) env.RemoteHost.clear();
  if (env.RemoteHost.empty() && !parts.view.CanAsk()) {
    parts.host.ShowMessage(905);
    return StandaloneOutcome::NoDisplay;
  }
  while (env.RemoteHost.empty()) {
    const OptionsAnswer answer = parts.view.Ask(suggested, env.HideSetting);
    env.HideSetting = answer.hide;
    // Stored whichever button closed the window; a failed write is passed over.
    parts.settings.Write(settings::kApplication, settings::kSection, settings::kHide,
                         answer.hide ? "1" : "0");
    if (answer.path.empty() && !command.host_mode) return StandaloneOutcome::EndProgram;
    if (command.host_mode && TrimBlanks(answer.path).empty()) return StandaloneOutcome::EndProgram;
    const std::string location = CleanTypedAddress(answer.path);
    if (const auto failure = TestRepository(location, env, parts)) {
      // The user learns whether the address is wrong or the server away.
      if (failure->empty()) parts.host.ShowMessage(906);
      else parts.host.ShowMessageWithDetail(906, *failure);
      continue;
    }
    // Stored as typed; this run goes on with the location as the next
    // start reads it, a trailing "/" dropped, so that the whole suite's
    // document is the base path + ".ini".
    env.RemoteHost = CleanStoredRemoteHost(location);
    parts.settings.Write(settings::kApplication, settings::kSection, settings::kRemoteHost, location);
    parts.settings.Flush();
    parts.host.ShowMessage(907);
    if (command.host_mode) return StandaloneOutcome::EndProgram;
  }
  return command.text.empty() ? StandaloneOutcome::EndProgram : StandaloneOutcome::ShowMainWindow;
}

}  // namespace tw
