#include "publisher/module_document.h"

#include "catalogue/ini_document.h"
#include "trust/signature_section.h"
#include "trust/trust_policy.h"
#include "common/text.h"

namespace tw::publisher {
namespace {

constexpr std::string_view kEnd = "\r\n";

ModuleINIInfo ReadExisting(std::string_view existing) {
  ModuleINIInfo info;
  ParseModuleINI(ReadSignatureSection(existing).signed_bytes, info);
  return info;
}

void AppendPair(std::string& out, std::string_view key, std::string_view value) {
  out.append(key).append("=").append(value).append(kEnd);
}

void AppendSection(std::string& out, std::string_view header, const KeyedCollection<std::string>& keys) {
  if (keys.Count() == 0) return;
  out.append(header).append(kEnd);
  for (const auto& item : keys)
    if (item.key) AppendPair(out, *item.key, item.value);
}

// The [Release] keys of `info` other than those named in `replaced`.
void AppendKeptReleaseKeys(std::string& out, const ModuleINIInfo& info,
                           std::initializer_list<std::string_view> replaced) {
  for (const auto& item : info.ReleaseKeys) {
    if (!item.key) continue;
    bool skip = false;
    for (std::string_view name : replaced) skip = skip || EqualsIgnoreCase(*item.key, name);
    if (!skip) AppendPair(out, *item.key, item.value);
  }
}

}  // namespace

ComposedDocument ComposeModuleDocument(std::string_view existing, std::string_view version, std::string_view sha256,
                                       const std::vector<std::string>& deltas) {
  const ModuleINIInfo info = ReadExisting(existing);
  ComposedDocument out;
  out.dropped_version = version.empty() && !info.GetKey("Release", "Version").empty();
  std::string& text = out.text;
  text.append("[Release]").append(kEnd);
  if (!version.empty()) AppendPair(text, "Version", version);
  AppendPair(text, kSha256Key, sha256);
  AppendKeptReleaseKeys(text, info, {"Version", kSha256Key});
  AppendSection(text, "[Setup]", info.SetupKeys);
  AppendSection(text, "[PostSetup]", info.PostSetupKeys);
  if (!deltas.empty()) {
    text.append("[Delta]").append(kEnd);
    // Named after the old version, as the patch file is.
    for (const std::string& entry : deltas) AppendPair(text, entry.substr(0, 16), entry);
  }
  return out;
}

std::string ComposeSuiteDocument(std::string_view existing, const std::vector<std::string>& modules) {
  const ModuleINIInfo info = ReadExisting(existing);
  std::string text;
  if (info.ReleaseKeys.Count() > 0) {
    text.append("[Release]").append(kEnd);
    AppendKeptReleaseKeys(text, info, {kSha256Key});
  }
  text.append("[Setup]").append(kEnd);
  for (size_t i = 0; i < modules.size(); ++i) AppendPair(text, std::to_string(i + 1), modules[i]);
  AppendSection(text, "[PostSetup]", info.PostSetupKeys);
  return text;
}

std::string FinishDocument(std::string_view content, const crypto::Ed25519PrivateKey* key) {
  if (!key) return std::string(content);
  const std::string signed_bytes = EndLastLine(content);
  const auto signature = key->Sign(signed_bytes);
  if (!signature) return {};
  return AppendSignatureSection(signed_bytes, *signature);
}

}  // namespace tw::publisher
