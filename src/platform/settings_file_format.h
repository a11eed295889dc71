// The text of the per-user settings file: an INI document that a person can
// read and pre-seed ("[Tarnwick]" then "RemoteHost=server/base"). Keys may be
// full local paths, so the characters that would break the file's syntax or
// the store's key structure are percent-encoded, and nothing else is.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace tw::settings_file {

// Full key ("Group/Sub/key") to value. The last "/" separates the group
// from the key; keys themselves never hold a raw "/" (see EncodeKey).
using Entries = std::map<std::string, std::string>;

// Escapes "%", "\", "/", "=", control characters, blanks at either end and a
// leading "[", ";" or "#".
std::string EncodeKey(std::string_view key);
// Escapes "%", control characters and blanks at either end.
std::string EncodeValue(std::string_view value);
// Undoes either encoding; a "%" not followed by two hex digits stays as is.
std::string Decode(std::string_view text);

// Reads a document; lines it cannot read are skipped. Group headers may use
// "\" as well as "/" between their parts.
Entries Parse(std::string_view text);
std::string Serialize(const Entries& entries);

}  // namespace tw::settings_file
