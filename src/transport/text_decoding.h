#pragma once

#include <string>
#include <string_view>

namespace tw {

// The text of a catalogue document: valid UTF-8 stays as it is, anything
// else is read as Windows-1252, the code page such documents are written in
// on Windows. A leading UTF-8 byte-order mark is dropped.
std::string DecodeDocumentText(std::string_view bytes);

bool IsValidUtf8(std::string_view bytes);

}  // namespace tw
