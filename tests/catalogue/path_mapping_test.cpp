#include "catalogue/path_mapping.h"

#include <gtest/gtest.h>

#include "support/fake_system_info.h"

namespace tw {
namespace {

// The suite as it lies on a Windows workstation ...
PathMapping WindowsMapping(std::string system = "C:\\WINDOWS\\system32") {
  LocalFolders f{"C:\\Suite", "/PC1", std::move(system), "C:\\WINDOWS\\Fonts", "C:\\WINDOWS"};
  return PathMapping(MakePlaceholderTable(f, '\\'), "PC1", '\\');
}

// ... and here.
PathMapping PosixMapping() {
  LocalFolders f{"/opt/Città", "\\pc1", "/home/u/.local/lib", "/home/u/.local/share/fonts",
                 "/home/u/.local/share"};
  return PathMapping(MakePlaceholderTable(f, '/'), "pc1", '/');
}

TEST(PathMapping, InnerFoldersWinOverTheFoldersHoldingThem) {
  const PathMapping win = WindowsMapping();
  EXPECT_EQ(win.GenericPath("c:\\suite\\eseguibili\\componenti\\Grid.ocx"), "{COMPONENTI}\\Grid.ocx");
  EXPECT_EQ(win.GenericPath("C:\\SUITE\\Eseguibili\\Prog.exe"), "{ESEGUIBILI}\\Prog.exe");
  EXPECT_EQ(win.GenericPath("C:\\Suite\\Dati\\Utenti\\a.mdb"), "{UTENTI}\\a.mdb");
  EXPECT_EQ(win.GenericPath("C:\\WINDOWS\\Fonts\\v.ttf"), "{FONTS}\\v.ttf");
  EXPECT_EQ(win.GenericPath("/eseguibili/componenti/grid.ocx"), "{COMPONENTI}\\grid.ocx");

  const PathMapping posix = PosixMapping();
  EXPECT_EQ(posix.GenericPath("/OPT/CITTÀ/Eseguibili/Componenti/grid.so"), "{COMPONENTI}\\grid.so");
  EXPECT_EQ(posix.GenericPath("/home/u/.local/share/fonts/v.ttf"), "{FONTS}\\v.ttf");
  EXPECT_EQ(posix.GenericPath("/home/u/.local/share/x.ini"), "{WINDOWS}\\x.ini");
}

TEST(PathMapping, RepositoryFormIsLowerCaseUnderTheTokensFolder) {
  for (const PathMapping& m : {WindowsMapping(), PosixMapping()}) {
    EXPECT_EQ(m.ResolvePath("{eseguibili}\\PROG.EXE", true), "/eseguibili/prog.exe");
    EXPECT_EQ(m.ResolvePath("{WINDOWS}\\Win.ini", true), "/windir/win.ini");
    EXPECT_EQ(m.ResolvePath("{ESEGUIBILI}\\Prog.exe.ini", true), "/eseguibili/prog.exe.ini");
    EXPECT_EQ(m.ResolvePath(".ini", true), ".ini");
  }
  EXPECT_EQ(WindowsMapping().ResolvePath("C:\\Suite\\Eseguibili\\Prog.exe", true), "/eseguibili/prog.exe");
  EXPECT_EQ(PosixMapping().ResolvePath("/opt/Città/Dati/Città.mdb", true), "/dati/città.mdb");
}

TEST(PathMapping, RepositoryPathResolvesToTheLocalFile) {
  EXPECT_EQ(WindowsMapping().ResolvePath("/eseguibili/componenti/grid.ocx", false),
            "C:\\Suite\\Eseguibili\\Componenti\\grid.ocx");
  EXPECT_EQ(PosixMapping().ResolvePath("/eseguibili/componenti/grid.so", false),
            "/opt/Città/Eseguibili/Componenti/grid.so");
  EXPECT_EQ(PosixMapping().ResolvePath("{ESEGUIBILI}\\Sub\\Prog", false),
            "/opt/Città/Eseguibili/Sub/Prog");
}

TEST(PathMapping, PerComputerFolder) {
  for (const PathMapping& m : {WindowsMapping(), PosixMapping()}) {
    // Named by the token or spelled out, the file has one repository path.
    EXPECT_EQ(m.ResolvePath("{UTENTI}{PCID}\\Conf.ini", true), "/dati/utenti{pcid}/conf.ini");
    EXPECT_EQ(m.ResolvePath("{UTENTI}\\" + m.PcName() + "\\Conf.ini", true), "/dati/utenti{pcid}/conf.ini");
    // A plain text replacement: a folder that merely starts with the name loses it too.
    EXPECT_EQ(m.ResolvePath("{DATI}\\" + m.PcName() + "data\\x", true), "/dati{pcid}data/x");
  }
  EXPECT_EQ(WindowsMapping().ResolvePath("{UTENTI}{PCID}\\Conf.ini", false),
            "C:\\Suite\\Dati\\Utenti\\PC1\\Conf.ini");
  EXPECT_EQ(PosixMapping().ResolvePath("{UTENTI}{PCID}\\Conf.ini", false),
            "/opt/Città/Dati/Utenti/pc1/Conf.ini");
  EXPECT_EQ(PosixMapping().ResolvePath("/dati/utenti{pcid}/conf.ini", false),
            "/opt/Città/Dati/Utenti/pc1/conf.ini");
  // A local per-computer folder stays spelled out in placeholder form.
  EXPECT_EQ(WindowsMapping().GenericPath("C:\\Suite\\Dati\\Utenti\\PC1\\Conf.ini"),
            "{UTENTI}\\PC1\\Conf.ini");
  EXPECT_EQ(PosixMapping().GenericPath("/opt/Città/Dati/Utenti/pc1/Conf.ini"),
            "{UTENTI}\\pc1\\Conf.ini");
}

TEST(PathMapping, EmptyFolderValuesAreNeverMatchedAndResolveToNothing) {
  const PathMapping m = WindowsMapping("");
  EXPECT_EQ(m.GenericPath("C:\\Other\\x.dll"), "C:\\Other\\x.dll");
  EXPECT_EQ(m.ResolvePath("{SYSTEM}\\x.dll", false), "\\x.dll");
  EXPECT_EQ(m.ResolvePath("{SYSTEM}\\x.dll", true), "/system/x.dll");
  EXPECT_TRUE(m.HasUnmappedToken("{system}\\x.dll"));
  EXPECT_FALSE(m.HasUnmappedToken("{ESEGUIBILI}\\x.exe"));
}

TEST(PathMapping, PathWithoutTokenChangesOnlyItsSeparators) {
  EXPECT_EQ(WindowsMapping().ResolvePath("D:/Altro/File.TXT", false), "D:\\Altro\\File.TXT");
  EXPECT_EQ(WindowsMapping().ResolvePath("D:\\Altro\\File.TXT", true), "d:/altro/file.txt");
  EXPECT_EQ(PosixMapping().ResolvePath("/srv/Altro/File.TXT", false), "/srv/Altro/File.TXT");
}

TEST(PathMapping, RepositoryFolderNamesInsideLocalPathsAreLeftAlone) {
  // Here local paths use "/" too: "/Dati" inside a local path is not the
  // repository's data folder.
  const PathMapping m = PosixMapping();
  EXPECT_EQ(m.GenericPath("/home/Dati/Eseguibili/x"), "\\home\\Dati\\Eseguibili\\x");
  EXPECT_EQ(m.ResolvePath("/home/Dati/x", false), "/home/Dati/x");
  LocalFolders f{"/srv/Eseguibili/suite", "\\pc1", "", "", ""};
  const PathMapping nested(MakePlaceholderTable(f, '/'), "pc1", '/');
  EXPECT_EQ(nested.GenericPath("/srv/Eseguibili/suite/Dati/x"), "{DATI}\\x");
  EXPECT_EQ(nested.ResolvePath("/srv/Eseguibili/suite/Dati/x", true), "/dati/x");
}

TEST(PathMapping, ComputerNameStopsAtTheFirstDotAndIsNeverEmpty) {
  testing::FakeSystemInfo system;
  system.computer_name = "officina.velmora.it";
  EXPECT_EQ(GetPCName(system), "officina");
  system.computer_name = "";
  EXPECT_EQ(GetPCName(system), "localhost");
  system.computer_name = ".hidden";
  EXPECT_EQ(GetPCName(system), "localhost");
}

}  // namespace
}  // namespace tw
