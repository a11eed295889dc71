// Text helpers shared by every subsystem. All text inside the program is
// UTF-8; letter case is ignored for ASCII and for the accented Latin-1
// letters (U+00C0..U+00DE against U+00E0..U+00FE), whose upper and lower
// forms have the same length in UTF-8, so folding never moves a position.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

std::string ToUpper(std::string_view text);
std::string ToLower(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
// The byte at `i` in upper case (a Latin-1 letter's second byte too).
unsigned char FoldedByteAt(std::string_view text, size_t i);
// Equal for texts that are equal ignoring case.
size_t HashIgnoreCase(std::string_view text);

// Position of the first occurrence of `needle` at or after `from`, letter
// case ignored; npos when there is none.
size_t FindIgnoreCase(std::string_view haystack, std::string_view needle, size_t from = 0);

// Every occurrence, left to right, without overlaps. An empty search text
// changes nothing.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);
std::string ReplaceAllIgnoreCase(std::string_view text, std::string_view from, std::string_view to);

// Removes leading and trailing blanks (the space character only).
std::string_view TrimBlanks(std::string_view text);

// Splits at every occurrence of `separator` (which must not be empty); empty
// pieces are kept, so "a  b" split at " " gives "a", "", "b".
std::vector<std::string_view> Split(std::string_view text, std::string_view separator);

bool StartsWith(std::string_view text, std::string_view prefix);
bool EndsWith(std::string_view text, std::string_view suffix);

// A whole decimal integer, optionally signed, nothing else around it.
std::optional<long long> ParseInteger(std::string_view text);

// A number as the platform's text-to-number conversion reads it: optional
// blanks around, sign, digits, one decimal separator ("." or ","), exponent.
std::optional<double> ParseNumber(std::string_view text);

// Text to Boolean: a number (0 false, anything else true) or the words True
// and False in any letter case; anything else does not convert.
std::optional<bool> ParseBoolean(std::string_view text);

}  // namespace tw
