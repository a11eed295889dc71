#include "startup/switches.h"

#include "common/text.h"

namespace tw {

std::optional<KeyedCollection<std::string>> ParseSwitches(
    std::string_view text, std::string_view separator, std::span<const std::string_view> names) {
  if (text.empty() || separator.empty()) return std::nullopt;
  KeyedCollection<std::string> switches;
  std::optional<std::string> current;
  for (std::string_view word : Split(text, separator)) {
    const std::string_view* name = nullptr;
    for (const auto& candidate : names) {
      if (EqualsIgnoreCase(word, candidate)) {
        name = &candidate;
        break;
      }
    }
    if (name) {
      // A switch given twice keeps its first entry; the words after the
      // second occurrence extend that entry.
      current = std::string(*name);
      switches.Add(*current, *current);
    } else if (!current) {
      switches.Add(std::string(word));
    } else {
      std::string& value = *switches.Find(*current);
      value = EqualsIgnoreCase(value, *current)
                  ? std::string(word)
                  : std::string(TrimBlanks(value + " " + std::string(word)));
    }
  }
  return switches;
}

namespace {

// The long form first; the short one only when the long one gives nothing.
std::string Lookup(const std::optional<KeyedCollection<std::string>>& switches,
                   std::string_view long_name, std::string_view short_name) {
  if (!switches) return {};
  const std::string* value = switches->Find(long_name);
  if (!value || value->empty()) value = switches->Find(short_name);
  return value ? *value : std::string();
}

}  // namespace

MainWindowSwitches ReadMainWindowSwitches(std::string_view command_line) {
  const auto switches = ParseSwitches(command_line, " ", kSwitchNames);
  MainWindowSwitches fields;
  if (std::string v = Lookup(switches, "@module", "@m"); !v.empty() && v != "@m" && v != "@module")
    fields.ModuleName = v;
  const std::string confirm = Lookup(switches, "@confirm", "@c");
  fields.ConfirmMode = confirm == "@confirm" || confirm == "@c" || confirm == "1";
  const std::string hidden = Lookup(switches, "@hidden", "@h");
  fields.HiddenMode = hidden == "@hidden" || hidden == "@h" || hidden == "1";
  if (std::string v = Lookup(switches, "@batch", "@b"); !v.empty() && v != "@b" && v != "@batch")
    fields.BatchCommand = v;
  return fields;
}

}  // namespace tw
