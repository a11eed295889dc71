// What a run refuses, with real files, real links and real programs: the
// engine through the automation class, against nginx.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "engine/global.h"
#include "support/disk_client.h"
#include "support/nginx_server.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using testing::ReadTextFile;
using testing::WriteTextFile;
constexpr long long kJan2021 = 1609502400;

bool IsLink(const std::string& path) { return fs::is_symlink(fs::symlink_status(path)); }
size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class NginxIntegrity : public ::testing::Test {
 protected:
  NginxIntegrity() {
    client_.system.program_folder = suite_ + "/Eseguibili";
    fs::create_directories(suite_ + "/Eseguibili");
    fs::create_directories(suite_ + "/Dati");
    client_.catalogue.SetRefusalListener([this](const std::string& line) { log_ += line + "\n"; });
  }
  // A module file and its document on the server.
  void Put(const std::string& remote, const std::string& content, const std::string& document = "[Release]\r\n") {
    nginx_.Put(base_ + remote + ".ini", document);
    nginx_.Put(base_ + remote, content, kJan2021);
  }
  // A script that notes its name in the suite's "eseguiti" file.
  std::string Noting(const std::string& name) {
    return "#!/bin/sh\necho " + name + " >> '" + suite_ + "/eseguiti'\n";
  }
  std::string Ran() { return fs::exists(suite_ + "/eseguiti") ? ReadTextFile(suite_ + "/eseguiti") : ""; }

  testing::NginxServer& nginx_ = testing::NginxServer::Shared();
  std::string base_ = nginx_.FreshBase();
  testing::TempDir dir_;
  std::string suite_ = dir_ / "suite";
  testing::DiskClient client_{suite_, nginx_.Location(base_)};
  EngineContext& ctx_ = client_.ctx;
  std::string log_;
};

// "X.old" was installed as a module, destroyed by the update of X, and
// installed again as new at the next run, its post-setup program with it.
TEST_F(NginxIntegrity, ModulesNamedLikeACompanionAreRefusedAndLogged) {
  Put("/eseguibili/nota", Noting("nota"));
  ASSERT_TRUE(Global(ctx_).UpdateModule("{ESEGUIBILI}\\nota"));
  Put("/dati/listino.dat.old", "dal server", "[Release]\r\n[PostSetup]\r\n1={ESEGUIBILI}\\nota\r\n");
  Put("/dati/listino.dat.part", "dal server");
  Put("/dati/listino.dat", "listino");
  Put("/eseguibili/app", Noting("app"),
      "[Release]\r\n[Setup]\r\n1={DATI}\\Listino.dat.old\r\n2={DATI}\\Listino.dat\r\n3={DATI}\\Listino.dat.PART\r\n");
  for (int run = 0; run < 2; ++run) EXPECT_TRUE(Global(ctx_).UpdateModule("{ESEGUIBILI}\\app"));
  EXPECT_EQ(ReadTextFile(suite_ + "/Dati/Listino.dat"), "listino");
  EXPECT_FALSE(fs::exists(suite_ + "/Dati/Listino.dat.old"));
  EXPECT_FALSE(fs::exists(suite_ + "/Dati/Listino.dat.PART"));
  EXPECT_EQ(Ran(), "");
  EXPECT_EQ(Count(log_, "Modulo ignorato: il percorso non indica un file della suite [{DATI}\\Listino.dat.old]"), 1u)
      << log_;
}

// The updater runs any batch command its arguments name: a document must
// not reach it, through any name of it.
TEST_F(NginxIntegrity, TheUpdaterAndTheLauncherAreNeverPostSetupPrograms) {
  for (const std::string own : {"Tarnwick", "Tarnwick.update", "Run"}) {
    WriteTextFile(suite_ + "/Eseguibili/" + own, Noting(own));
    ::chmod((suite_ + "/Eseguibili/" + own).c_str(), 0755);
  }
  fs::create_symlink(suite_ + "/Eseguibili/Tarnwick", suite_ + "/Eseguibili/Alias");
  Put("/eseguibili/dopo", Noting("dopo"));
  Put("/eseguibili/app", Noting("app"),
      "[Release]\r\n[PostSetup]\r\n1={ESEGUIBILI}\\Tarnwick @h @b \"/usr/bin/touch /tmp/x\"\r\n"
      "2={ESEGUIBILI}\\tarnwick.update\r\n3={ESEGUIBILI}\\RUN\r\n4={ESEGUIBILI}\\Alias\r\n"
      "5={ESEGUIBILI}\\dopo\r\n");
  ASSERT_TRUE(Global(ctx_).UpdateModule("{ESEGUIBILI}\\dopo"));
  EXPECT_TRUE(Global(ctx_).UpdateModule("{ESEGUIBILI}\\app"));
  EXPECT_EQ(Ran(), "dopo\n");
  EXPECT_EQ(Count(log_, "Programma non eseguito"), 4u) << log_;
}

// Below a top token's folder no link is followed: not a folder's, not the
// module file's own, not one planted under a companion's name.
TEST_F(NginxIntegrity, LinksBelowASuiteFolderAreNeverFollowed) {
  const std::string outside = dir_ / "altrove";
  fs::create_directories(outside);
  WriteTextFile(outside + "/segreto", "segreto");
  const timespec old_times[2] = {{kJan2021 - 86400 * 365, 0}, {kJan2021 - 86400 * 365, 0}};
  ::utimensat(AT_FDCWD, (outside + "/segreto").c_str(), old_times, 0);  // older than the server's
  fs::create_symlink(outside, suite_ + "/Dati/Utenti");                          // {UTENTI}
  fs::create_symlink(outside + "/segreto", suite_ + "/Dati/Listino.dat");       // the module file
  fs::create_symlink(outside + "/nuovo", suite_ + "/Dati/Prezzi.dat.new");      // a companion
  fs::create_symlink(outside + "/parte", suite_ + "/Dati/Prezzi.dat.part");
  Put("/dati/utenti/impostazioni.dat", "impostazioni");
  Put("/dati/listino.dat", Noting("listino"), "[Release]\r\nRegister=self\r\n");
  Put("/dati/prezzi.dat", "prezzi");
  const struct {
    const char* module;
    bool ok;
  } cases[] = {{"{UTENTI}\\Impostazioni.dat", false}, {"{DATI}\\Listino.dat", false}, {"{DATI}\\Prezzi.dat", true}};
  for (const auto& c : cases) EXPECT_EQ(Global(ctx_).UpdateModule(c.module), c.ok) << c.module;

  EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);  // only "segreto"
  EXPECT_EQ(ReadTextFile(outside + "/segreto"), "segreto");
  EXPECT_TRUE(IsLink(suite_ + "/Dati/Listino.dat"));
  EXPECT_EQ(ReadTextFile(suite_ + "/Dati/Prezzi.dat"), "prezzi");
  EXPECT_EQ(Ran(), "");  // the refused file was not registered either
  EXPECT_EQ(Count(log_, "Percorso rifiutato: passa per un collegamento simbolico [" + suite_ + "/Dati/Utenti]\n") +
                Count(log_, "File non sostituito: è un collegamento simbolico [" + suite_ + "/Dati/Listino.dat]\n"),
            2u)
      << log_;

  // The top folders as configured may be links an administrator made.
  fs::rename(suite_ + "/Dati", dir_ / "dati_reali");
  fs::create_symlink(dir_ / "dati_reali", suite_ + "/Dati");
  EXPECT_TRUE(Global(ctx_).UpdateModule("{DATI}\\Prezzi.dat"));
  Put("/dati/nuovo.dat", "nuovo");
  EXPECT_TRUE(Global(ctx_).UpdateModule("{DATI}\\nuovo.dat"));
  EXPECT_EQ(ReadTextFile(dir_ / "dati_reali/nuovo.dat"), "nuovo");
}

}  // namespace
}  // namespace tw
