// The program's string table: every text a user sees, by number.
#pragma once

#include <string>
#include <string_view>

namespace tw {

// The text with `id`; "" for a number the table does not hold.
std::string_view LoadResString(int id);

// The program's title, on every window and message box.
inline constexpr std::string_view kProgramTitle = "Tarnwick";

// The icon a message box carries, by the platform's message-box styles.
enum class MessageIcon { Error = 16, Question = 32, Exclamation = 48, Information = 64 };

}  // namespace tw
