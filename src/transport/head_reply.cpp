#include "transport/head_reply.h"

#include <string>

#include "common/text.h"
#include "transport/http_date.h"

namespace tw {

bool HeadReplyComplete(std::string_view received) {
  return received.find("\r\n\r\n") != std::string_view::npos ||
         received.find("\n\n") != std::string_view::npos ||
         received.find("\n\r\n") != std::string_view::npos;
}

ReplyProgress CollectHeadReply(std::string& received, std::string_view chunk, size_t max_reply) {
  // Only the new bytes and the three before them can complete the blank line.
  const size_t look_from = received.size() < 3 ? 0 : received.size() - 3;
  received.append(chunk);
  if (HeadReplyComplete(std::string_view(received).substr(look_from))) return ReplyProgress::Complete;
  return received.size() > max_reply ? ReplyProgress::TooLarge : ReplyProgress::More;
}

HeadReply ScanHeadReply(std::string_view received, int bias) {
  static constexpr std::string_view kLabel = "last-modified:";
  HeadReply reply;
  auto lines = Split(received, "\n");
  // Lines end in LF or CR LF; the piece after the final line end is not a
  // whole line.
  for (size_t i = 0; i + 1 < lines.size(); ++i)
    if (!lines[i].empty() && lines[i].back() == '\r') lines[i].remove_suffix(1);
  for (size_t i = 1; i + 1 < lines.size() && !lines[i].empty(); ++i) {
    const std::string_view line = lines[i];
    if (line.size() < kLabel.size() || !EqualsIgnoreCase(line.substr(0, kLabel.size()), kLabel))
      continue;
    // Blanks and tabs around a value are no part of it.
    std::string_view value = line.substr(kLabel.size());
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    reply.last_modified = ParseHttpDate(ReplaceAll(value, " gmt", " GMT"), bias);
    break;
  }
  const auto words = Split(lines[0], " ");
  reply.ok = reply.last_modified.has_value() && words.size() > 1 && words[1] == "200";
  return reply;
}

}  // namespace tw
