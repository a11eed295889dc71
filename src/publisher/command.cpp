#include "publisher/command.h"

#include "common/text.h"
#include "publisher/publish.h"

namespace tw::publisher {
namespace {

constexpr const char* kUsage =
    "Uso:\n"
    "  tarnwick-publish keygen FILE_CHIAVE_PRIVATA\n"
    "  tarnwick-publish public-key FILE_CHIAVE_PRIVATA\n"
    "  tarnwick-publish publish SUITE REPOSITORY [--key FILE_CHIAVE_PRIVATA] [--suite-document]\n"
    "                   [--name NOME] [--store CARTELLA] [--expires GIORNI] [--trusted-keys CHIAVI]\n"
    "                   [--trust-repository] [--deltas N]\n"
    "  tarnwick-publish refresh REPOSITORY --key FILE_CHIAVE_PRIVATA [--expires GIORNI] [--out FILE]\n"
    "                   [--name NOME] [--store CARTELLA] [--trust-repository]\n"
    "  tarnwick-publish export-settings REPOSITORY\n"
    "  tarnwick-publish verify REPOSITORY --public-key CHIAVE [--public-key CHIAVE ...]\n";

int Usage(std::ostream& err) {
  err << kUsage;
  return 2;
}

// A mistake the usage alone would not point at.
int UsageBecause(std::string_view reason, std::ostream& err) {
  err << "tarnwick-publish: " << reason << "\n";
  return Usage(err);
}

// The options of the signed index; false when `args[i]` is none of them
// (or lacks its value). `i` moves past what was taken.
bool TakeIndexOption(const std::vector<std::string>& args, size_t& i, IndexSettings& settings, bool& bad) {
  const bool has_value = i + 1 < args.size();
  if (args[i] == "--name" && has_value) settings.name = args[++i];
  else if (args[i] == "--store" && has_value) settings.store = args[++i];
  else if (args[i] == "--trusted-keys" && has_value) settings.trusted_keys.push_back(args[++i]);
  else if (args[i] == "--trust-repository") settings.trust_repository = true;
  else if (args[i] == "--expires" && has_value) {
    const auto days = ParseInteger(args[++i]);
    bad = !days || *days < 1 || *days > 3650;
    if (!bad) settings.expires_days = *days;
  } else {
    return false;
  }
  return true;
}

int RunPublish(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  PublishOptions options;
  std::vector<std::string> positional;
  bool bad = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--key" && i + 1 < args.size()) options.key_file = args[++i];
    else if (args[i] == "--suite-document") options.suite_document = true;
    else if (args[i] == "--deltas" && i + 1 < args.size()) {
      const std::string& count = args[++i];
      if (count.empty() || count.size() > 3 || count.find_first_not_of("0123456789") != std::string::npos)
        return UsageBecause("--deltas vuole un numero di versioni (0-999)", err);
      options.deltas = std::stoi(count);
    }
    else if (TakeIndexOption(args, i, options.index, bad)) continue;
    else if (args[i].starts_with("--")) return Usage(err);
    else positional.push_back(args[i]);
  }
  if (bad) return UsageBecause("--expires vuole un numero di giorni da 1 a 3650", err);
  if (positional.size() != 2) return Usage(err);
  options.suite = positional[0];
  options.repository = positional[1];
  return Publish(options, out, err);
}

int RunVerify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> keys;
  std::vector<std::string> positional;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--public-key" && i + 1 < args.size()) keys.push_back(args[++i]);
    else if (args[i].starts_with("--")) return Usage(err);
    else positional.push_back(args[i]);
  }
  if (keys.empty())
    return UsageBecause("verify vuole almeno una chiave pubblica (--public-key), quella stampata da keygen", err);
  if (positional.size() != 1) return Usage(err);
  return Verify(positional[0], keys, out, err);
}

int RunRefresh(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  IndexSettings settings;
  std::string key_file, out_file;
  std::vector<std::string> positional;
  bool bad = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--key" && i + 1 < args.size()) key_file = args[++i];
    else if (args[i] == "--out" && i + 1 < args.size()) out_file = args[++i];
    else if (TakeIndexOption(args, i, settings, bad)) continue;
    else if (args[i].starts_with("--")) return Usage(err);
    else positional.push_back(args[i]);
  }
  if (bad) return UsageBecause("--expires vuole un numero di giorni da 1 a 3650", err);
  if (key_file.empty()) return UsageBecause("refresh vuole la chiave privata (--key)", err);
  if (positional.size() != 1) return Usage(err);
  return Refresh(positional[0], key_file, settings, out_file, out, err);
}

}  // namespace

int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return Usage(err);
  const std::string& command = args[0];
  if (command == "--help" || command == "-h" || command == "help") {
    out << kUsage;
    return 0;
  }
  if (command == "keygen" && args.size() == 2) return Keygen(args[1], out, err);
  if (command == "public-key" && args.size() == 2) return PrintPublicKey(args[1], out, err);
  if (command == "publish") return RunPublish(args, out, err);
  if (command == "verify") return RunVerify(args, out, err);
  if (command == "refresh") return RunRefresh(args, out, err);
  if (command == "export-settings" && args.size() == 2) return ExportSettings(args[1], out, err);
  return Usage(err);
}

}  // namespace tw::publisher
