#include "catalogue/module_path_check.h"

#include <gtest/gtest.h>

#include "catalogue/path_mapping.h"

namespace tw {
namespace {

using Fault = ModulePathFault;

PathMapping Posix() {
  return PathMapping(MakePlaceholderTable({"/opt/suite", "\\pc1", "/home/u/.local/lib", "/home/u/.local/share/fonts",
                                           "/home/u/.local/share/Velmora/Windows"},
                                          '/'),
                     "pc1", '/');
}

PathMapping Windows() {
  return PathMapping(
      MakePlaceholderTable({"C:\\Suite", "/PC1", "C:\\WINDOWS\\system32", "C:\\WINDOWS\\Fonts", "C:\\WINDOWS"}, '\\'),
      "PC1", '\\');
}

TEST(ModulePathCheck, EveryFormOfAPathInsideASuiteFolderIsTaken) {
  const PathMapping posix = Posix();
  for (const char* path :
       {"{ESEGUIBILI}\\Prog.exe", "{eseguibili}\\PROG.EXE", "{COMPONENTI}\\Griglia.ocx", "{DATI}/Archivi/Clienti.mdb",
        "{UTENTI}{PCID}\\Profilo.ini", "{UTENTI}\\{pcid}\\Profilo.ini", "{FONTS}\\Velmora Sans.ttf",
        "{WINDOWS}\\velmora.ini", "{SYSTEM}\\msvbvm60.dll", "{DATI}\\Città\\perché.txt", "{DATI}\\.nascosto",
        "{DATI}\\a..b", "{DATI}\\{GUID-1234}.tlb", "{DATI}\\a'b&c=d+e;f~g$h!.txt",
        "/opt/suite/Eseguibili/Prog.exe", "/eseguibili/prog.exe", "/dati/utenti{pcid}/profilo.ini"})
    EXPECT_EQ(FindModulePathFault(posix, path), Fault::kNone) << path;
  const PathMapping win = Windows();
  for (const char* path : {"{ESEGUIBILI}\\Prog.exe", "c:\\suite\\eseguibili\\Prog.exe", "C:\\WINDOWS\\Fonts\\v.ttf"})
    EXPECT_EQ(FindModulePathFault(win, path), Fault::kNone) << path;
}

TEST(ModulePathCheck, DotNamesAreRefusedInEverySpelling) {
  const PathMapping posix = Posix();
  for (const char* path :
       {"{ESEGUIBILI}\\..\\..\\x", "{ESEGUIBILI}/../x", "{ESEGUIBILI}\\a/..\\..\\x", "{ESEGUIBILI}\\.\\x",
        "{ESEGUIBILI}\\..", "{ESEGUIBILI}\\...\\x", "{ESEGUIBILI}\\. .\\x", "{ESEGUIBILI}\\.. \\x",
        "{ESEGUIBILI}\\x.", "{ESEGUIBILI}\\x ", "/opt/suite/Eseguibili/../../etc/passwd",
        "/eseguibili/../../x", "{UTENTI}{PCID}\\..\\..\\x"})
    EXPECT_EQ(FindModulePathFault(posix, path), Fault::kDotName) << path;
  // Percent-encoded dots would become ".." on the server.
  for (const char* path : {"{ESEGUIBILI}\\%2e%2e\\x", "{ESEGUIBILI}\\.%2E\\x", "{ESEGUIBILI}\\%252e%252e\\x"})
    EXPECT_EQ(FindModulePathFault(posix, path), Fault::kForbiddenCharacter) << path;
  EXPECT_EQ(FindModulePathFault(Windows(), "C:\\Suite\\Eseguibili\\..\\..\\Windows\\x"), Fault::kDotName);
}

TEST(ModulePathCheck, PathsOutsideTheSuiteFoldersAreRefused) {
  const PathMapping posix = Posix();
  for (const char* path : {"/etc/passwd", "/tmp/x", "\\\\server\\share\\x", "x.exe", "Eseguibili\\x.exe", "",
                           "/opt/suite/x", "{PCID}\\x", "{ALTRO}\\x", "x{ESEGUIBILI}\\y", " {ESEGUIBILI}\\x",
                           "@127.0.0.2\\x", "http://altro.example/x"})
    EXPECT_EQ(FindModulePathFault(posix, path), Fault::kNoFolderToken) << path;
  EXPECT_EQ(FindModulePathFault(Windows(), "C:\\Temp\\x.exe"), Fault::kNoFolderToken);
  EXPECT_EQ(FindModulePathFault(Windows(), "D:x.exe"), Fault::kNoFolderToken);

  EXPECT_EQ(FindModulePathFault(posix, "{ESEGUIBILI}"), Fault::kNoFileName);
  EXPECT_EQ(FindModulePathFault(posix, "{ESEGUIBILI}\\"), Fault::kNoFileName);
  EXPECT_EQ(FindModulePathFault(posix, "{ESEGUIBILI}x.exe"), Fault::kNoFileName);  // beside the folder
  EXPECT_EQ(FindModulePathFault(posix, "{ESEGUIBILI}\\{DATI}\\x"), Fault::kSecondToken);
  EXPECT_EQ(FindModulePathFault(posix, "{DATI}\\a/opt/suite/Eseguibili/x"), Fault::kSecondToken);
  EXPECT_EQ(FindModulePathFault(posix, "{ESEGUIBILI}\\\\x"), Fault::kEmptyName);
  EXPECT_EQ(FindModulePathFault(posix, "{ESEGUIBILI}\\a\\"), Fault::kEmptyName);
}

TEST(ModulePathCheck, CharactersThatChangeAUrlACommandLineOrAWindowsNameAreRefused) {
  const PathMapping posix = Posix();
  for (const char* path :
       {"{ESEGUIBILI}\\a@b.exe", "{ESEGUIBILI}\\a?x=1", "{ESEGUIBILI}\\a#b", "{ESEGUIBILI}\\a%20b",
        "{ESEGUIBILI}\\C:\\x", "{ESEGUIBILI}\\a:stream", "{ESEGUIBILI}\\a\" /s \"b", "{ESEGUIBILI}\\a*",
        "{ESEGUIBILI}\\a<b", "{ESEGUIBILI}\\a>b", "{ESEGUIBILI}\\a|b", "{ESEGUIBILI}\\a\tb",
        "{ESEGUIBILI}\\a\nb", "{ESEGUIBILI}\\a\rb", "{ESEGUIBILI}\\a\x7f"})
    EXPECT_EQ(FindModulePathFault(posix, path), Fault::kForbiddenCharacter) << path;
  EXPECT_EQ(FindModulePathFault(posix, std::string_view("{ESEGUIBILI}\\a\0b", 16)), Fault::kForbiddenCharacter);
  for (const char* path : {"{ESEGUIBILI}\\NUL", "{ESEGUIBILI}\\con.txt", "{DATI}\\Com1.mdb", "{DATI}\\LPT9"})
    EXPECT_EQ(FindModulePathFault(posix, path), Fault::kDeviceName) << path;
  EXPECT_EQ(FindModulePathFault(posix, "{DATI}\\COM10.mdb"), Fault::kNone);
  EXPECT_EQ(FindModulePathFault(posix, "{DATI}\\console.txt"), Fault::kNone);
  // The names a replacement gives its companions, in any case; the same
  // word elsewhere in the name is harmless.
  for (const char* path : {"{ESEGUIBILI}\\Prog.new", "{DATI}\\Archivio.OLD", "{DATI}\\a\\b.Part", "{DATI}\\.new"})
    EXPECT_EQ(FindModulePathFault(posix, path), Fault::kCompanionName) << path;
  for (const char* path : {"{DATI}\\news.txt", "{DATI}\\old.new.txt", "{DATI}\\x.new\\y", "{DATI}\\x.partial"})
    EXPECT_EQ(FindModulePathFault(posix, path), Fault::kNone) << path;
  // Overlong UTF-8 for "." and stray bytes are not text.
  EXPECT_EQ(FindModulePathFault(posix, "{ESEGUIBILI}\\\xC0\xAE\xC0\xAE\\x"), Fault::kInvalidText);
  EXPECT_EQ(FindModulePathFault(posix, "{ESEGUIBILI}\\\xE0x"), Fault::kInvalidText);
  EXPECT_EQ(FindModulePathFault(posix, "{DATI}\\" + std::string(1100, 'a')), Fault::kInvalidText);
}

TEST(ModulePathCheck, WhatTheEnvironmentGaveMustHoldThePathToo) {
  // A folder this computer lacks leaves the judgement to the names.
  PathMapping no_system(MakePlaceholderTable({"/opt/suite", "\\pc1", "", "", ""}, '/'), "pc1", '/');
  EXPECT_EQ(FindModulePathFault(no_system, "{SYSTEM}\\x.dll"), Fault::kNone);
  // A per-computer folder that climbs out is caught once resolved.
  PathMapping climbing(MakePlaceholderTable({"/opt/suite", "/../../..", "", "", ""}, '/'), "pc1", '/');
  EXPECT_EQ(FindModulePathFault(climbing, "{UTENTI}{PCID}\\x"), Fault::kOutsideFolder);
  EXPECT_EQ(FindModulePathFault(climbing, "{UTENTI}\\x"), Fault::kNone);
  // A folder written with the other separator is still the same folder.
  PathMapping mixed(MakePlaceholderTable({"/opt/suite", "\\pc1", "\\home\\u\\lib", "", ""}, '/'), "pc1", '/');
  EXPECT_EQ(FindModulePathFault(mixed, "{SYSTEM}\\x.dll"), Fault::kNone);
}

TEST(ModulePathCheck, TheProgramOfACommandLine) {
  EXPECT_EQ(CommandLineProgram("{ESEGUIBILI}\\Dopo.exe /x \"a b\""), "{ESEGUIBILI}\\Dopo.exe");
  EXPECT_EQ(CommandLineProgram("  \"{ESEGUIBILI}\\Il mio programma.exe\" /s"), "{ESEGUIBILI}\\Il mio programma.exe");
  EXPECT_EQ(CommandLineProgram("{ESEGUIBILI}\\\"Il mio\".exe\t/s"), "{ESEGUIBILI}\\Il mio.exe");
  EXPECT_EQ(CommandLineProgram("\t"), "");
}

}  // namespace
}  // namespace tw
