// Message boxes with the program's title, Italian buttons and the icon of
// the platform's message-box style.
#pragma once

#include <string_view>

#include "resources/string_table.h"

namespace tw {

// Shows `text` with an OK button and waits for it.
void ShowMessageBox(std::string_view text, MessageIcon icon);

// The icon each message of the string table carries.
MessageIcon IconOfMessage(int id);

}  // namespace tw
