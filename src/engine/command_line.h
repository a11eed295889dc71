// Command lines as the suite writes them (post-setup programs, registration,
// the batch command), split by the rules Windows programs use, so that they
// can be started directly and never through a shell.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tw {

// The program is the first word; a program in double quotes ends at the
// next quote. Arguments follow the C runtime's rules: blanks and tabs
// separate them outside quotes; 2n backslashes before a quote give n
// backslashes and the quote opens or closes a quoted part, 2n+1 give n and a
// literal quote; other backslashes are literal; "" inside a quoted part is a
// literal quote.
std::vector<std::string> SplitCommandLine(std::string_view command_line);

}  // namespace tw
