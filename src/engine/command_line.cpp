#include "engine/command_line.h"

namespace tw {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view text) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i == text.size()) return words;

  // The program: no escapes, quotes only delimit.
  std::string program;
  bool quoted = false;
  for (; i < text.size() && (quoted || !IsBlank(text[i])); ++i) {
    if (text[i] == '"')
      quoted = !quoted;
    else
      program += text[i];
  }
  words.push_back(program);

  for (;;) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i == text.size()) break;
    std::string word;
    bool in_quotes = false;
    while (i < text.size() && (in_quotes || !IsBlank(text[i]))) {
      size_t backslashes = 0;
      while (i < text.size() && text[i] == '\\') ++backslashes, ++i;
      if (i < text.size() && text[i] == '"') {
        word.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          word += '"';
        } else if (in_quotes && i + 1 < text.size() && text[i + 1] == '"') {
          word += '"';
          ++i;
        } else {
          in_quotes = !in_quotes;
        }
        ++i;
      } else {
        word.append(backslashes, '\\');
        if (i < text.size() && (in_quotes || !IsBlank(text[i]))) word += text[i++];
      }
    }
    words.push_back(word);
  }
  return words;
}

}  // namespace tw
