// What the program reads from the reply to a HEAD request: the status word
// and the Last-Modified header.
#pragma once

#include <optional>
#include <string_view>

#include "common/date_value.h"

namespace tw {

// A HEAD reply has no body: reading stops at the blank line that ends the
// header block, or fails past this many bytes.
inline constexpr size_t kMaxHeadReply = 64 * 1024;

struct HeadReply {
  bool ok = false;  // status "200" and a Last-Modified header
  std::optional<DateValue> last_modified;  // set whenever the header is there
};

// True once `received` holds the whole header block (up to the first empty
// line, CR LF or bare LF line ends).
bool HeadReplyComplete(std::string_view received);

enum class ReplyProgress { More, Complete, TooLarge };

// Appends a chunk of reply bytes as they arrive and tells whether the reply
// is now whole, or has grown past `max_reply` without being whole.
ReplyProgress CollectHeadReply(std::string& received, std::string_view chunk,
                               size_t max_reply = kMaxHeadReply);

// Only header lines whose name is Last-Modified (any case) count; lines
// after the header block, and headers whose names merely end in it, do not.
HeadReply ScanHeadReply(std::string_view received, int bias);

}  // namespace tw
