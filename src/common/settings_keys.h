// Where the program keeps its settings: the application (company) name, the
// sections, which all begin with the product name, and the keys.
#pragma once

#include <string_view>

namespace tw::settings {

inline constexpr std::string_view kApplication = "Velmora s.r.l.";
inline constexpr std::string_view kSection = "Tarnwick";
// One entry per installed file, named by its full local path: the
// repository's Last-Modified date of the installed copy.
inline constexpr std::string_view kLastModifiedSection = "Tarnwick\\LastModifiedDate";
// One entry per installed file a patch was considered for, named by its
// full local path: "SHA256 SIZE SECONDS", the file's digest and the size
// and modification time it had when the digest was computed.
inline constexpr std::string_view kInstalledDigestSection = "Tarnwick\\InstalledDigest";
inline constexpr std::string_view kRemoteHost = "RemoteHost";
// The post-setup programs recorded before their modules were put in place
// and not run yet: one line each, the module's local path, a tab and the
// command line.
inline constexpr std::string_view kPendingPostSetup = "PendingPostSetup";
inline constexpr std::string_view kHide = "Hide";
// The publishers' Ed25519 public keys (base64, separated by blanks) whose
// signatures the catalogue documents must carry.
inline constexpr std::string_view kPublicKey = "PublicKey";

}  // namespace tw::settings
