// Module paths come from catalogue documents, from the command line and
// from automation calls, so none of them is trusted: a path is taken only
// when it names a file inside one of the suite's folders and cannot mean
// anything else to the local file system, to the repository's web server or
// to a command line. Every caller asks here, so that the rule is one rule.
//
// A path is taken when, in placeholder form:
//   - it starts with a folder token ("{ESEGUIBILI}", "{DATI}", ...; not
//     "{PCID}", which only marks the per-computer part below a folder),
//     followed by "\" (or "{PCID}") and at least one name;
//   - no other folder token follows ("{PCID}" excepted);
//   - no name is empty, made of dots and blanks only ("." and ".." in any
//     spelling Windows reads as them, such as "..." or ". ."), ends in a dot
//     or a blank (Windows drops those), or is a Windows device name ("NUL",
//     "COM1.txt");
//   - no name holds a control character, a double quote (it would split the
//     registration command line), a character Windows forbids in names
//     (* : < > ? |) or one that changes a URL's meaning (# % @; "%" because
//     a server would decode "%2e%2e" into "..");
//   - the file name does not end in ".new", ".old" or ".part" (any case):
//     those are the names a replacement gives its companions beside the
//     file, so such a module would be destroyed by updating its neighbour;
//   - the text is UTF-8 of at most 1,024 bytes;
//   - resolved to the local form, it lies inside its token's folder (when
//     this computer has that folder).
// Full local paths and repository paths are judged by their placeholder
// form, so "/opt/suite/Eseguibili/Prog" is the same module as
// "{ESEGUIBILI}\Prog"; a path outside the suite's folders has no token and
// is refused.
#pragma once

#include <string>
#include <string_view>

namespace tw {

class PathMapping;

enum class ModulePathFault {
  kNone,
  kInvalidText,         // not UTF-8, or too long
  kNoFolderToken,       // not below a folder of the suite
  kNoFileName,          // the folder alone, or a name glued to the token
  kSecondToken,         // another folder token further on
  kEmptyName,           // two separators in a row, or one at the end
  kDotName,             // ".", "..", or a name ending in a dot or a blank
  kDeviceName,          // "CON", "NUL", "COM1", ...
  kForbiddenCharacter,  // see above
  kOutsideFolder,       // resolved, not inside the token's folder
  kCompanionName,       // named like a replacement's companion file
};

ModulePathFault FindModulePathFault(const PathMapping& paths, std::string_view path);
// The same for a path whose placeholder and local forms are known already.
ModulePathFault FindModulePathFault(const PathMapping& paths, std::string_view path, std::string_view generic,
                                    std::string_view local);

inline bool IsConfinedModulePath(const PathMapping& paths, std::string_view path) {
  return FindModulePathFault(paths, path) == ModulePathFault::kNone;
}

// The program of a command line as the suite writes them (post-setup
// entries): its first word, blanks and tabs before it skipped; double
// quotes only delimit (they are dropped, and blanks between them belong to
// the word), as the program starter reads it.
std::string CommandLineProgram(std::string_view command_line);

}  // namespace tw
