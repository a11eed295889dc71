// The signature a catalogue document may carry at its end:
//
//   [Release]
//   Version=1.2.0.0
//   [Signature]
//   Ed25519=<base64 of the 64-byte signature>
//
// The signature covers every byte before the line that opens the section,
// exactly as the repository serves them (line ends, a byte-order mark and
// all). Readers that do not check signatures skip the section like any
// other they do not know.
//
// The line that opens the section is the first line, counted from the top,
// that
//   - starts with "[" (after a UTF-8 byte-order mark, on the first line),
//   - and, without its line end (LF, or CR LF) and without blanks, tabs and
//     CRs at its end, and with every "[" and "]" removed, reads "Signature"
//     in any letter case.
// This is the header rule of the catalogue reader, a little lenient at the
// end of the line, so that both always agree on where the section starts.
// Everything from that line on belongs to the section and is covered by
// nothing: it may hold only blank lines and "key=value" lines (blanks
// around key and value allowed), exactly one of them with the key
// "Ed25519"; other keys are passed over. Another section header after it
// (a second [Signature] included), a line that is neither blank nor a pair,
// a missing or repeated Ed25519 key, or a value that is not the base64 of
// exactly 64 bytes make the document malformed.
//
// Whoever reads a signed document must read only the signed bytes, never
// what follows: a line appended after the signature would otherwise slip in
// unsigned.
#pragma once

#include <string>
#include <string_view>

#include "platform/openssl/crypto.h"

namespace tw {

enum class SignatureSectionStatus { Absent, Present, Malformed };

struct SignatureSection {
  SignatureSectionStatus status = SignatureSectionStatus::Absent;
  // The bytes before the opening line; the whole document when there is no
  // signature section.
  std::string_view signed_bytes;
  crypto::Ed25519Signature signature{};  // when Present
};

SignatureSection ReadSignatureSection(std::string_view document);

// `content` with a CR LF added when its last line has no line end: the
// opening line of the section must start a line of its own, so this is
// what gets signed.
std::string EndLastLine(std::string_view content);
// The signed document: `signed_bytes` (as EndLastLine gives them) followed
// by the section holding `signature`, with CR LF line ends.
std::string AppendSignatureSection(std::string_view signed_bytes, const crypto::Ed25519Signature& signature);

}  // namespace tw
