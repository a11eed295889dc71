// The modules of a suite folder and their places in the repository. The
// suite folder holds the repository's top folders in any letter case
// (Eseguibili with Componenti inside, Dati with Utenti inside, System,
// Fonts, Windir); a folder named {PCID} stands for the per-computer folder.
// Paths are mapped exactly as the program maps them, so that a module's
// repository path is the one the program will ask for.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tw::publisher {

struct SuiteModule {
  std::string file;             // the file in the suite folder
  std::string placeholder;      // "{ESEGUIBILI}\Prog.exe"
  std::string repository_path;  // "/eseguibili/prog.exe"
  std::string document_path;    // "/eseguibili/prog.exe.ini"
};

struct SuiteScan {
  std::vector<SuiteModule> modules;  // ordered by repository path
  std::vector<std::string> skipped;  // Italian notes on files left out
  std::vector<std::string> errors;   // files that cannot be published
};

SuiteScan ScanSuite(const std::string& suite_folder);

// The repository path the program asks for a module path of a document
// ("{DATI}\\Archivio.mdb" -> "/dati/archivio.mdb"); "" for one it would refuse.
std::string RepositoryPathOf(std::string_view module);

}  // namespace tw::publisher
