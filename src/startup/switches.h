// The main window's command-line switches.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/keyed_collection.h"

namespace tw {

// Long and short form of each switch, in this order.
inline constexpr std::array<std::string_view, 8> kSwitchNames = {
    "@module", "@m", "@confirm", "@c", "@batch", "@b", "@hidden", "@h"};

// Splits `text` at `separator` into words; a word equal to a name (case
// ignored) starts that switch, and the words after it, up to the next switch,
// form its value, joined by single blanks. A switch given alone has its own
// name as value. Nothing (no collection) for an empty text.
std::optional<KeyedCollection<std::string>> ParseSwitches(
    std::string_view text, std::string_view separator, std::span<const std::string_view> names);

struct MainWindowSwitches {
  std::string ModuleName;    // "" = every module of the suite
  bool ConfirmMode = false;  // ask before downloading
  bool HiddenMode = false;   // list, update and close unseen
  std::string BatchCommand;  // started when the window closes; "" = none
};

MainWindowSwitches ReadMainWindowSwitches(std::string_view command_line);

}  // namespace tw
